/// \file
/// The bit reader's restart markers, met once per restart interval.
#include "jpeg/JpegBitReader.h"

namespace quillon {

bool CJpegBitReader::SkipRestartMarker(uint32_t index) {
  // Whatever is still buffered is the padding of the interval's last byte
  // (or read-ahead zeros); the marker is at m_position.
  size_t at = m_position;
  while (at + 1 < m_length && m_data[at] == 0xFF && m_data[at + 1] == 0xFF) ++at;
  if (at + 1 >= m_length || m_data[at] != 0xFF || m_data[at + 1] != 0xD0 + (index & 7u)) {
    m_position = at;
    return false;
  }
  m_position = at + 2;
  m_bits = 0;
  m_count = 0;
  m_padding = 0;
  m_stopped = false;
  return true;
}

}  // namespace quillon
