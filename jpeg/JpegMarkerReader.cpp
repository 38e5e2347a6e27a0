/// \file
/// The marker walk of our JPEG decoders: SOI, tables, the frame header and
/// the scan headers, each segment checked before it is read.
#include "jpeg/JpegMarkerReader.h"

#include "jpeg/JpegZigZag.h"

#include <cstdio>
#include <string>

namespace quillon {

namespace {

std::string Hex(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", value & 0xFFu);
  return text;
}

std::string At(size_t offset) { return " at offset " + std::to_string(offset); }

Error Damaged(std::string message) { return Error(ErrorCode::Malformed, "JPEG data: " + std::move(message)); }
Error Unsupported(std::string message) { return Error(ErrorCode::WrongKind, "JPEG data: " + std::move(message)); }

uint32_t BigEndian16(const uint8_t* p) { return (uint32_t{p[0]} << 8) | p[1]; }

/// Start-of-frame markers: C0 … CF except DHT (C4), JPG (C8) and DAC (CC).
bool IsFrameMarker(uint8_t marker) {
  return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

}  // namespace

CJpegMarkerReader::CJpegMarkerReader(const uint8_t* data, size_t length)
    : m_data(data), m_length(data == nullptr ? 0 : length) {}

const CJpegHuffmanTable* CJpegMarkerReader::HuffmanTable(uint32_t tableClass, uint32_t index) const {
  if (tableClass > 1 || index > 3 || !m_huffmanDefined[tableClass][index]) return nullptr;
  return &m_huffman[tableClass][index];
}

const std::array<uint16_t, 64>* CJpegMarkerReader::QuantTable(uint32_t index) const {
  if (index > 3 || !m_quantDefined[index]) return nullptr;
  return &m_quant[index];
}

Status CJpegMarkerReader::NextMarker(uint8_t& marker, size_t& markerOffset) {
  if (m_position >= m_length) return Damaged("the data ends" + At(m_position) + " where a marker was expected");
  if (m_data[m_position] != 0xFF) {
    return Damaged("expected a marker" + At(m_position) + ", found byte " + Hex(m_data[m_position]));
  }
  markerOffset = m_position;
  while (m_position < m_length && m_data[m_position] == 0xFF) ++m_position;  // fill bytes
  if (m_position >= m_length) return Damaged("the data ends inside the marker" + At(markerOffset));
  marker = m_data[m_position++];
  if (marker == 0x00) return Damaged("a stuffed zero byte stands where a marker was expected" + At(markerOffset));
  return Ok();
}

Status CJpegMarkerReader::SegmentPayload(uint8_t marker, size_t markerOffset, const uint8_t*& payload,
                                         size_t& payloadLength) {
  if (m_length - m_position < 2) {
    return Damaged("the data ends inside the length of segment " + Hex(marker) + At(markerOffset));
  }
  const size_t length = BigEndian16(m_data + m_position);
  if (length < 2 || length > m_length - m_position) {
    return Damaged("segment " + Hex(marker) + At(markerOffset) + " claims " + std::to_string(length) + " bytes, " +
                   std::to_string(m_length - m_position) + " remain");
  }
  payload = m_data + m_position + 2;
  payloadLength = length - 2;
  m_position += length;
  return Ok();
}

Status CJpegMarkerReader::ReadFrameHeader() {
  if (m_length < 2 || m_data[0] != 0xFF || m_data[1] != 0xD8) return Damaged("no start-of-image marker at offset 0");
  m_position = 2;
  for (;;) {
    uint8_t marker = 0;
    size_t markerOffset = 0;
    if (Status next = NextMarker(marker, markerOffset); !next) return next;
    if (IsFrameMarker(marker)) {
      const uint8_t* payload = nullptr;
      size_t length = 0;
      if (Status segment = SegmentPayload(marker, markerOffset, payload, length); !segment) return segment;
      return ReadFrameSegment(marker, payload, length, markerOffset);
    }
    if (marker == 0xDA) return Damaged("a scan" + At(markerOffset) + " comes before the frame header");
    if (marker == 0xD9) return Damaged("the image ends" + At(markerOffset) + " before its frame header");
    if (Status segment = ReadMiscellaneousSegment(marker, markerOffset); !segment) return segment;
  }
}

Result<bool> CJpegMarkerReader::ReadNextScan(JpegScanHeader& scan) {
  if (!m_haveFrame) return Damaged("a scan is read before the frame header");
  for (;;) {
    // Some encoders end the data without an end-of-image marker.
    if (m_position >= m_length) return false;
    uint8_t marker = 0;
    size_t markerOffset = 0;
    if (Status next = NextMarker(marker, markerOffset); !next) return next.GetError();
    if (marker == 0xD9) return false;
    if (IsFrameMarker(marker)) {
      return Unsupported("a second frame header " + Hex(marker) + At(markerOffset) + " (a hierarchical image)");
    }
    if (marker == 0xDA) {
      const uint8_t* payload = nullptr;
      size_t length = 0;
      if (Status segment = SegmentPayload(marker, markerOffset, payload, length); !segment) return segment.GetError();
      if (Status read = ReadScanSegment(payload, length, markerOffset, scan); !read) return read.GetError();
      return true;
    }
    if (Status segment = ReadMiscellaneousSegment(marker, markerOffset); !segment) return segment.GetError();
  }
}

void CJpegMarkerReader::ResumeAfterScan(size_t position) {
  m_position = position < m_length ? position : m_length;
  while (m_position < m_length) {
    if (m_data[m_position] == 0xFF && m_position + 1 < m_length) {
      const uint8_t next = m_data[m_position + 1];
      if (next == 0xFF) {
        ++m_position;  // a fill byte before a marker
        continue;
      }
      if (next != 0x00 && (next < 0xD0 || next > 0xD7)) return;
      m_position += 2;  // a stuffed data byte or a restart marker
      continue;
    }
    ++m_position;
  }
}

Status CJpegMarkerReader::ReadMiscellaneousSegment(uint8_t marker, size_t markerOffset) {
  if (marker == 0x01) return Ok();  // TEM stands alone
  if (marker >= 0xD0 && marker <= 0xD7) {
    return Damaged("restart marker " + Hex(marker) + At(markerOffset) + " outside a scan");
  }
  if (marker == 0xD8) return Damaged("a second start-of-image marker" + At(markerOffset));
  if (marker == 0xDC) return Unsupported("a DNL segment" + At(markerOffset) + " (the image height comes late)");
  if (marker == 0xCC) return Unsupported("arithmetic coding conditioning (DAC)" + At(markerOffset));
  if (marker == 0xDE || marker == 0xDF) {
    return Unsupported("segment " + Hex(marker) + At(markerOffset) + " of a hierarchical image");
  }
  const uint8_t* payload = nullptr;
  size_t length = 0;
  if (Status segment = SegmentPayload(marker, markerOffset, payload, length); !segment) return segment;
  switch (marker) {
    case 0xC4:
      return ReadHuffmanSegment(payload, length, markerOffset);
    case 0xDB:
      return ReadQuantSegment(payload, length, markerOffset);
    case 0xDD:
      if (length != 2) return Damaged("DRI segment" + At(markerOffset) + " is " + std::to_string(length + 2) + " bytes, 4 expected");
      m_restartInterval = BigEndian16(payload);
      return Ok();
    default:
      return Ok();  // APPn, COM and reserved segments say nothing the decoders need
  }
}

Status CJpegMarkerReader::ReadFrameSegment(uint8_t marker, const uint8_t* payload, size_t length,
                                           size_t markerOffset) {
  if (length < 6) return Damaged("frame header" + At(markerOffset) + " is too short");
  JpegFrameHeader frame;
  frame.marker = marker;
  frame.offset = markerOffset;
  frame.precision = payload[0];
  frame.height = BigEndian16(payload + 1);
  frame.width = BigEndian16(payload + 3);
  frame.componentCount = payload[5];
  if (length != 6 + 3 * size_t{frame.componentCount}) {
    return Damaged("frame header" + At(markerOffset) + " is " + std::to_string(length + 2) + " bytes for " +
                   std::to_string(frame.componentCount) + " components");
  }
  if (frame.componentCount == 0) return Damaged("frame header" + At(markerOffset) + " declares no component");
  if (frame.componentCount > kJpegMaxComponents) {
    return Unsupported("the frame has " + std::to_string(frame.componentCount) + " components, at most " +
                       std::to_string(kJpegMaxComponents) + " are supported");
  }
  if (frame.width == 0) return Damaged("frame header" + At(markerOffset) + " declares a width of 0");
  if (frame.height == 0) return Unsupported("the frame height is given by a DNL segment, which is not supported");
  frame.maxHorizontalSampling = frame.maxVerticalSampling = 1;
  for (uint32_t i = 0; i < frame.componentCount; ++i) {
    const uint8_t* field = payload + 6 + 3 * i;
    JpegComponent& component = frame.components[i];
    component.id = field[0];
    component.horizontalSampling = field[1] >> 4;
    component.verticalSampling = field[1] & 15;
    component.quantTable = field[2];
    if (component.horizontalSampling < 1 || component.horizontalSampling > 4 || component.verticalSampling < 1 ||
        component.verticalSampling > 4) {
      return Damaged("component " + std::to_string(component.id) + " has sampling factors " +
                     std::to_string(component.horizontalSampling) + "x" + std::to_string(component.verticalSampling) +
                     At(markerOffset) + ", 1 to 4 allowed");
    }
    if (component.quantTable > 3) {
      return Damaged("component " + std::to_string(component.id) + " names quantisation table " +
                     std::to_string(component.quantTable) + At(markerOffset));
    }
    for (uint32_t j = 0; j < i; ++j) {
      if (frame.components[j].id == component.id) {
        return Damaged("component id " + std::to_string(component.id) + " appears twice in the frame header" +
                       At(markerOffset));
      }
    }
    if (component.horizontalSampling > frame.maxHorizontalSampling) {
      frame.maxHorizontalSampling = component.horizontalSampling;
    }
    if (component.verticalSampling > frame.maxVerticalSampling) {
      frame.maxVerticalSampling = component.verticalSampling;
    }
  }
  m_frame = frame;
  m_haveFrame = true;
  return Ok();
}

Status CJpegMarkerReader::ReadScanSegment(const uint8_t* payload, size_t length, size_t markerOffset,
                                          JpegScanHeader& scan) {
  if (length < 1) return Damaged("scan header" + At(markerOffset) + " is empty");
  scan = JpegScanHeader{};
  scan.offset = markerOffset;
  scan.componentCount = payload[0];
  if (scan.componentCount < 1 || scan.componentCount > m_frame.componentCount ||
      length != 4 + 2 * size_t{scan.componentCount}) {
    return Damaged("scan header" + At(markerOffset) + " with " + std::to_string(scan.componentCount) +
                   " components is " + std::to_string(length + 2) + " bytes, in a frame of " +
                   std::to_string(m_frame.componentCount));
  }
  uint32_t seen = 0;
  for (uint32_t i = 0; i < scan.componentCount; ++i) {
    const uint8_t id = payload[1 + 2 * i];
    const uint8_t tables = payload[2 + 2 * i];
    uint32_t index = 0;
    while (index < m_frame.componentCount && m_frame.components[index].id != id) ++index;
    if (index == m_frame.componentCount) {
      return Damaged("scan" + At(markerOffset) + " names component " + std::to_string(id) +
                     ", which the frame does not have");
    }
    if ((seen & (1u << index)) != 0) {
      return Damaged("scan" + At(markerOffset) + " names component " + std::to_string(id) + " twice");
    }
    seen |= 1u << index;
    scan.componentIndex[i] = static_cast<uint8_t>(index);
    scan.dcTable[i] = tables >> 4;
    scan.acTable[i] = tables & 15;
    if (scan.dcTable[i] > 3 || scan.acTable[i] > 3) {
      return Damaged("scan" + At(markerOffset) + " names Huffman table " + std::to_string(scan.dcTable[i]) + "/" +
                     std::to_string(scan.acTable[i]) + " for component " + std::to_string(id) + ", 0 to 3 allowed");
    }
  }
  const uint8_t* tail = payload + 1 + 2 * scan.componentCount;
  scan.spectralStart = tail[0];
  scan.spectralEnd = tail[1];
  scan.approximationHigh = tail[2] >> 4;
  scan.approximationLow = tail[2] & 15;
  return Ok();
}

Status CJpegMarkerReader::ReadHuffmanSegment(const uint8_t* payload, size_t length, size_t markerOffset) {
  size_t p = 0;
  while (p < length) {
    if (length - p < 17) return Damaged("DHT segment" + At(markerOffset) + " ends inside a table's code counts");
    const uint32_t tableClass = payload[p] >> 4;
    const uint32_t index = payload[p] & 15;
    if (tableClass > 1 || index > 3) {
      return Damaged("DHT segment" + At(markerOffset) + " defines table " + std::to_string(index) + " of class " +
                     std::to_string(tableClass));
    }
    uint8_t counts[16];
    size_t symbols = 0;
    for (size_t i = 0; i < 16; ++i) {
      counts[i] = payload[p + 1 + i];
      symbols += counts[i];
    }
    p += 17;
    if (symbols > length - p) {
      return Damaged("DHT segment" + At(markerOffset) + " lists " + std::to_string(symbols) + " symbols, " +
                     std::to_string(length - p) + " bytes remain");
    }
    const auto kind = tableClass == 0 ? CJpegHuffmanTable::Kind::Difference : CJpegHuffmanTable::Kind::RunLength;
    if (!m_huffman[tableClass][index].Build(counts, payload + p, symbols, kind)) {
      m_huffmanDefined[tableClass][index] = false;
      return Damaged("Huffman table " + std::to_string(index) + " of class " + std::to_string(tableClass) +
                     At(markerOffset) + " has code counts that make no prefix code");
    }
    m_huffmanDefined[tableClass][index] = true;
    p += symbols;
  }
  return Ok();
}

Status CJpegMarkerReader::ReadQuantSegment(const uint8_t* payload, size_t length, size_t markerOffset) {
  size_t p = 0;
  while (p < length) {
    const uint32_t wide = payload[p] >> 4;
    const uint32_t index = payload[p] & 15;
    if (wide > 1 || index > 3) {
      return Damaged("DQT segment" + At(markerOffset) + " defines table " + std::to_string(index) +
                     " with precision code " + std::to_string(wide));
    }
    const size_t size = wide != 0 ? 128 : 64;
    if (length - p - 1 < size) return Damaged("DQT segment" + At(markerOffset) + " ends inside a table");
    const uint8_t* values = payload + p + 1;
    for (size_t k = 0; k < 64; ++k) {
      m_quant[index][kJpegZigZagToNatural[k]] =
          static_cast<uint16_t>(wide != 0 ? BigEndian16(values + 2 * k) : values[k]);
    }
    m_quantDefined[index] = true;
    p += 1 + size;
  }
  return Ok();
}

}  // namespace quillon
