// The renderer's primitives: colours, depth, lines, columns, points, polygons and the transforms,
// each checked pixel by pixel on a frame where one unit is one pixel.
#include "render/GLRenderer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "tests/render/RendererFixture.h"

namespace skelvane {
namespace {

using namespace test;  // the shared fixture, its presenter and colours

TEST_F(RendererTest, ColourValuesAreRedInTheLowByteAndTheBitmapStoresBlueGreenRedUnused) {
  FillRect(0, 0, kWidth, kHeight, kRed, -5);
  const MemoryBitmap& frame = Frame();
  const uint8_t* first = frame.Bits();
  EXPECT_EQ(first[0], 0);    // blue
  EXPECT_EQ(first[1], 0);    // green
  EXPECT_EQ(first[2], 255);  // red
  EXPECT_EQ(first[3], 0);    // unused, as a plain RGB bitmap leaves it
  EXPECT_EQ(At(10, 10), kRed);

  StartFrame();
  FillRect(0, 0, kWidth, kHeight, kBlue, -5);
  Frame();
  EXPECT_EQ(frame.Bits()[0], 255);
  EXPECT_EQ(frame.Bits()[2], 0);
  EXPECT_EQ(At(10, 10), kBlue);
  EXPECT_TRUE(reports_.Empty());
}

TEST_F(RendererTest, TopByteOfAColourIsIgnored) {
  FillRect(0, 0, 10, 10, 0xAB123456u, -5);
  FillRect(10, 0, 20, 10, 0x00123456u, -5);
  Frame();
  EXPECT_EQ(At(5, 5), 0x123456u);
  EXPECT_EQ(At(15, 5), 0x123456u);
}

TEST(RendererColours, ColorToFloatsDividesEachComponentBy255) {
  float red = -1, green = -1, blue = -1;
  GLRenderer::ColorToFloats(0xFF3300FFu, red, green, blue);
  EXPECT_FLOAT_EQ(red, 1.0f);
  EXPECT_FLOAT_EQ(green, 0.0f);
  EXPECT_FLOAT_EQ(blue, 51.0f / 255.0f);
}

TEST_F(RendererTest, ClearSceneLeavesABlackFrame) {
  FillRect(0, 0, kWidth, kHeight, kWhite, -5);
  Frame();
  ASSERT_EQ(LitCount(), kWidth * kHeight);
  StartFrame();
  Frame();
  EXPECT_EQ(LitCount(), 0);
}

TEST_F(RendererTest, NearerDepthWinsWhicheverIsDrawnFirst) {
  FillRect(0, 0, 20, 20, kRed, -9);
  FillRect(0, 0, 20, 20, kBlue, -19);
  FillRect(30, 0, 50, 20, kBlue, -19);
  FillRect(30, 0, 50, 20, kRed, -9);
  Frame();
  EXPECT_EQ(At(10, 10), kRed);
  EXPECT_EQ(At(40, 10), kRed);
}

TEST_F(RendererTest, EqualDepthLetsTheLaterPrimitiveOverdraw) {
  FillRect(0, 0, 20, 20, kRed, -9);
  FillRect(0, 0, 20, 20, kBlue, -9);
  Frame();
  EXPECT_EQ(At(10, 10), kBlue);
}

TEST_F(RendererTest, DepthZeroIsInsideTheViewVolumeAndInFront) {
  FillRect(0, 0, 20, 20, kRed, -1);
  FillRect(0, 0, 20, 20, kGreen, 0);
  FillRect(0, 0, 20, 20, kBlue, -20);
  Frame();
  EXPECT_EQ(At(10, 10), kGreen);
}

TEST_F(RendererTest, LineCoversThePixelsBetweenItsEnds) {
  renderer_.DrawLine(5, 10, 40, 10, kWhite, 1, -5, 1.0f);
  Frame();
  for (int32_t x = 6; x < 40; ++x) EXPECT_EQ(At(x, 10), kWhite) << x;
  EXPECT_EQ(At(20, 9), kBlack);
  EXPECT_EQ(At(20, 11), kBlack);
  EXPECT_EQ(At(42, 10), kBlack);
  EXPECT_EQ(At(3, 10), kBlack);
}

TEST_F(RendererTest, LineWidthWidensTheLineAcrossItsDirection) {
  renderer_.DrawLine(20, 5, 20, 40, kWhite, 3, -5, 1.0f);
  Frame();
  EXPECT_EQ(At(19, 20), kWhite);
  EXPECT_EQ(At(20, 20), kWhite);
  EXPECT_EQ(At(21, 20), kWhite);
  EXPECT_EQ(At(18, 20), kBlack);
  EXPECT_EQ(At(22, 20), kBlack);
}

TEST_F(RendererTest, PolylineConnectsItsVerticesInOrder) {
  const std::vector<int32_t> xs = {5, 30, 30};
  const std::vector<int16_t> ys = {5, 5, 30};
  renderer_.DrawPolyline(xs, ys, kGreen, 1, -5, 1.0f);
  Frame();
  EXPECT_EQ(At(15, 5), kGreen);
  EXPECT_EQ(At(30, 15), kGreen);
  EXPECT_EQ(At(15, 15), kBlack);  // no closing segment back to the start
}

TEST_F(RendererTest, PolylineStopsAtTheShorterSequence) {
  const std::vector<int32_t> xs = {5, 30, 30};
  const std::vector<int16_t> ys = {5, 5};
  renderer_.DrawPolyline(xs, ys, kGreen, 1, -5, 1.0f);
  Frame();
  EXPECT_EQ(At(15, 5), kGreen);
  EXPECT_EQ(At(30, 15), kBlack);
}

TEST_F(RendererTest, ColumnPairsDrawOneBarFromEachLowToItsHigh) {
  const std::vector<int32_t> xs = {10, 11, 12};
  const std::vector<int16_t> lows = {5, 20, 30};
  const std::vector<int16_t> highs = {15, 25, 40};
  renderer_.DrawColumnPairs(xs, lows, highs, kWhite, 1, -5, 1.0f);
  Frame();
  EXPECT_EQ(At(10, 10), kWhite);
  EXPECT_EQ(At(10, 17), kBlack);
  EXPECT_EQ(At(11, 22), kWhite);
  EXPECT_EQ(At(11, 10), kBlack);
  EXPECT_EQ(At(11, 28), kBlack);
  EXPECT_EQ(At(12, 35), kWhite);
  EXPECT_EQ(At(12, 25), kBlack);
  EXPECT_EQ(At(13, 35), kBlack);
}

TEST_F(RendererTest, ColumnsShareOneLowAndHigh) {
  const std::vector<int32_t> xs = {3, 9};
  renderer_.DrawColumns(xs, 10, 20, kRed, 1, -5, 1.0f);
  Frame();
  EXPECT_EQ(At(3, 15), kRed);
  EXPECT_EQ(At(9, 15), kRed);
  EXPECT_EQ(At(6, 15), kBlack);
  EXPECT_EQ(At(3, 25), kBlack);
  EXPECT_EQ(At(3, 5), kBlack);
}

TEST_F(RendererTest, ColoredColumnsTakeOneColourEach) {
  const std::vector<int32_t> xs = {3, 6, 9};
  const std::vector<uint32_t> colours = {kRed, kGreen, kBlue};
  renderer_.DrawColoredColumns(xs, 10, 20, colours, 1, -5, 1.0f);
  Frame();
  EXPECT_EQ(At(3, 15), kRed);
  EXPECT_EQ(At(6, 15), kGreen);
  EXPECT_EQ(At(9, 15), kBlue);
}

TEST_F(RendererTest, ColoredColumnsWithoutAColourAreNotDrawn) {
  const std::vector<int32_t> xs = {3, 6, 9};
  const std::vector<uint32_t> colours = {kRed};
  renderer_.DrawColoredColumns(xs, 10, 20, colours, 1, -5, 1.0f);
  Frame();
  EXPECT_EQ(At(3, 15), kRed);
  EXPECT_EQ(At(6, 15), kBlack);
  EXPECT_EQ(At(9, 15), kBlack);
}

TEST_F(RendererTest, PointsLightExactlyTheirPixels) {
  const std::vector<int32_t> xs = {4, 20};
  const std::vector<int16_t> ys = {7, 30};
  renderer_.DrawPoints(xs, ys, kWhite, 1, -5, 1.0f);
  renderer_.DrawPoint(50, 40, kRed, 1, -5, 1.0f);
  Frame();
  EXPECT_EQ(At(4, 7), kWhite);
  EXPECT_EQ(At(20, 30), kWhite);
  EXPECT_EQ(At(50, 40), kRed);
  EXPECT_EQ(LitCount(), 3);
}

TEST_F(RendererTest, PointSizeGrowsThePointAroundItsCentre) {
  renderer_.DrawPoint(20, 20, kWhite, 3, -5, 1.0f);
  Frame();
  EXPECT_EQ(LitCount(), 9);
  EXPECT_EQ(At(19, 19), kWhite);
  EXPECT_EQ(At(21, 21), kWhite);
}

TEST_F(RendererTest, PolygonIsFilled) {
  const int32_t xs[] = {10, 40, 10};
  const int32_t ys[] = {10, 10, 40};
  renderer_.DrawPolygon(xs, ys, 3, kGreen, -5, 1.0f);
  Frame();
  EXPECT_EQ(At(15, 15), kGreen);
  EXPECT_EQ(At(12, 35), kGreen);
  EXPECT_EQ(At(35, 35), kBlack);  // beyond the hypotenuse
  EXPECT_EQ(At(5, 5), kBlack);
}

TEST_F(RendererTest, PolygonWithoutVerticesDrawsNothing) {
  const int32_t xs[] = {10, 40, 10};
  const int32_t ys[] = {10, 10, 40};
  renderer_.DrawPolygon(xs, ys, 0, kGreen, -5, 1.0f);
  renderer_.DrawPolygon(xs, nullptr, 3, kGreen, -5, 1.0f);
  Frame();
  EXPECT_EQ(LitCount(), 0);
}

TEST_F(RendererTest, TranslateAndScaleMoveLaterPrimitives) {
  renderer_.Translate(10.0f, 5.0f, 0.0f);
  renderer_.DrawPoint(2, 3, kWhite, 1, -5, 1.0f);
  renderer_.Scale(2.0f, 3.0f, 1.0f);
  renderer_.DrawPoint(2, 3, kRed, 1, -5, 1.0f);
  Frame();
  EXPECT_EQ(At(12, 8), kWhite);
  EXPECT_EQ(At(14, 14), kRed);
}

TEST_F(RendererTest, CanvasProjectionPutsYZeroAtTheTopAndSqueezesXByOneUnit) {
  // The canvas projects (0, width) x (scrollBottom, scrollTop) with scrollTop 0: y grows
  // upwards, negative below the top, and the width spans width + 1 units.
  constexpr int32_t kCanvasWidth = 100;
  constexpr int32_t kCanvasHeight = 40;
  Prepare(kCanvasWidth, kCanvasHeight);
  renderer_.SetProjection(0, kCanvasWidth, -kCanvasHeight, 0);
  renderer_.DrawPoint(50, -10, kWhite, 1, -5, 1.0f);   // window x 50 * 100 / 101 = 49.5
  renderer_.DrawPoint(10, -kCanvasHeight, kRed, 1, -5, 1.0f);  // window x 9.9, bottom row
  Frame();
  const MemoryBitmap& frame = renderer_.Bitmap();
  EXPECT_EQ(frame.ColorAt(49, 9), kWhite);  // 10 units below the top edge: the tenth row from the top
  EXPECT_EQ(frame.ColorAt(9, kCanvasHeight - 1), kRed);
  EXPECT_EQ(LitCount(), 2);
}

}  // namespace
}  // namespace skelvane
