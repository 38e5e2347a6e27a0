/// \file
/// JPEG streams written by the tests, for what no peer tool here writes:
/// lossless images of any precision, restart intervals, one scan per
/// component, 4:2:0 and 4:4:0 sampling. The lossless writer codes a given
/// image (so the decoder must give it back exactly); the DCT writer codes
/// given coefficients (so the peer decoding the same stream is the
/// reference). Every Huffman table is "flat": each symbol a code of one
/// length, in symbol order.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

namespace quillon::test {

using Bytes = std::vector<uint8_t>;

/// An image, component-interleaved.
struct TestImage {
  uint32_t width = 0, height = 0, components = 1, bits = 8;
  std::vector<uint16_t> samples;
};

/// Smooth shades plus noise over the full range of `bits`, deterministic.
inline TestImage NoiseImage(uint32_t width, uint32_t height, uint32_t components, uint32_t bits, uint32_t seed) {
  TestImage image{width, height, components, bits, {}};
  const int32_t top = (1 << bits) - 1;
  uint32_t state = seed * 2654435761u + 1;
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      for (uint32_t c = 0; c < components; ++c) {
        state = state * 1103515245u + 12345u;
        const int32_t noise = static_cast<int32_t>((state >> 16) % 33) - 16;
        const int32_t shade = top * static_cast<int32_t>(x + 2 * y + 5 * c) / static_cast<int32_t>(width + 2 * height + 10);
        image.samples.push_back(static_cast<uint16_t>(std::clamp(shade + noise * std::max(1, top / 256), 0, top)));
      }
    }
  }
  return image;
}

class CBitWriter {
 public:
  void Put(uint32_t bits, uint32_t count) {
    for (uint32_t i = count; i-- > 0;) {
      m_byte = static_cast<uint8_t>((m_byte << 1) | ((bits >> i) & 1));
      if (++m_count == 8) Flush();
    }
  }
  /// Pads the last byte with 1 bits.
  void Align() {
    while (m_count != 0) Put(1, 1);
  }
  Bytes& Data() { return m_data; }

 private:
  void Flush() {
    m_data.push_back(m_byte);
    if (m_byte == 0xFF) m_data.push_back(0x00);
    m_byte = 0;
    m_count = 0;
  }
  Bytes m_data;
  uint8_t m_byte = 0;
  uint32_t m_count = 0;
};

inline void Segment(Bytes& out, uint8_t marker, const Bytes& payload) {
  out.insert(out.end(), {0xFF, marker, static_cast<uint8_t>((payload.size() + 2) >> 8),
                         static_cast<uint8_t>(payload.size() + 2)});
  out.insert(out.end(), payload.begin(), payload.end());
}

/// A flat Huffman table: `symbols` codes of `length` bits, code i for the
/// i-th symbol.
struct FlatTable {
  std::vector<uint8_t> symbols;
  uint32_t length = 0;
  void Write(Bytes& out, uint8_t classAndIndex) const {
    Bytes payload{classAndIndex};
    for (uint32_t l = 1; l <= 16; ++l) payload.push_back(l == length ? static_cast<uint8_t>(symbols.size()) : 0);
    payload.insert(payload.end(), symbols.begin(), symbols.end());
    Segment(out, 0xC4, payload);
  }
  void Code(CBitWriter& bits, uint8_t symbol) const {
    bits.Put(static_cast<uint32_t>(std::find(symbols.begin(), symbols.end(), symbol) - symbols.begin()), length);
  }
};

/// The magnitude category of `value` and its extra bits (T.81 F.1.2.1).
inline void PutValue(CBitWriter& bits, const FlatTable& table, int32_t value, uint8_t run = 0) {
  uint32_t size = 0;
  while (size < 16 && (std::abs(value) >> size) != 0) ++size;
  table.Code(bits, static_cast<uint8_t>((run << 4) | size));
  if (size > 0 && size < 16) bits.Put(static_cast<uint32_t>(value < 0 ? value - 1 : value) & ((1u << size) - 1), size);
}

inline Bytes FrameHeader(uint8_t marker, uint32_t precision, uint32_t width, uint32_t height,
                         const std::vector<uint8_t>& sampling) {
  Bytes payload{static_cast<uint8_t>(precision), static_cast<uint8_t>(height >> 8), static_cast<uint8_t>(height),
                static_cast<uint8_t>(width >> 8), static_cast<uint8_t>(width), static_cast<uint8_t>(sampling.size())};
  for (size_t c = 0; c < sampling.size(); ++c) payload.insert(payload.end(), {static_cast<uint8_t>(c + 1), sampling[c], 0});
  Bytes out{0xFF, 0xD8};
  Segment(out, marker, payload);
  return out;
}

/// SOS for `components` (0-based) with table index k for the k-th of them.
inline void ScanHeader(Bytes& out, const std::vector<uint32_t>& components, uint8_t ss, uint8_t se, uint8_t al) {
  Bytes payload{static_cast<uint8_t>(components.size())};
  for (size_t k = 0; k < components.size(); ++k) {
    payload.push_back(static_cast<uint8_t>(components[k] + 1));
    payload.push_back(static_cast<uint8_t>(components[k] % 4 * 0x11));
  }
  payload.insert(payload.end(), {ss, se, al});
  Segment(out, 0xDA, payload);
}

/// Ends a restart interval: padding and RSTn.
inline void Restart(CBitWriter& bits, uint32_t& index) {
  bits.Align();
  bits.Data().insert(bits.Data().end(), {0xFF, static_cast<uint8_t>(0xD0 + (index++ & 7))});
}

struct LosslessOptions {
  uint32_t predictor = 1;
  uint32_t pointTransform = 0;
  uint32_t restartLines = 0;  ///< lines per restart interval, 0 for none
  bool interleaved = true;    ///< one scan of all components, else one per component (last first)
};

/// `image` coded with the lossless process (its bits as the precision).
inline Bytes LosslessStream(const TestImage& image, const LosslessOptions& options) {
  const uint32_t w = image.width, nc = image.components, pt = options.pointTransform;
  Bytes out = FrameHeader(0xC3, image.bits, w, image.height, std::vector<uint8_t>(nc, 0x11));
  std::vector<FlatTable> tables(nc);
  for (uint32_t c = 0; c < nc && c < 4; ++c) {
    tables[c].length = 5 + c % 2;
    for (uint8_t s = 0; s <= 16; ++s) tables[c].symbols.push_back(s);
    tables[c].Write(out, static_cast<uint8_t>(c));
  }
  if (options.restartLines != 0) Segment(out, 0xDD, {static_cast<uint8_t>((options.restartLines * w) >> 8),
                                                     static_cast<uint8_t>(options.restartLines * w)});
  const auto at = [&](uint32_t x, uint32_t y, uint32_t c) {
    return static_cast<int32_t>(image.samples[(size_t{y} * w + x) * nc + c] >> pt);
  };
  std::vector<std::vector<uint32_t>> scans;
  if (options.interleaved) {
    scans.emplace_back();
    for (uint32_t c = 0; c < nc; ++c) scans.back().push_back(c);
  } else {
    for (uint32_t c = nc; c-- > 0;) scans.push_back({c});
  }
  for (const auto& scan : scans) {
    ScanHeader(out, scan, static_cast<uint8_t>(options.predictor), 0, static_cast<uint8_t>(pt));
    CBitWriter bits;
    uint32_t restartIndex = 0;
    for (uint32_t y = 0; y < image.height; ++y) {
      const bool first = y == 0 || (options.restartLines != 0 && y % options.restartLines == 0);
      if (y != 0 && first) Restart(bits, restartIndex);
      for (uint32_t x = 0; x < w; ++x) {
        for (const uint32_t c : scan) {
          int32_t prediction = 0;
          if (first) {
            prediction = x == 0 ? 1 << (image.bits - pt - 1) : at(x - 1, y, c);
          } else if (x == 0) {
            prediction = at(0, y - 1, c);
          } else {
            const int32_t a = at(x - 1, y, c), b = at(x, y - 1, c), cc = at(x - 1, y - 1, c);
            const int32_t predictions[] = {0, a, b, cc, a + b - cc, a + ((b - cc) >> 1), b + ((a - cc) >> 1), (a + b) >> 1};
            prediction = predictions[options.predictor];
          }
          int32_t difference = (at(x, y, c) - prediction) & 0xFFFF;
          if (difference >= 32768) difference -= 65536;
          PutValue(bits, tables[c], difference == -32768 ? 32768 : difference);
        }
      }
    }
    bits.Align();
    out.insert(out.end(), bits.Data().begin(), bits.Data().end());
  }
  out.insert(out.end(), {0xFF, 0xD9});
  return out;
}

struct DctOptions {
  uint32_t width = 0, height = 0, precision = 8;
  std::vector<uint8_t> sampling{0x11};  ///< Hi << 4 | Vi per component
  uint32_t restartInterval = 0;         ///< MCUs, 0 for none
  bool interleaved = true;
  uint32_t seed = 1;
};

/// A sequential DCT stream (SOF1) of pseudo-random coefficients: a DC level
/// wandering over the sample range and a few small AC terms per block.
inline Bytes DctStream(const DctOptions& o) {
  Bytes out = FrameHeader(0xC1, o.precision, o.width, o.height, o.sampling);
  Bytes quant{0x00};
  for (uint32_t i = 0; i < 64; ++i) quant.push_back(static_cast<uint8_t>(1 + i % 7));
  Segment(out, 0xDB, quant);
  const uint32_t nc = static_cast<uint32_t>(o.sampling.size());
  FlatTable dc{{}, 5}, ac{{}, 8};
  for (uint8_t s = 0; s < 16; ++s) dc.symbols.push_back(s);
  ac.symbols = {0x00, 0xF0};
  for (uint8_t r = 0; r < 16; ++r) {
    for (uint8_t s = 1; s <= (o.precision > 8 ? 14 : 10); ++s) ac.symbols.push_back(static_cast<uint8_t>(r << 4 | s));
  }
  for (uint32_t c = 0; c < nc; ++c) {
    dc.Write(out, static_cast<uint8_t>(c));
    ac.Write(out, static_cast<uint8_t>(0x10 | c));
  }
  if (o.restartInterval != 0) Segment(out, 0xDD, {static_cast<uint8_t>(o.restartInterval >> 8), static_cast<uint8_t>(o.restartInterval)});
  uint32_t hMax = 1, vMax = 1;
  for (const uint8_t s : o.sampling) hMax = std::max<uint32_t>(hMax, s >> 4), vMax = std::max<uint32_t>(vMax, s & 15);
  uint32_t state = o.seed;
  const auto next = [&](uint32_t range) { return ((state = state * 1103515245u + 12345u) >> 16 & 0x7FFFu) % range; };
  const int32_t dcRange = 8 << (o.precision - 1);  // DC of samples spanning the range: ±8 × 2^(P−1)
  std::vector<int32_t> level(nc, 0);
  std::vector<std::vector<uint32_t>> scans;
  if (o.interleaved) {
    scans.emplace_back();
    for (uint32_t c = 0; c < nc; ++c) scans.back().push_back(c);
  } else {
    for (uint32_t c = nc; c-- > 0;) scans.push_back({c});
  }
  for (const auto& scan : scans) {
    ScanHeader(out, scan, 0, 63, 0);
    uint32_t mcusX = (o.width + 8 * hMax - 1) / (8 * hMax), mcusY = (o.height + 8 * vMax - 1) / (8 * vMax);
    if (scan.size() == 1) {
      const uint32_t h = o.sampling[scan[0]] >> 4, v = o.sampling[scan[0]] & 15;
      mcusX = ((o.width * h + hMax - 1) / hMax + 7) / 8;
      mcusY = ((o.height * v + vMax - 1) / vMax + 7) / 8;
    }
    CBitWriter bits;
    std::vector<int32_t> previous(nc, 0);
    uint32_t restartIndex = 0;
    for (uint32_t mcu = 0; mcu < mcusX * mcusY; ++mcu) {
      if (o.restartInterval != 0 && mcu != 0 && mcu % o.restartInterval == 0) {
        Restart(bits, restartIndex);
        std::fill(previous.begin(), previous.end(), 0);
      }
      for (const uint32_t c : scan) {
        const uint32_t blocks = scan.size() == 1 ? 1 : (o.sampling[c] >> 4) * (o.sampling[c] & 15);
        for (uint32_t b = 0; b < blocks; ++b) {
          level[c] = std::clamp(level[c] + static_cast<int32_t>(next(401)) - 200, -dcRange * 9 / 10, dcRange * 9 / 10);
          PutValue(bits, dc, level[c] - previous[c]);  // quant[0] is 1
          previous[c] = level[c];
          uint32_t k = 1;
          for (uint32_t terms = next(6); terms > 0 && k < 64; --terms) {
            const uint32_t run = next(22);
            if (k + run > 63) break;
            for (uint32_t r = run; r >= 16; r -= 16) ac.Code(bits, 0xF0);
            const int32_t magnitude = 1 + static_cast<int32_t>(next(o.precision > 8 ? 300 : 40));
            PutValue(bits, ac, next(2) != 0 ? magnitude : -magnitude, static_cast<uint8_t>(run % 16));
            k += run + 1;
          }
          if (k < 64) ac.Code(bits, 0x00);
        }
      }
    }
    bits.Align();
    out.insert(out.end(), bits.Data().begin(), bits.Data().end());
  }
  out.insert(out.end(), {0xFF, 0xD9});
  return out;
}

}  // namespace quillon::test
