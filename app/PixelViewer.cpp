#include "app/PixelViewer.h"

#include "dicom/DicomPixelData.h"
#include "pixel/FrameImageWriter.h"
#include "pixel/PixelCodec.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace quillon {

namespace {

constexpr const char* kCannotReadImageData = "Cannot read image data";
constexpr const char* kCannotReadFirstFrame = "Cannot read first frame";
constexpr const char* kCannotReadFrame = "Cannot read frame";

/// A number as a person reads it: no trailing zeros, at most 2 decimals.
std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", value);
  std::string shown = text;
  while (!shown.empty() && shown.back() == '0') shown.pop_back();
  if (!shown.empty() && shown.back() == '.') shown.pop_back();
  return shown == "-0" ? "0" : shown;
}

std::string Text(const CDicomObject& object, DicomTag tag) {
  std::string text;
  (void)object.GetString(tag, text);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) text.pop_back();
  return text;
}

}  // namespace

CPixelViewer::CPixelViewer(CDicomImageDoc& document) : m_document(document) { m_document.AddObserver(this); }

CPixelViewer::~CPixelViewer() { m_document.RemoveObserver(this); }

std::string CPixelViewer::SetupProblem() const {
  const CDicomObject& object = m_document.Object();
  uint16_t rows = 0;
  uint16_t columns = 0;
  (void)object.GetUInt16(tags::kRows, rows);
  (void)object.GetUInt16(tags::kColumns, columns);
  if (!object.Contains(tags::kPixelData)) return "The data set has no Pixel Data (7FE0,0010).";
  if (rows == 0 || columns == 0) return "Rows (0028,0010) and Columns (0028,0011) must both be above 0.";
  if (uint64_t{rows} * columns > kMaxFramePixels) {
    return "A frame of " + std::to_string(columns) + " x " + std::to_string(rows) + " pixels is too large to show.";
  }
  uint16_t bits = 0;
  uint16_t samples = 0;
  (void)object.GetUInt16(tags::kBitsAllocated, bits);
  (void)object.GetUInt16(0x00280002, samples);
  std::string syntax;
  (void)object.GetString(tags::kTransferSyntaxUid, syntax);
  return "Photometric Interpretation \"" + Text(object, tags::kPhotometricInterpretation) + "\" with " +
         std::to_string(samples) + " sample(s) of " + std::to_string(bits) + " bits allocated" +
         (syntax.empty() ? std::string() : " in transfer syntax " + syntax) + " cannot be shown.";
}

std::string CPixelViewer::FrameProblem(FrameStatus status, int32_t index) const {
  const std::string frame = "frame " + std::to_string(index + 1) + " of " + std::to_string(FrameCount());
  switch (status) {
    case FrameStatus::CannotReopen:
      return "The file " + m_document.PixelSourcePath() + " could not be opened again to read " + frame + ".";
    case FrameStatus::ReadWriteFailed:
      return "The stored " + frame + " could not be read: the pixel data ends before it, or a fragment is missing." +
             (m_headerWarning.empty() ? std::string() : "\n" + m_headerWarning);
    case FrameStatus::NoBuffer: return "There is not enough memory to read " + frame + ".";
    case FrameStatus::CodecFailed:
      return "The stored " + frame + " could not be decoded (damaged data, or an encoding this program cannot decode).";
    case FrameStatus::OutOfRange: return "There is no " + frame + ".";
    default: return "The pixel data could not be read.";
  }
}

void CPixelViewer::CheckFrameSize() {
  m_headerWarning.clear();
  const auto* pixels = dynamic_cast<const CDicomPixelData*>(m_document.Object().Elements().Find(tags::kPixelData));
  if (pixels == nullptr || pixels->IsEncapsulated() || pixels->IsUndefinedLength()) return;
  const uint64_t frameSize = m_image.StoredFrameSize();
  const uint64_t frames = static_cast<uint64_t>(std::max(1, m_image.NumberOfFrames()));
  const uint64_t needed = frameSize * frames;
  const uint64_t held = pixels->GetLength();
  // One pad byte makes an odd value even.
  if (held == needed || (needed % 2 == 1 && held == needed + 1) || frameSize == 0) return;
  m_headerWarning = "The header describes " + std::to_string(frames) + " frame(s) of " +
                    std::to_string(m_image.Columns()) + " x " + std::to_string(m_image.Rows()) + " x " +
                    std::to_string(m_image.SamplesPerPixel()) + " sample(s) of " +
                    std::to_string(m_image.BitsAllocated()) + " bits: " + std::to_string(needed) +
                    " bytes, but the pixel data holds " + std::to_string(held) + " bytes";
  m_headerWarning += held < needed ? " (" + std::to_string(held / frameSize) + " complete frame(s))." : ".";
}

bool CPixelViewer::Open(std::string& error) {
  m_started = true;
  m_open = false;
  const int32_t keep = std::max(m_current, 0);
  m_current = -1;
  // The bitmap is made only once the image is set up and its size known
  // to be one a screen can show.
  if (!m_image.OpenDocument(m_document.Object(), m_document.PixelSourcePath()) || m_image.Columns() == 0 ||
      m_image.Rows() == 0 || uint64_t{m_image.Columns()} * m_image.Rows() > kMaxFramePixels ||
      m_image.FrameSize() == 0 || m_image.GetBitmapInfo() == nullptr || m_image.Codec() == nullptr) {
    // The image says why when it knows (a transfer syntax without decoder).
    error = std::string(kCannotReadImageData) + "\n\n" + (m_image.LastError().empty() ? SetupProblem() : m_image.LastError());
    m_image.Close();
    return false;
  }
  m_open = true;
  m_image.Codec()->SetSampleSink(&m_samples);
  m_settings = GreyscaleSettings::From(m_document.Object());
  CheckFrameSize();
  const int32_t first = keep < m_image.NumberOfFrames() ? keep : 0;
  std::string reason;
  if (!Render(first, reason)) {
    error = std::string(kCannotReadFirstFrame) + "\n\n" + reason;
    return false;
  }
  return true;
}

void CPixelViewer::ChooseFirstWindow() {
  // A window set by the user survives the document being read again.
  if (m_windowChosen) return;
  m_windowChosen = true;
  m_useVoiLut = false;
  if (m_settings.fileWindow) {
    m_window = *m_settings.fileWindow;
  } else {
    const double low = m_settings.ToModality(m_sampleMin);
    const double high = m_settings.ToModality(m_sampleMax);
    m_window = WindowOverRange(std::min(low, high), std::max(low, high));
    m_useVoiLut = m_settings.voiLut.has_value();
  }
  m_firstWindow = m_window;
}

bool CPixelViewer::Render(int32_t index, std::string& reason) {
  std::vector<uint8_t> bitmap(m_image.FrameSize());
  uint64_t length = 0;
  std::vector<int32_t> previous = m_samples;
  m_samples.clear();
  const FrameStatus status = m_image.ReadFrame(index, bitmap.data(), bitmap.size(), length);
  if (status != FrameStatus::Success) {
    m_samples = std::move(previous);
    reason = FrameProblem(status, index);
    if (status == FrameStatus::CodecFailed && !m_image.LastError().empty()) reason += "\n" + m_image.LastError();
    return false;
  }
  const BitmapInfo* info = m_image.GetBitmapInfo();
  m_width = static_cast<uint32_t>(info->width);
  m_height = static_cast<uint32_t>(info->height);
  if (m_samples.size() == uint64_t{m_width} * m_height && !m_samples.empty()) {
    const auto [low, high] = std::minmax_element(m_samples.begin(), m_samples.end());
    m_sampleMin = *low;
    m_sampleMax = *high;
    ChooseFirstWindow();
    DrawGrey();
  } else {
    m_samples.clear();
    m_pixels = BitmapToRgbRows(*info, m_image.AlignedColumns(), bitmap.data());
    FindGreyLevels(*info);
  }
  // Whoever is told of the change reads the frame number: it is this one.
  m_current = index;
  if (onChanged) onChanged();
  return true;
}

void CPixelViewer::FindGreyLevels(const BitmapInfo& info) {
  // An 8-bit grey frame is drawn through a palette of greys (turned over
  // for MONOCHROME1): reversed, it gives the stored value under the cursor.
  m_greyToStored.clear();
  if (m_image.SamplesPerPixel() != 1 || m_image.BitsAllocated() != 8) return;
  std::vector<int16_t> stored(256, -1);
  for (size_t i = 0; i < 256; ++i) {
    const uint8_t blue = info.palette[4 * i], green = info.palette[4 * i + 1], red = info.palette[4 * i + 2];
    if (red != green || green != blue || stored[red] != -1) return;  // a colour palette, or not one to one
    stored[red] = static_cast<int16_t>(i);
  }
  m_greyToStored = std::move(stored);
}

void CPixelViewer::DrawGrey() {
  const BitmapInfo* info = m_image.GetBitmapInfo();
  const std::vector<uint8_t> levels = BuildDisplayTable(m_settings, m_sampleMin, m_sampleMax, m_window, m_useVoiLut);
  // Level to colour through the bitmap's palette (MONOCHROME1 shows low
  // values white there).
  std::array<uint8_t, 256 * 3> colours{};
  for (size_t i = 0; i < 256; ++i) {
    colours[3 * i] = info->palette[4 * i + 2];
    colours[3 * i + 1] = info->palette[4 * i + 1];
    colours[3 * i + 2] = info->palette[4 * i];
  }
  m_pixels.resize(m_samples.size() * 3);
  uint8_t* out = m_pixels.data();
  for (const int32_t sample : m_samples) {
    const uint8_t* colour = &colours[3 * size_t{levels[static_cast<size_t>(sample - m_sampleMin)]}];
    out[0] = colour[0];
    out[1] = colour[1];
    out[2] = colour[2];
    out += 3;
  }
}

bool CPixelViewer::ShowFrame(int32_t index, std::string& error) {
  std::string reason;
  if (!m_open || index < 0 || index >= FrameCount()) {
    error = std::string(kCannotReadFrame) + " " + std::to_string(index + 1);
    return false;
  }
  if (!Render(index, reason)) {
    error = std::string(kCannotReadFrame) + " " + std::to_string(index + 1) + "\n\n" + reason;
    return false;
  }
  return true;
}

bool CPixelViewer::Next(std::string& error) {
  if (!CanNext()) {
    error = "There is no next frame.";
    return false;
  }
  return ShowFrame(m_current + 1, error);
}

bool CPixelViewer::Prev(std::string& error) {
  if (!CanPrev()) {
    error = "There is no previous frame.";
    return false;
  }
  return ShowFrame(m_current - 1, error);
}

std::string CPixelViewer::FramePaneText() const {
  if (!m_open) return {};
  return std::to_string(m_current + 1) + "/" + std::to_string(FrameCount());
}

int32_t CPixelViewer::WindowWidth() const { return static_cast<int32_t>(std::lround(m_window.width)); }
int32_t CPixelViewer::WindowCenter() const { return static_cast<int32_t>(std::lround(m_window.center)); }

std::string CPixelViewer::WindowText() const {
  if (!HasWindow()) return {};
  if (m_useVoiLut) return "VOI LUT";
  std::string text = "C " + Number(m_window.center) + "  W " + Number(m_window.width);
  if (!m_settings.unit.empty()) text += " " + m_settings.unit;
  return text;
}

bool CPixelViewer::SetWindow(const GreyWindow& window) {
  if (!HasWindow()) return false;
  const GreyWindow wanted{window.center, std::max(1.0, window.width)};
  if (wanted == m_window && !m_useVoiLut) return false;
  m_window = wanted;
  m_useVoiLut = false;
  DrawGrey();
  if (onChanged) onChanged();
  return true;
}

bool CPixelViewer::ResetWindow() {
  if (!HasWindow()) return false;
  m_window = m_firstWindow;
  m_useVoiLut = !m_settings.fileWindow && m_settings.voiLut.has_value();
  DrawGrey();
  if (onChanged) onChanged();
  return true;
}

bool CPixelViewer::MouseMove(int x, int y, bool leftButton) {
  const int dx = x - m_lastX;
  const int dy = y - m_lastY;
  m_lastX = x;
  m_lastY = y;
  if (!leftButton || (dx == 0 && dy == 0) || !HasWindow()) return false;
  const double low = m_settings.ToModality(m_sampleMin);
  const double high = m_settings.ToModality(m_sampleMax);
  const double range = std::max(1.0, std::fabs(high - low) + 1);
  const double step = range / kDragPixelsPerRange;
  // The centre may leave the values a little (a window that shows them all
  // dark or all bright), never without bound.
  GreyWindow window = m_window;
  window.width = std::clamp(window.width + dx * step, 1.0, 4 * range);
  window.center = std::clamp(window.center - dy * step, std::min(low, high) - range, std::max(low, high) + range);
  return SetWindow(window);
}

std::string CPixelViewer::PixelInfo(int64_t column, int64_t row) const {
  if (!m_open || column < 0 || row < 0 || column >= m_width || row >= m_height) return {};
  const size_t index = static_cast<size_t>(row) * m_width + static_cast<size_t>(column);
  std::string text = "Row " + std::to_string(row) + "  Col " + std::to_string(column);
  if (!m_samples.empty()) {
    const int32_t stored = m_samples[index];
    text += "  Stored " + std::to_string(stored) + "  Value " + Number(m_settings.ToModality(stored));
    if (!m_settings.unit.empty()) text += " " + m_settings.unit;
    return text;
  }
  const uint8_t* rgb = &m_pixels[3 * index];
  if (!m_greyToStored.empty() && m_greyToStored[rgb[0]] >= 0) {
    const int32_t stored = m_greyToStored[rgb[0]];
    text += "  Stored " + std::to_string(stored) + "  Value " + Number(m_settings.ToModality(stored));
    if (!m_settings.unit.empty()) text += " " + m_settings.unit;
    return text;
  }
  return text + "  R " + std::to_string(rgb[0]) + "  G " + std::to_string(rgb[1]) + "  B " + std::to_string(rgb[2]);
}

void CPixelViewer::OnRowsRebuilt(const CDicomImageDoc&, const RowFocus&) {
  // The document may have replaced or removed the pixel data this view
  // reads from: set up again before anything reads a frame.
  if (!m_started) return;
  std::string ignored;
  if (!Open(ignored)) {
    m_pixels.clear();
    m_samples.clear();
    m_width = 0;
    m_height = 0;
    if (onChanged) onChanged();
  }
}

}  // namespace quillon
