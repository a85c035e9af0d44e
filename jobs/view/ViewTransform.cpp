#include "jobs/view/ViewTransform.h"

#include <cstdint>

namespace jobs {
namespace {

// Truncates toward zero, saturating at the int32 range: many wheel steps
// make the zoom large enough for the products to leave it.
int32_t Truncate(double v) {
  if (!(v > -2147483648.0)) return INT32_MIN;
  if (!(v < 2147483647.0)) return INT32_MAX;
  return static_cast<int32_t>(v);
}

}  // namespace

void ViewTransform::Reset() {
  zoom_ = 1.0;
  pan_x_ = 0;
  pan_y_ = 0;
}

void ViewTransform::SetZoom(double zoom) { zoom_ = zoom >= 1.0 ? zoom : 1.0; }

void ViewTransform::Wheel(int32_t delta) {
  if (delta > 0) {
    zoom_ *= kZoomIn;
  } else if (delta < 0) {
    zoom_ *= kZoomOut;
  }
  if (zoom_ < 1.0) Reset();
}

void ViewTransform::Drag(int32_t fromX, int32_t fromY, int32_t toX, int32_t toY, const ClientRect& client) {
  // 64-bit sums: mouse positions come from the window system unchecked.
  int64_t x = int64_t{pan_x_} + toX - fromX;
  int64_t y = int64_t{pan_y_} + toY - fromY;
  if (x > 0) x = 0;
  if (y > 0) y = 0;
  if (!(zoom_ > 1.0)) {
    Reset();
    return;
  }
  const double w = client.width();
  const double h = client.height();
  // The picture spans w * zoom; its right edge sits at pan + w * zoom and
  // must not come inside the client area.
  if (x < 0 && w * zoom_ < w - static_cast<double>(x)) {
    x = Truncate(-w * (zoom_ - 1.0));
  }
  if (y < 0 && h * zoom_ < h - static_cast<double>(y)) {
    y = Truncate(-h * (zoom_ - 1.0));
  }
  pan_x_ = Truncate(static_cast<double>(x));
  pan_y_ = Truncate(static_cast<double>(y));
}

PaintRect ViewTransform::Destination(const ClientRect& client) const {
  return PaintRect{pan_x_, pan_y_, Truncate(client.width() * zoom_), Truncate(client.height() * zoom_)};
}

}  // namespace jobs
