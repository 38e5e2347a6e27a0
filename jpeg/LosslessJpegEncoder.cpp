/// \file
/// The lossless JPEG encoder: two passes over the samples. The first
/// predicts each sample from its left neighbour (the one above for a line's
/// first sample, 2^(P−1) for the image's first) and counts the categories
/// of the differences; the Huffman code lengths follow from those counts
/// (T.81 Annex K.2), and the second pass writes each difference as its
/// code and extra bits, packed into one value per sample.
#include "jpeg/LosslessJpegEncoder.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <new>
#include <string>

namespace quillon {

namespace {

/// Difference categories 0 … 16 (16: the difference 32768, no extra bits).
constexpr uint32_t kCategories = 17;
constexpr uint32_t kMaxComponents = 4;

using Histogram = std::array<uint64_t, kCategories>;

/// One component's Huffman table: the DHT counts and symbols, and for each
/// category its code and code length.
struct HuffmanCode {
  std::array<uint8_t, 16> counts{};
  std::array<uint8_t, kCategories> symbols{};
  uint32_t symbolCount = 0;
  std::array<uint32_t, kCategories> code{};
  std::array<uint32_t, kCategories> length{};
};

/// The difference `sample − prediction` modulo 2^16, the way T.81 H.1.2.1
/// takes it, as a 16-bit pattern.
inline uint32_t Difference(uint32_t sample, uint32_t prediction) { return (sample - prediction) & 0xFFFF; }

/// The category (SSSS) of a difference given as a 16-bit pattern.
inline uint32_t Category(uint32_t difference) {
  if (difference == 0x8000) return 16;
  const auto value = static_cast<int16_t>(difference);
  return static_cast<uint32_t>(std::bit_width(static_cast<uint32_t>(value < 0 ? -value : value)));
}

/// Calls `visit(component, difference)` for every sample, in coding order.
template <typename Visit>
void ForEachDifference(const LosslessJpegImage& image, Visit&& visit) {
  const uint32_t k = image.components;
  const size_t rowSamples = size_t{image.width} * k;
  const uint32_t initial = 1u << (image.precision - 1);
  const uint16_t* row = image.samples;
  for (uint32_t y = 0; y < image.height; ++y, row += rowSamples) {
    for (uint32_t c = 0; c < k; ++c) visit(c, Difference(row[c], y == 0 ? initial : (row - rowSamples)[c]));
    if (k == 1) {
      for (size_t i = 1; i < rowSamples; ++i) visit(0, Difference(row[i], row[i - 1]));
    } else {
      for (size_t i = k; i < rowSamples; i += k) {
        for (uint32_t c = 0; c < k; ++c) visit(c, Difference(row[i + c], row[i + c - k]));
      }
    }
  }
}

/// The optimal code lengths of T.81 Annex K.2 (Figures K.1 to K.3) for
/// `frequencies`, limited to 16 bits, with the all-ones code left unused.
HuffmanCode BuildCode(const Histogram& frequencies) {
  // Symbol kCategories is the reserved one: a frequency of 1 keeps a code
  // for it, which is then taken away, so no real code is all ones.
  constexpr uint32_t kSymbols = kCategories + 1;
  std::array<uint64_t, kSymbols> frequency{};
  std::copy(frequencies.begin(), frequencies.end(), frequency.begin());
  frequency[kCategories] = 1;
  std::array<uint32_t, kSymbols> codeSize{};
  std::array<int32_t, kSymbols> others{};
  others.fill(-1);
  for (;;) {
    // The two least frequent symbols, the larger index first among equals.
    int32_t v1 = -1;
    int32_t v2 = -1;
    for (uint32_t i = 0; i < kSymbols; ++i) {
      if (frequency[i] != 0 && (v1 < 0 || frequency[i] <= frequency[static_cast<size_t>(v1)])) {
        v1 = static_cast<int32_t>(i);
      }
    }
    for (uint32_t i = 0; i < kSymbols; ++i) {
      if (frequency[i] != 0 && static_cast<int32_t>(i) != v1 &&
          (v2 < 0 || frequency[i] <= frequency[static_cast<size_t>(v2)])) {
        v2 = static_cast<int32_t>(i);
      }
    }
    if (v2 < 0) break;
    frequency[static_cast<size_t>(v1)] += frequency[static_cast<size_t>(v2)];
    frequency[static_cast<size_t>(v2)] = 0;
    for (int32_t v = v1;; v = others[static_cast<size_t>(v)]) {
      ++codeSize[static_cast<size_t>(v)];
      if (others[static_cast<size_t>(v)] < 0) {
        others[static_cast<size_t>(v)] = v2;
        break;
      }
    }
    for (int32_t v = v2; v >= 0; v = others[static_cast<size_t>(v)]) ++codeSize[static_cast<size_t>(v)];
  }
  // Eighteen symbols need at most 17 bits; Figure K.3 folds longer codes
  // into 16 bits all the same.
  std::array<uint32_t, 33> bits{};
  for (uint32_t i = 0; i < kSymbols; ++i) {
    if (codeSize[i] != 0) ++bits[std::min<uint32_t>(codeSize[i], 32)];
  }
  for (uint32_t i = 32; i > 16; --i) {
    while (bits[i] > 0) {
      uint32_t j = i - 2;
      while (bits[j] == 0) --j;
      bits[i] -= 2;
      ++bits[i - 1];
      bits[j + 1] += 2;
      --bits[j];
    }
  }
  uint32_t longest = 16;
  while (bits[longest] == 0) --longest;
  --bits[longest];  // the reserved symbol's code, the longest

  HuffmanCode table;
  for (uint32_t length = 1; length <= 16; ++length) table.counts[length - 1] = static_cast<uint8_t>(bits[length]);
  // Symbols by increasing code size (T.81 K.2, Figure K.4), the
  // reserved symbol, longest and last, left out.
  for (uint32_t size = 1; size <= 32; ++size) {
    for (uint32_t s = 0; s < kCategories; ++s) {
      if (codeSize[s] == size) table.symbols[table.symbolCount++] = static_cast<uint8_t>(s);
    }
  }
  // Canonical codes (T.81 Annex C): consecutive within a length.
  uint32_t code = 0;
  uint32_t k = 0;
  for (uint32_t length = 1; length <= 16; ++length) {
    for (uint32_t n = 0; n < bits[length]; ++n, ++k) {
      table.code[table.symbols[k]] = code++;
      table.length[table.symbols[k]] = length;
    }
    code <<= 1;
  }
  return table;
}

/// Appends bits most significant first, with a zero byte stuffed after
/// every 0xFF, into a buffer sized beforehand for the whole scan.
class CBitWriter {
 public:
  explicit CBitWriter(uint8_t* out) : m_out(out) {}

  /// Appends the low `count` bits of `value`; `count` is at most 32.
  void Put(uint64_t value, uint32_t count) {
    m_accumulator = (m_accumulator << count) | value;
    m_count += count;
    if (m_count >= 32) {
      m_count -= 32;
      const auto word = static_cast<uint32_t>(m_accumulator >> m_count);
      // A word without 0xFF byte, the usual case, goes out at once.
      if (!HasFF(word)) {
        m_out[0] = static_cast<uint8_t>(word >> 24);
        m_out[1] = static_cast<uint8_t>(word >> 16);
        m_out[2] = static_cast<uint8_t>(word >> 8);
        m_out[3] = static_cast<uint8_t>(word);
        m_out += 4;
      } else {
        for (int shift = 24; shift >= 0; shift -= 8) Byte(static_cast<uint8_t>(word >> shift));
      }
    }
  }

  /// Writes the last bits, the byte filled up with ones; returns the end.
  uint8_t* Finish() {
    while (m_count >= 8) {
      m_count -= 8;
      Byte(static_cast<uint8_t>(m_accumulator >> m_count));
    }
    if (m_count > 0) {
      Byte(static_cast<uint8_t>((m_accumulator << (8 - m_count)) | (0xFFu >> m_count)));
      m_count = 0;
    }
    return m_out;
  }

 private:
  static bool HasFF(uint32_t word) {
    const uint32_t inverted = ~word;  // a 0xFF byte becomes a zero byte
    return ((inverted - 0x01010101u) & ~inverted & 0x80808080u) != 0;
  }
  void Byte(uint8_t value) {
    *m_out++ = value;
    if (value == 0xFF) *m_out++ = 0;
  }

  uint8_t* m_out;
  uint64_t m_accumulator = 0;
  uint32_t m_count = 0;
};

void PutMarker(std::vector<uint8_t>& out, uint8_t marker) {
  out.push_back(0xFF);
  out.push_back(marker);
}

void PutU16(std::vector<uint8_t>& out, uint32_t value) {
  out.push_back(static_cast<uint8_t>(value >> 8));
  out.push_back(static_cast<uint8_t>(value));
}

/// SOI, SOF3, one DHT with every component's table, SOS.
void WriteHeaders(const LosslessJpegImage& image, const std::array<HuffmanCode, kMaxComponents>& tables,
                  std::vector<uint8_t>& out) {
  const uint32_t k = image.components;
  PutMarker(out, 0xD8);
  PutMarker(out, 0xC3);
  PutU16(out, 8 + 3 * k);
  out.push_back(static_cast<uint8_t>(image.precision));
  PutU16(out, image.height);
  PutU16(out, image.width);
  out.push_back(static_cast<uint8_t>(k));
  for (uint32_t c = 0; c < k; ++c) {
    out.push_back(static_cast<uint8_t>(c + 1));  // component id
    out.push_back(0x11);                         // no subsampling
    out.push_back(0);                            // no quantisation table
  }
  uint32_t dhtLength = 2;
  for (uint32_t c = 0; c < k; ++c) dhtLength += 17 + tables[c].symbolCount;
  PutMarker(out, 0xC4);
  PutU16(out, dhtLength);
  for (uint32_t c = 0; c < k; ++c) {
    out.push_back(static_cast<uint8_t>(c));  // class 0, table c
    out.insert(out.end(), tables[c].counts.begin(), tables[c].counts.end());
    out.insert(out.end(), tables[c].symbols.begin(), tables[c].symbols.begin() + tables[c].symbolCount);
  }
  PutMarker(out, 0xDA);
  PutU16(out, 6 + 2 * k);
  out.push_back(static_cast<uint8_t>(k));
  for (uint32_t c = 0; c < k; ++c) {
    out.push_back(static_cast<uint8_t>(c + 1));
    out.push_back(static_cast<uint8_t>(c << 4));  // table c
  }
  out.push_back(1);  // Ss: predictor 1
  out.push_back(0);  // Se
  out.push_back(0);  // Ah, Al: no point transform
}

Status CheckImage(const LosslessJpegImage& image) {
  if (image.samples == nullptr) return Error(ErrorCode::Failure, "lossless JPEG encode: no samples given");
  auto refuse = [](const std::string& what) {
    return Error(ErrorCode::WrongKind, "lossless JPEG cannot hold " + what);
  };
  if (image.width == 0 || image.width > 65535 || image.height == 0 || image.height > 65535) {
    return refuse("an image of " + std::to_string(image.width) + "x" + std::to_string(image.height) + " pixels");
  }
  if (image.components == 0 || image.components > kMaxComponents) {
    return refuse(std::to_string(image.components) + " components");
  }
  if (image.precision < 2 || image.precision > 16) {
    return refuse(std::to_string(image.precision) + "-bit samples (2 to 16 bits)");
  }
  return Ok();
}

}  // namespace

Status CLosslessJpegEncoder::Encode(const LosslessJpegImage& image, std::vector<uint8_t>& out) {
  out.clear();
  if (Status fits = CheckImage(image); !fits) return fits;
  std::array<Histogram, kMaxComponents> histograms{};
  ForEachDifference(image, [&histograms](uint32_t c, uint32_t d) { ++histograms[c][Category(d)]; });
  const uint64_t count = uint64_t{image.width} * image.height * image.components;
  uint32_t ored = 0;
  for (uint64_t i = 0; i < count; ++i) ored |= image.samples[i];
  if ((ored >> image.precision) != 0) {
    return Error(ErrorCode::WrongKind, "lossless JPEG encode: a sample exceeds " +
                                           std::to_string(image.precision) + " bits");
  }

  std::array<HuffmanCode, kMaxComponents> tables{};
  uint64_t bits = 0;
  for (uint32_t c = 0; c < image.components; ++c) {
    tables[c] = BuildCode(histograms[c]);
    for (uint32_t s = 0; s < kCategories; ++s) bits += histograms[c][s] * (tables[c].length[s] + (s == 16 ? 0 : s));
  }
  try {
    out.reserve(1024);
    WriteHeaders(image, tables, out);
    // Every byte may be followed by a stuffed zero, and the last is padded.
    const size_t start = out.size();
    out.resize(start + 2 * (bits / 8 + 1) + 2);
    CBitWriter writer(out.data() + start);
    // Code and extra bits, joined per category and component: one Put per
    // sample. Extra bits are the difference, minus 1 when negative.
    ForEachDifference(image, [&tables, &writer](uint32_t c, uint32_t d) {
      const uint32_t category = Category(d);
      const HuffmanCode& table = tables[c];
      const uint32_t extraBits = category == 16 ? 0 : category;
      const auto extra = static_cast<uint32_t>(static_cast<int16_t>(d) - (d >= 0x8000 ? 1 : 0));
      const uint64_t value = (uint64_t{table.code[category]} << extraBits) | (extra & ((1u << extraBits) - 1));
      writer.Put(value, table.length[category] + extraBits);
    });
    out.resize(static_cast<size_t>(writer.Finish() - out.data()));
    PutMarker(out, 0xD9);
  } catch (const std::bad_alloc&) {
    out.clear();
    return Error(ErrorCode::OutOfMemory, "lossless JPEG encode: no memory for " + std::to_string(bits / 8) + " bytes");
  }
  return Ok();
}

}  // namespace quillon
