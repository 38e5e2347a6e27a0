#include "pixel/OrderedFramePipeline.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>

namespace quillon {

namespace {

/// Memory the frames in flight may take together beyond the first.
constexpr uint64_t kInFlightBudget = uint64_t{256} << 20;
constexpr unsigned kMaxWorkers = 8;

/// One frame on its way through the pipeline.
struct Slot {
  std::vector<uint8_t> input;
  std::vector<uint8_t> output;
  std::optional<Status> result;  ///< set by the worker when done
};

/// The workers and the queue of slots waiting for them.
class WorkerPool {
 public:
  WorkerPool(unsigned count, const COrderedFramePipeline::Transform& transform) : m_transform(transform) {
    for (unsigned n = 0; n < count; ++n) m_threads.emplace_back([this] { Work(); });
  }
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;
  ~WorkerPool() {
    {
      const std::lock_guard lock(m_mutex);
      m_stopping = true;
    }
    m_wake.notify_all();
    for (std::thread& thread : m_threads) thread.join();
  }

  void Submit(Slot& slot) {
    {
      const std::lock_guard lock(m_mutex);
      slot.result.reset();
      m_queue.push_back(&slot);
    }
    m_wake.notify_one();
  }

  /// Waits until `slot` is done and returns its result.
  Status Await(Slot& slot) {
    std::unique_lock lock(m_mutex);
    m_done.wait(lock, [&] { return slot.result.has_value(); });
    return *slot.result;
  }

 private:
  void Work() {
    for (;;) {
      Slot* slot = nullptr;
      {
        std::unique_lock lock(m_mutex);
        m_wake.wait(lock, [&] { return m_stopping || !m_queue.empty(); });
        // Stopping means nobody waits for what is queued any more.
        if (m_stopping) return;
        slot = m_queue.front();
        m_queue.pop_front();
      }
      Status result = m_transform(slot->input, slot->output);
      {
        const std::lock_guard lock(m_mutex);
        slot->result = std::move(result);
      }
      m_done.notify_all();
    }
  }

  const COrderedFramePipeline::Transform& m_transform;
  std::mutex m_mutex;
  std::condition_variable m_wake;
  std::condition_variable m_done;
  std::deque<Slot*> m_queue;
  bool m_stopping = false;
  std::vector<std::thread> m_threads;
};

}  // namespace

COrderedFramePipeline::COrderedFramePipeline(unsigned workers, uint64_t frameBytes)
    : m_workers(std::clamp(workers, 1u, kMaxWorkers)) {
  const uint64_t affordable = 1 + kInFlightBudget / std::max<uint64_t>(frameBytes, 1);
  m_window = static_cast<unsigned>(std::min<uint64_t>(2 * m_workers, affordable));
  // One frame in flight gains nothing from a thread.
  if (m_window < 2) m_workers = 1;
}

unsigned COrderedFramePipeline::DefaultWorkers() {
  return std::clamp(std::thread::hardware_concurrency(), 1u, kMaxWorkers);
}

Status COrderedFramePipeline::Run(int32_t count, const Read& read, const Transform& transform,
                                  const Write& write) const {
  if (m_workers == 1 || count < 2) {
    // The plain loop: no thread to start for a single frame or worker.
    std::vector<uint8_t> input;
    std::vector<uint8_t> output;
    for (int32_t n = 0; n < count; ++n) {
      if (Status status = read(n, input); !status) return status;
      if (Status status = transform(input, output); !status) return status;
      if (Status status = write(n, output); !status) return status;
    }
    return Ok();
  }
  std::vector<Slot> slots(m_window);
  // Declared after the slots, so it is joined before they go, whatever
  // returns early below.
  WorkerPool pool(m_workers, transform);
  int32_t submitted = 0;
  for (int32_t written = 0; written < count; ++written) {
    while (submitted < count && submitted - written < static_cast<int32_t>(m_window)) {
      Slot& slot = slots[static_cast<size_t>(submitted) % m_window];
      if (Status status = read(submitted, slot.input); !status) {
        // Frames already submitted are still written, in order, before
        // the read failure is reported: they came first.
        for (; written < submitted; ++written) {
          Slot& done = slots[static_cast<size_t>(written) % m_window];
          if (Status result = pool.Await(done); !result) return result;
          if (Status result = write(written, done.output); !result) return result;
        }
        return status;
      }
      pool.Submit(slot);
      ++submitted;
    }
    Slot& slot = slots[static_cast<size_t>(written) % m_window];
    if (Status status = pool.Await(slot); !status) return status;
    if (Status status = write(written, slot.output); !status) return status;
  }
  return Ok();
}

}  // namespace quillon
