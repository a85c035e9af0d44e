#pragma once
#include <cstdint>

namespace jobs {

// A rectangle in window coordinates, right and bottom exclusive
// (a client area of width w and height h is {0, 0, w, h}).
struct ClientRect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;
  int32_t width() const { return right - left; }
  int32_t height() const { return bottom - top; }
};

// Where the picture is painted: top-left corner and size.
struct PaintRect {
  int32_t x = 0;
  int32_t y = 0;
  int32_t width = 0;
  int32_t height = 0;
};

// Zoom and pan of the result viewer, without a window. The whole picture is
// stretched over the client area scaled by zoom() and shifted by the pan
// offset, which is the picture's top-left corner in the client area.
//
// Invariants: zoom() >= 1.0; pan_x() <= 0 and pan_y() <= 0 after every Drag.
// A wheel step leaves the pan alone (the picture grows and shrinks from its
// current top-left corner) unless it brings the zoom back to 1.0.
//
// Not synchronised: the viewer uses it on the GUI thread only.
class ViewTransform {
 public:
  static constexpr double kZoomIn = 1.1;
  static constexpr double kZoomOut = 0.9090909090909091;

  double zoom() const { return zoom_; }
  int32_t pan_x() const { return pan_x_; }
  int32_t pan_y() const { return pan_y_; }

  // Back to zoom 1.0 at (0, 0).
  void Reset();

  // Sets the zoom (values below 1.0, and NaN, count as 1.0); the pan stays.
  void SetZoom(double zoom);

  // One wheel event with signed delta: > 0 zooms in by kZoomIn, < 0 zooms
  // out by kZoomOut, 0 changes nothing. A zoom that falls below 1.0 becomes
  // 1.0 and the pan returns to (0, 0).
  void Wheel(int32_t delta);

  // The mouse moved from (fromX, fromY) to (toX, toY) with the left button
  // held, over `client`. The pan follows the mouse but never goes above 0;
  // at zoom 1.0 it snaps back to (0, 0); otherwise it stops where the
  // picture's right or bottom edge would come inside the client area
  // (at (left - right) * (zoom - 1), truncated toward zero).
  void Drag(int32_t fromX, int32_t fromY, int32_t toX, int32_t toY, const ClientRect& client);

  // The rectangle the whole picture is stretched to: at the pan offset, the
  // client size times zoom, truncated toward zero. At zoom 1.0 it is the
  // client area, whatever the picture's own proportions.
  PaintRect Destination(const ClientRect& client) const;

 private:
  double zoom_ = 1.0;
  int32_t pan_x_ = 0;
  int32_t pan_y_ = 0;
};

}  // namespace jobs
