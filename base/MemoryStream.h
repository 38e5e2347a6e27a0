/// \file
/// An in-memory stream: for tests, fuzzing, and building files before they
/// are written in one go.
#pragma once

#include "base/Stream.h"

#include <vector>

namespace quillon {

class CMemoryStream final : public CStream {
 public:
  CMemoryStream() = default;
  explicit CMemoryStream(std::vector<uint8_t> data) : m_data(std::move(data)) {}
  CMemoryStream(const void* data, uint64_t size);

  uint64_t Read(void* buffer, uint64_t count) override;
  void Write(const void* data, uint64_t count) override;
  uint64_t Seek(int64_t offset, SeekOrigin origin) override;
  uint64_t GetPosition() const override { return m_position; }
  uint64_t GetLength() const override { return m_data.size(); }
  std::string GetFilePath() const override { return m_path; }
  Status Flush() override { return State(); }
  Status Close() override {
    m_closed = true;
    return State();
  }
  void Abort() noexcept override { m_closed = true; }

  /// A name reported as the stream's path (the reader records it).
  void SetFilePath(std::string path) { m_path = std::move(path); }
  const std::vector<uint8_t>& Data() const { return m_data; }
  bool IsClosed() const { return m_closed; }

 private:
  std::vector<uint8_t> m_data;
  uint64_t m_position = 0;
  std::string m_path;
  bool m_closed = false;
};

}  // namespace quillon
