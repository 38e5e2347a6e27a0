/// \file
/// CPixelViewer — what a pixel data view shows and does, without drawing:
/// the frames of a document read one at a time (Next, Previous, First,
/// Last, and round for cine), the grey window (dragged, typed, a CT preset
/// or reset), the value under the cursor, and the frame ready to be
/// painted (top-down red, green, blue rows). The frames are read from the
/// document's own pixel data, never a copy, and read again whenever the
/// document changes.
///
/// Grey frames keep their stored values, so a new window is drawn from
/// them without reading the frame again, and the value under the cursor is
/// the stored one, rescaled into the unit of the modality. A file without
/// a window is first shown over the frame's own value range (or its VOI
/// LUT), so the anatomy is seen at once.
#pragma once

#include "app/DicomImageDoc.h"
#include "pixel/GreyscaleDisplay.h"
#include "pixel/PixelImage.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace quillon {

class CPixelViewer : public IDocumentObserver {
 public:
  /// Dragging across this many screen pixels sweeps the window over the
  /// whole value range of the frame, whatever its unit: a CT and an 8-bit
  /// image feel the same under the mouse.
  static constexpr double kDragPixelsPerRange = 512;
  /// The largest frame shown: beyond it no bitmap is made (a file may claim
  /// any size; a view never allocates on its word alone).
  static constexpr uint64_t kMaxFramePixels = uint64_t{1} << 26;

  explicit CPixelViewer(CDicomImageDoc& document);
  ~CPixelViewer() override;
  CPixelViewer(const CPixelViewer&) = delete;
  CPixelViewer& operator=(const CPixelViewer&) = delete;

  CDicomImageDoc& Document() const { return m_document; }

  /// Sets up the frames and reads the first. False with the message to
  /// show: "Cannot read image data" or "Cannot read first frame", then the
  /// reason.
  bool Open(std::string& error);
  bool IsOpen() const { return m_open; }
  /// What the header says that the pixel data contradicts (a frame size
  /// that does not match the value), found on Open; empty when they agree.
  const std::string& HeaderWarning() const { return m_headerWarning; }

  int32_t FrameCount() const { return m_open ? m_image.NumberOfFrames() : 0; }
  int32_t CurrentFrame() const { return m_current; }
  bool CanNext() const { return m_open && m_current + 1 < FrameCount(); }
  bool CanPrev() const { return m_open && m_current >= 1; }
  /// Shows the next (previous) frame. On failure the frame shown and its
  /// number stay as they were, and `error` says why.
  bool Next(std::string& error);
  bool Prev(std::string& error);
  /// Shows frame `index` (the first, the last, one of a cine loop).
  bool ShowFrame(int32_t index, std::string& error);
  /// "2/3": the frame shown, counted from 1, and the number of frames.
  std::string FramePaneText() const;

  // ---- The grey window, in the values after the modality transform ----

  /// Grey images only: colour ones have no window.
  bool HasWindow() const { return m_open && !m_samples.empty(); }
  const GreyWindow& Window() const { return m_window; }
  int32_t WindowWidth() const;
  int32_t WindowCenter() const;
  const GreyscaleSettings& Settings() const { return m_settings; }
  /// "C 40  W 400 HU" for the status bar; empty without a window.
  std::string WindowText() const;
  /// Sets the window (width at least 1) and draws the frame again.
  bool SetWindow(const GreyWindow& window);
  /// Back to the window the view first showed.
  bool ResetWindow();
  /// A mouse move to (x, y). With the left button down, horizontal moves
  /// widen or narrow the window and vertical moves raise or lower its
  /// centre (up is higher), at a speed proportional to the value range.
  /// True when the window changed.
  bool MouseMove(int x, int y, bool leftButton);

  /// "Row 12  Col 34  Stored 1024  Value 0 HU" (three values for colour)
  /// for the image pixel at `column`, `row`; empty outside the image.
  std::string PixelInfo(int64_t column, int64_t row) const;

  /// The frame shown: Width() × Height() pixels, top-down rows of red,
  /// green and blue bytes.
  uint32_t Width() const { return m_width; }
  uint32_t Height() const { return m_height; }
  const std::vector<uint8_t>& Pixels() const { return m_pixels; }

  /// Called after the frame shown changed (another frame, another window,
  /// the document changed).
  std::function<void()> onChanged;

  void OnRowsRebuilt(const CDicomImageDoc& document, const RowFocus& focus) override;
  void OnStateChanged(const CDicomImageDoc&) override {}

 private:
  /// Reads frame `index`, draws it and makes it the current frame before
  /// onChanged runs; false with the reason when it cannot be read (nothing
  /// shown changes).
  bool Render(int32_t index, std::string& reason);
  /// Draws the grey samples through the window into the RGB rows.
  void DrawGrey();
  /// Reverses the grey palette of an 8-bit grey frame (m_greyToStored).
  void FindGreyLevels(const BitmapInfo& info);
  /// Why the image cannot be set up at all.
  std::string SetupProblem() const;
  /// Why frame `index` could not be read, from the library's status.
  std::string FrameProblem(FrameStatus status, int32_t index) const;
  /// Compares the frames the header describes with the pixel value.
  void CheckFrameSize();
  /// The first window: the file's, else (no VOI LUT) the frame's range.
  void ChooseFirstWindow();

  CDicomImageDoc& m_document;
  CPixelImage m_image;
  bool m_started = false;  ///< Open was asked for: follow the document from then on
  bool m_open = false;
  int32_t m_current = -1;
  std::string m_headerWarning;

  GreyscaleSettings m_settings;
  GreyWindow m_window;
  GreyWindow m_firstWindow;
  bool m_windowChosen = false;
  bool m_useVoiLut = false;
  /// The stored values of the grey frame shown, top-down; empty for colour.
  std::vector<int32_t> m_samples;
  int32_t m_sampleMin = 0;
  int32_t m_sampleMax = 0;
  /// For 8-bit grey frames (drawn through their grey palette, not a
  /// window): the stored value of each grey level shown, -1 for none; empty
  /// when the palette is not grey.
  std::vector<int16_t> m_greyToStored;
  int m_lastX = 0;
  int m_lastY = 0;

  uint32_t m_width = 0;
  uint32_t m_height = 0;
  std::vector<uint8_t> m_pixels;
};

}  // namespace quillon
