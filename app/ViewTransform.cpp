#include "app/ViewTransform.h"

#include <algorithm>
#include <cmath>

namespace quillon {

void CViewTransform::SetSizes(int64_t width, int64_t height, int64_t viewWidth, int64_t viewHeight) {
  m_width = std::max<int64_t>(0, width);
  m_height = std::max<int64_t>(0, height);
  m_viewWidth = std::max<int64_t>(1, viewWidth);
  m_viewHeight = std::max<int64_t>(1, viewHeight);
  if (m_fit) m_zoom = FitZoom();
  ClampPan();
}

double CViewTransform::FitZoom() const {
  if (m_width == 0 || m_height == 0) return 1;
  const double zoom = std::min(static_cast<double>(m_viewWidth) / static_cast<double>(m_width),
                               static_cast<double>(m_viewHeight) / static_cast<double>(m_height));
  return std::clamp(zoom, kMinZoom, kMaxZoom);
}

void CViewTransform::ZoomToFit() {
  m_fit = true;
  m_zoom = FitZoom();
  m_panX = m_panY = 0;
}

void CViewTransform::ZoomOneToOne() {
  ZoomAt(1 / m_zoom, static_cast<double>(m_viewWidth) / 2, static_cast<double>(m_viewHeight) / 2);
}

void CViewTransform::ZoomAt(double factor, double x, double y) {
  double zoom = std::clamp(m_zoom * factor, kMinZoom, kMaxZoom);
  // Steps of the square root of two land on 2, 4, 1/2 ... exactly, not a
  // rounding error above them (which showed a 192-pixel image at 200% as
  // 385 pixels wide).
  const double step = std::exp2(std::round(2 * std::log2(zoom)) / 2);
  if (std::fabs(zoom - step) < 1e-9 * step) zoom = step;
  // The image point under (x, y) before, in image pixels.
  const double imageX = (x - ImageLeft()) / m_zoom;
  const double imageY = (y - ImageTop()) / m_zoom;
  m_zoom = zoom;
  m_fit = false;
  m_panX = imageX * m_zoom - x;
  m_panY = imageY * m_zoom - y;
  ClampPan();
}

void CViewTransform::ZoomIn() {
  ZoomAt(std::sqrt(2.0), static_cast<double>(m_viewWidth) / 2, static_cast<double>(m_viewHeight) / 2);
}

void CViewTransform::ZoomOut() {
  ZoomAt(1 / std::sqrt(2.0), static_cast<double>(m_viewWidth) / 2, static_cast<double>(m_viewHeight) / 2);
}

void CViewTransform::PanBy(double dx, double dy) {
  m_panX -= dx;
  m_panY -= dy;
  ClampPan();
}

void CViewTransform::SetScroll(int64_t x, int64_t y) {
  m_panX = static_cast<double>(x);
  m_panY = static_cast<double>(y);
  ClampPan();
}

int64_t CViewTransform::ScrollMaxX() const {
  return std::max<int64_t>(0, std::llround(std::ceil(ScaledWidth())) - m_viewWidth);
}

int64_t CViewTransform::ScrollMaxY() const {
  return std::max<int64_t>(0, std::llround(std::ceil(ScaledHeight())) - m_viewHeight);
}

int64_t CViewTransform::ScrollX() const { return std::llround(m_panX); }
int64_t CViewTransform::ScrollY() const { return std::llround(m_panY); }

void CViewTransform::ClampPan() {
  m_panX = std::clamp(m_panX, 0.0, static_cast<double>(ScrollMaxX()));
  m_panY = std::clamp(m_panY, 0.0, static_cast<double>(ScrollMaxY()));
}

double CViewTransform::ImageLeft() const {
  // A smaller image stays at the top left, where a 1:1 view has always
  // put it; a larger one moves with the pan.
  return ScaledWidth() <= static_cast<double>(m_viewWidth) ? 0 : -m_panX;
}

double CViewTransform::ImageTop() const {
  return ScaledHeight() <= static_cast<double>(m_viewHeight) ? 0 : -m_panY;
}

bool CViewTransform::ImagePixelAt(double x, double y, int64_t& column, int64_t& row) const {
  const double imageX = (x - ImageLeft()) / m_zoom;
  const double imageY = (y - ImageTop()) / m_zoom;
  if (imageX < 0 || imageY < 0) return false;
  column = static_cast<int64_t>(imageX);
  row = static_cast<int64_t>(imageY);
  return column < m_width && row < m_height;
}

}  // namespace quillon
