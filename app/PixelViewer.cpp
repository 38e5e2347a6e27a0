#include "app/PixelViewer.h"

#include "pixel/FrameImageWriter.h"

#include <algorithm>

namespace quillon {

namespace {
constexpr const char* kCannotReadImageData = "Cannot read image data";
constexpr const char* kCannotReadFirstFrame = "Cannot read first frame";
constexpr const char* kCannotReadNextFrame = "Cannot read next frame";
}  // namespace

CPixelViewer::CPixelViewer(CDicomImageDoc& document) : m_document(document) { m_document.AddObserver(this); }

CPixelViewer::~CPixelViewer() { m_document.RemoveObserver(this); }

bool CPixelViewer::Open(std::string& error) {
  m_started = true;
  m_open = false;
  const int32_t keep = std::max(m_current, 0);
  m_current = -1;
  // The bitmap is made only once the image is set up and its size known
  // to be one a screen can show.
  if (!m_image.OpenDocument(m_document.Object(), m_document.Path()) || m_image.Columns() == 0 || m_image.Rows() == 0 ||
      uint64_t{m_image.Columns()} * m_image.Rows() > kMaxFramePixels || m_image.FrameSize() == 0 ||
      m_image.GetBitmapInfo() == nullptr) {
    // Say why when the image knows (a transfer syntax without decoder).
    error = m_image.LastError().empty() ? kCannotReadImageData : kCannotReadImageData + (": " + m_image.LastError());
    m_image.Close();
    return false;
  }
  m_open = true;
  uint16_t representation = 0;
  m_signed = m_document.Object().GetUInt16(tags::kPixelRepresentation, representation) == DicomStatus::Success &&
             representation == 1;
  int32_t width = 0;
  int32_t center = 0;
  // A window set by dragging survives the document being read again; a
  // first look uses the window the file suggests, when it has one.
  if (m_windowWidth != 0 || m_windowCenter != 0) {
    (void)m_image.SetWindow(m_windowWidth, m_windowCenter);
  } else if (m_image.GetWindow(width, center)) {
    if (width > 256 && SuggestedWindow(m_document.Object(), width, center)) (void)m_image.SetWindow(width, center);
    m_windowWidth = width;
    m_windowCenter = center;
  }
  const int32_t first = keep < m_image.NumberOfFrames() ? keep : 0;
  if (!Render(first)) {
    error = m_image.LastError().empty() ? kCannotReadFirstFrame : kCannotReadFirstFrame + (": " + m_image.LastError());
    return false;
  }
  m_current = first;
  return true;
}

bool CPixelViewer::Render(int32_t index) {
  std::vector<uint8_t> bitmap(m_image.FrameSize());
  uint64_t length = 0;
  if (m_image.ReadFrame(index, bitmap.data(), bitmap.size(), length) != FrameStatus::Success) return false;
  const BitmapInfo* info = m_image.GetBitmapInfo();
  m_pixels = BitmapToRgbRows(*info, m_image.AlignedColumns(), bitmap.data());
  m_bitmap = std::move(bitmap);
  m_width = static_cast<uint32_t>(info->width);
  m_height = static_cast<uint32_t>(info->height);
  if (onChanged) onChanged();
  return true;
}

bool CPixelViewer::Next(std::string& error) {
  if (!CanNext() || !Render(m_current + 1)) {
    error = kCannotReadNextFrame;
    return false;
  }
  ++m_current;
  return true;
}

bool CPixelViewer::Prev(std::string& error) {
  // The number changes only with the frame shown: a frame that cannot be
  // read leaves both as they were.
  if (!CanPrev() || !Render(m_current - 1)) {
    error = kCannotReadNextFrame;
    return false;
  }
  --m_current;
  return true;
}

std::string CPixelViewer::FramePaneText() const {
  if (!m_open) return {};
  return std::to_string(m_current + 1) + "/" + std::to_string(FrameCount());
}

bool CPixelViewer::MouseMove(int x, int y, bool leftButton) {
  const int dx = x - m_lastX;
  const int dy = y - m_lastY;
  m_lastX = x;
  m_lastY = y;
  if (!leftButton || (dx == 0 && dy == 0) || !m_open) return false;
  const int64_t low = m_signed ? -32768 : 0;
  const int64_t high = m_signed ? 32767 : kMaxWindowValue;
  const auto width = std::clamp<int64_t>(int64_t{m_windowWidth} + int64_t{dx} * kWindowStep, 0, kMaxWindowValue);
  const auto center = std::clamp<int64_t>(int64_t{m_windowCenter} - int64_t{dy} * kWindowStep, low, high);
  return SetWindow(static_cast<int32_t>(width), static_cast<int32_t>(center));
}

bool CPixelViewer::SetWindow(int32_t width, int32_t center) {
  if (!m_open || (width == m_windowWidth && center == m_windowCenter)) return false;
  m_windowWidth = width;
  m_windowCenter = center;
  if (!m_image.SetWindow(width, center)) return false;
  return Render(m_current);
}

void CPixelViewer::OnRowsRebuilt(const CDicomImageDoc&, const RowFocus&) {
  // The document may have replaced or removed the pixel data this view
  // reads from: set up again before anything reads a frame.
  if (!m_started) return;
  std::string ignored;
  if (!Open(ignored)) {
    m_pixels.clear();
    m_bitmap.clear();
    m_width = 0;
    m_height = 0;
    if (onChanged) onChanged();
  }
}

}  // namespace quillon
