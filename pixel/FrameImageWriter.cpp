#include "pixel/FrameImageWriter.h"

#include "base/AtomicFileWriter.h"
#include "base/FileStream.h"
#include "pixel/PixelImage.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <vector>

namespace quillon {

namespace {

void Put16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}
void Put32BigEndian(std::vector<uint8_t>& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(v >> shift));
}

}  // namespace

std::vector<uint8_t> BitmapToRgbRows(const BitmapInfo& info, uint32_t alignedColumns, const uint8_t* bitmap) {
  const auto width = static_cast<uint32_t>(info.width);
  const auto height = static_cast<uint32_t>(info.height);
  const uint32_t bytesPerPixel = info.bitCount / 8;
  std::vector<uint8_t> rgb(uint64_t{width} * height * 3);
  for (uint32_t y = 0; y < height; ++y) {
    const uint8_t* row = bitmap + uint64_t{height - 1 - y} * alignedColumns * bytesPerPixel;
    uint8_t* out = rgb.data() + uint64_t{y} * width * 3;
    for (uint32_t x = 0; x < width; ++x) {
      const uint8_t* colour = bytesPerPixel == 3 ? row + 3 * x : &info.palette[4 * row[x * bytesPerPixel]];
      out[3 * x] = colour[2];
      out[3 * x + 1] = colour[1];
      out[3 * x + 2] = colour[0];
    }
  }
  return rgb;
}

namespace {

std::vector<uint8_t> EncodeBmp(const BitmapInfo& info, uint32_t alignedColumns, const uint8_t* bitmap) {
  const auto width = static_cast<uint32_t>(info.width);
  const auto height = static_cast<uint32_t>(info.height);
  const bool palette = info.bitCount == 8;
  const uint32_t stride = palette ? alignedColumns : (width * 3 + 3) & ~3u;
  const uint32_t paletteBytes = palette ? 1024 : 0;
  const uint32_t offset = 14 + 40 + paletteBytes;
  std::vector<uint8_t> out;
  out.reserve(offset + uint64_t{stride} * height);
  out.push_back('B');
  out.push_back('M');
  Put32(out, static_cast<uint32_t>(offset + uint64_t{stride} * height));
  Put32(out, 0);
  Put32(out, offset);
  Put32(out, 40);
  Put32(out, width);
  Put32(out, height);  // positive: bottom-up, as the bitmap is
  Put16(out, 1);
  Put16(out, palette ? 8 : 24);
  Put32(out, 0);
  Put32(out, stride * height);
  Put32(out, 2835);
  Put32(out, 2835);
  Put32(out, palette ? 256 : 0);
  Put32(out, 0);
  if (palette) out.insert(out.end(), info.palette.begin(), info.palette.end());
  for (uint32_t y = 0; y < height; ++y) {
    const uint8_t* row = bitmap + uint64_t{y} * alignedColumns * (palette ? 1 : 3);
    const size_t before = out.size();
    out.insert(out.end(), row, row + (palette ? alignedColumns : width * 3));
    out.resize(before + stride, 0);
  }
  return out;
}

uint32_t Crc32(const uint8_t* data, size_t length, uint32_t crc = 0) {
  static const std::array<uint32_t, 256> table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t n = 0; n < 256; ++n) {
      uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[n] = c;
    }
    return t;
  }();
  crc = ~crc;
  for (size_t i = 0; i < length; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

void PutChunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& data) {
  Put32BigEndian(out, static_cast<uint32_t>(data.size()));
  const size_t start = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data.begin(), data.end());
  Put32BigEndian(out, Crc32(out.data() + start, out.size() - start));
}

std::vector<uint8_t> EncodePng(const BitmapInfo& info, uint32_t alignedColumns, const uint8_t* bitmap) {
  const auto width = static_cast<uint32_t>(info.width);
  const auto height = static_cast<uint32_t>(info.height);
  const std::vector<uint8_t> rgb = BitmapToRgbRows(info, alignedColumns, bitmap);
  // Scanlines with filter type 0, in a zlib stream of stored blocks.
  std::vector<uint8_t> raw;
  raw.reserve(rgb.size() + height);
  for (uint32_t y = 0; y < height; ++y) {
    raw.push_back(0);
    raw.insert(raw.end(), rgb.begin() + static_cast<long>(uint64_t{y} * width * 3),
               rgb.begin() + static_cast<long>(uint64_t{y + 1} * width * 3));
  }
  std::vector<uint8_t> zlib{0x78, 0x01};
  for (size_t at = 0; at < raw.size() || at == 0; at += 65535) {
    const size_t n = std::min<size_t>(65535, raw.size() - at);
    zlib.push_back(at + n >= raw.size() ? 1 : 0);
    Put16(zlib, static_cast<uint32_t>(n));
    Put16(zlib, static_cast<uint32_t>(~n & 0xFFFF));
    zlib.insert(zlib.end(), raw.begin() + static_cast<long>(at), raw.begin() + static_cast<long>(at + n));
    if (raw.empty()) break;
  }
  uint32_t a = 1;
  uint32_t b = 0;
  for (uint8_t byte : raw) {
    a = (a + byte) % 65521;
    b = (b + a) % 65521;
  }
  Put32BigEndian(zlib, (b << 16) | a);

  std::vector<uint8_t> out{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<uint8_t> header;
  Put32BigEndian(header, width);
  Put32BigEndian(header, height);
  header.insert(header.end(), {8, 2, 0, 0, 0});  // 8-bit true colour
  PutChunk(out, "IHDR", header);
  PutChunk(out, "IDAT", zlib);
  PutChunk(out, "IEND", {});
  return out;
}

bool EndsWithPng(const std::string& path) {
  if (path.size() < 4) return false;
  std::string tail = path.substr(path.size() - 4);
  std::transform(tail.begin(), tail.end(), tail.begin(), [](unsigned char c) { return std::tolower(c); });
  return tail == ".png";
}

}  // namespace

Status WriteFrameImage(const std::string& path, const BitmapInfo& info, uint32_t alignedColumns,
                       const uint8_t* bitmap) {
  if (bitmap == nullptr || info.width <= 0 || info.height <= 0 || (info.bitCount != 8 && info.bitCount != 24)) {
    return Error(ErrorCode::Failure, "the frame has no displayable bitmap");
  }
  const std::vector<uint8_t> bytes =
      EndsWithPng(path) ? EncodePng(info, alignedColumns, bitmap) : EncodeBmp(info, alignedColumns, bitmap);
  return WriteFileAtomically(path, [&bytes](CFileStream& stream) {
    stream.Write(bytes.data(), bytes.size());
    return Ok();
  });
}

}  // namespace quillon
