/// \file
/// CPixelViewer — what a pixel data view shows and does, without drawing:
/// the frames of a document read one at a time, Next and Previous Frame,
/// the grey window changed by dragging, and the frame ready to be painted
/// (top-down red, green, blue rows, exactly what `quillon-cli frame`
/// writes). The frames are read from the document's own pixel data, never a
/// copy, and read again whenever the document changes.
#pragma once

#include "app/DicomImageDoc.h"
#include "pixel/PixelImage.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace quillon {

class CPixelViewer : public IDocumentObserver {
 public:
  /// Ten window units per pixel the mouse moves.
  static constexpr int32_t kWindowStep = 10;
  static constexpr int32_t kMaxWindowValue = 65535;
  /// The largest frame shown: beyond it no bitmap is made (a file may claim
  /// any size; a view never allocates on its word alone).
  static constexpr uint64_t kMaxFramePixels = uint64_t{1} << 26;

  explicit CPixelViewer(CDicomImageDoc& document);
  ~CPixelViewer() override;
  CPixelViewer(const CPixelViewer&) = delete;
  CPixelViewer& operator=(const CPixelViewer&) = delete;

  CDicomImageDoc& Document() const { return m_document; }

  /// Sets up the frames and reads the first. False with the message to
  /// show: "Cannot read image data" when there are no frames to read (or
  /// they are too large), "Cannot read first frame" when the first cannot
  /// be read.
  bool Open(std::string& error);
  bool IsOpen() const { return m_open; }

  int32_t FrameCount() const { return m_open ? m_image.NumberOfFrames() : 0; }
  int32_t CurrentFrame() const { return m_current; }
  bool CanNext() const { return m_open && m_current + 1 < FrameCount(); }
  bool CanPrev() const { return m_open && m_current >= 1; }
  /// Shows the next (previous) frame. On failure the frame shown and its
  /// number stay as they were, and `error` is "Cannot read next frame".
  bool Next(std::string& error);
  bool Prev(std::string& error);
  /// "2/3": the frame shown, counted from 1, and the number of frames.
  std::string FramePaneText() const;

  /// A mouse move to (x, y). With the left button down, horizontal moves
  /// widen or narrow the window and vertical moves raise or lower its
  /// centre (up is higher), ten units a pixel, each kept in 0…65535 (the
  /// centre of signed samples in -32768…32767, where their values lie); the
  /// frame is drawn again. True when the window changed.
  bool MouseMove(int x, int y, bool leftButton);
  int32_t WindowWidth() const { return m_windowWidth; }
  int32_t WindowCenter() const { return m_windowCenter; }
  /// Sets the window and draws the frame again.
  bool SetWindow(int32_t width, int32_t center);

  /// The frame shown: Width() × Height() pixels, top-down rows of red,
  /// green and blue bytes.
  uint32_t Width() const { return m_width; }
  uint32_t Height() const { return m_height; }
  const std::vector<uint8_t>& Pixels() const { return m_pixels; }
  /// The display bitmap as read, bottom-up, with its header and palette.
  const std::vector<uint8_t>& Bitmap() const { return m_bitmap; }
  const BitmapInfo* GetBitmapInfo() const { return m_image.GetBitmapInfo(); }
  uint32_t AlignedColumns() const { return m_image.AlignedColumns(); }

  /// Called after the frame shown changed (another frame, another window,
  /// the document changed).
  std::function<void()> onChanged;

  void OnRowsRebuilt(const CDicomImageDoc& document, const RowFocus& focus) override;
  void OnStateChanged(const CDicomImageDoc&) override {}

 private:
  /// Reads frame `index` into the bitmap and converts it; false when it
  /// cannot be read (nothing shown changes).
  bool Render(int32_t index);

  CDicomImageDoc& m_document;
  CPixelImage m_image;
  bool m_started = false;  ///< Open was asked for: follow the document from then on
  bool m_open = false;
  int32_t m_current = -1;
  int32_t m_windowWidth = 0;
  int32_t m_windowCenter = 0;
  bool m_signed = false;
  int m_lastX = 0;
  int m_lastY = 0;
  uint32_t m_width = 0;
  uint32_t m_height = 0;
  std::vector<uint8_t> m_bitmap;
  std::vector<uint8_t> m_pixels;
};

}  // namespace quillon
