#include "jobs/view/ViewTransform.h"

#include <gtest/gtest.h>

namespace jobs {
namespace {

const ClientRect kClient{0, 0, 400, 300};

TEST(ViewTransformTest, WheelZoomsByTenPercentAndNeverBelowOne) {
  ViewTransform v;
  EXPECT_EQ(v.zoom(), 1.0);
  v.Wheel(120);
  v.Wheel(120);
  v.Wheel(120);
  EXPECT_NEAR(v.zoom(), 1.331, 1e-12);
  v.Wheel(-120);
  EXPECT_NEAR(v.zoom(), 1.21, 1e-12);
  v.Wheel(0);  // a horizontal wheel
  EXPECT_NEAR(v.zoom(), 1.21, 1e-12);

  ViewTransform atOne;
  atOne.Wheel(-120);
  EXPECT_EQ(atOne.zoom(), 1.0);
  EXPECT_EQ(atOne.pan_x(), 0);
  EXPECT_EQ(atOne.pan_y(), 0);
}

TEST(ViewTransformTest, WheelKeepsPanUnlessZoomFallsBackToOne) {
  ViewTransform v;
  v.SetZoom(2.0);
  v.Drag(200, 200, 150, 170, kClient);
  ASSERT_EQ(v.pan_x(), -50);
  ASSERT_EQ(v.pan_y(), -30);
  v.Wheel(120);
  EXPECT_EQ(v.pan_x(), -50);
  EXPECT_EQ(v.pan_y(), -30);
  for (int i = 0; i < 10; ++i) v.Wheel(-120);
  EXPECT_EQ(v.zoom(), 1.0);
  EXPECT_EQ(v.pan_x(), 0);
  EXPECT_EQ(v.pan_y(), 0);
}

TEST(ViewTransformTest, PanNeverGoesAboveZero) {
  ViewTransform v;
  v.SetZoom(1.331);
  v.Drag(10, 10, 90, 60, kClient);  // right and down
  EXPECT_EQ(v.pan_x(), 0);
  EXPECT_EQ(v.pan_y(), 0);
  v.Drag(100, 100, 80, 100, kClient);  // left 20, then back right 50
  EXPECT_EQ(v.pan_x(), -20);
  v.Drag(80, 100, 130, 100, kClient);
  EXPECT_EQ(v.pan_x(), 0);
  EXPECT_NEAR(v.zoom(), 1.331, 1e-12);
}

TEST(ViewTransformTest, DragAtZoomOneSnapsBack) {
  ViewTransform v;
  v.Drag(300, 200, 100, 50, kClient);
  EXPECT_EQ(v.pan_x(), 0);
  EXPECT_EQ(v.pan_y(), 0);
  EXPECT_EQ(v.zoom(), 1.0);
  v.SetZoom(0.5);
  EXPECT_EQ(v.zoom(), 1.0);
}

TEST(ViewTransformTest, PanStopsWhereThePictureEdgeWouldComeInside) {
  ViewTransform v;
  v.SetZoom(2.0);
  v.Drag(390, 290, -5000, -7000, kClient);
  EXPECT_EQ(v.pan_x(), -400);
  EXPECT_EQ(v.pan_y(), -300);

  // Step by step, and with a client rectangle that does not start at 0.
  ViewTransform steps;
  steps.SetZoom(2.0);
  const ClientRect offset{10, 20, 410, 320};
  for (int i = 0; i < 30; ++i) steps.Drag(300, 200, 270, 185, offset);
  EXPECT_EQ(steps.pan_x(), -400);
  EXPECT_EQ(steps.pan_y(), -300);
  steps.Drag(100, 100, 130, 110, offset);  // from the stop, back right
  EXPECT_EQ(steps.pan_x(), -370);
  EXPECT_EQ(steps.pan_y(), -290);

  // (left - right) * (zoom - 1) = -44.7 is truncated toward zero.
  ViewTransform small;
  small.SetZoom(1.1);
  small.Drag(400, 200, 0, 200, ClientRect{0, 0, 447, 293});
  EXPECT_EQ(small.pan_x(), -44);
}

TEST(ViewTransformTest, DestinationIsClientTimesZoomAtThePan) {
  ViewTransform v;
  const ClientRect client{0, 0, 447, 293};
  PaintRect d = v.Destination(client);
  EXPECT_EQ(d.x, 0);
  EXPECT_EQ(d.y, 0);
  EXPECT_EQ(d.width, 447);
  EXPECT_EQ(d.height, 293);

  v.Wheel(1);
  v.Wheel(1);
  v.Wheel(1);  // 1.331: 594.957 x 389.983
  v.Drag(100, 100, 60, 75, client);
  d = v.Destination(client);
  EXPECT_EQ(d.x, -40);
  EXPECT_EQ(d.y, -25);
  EXPECT_EQ(d.width, 594);
  EXPECT_EQ(d.height, 389);
}

TEST(ViewTransformTest, HugeZoomSaturatesInsteadOfWrapping) {
  ViewTransform v;
  for (int i = 0; i < 400; ++i) v.Wheel(120);
  v.Drag(0, 0, -2000000000, -2000000000, kClient);
  v.Drag(0, 0, -2000000000, -2000000000, kClient);
  const PaintRect d = v.Destination(kClient);
  EXPECT_EQ(d.width, INT32_MAX);
  EXPECT_EQ(d.height, INT32_MAX);
  EXPECT_LT(v.pan_x(), 0);
  EXPECT_LT(v.pan_y(), 0);
}

}  // namespace
}  // namespace jobs
