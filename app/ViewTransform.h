/// \file
/// CViewTransform — where an image lies in a view: the zoom (fit to the
/// view, 1:1, or steps in between and beyond) and the pan (the image point
/// at the view's top left), with the mapping from a view point back to the
/// image row and column under it. Plain arithmetic, so the window layer
/// only paints what it says and scroll bars follow its ranges.
#pragma once

#include <cstdint>

namespace quillon {

class CViewTransform {
 public:
  static constexpr double kMinZoom = 1.0 / 32;
  static constexpr double kMaxZoom = 32;

  /// The image is `width` × `height` pixels, the view `viewWidth` ×
  /// `viewHeight`. Keeps the zoom (or fit) and the pan within range.
  void SetSizes(int64_t width, int64_t height, int64_t viewWidth, int64_t viewHeight);

  /// Screen pixels per image pixel.
  double Zoom() const { return m_zoom; }
  bool IsFit() const { return m_fit; }
  /// The zoom that shows the whole image as large as the view allows.
  double FitZoom() const;
  void ZoomToFit();
  void ZoomOneToOne();
  /// Multiplies the zoom by `factor`, keeping the image point under the
  /// view point (`x`, `y`) where it is.
  void ZoomAt(double factor, double x, double y);
  /// One step in or out (a factor of √2), about the view's centre.
  void ZoomIn();
  void ZoomOut();

  /// Moves the image by (`dx`, `dy`) view pixels (a drag), kept in range.
  void PanBy(double dx, double dy);
  /// Sets the pan from scroll bar positions (view pixels).
  void SetScroll(int64_t x, int64_t y);
  /// The scroll bar positions and their maxima (0 when the image fits).
  int64_t ScrollX() const;
  int64_t ScrollY() const;
  int64_t ScrollMaxX() const;
  int64_t ScrollMaxY() const;

  /// The image's place in the view: its top-left corner and size in view
  /// pixels (at the view's top left when smaller than the view).
  double ImageLeft() const;
  double ImageTop() const;
  double ScaledWidth() const { return static_cast<double>(m_width) * m_zoom; }
  double ScaledHeight() const { return static_cast<double>(m_height) * m_zoom; }
  /// The image column and row under view point (`x`, `y`); false outside
  /// the image.
  bool ImagePixelAt(double x, double y, int64_t& column, int64_t& row) const;

 private:
  void ClampPan();

  int64_t m_width = 0;
  int64_t m_height = 0;
  int64_t m_viewWidth = 1;
  int64_t m_viewHeight = 1;
  double m_zoom = 1;
  bool m_fit = false;
  /// The image point at the view's top left, in scaled (view) pixels.
  double m_panX = 0;
  double m_panY = 0;
};

}  // namespace quillon
