// A busy canvas-sized frame drawn through the renderer must match, byte for byte, the same scene
// sent the plain way: one glBegin/glEnd with a call per vertex, alpha masked off, text through
// the glyph lists. That plain way is kept here as the reference for every faster path.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "render/GLRenderer.h"
#include "platform/MemoryBitmap.h"
#include "tests/support/CapturedReports.h"

namespace skelvane {
namespace {

constexpr int32_t kWidth = 640;
constexpr int32_t kHeight = 360;
constexpr int32_t kPlots = 6;
constexpr int32_t kPlotHeight = kHeight / kPlots;
constexpr GLuint kGlyphListBase = 1000;
constexpr int32_t kDepths[] = {-19, -17, -12, -10, -9, -4, -3, -2, -1};

// One primitive call with everything either way of drawing it needs.
struct Primitive {
  enum class Kind { kLine, kPolyline, kColumnPairs, kColumns, kColoredColumns, kPoints, kPoint, kPolygon, kText };
  Kind kind = Kind::kLine;
  std::vector<int32_t> xs;
  std::vector<int16_t> ys, lows, highs;
  std::vector<int32_t> polygonYs;
  std::vector<uint32_t> colours;
  int32_t yLow = 0, yHigh = 0, width = 1, z = -10;
  uint32_t colour = 0;
  std::string text;
};

struct PlotScene {
  float offset = 0.0f;
  std::vector<Primitive> primitives;
};

// A random stack of plots: min/max columns, traces, spike points, bars, icons, separators, names.
std::vector<PlotScene> MakeScene(uint32_t seed) {
  std::mt19937 random(seed);
  auto uniform = [&](int32_t low, int32_t high) { return std::uniform_int_distribution<int32_t>(low, high)(random); };
  auto colour = [&] { return static_cast<uint32_t>(random()); };  // top byte included: it must be ignored
  const int32_t swing = kPlotHeight / 2 - 1;
  std::vector<PlotScene> plots(kPlots);
  for (int32_t p = 0; p < kPlots; ++p) {
    PlotScene& plot = plots[static_cast<std::size_t>(p)];
    plot.offset = static_cast<float>(-p * kPlotHeight - kPlotHeight / 2);
    for (int32_t n = uniform(6, 12); n > 0; --n) {
      Primitive prim;
      prim.kind = static_cast<Primitive::Kind>(uniform(0, 8));
      prim.z = kDepths[uniform(0, static_cast<int32_t>(std::size(kDepths)) - 1)];
      prim.colour = colour();
      prim.width = uniform(1, 3);
      const int32_t count = uniform(0, kWidth + 8);
      for (int32_t i = 0; i < count; ++i) {
        prim.xs.push_back(uniform(-4, kWidth + 4));
        const int32_t a = uniform(-swing - 4, swing + 4);
        const int32_t b = uniform(-swing - 4, swing + 4);
        prim.ys.push_back(static_cast<int16_t>(a));
        prim.lows.push_back(static_cast<int16_t>(std::min(a, b)));
        prim.highs.push_back(static_cast<int16_t>(std::max(a, b)));
        prim.polygonYs.push_back(a);
        prim.colours.push_back(colour());
      }
      // Ragged sequences: the shortest one decides.
      if (!prim.ys.empty() && uniform(0, 3) == 0) {
        prim.ys.pop_back();
        prim.lows.pop_back();
        prim.colours.pop_back();
      }
      prim.yLow = uniform(-swing, 0);
      prim.yHigh = uniform(0, swing);
      for (int32_t c = uniform(0, 24); c > 0; --c) prim.text.push_back(static_cast<char>(uniform(0, 255)));
      if (prim.kind == Primitive::Kind::kPolygon) {
        prim.xs.resize(std::min<std::size_t>(prim.xs.size(), 8));
        prim.polygonYs.resize(prim.xs.size());
      }
      plot.primitives.push_back(std::move(prim));
    }
  }
  return plots;
}

void DrawThroughRenderer(GLRenderer& renderer, const Primitive& p) {
  switch (p.kind) {
    case Primitive::Kind::kLine:
      if (p.xs.size() >= 2) renderer.DrawLine(p.xs[0], p.ys[0], p.xs[1], p.ys[1], p.colour, p.width, p.z, 1.0f);
      break;
    case Primitive::Kind::kPolyline:
      renderer.DrawPolyline(p.xs, p.ys, p.colour, p.width, p.z, 1.0f);
      break;
    case Primitive::Kind::kColumnPairs:
      renderer.DrawColumnPairs(p.xs, p.lows, p.highs, p.colour, p.width, p.z, 1.0f);
      break;
    case Primitive::Kind::kColumns:
      renderer.DrawColumns(p.xs, p.yLow, p.yHigh, p.colour, p.width, p.z, 1.0f);
      break;
    case Primitive::Kind::kColoredColumns:
      renderer.DrawColoredColumns(p.xs, p.yLow, p.yHigh, p.colours, p.width, p.z, 1.0f);
      break;
    case Primitive::Kind::kPoints:
      renderer.DrawPoints(p.xs, p.ys, p.colour, p.width, p.z, 1.0f);
      break;
    case Primitive::Kind::kPoint:
      if (!p.ys.empty()) renderer.DrawPoint(p.xs[0], p.ys[0], p.colour, p.width, p.z, 1.0f);
      break;
    case Primitive::Kind::kPolygon:
      renderer.DrawPolygon(p.xs.data(), p.polygonYs.data(), static_cast<int32_t>(p.xs.size()), p.colour, p.z, 1.0f);
      break;
    case Primitive::Kind::kText:
      renderer.DrawString(p.text, p.yLow * 4 + kWidth / 2, p.yHigh, p.z, p.colour);
      break;
  }
}

void ReferenceColour(uint32_t colour) {
  float red = 0.0f, green = 0.0f, blue = 0.0f;
  GLRenderer::ColorToFloats(colour, red, green, blue);
  glColor4f(red, green, blue, 1.0f);
}

// The same primitive sent the plain way.
void DrawReference(const Primitive& p) {
  auto begin = [&](GLenum mode) {
    ReferenceColour(p.colour);
    glLineWidth(static_cast<GLfloat>(p.width));
    glPointSize(static_cast<GLfloat>(p.width));
    glBegin(mode);
  };
  const std::size_t pairs = std::min(p.xs.size(), p.ys.size());
  switch (p.kind) {
    case Primitive::Kind::kLine:
      if (p.xs.size() < 2) break;
      begin(GL_LINES);
      glVertex3i(p.xs[0], p.ys[0], p.z);
      glVertex3i(p.xs[1], p.ys[1], p.z);
      glEnd();
      break;
    case Primitive::Kind::kPolyline:
      begin(GL_LINE_STRIP);
      for (std::size_t i = 0; i < pairs; ++i) glVertex3i(p.xs[i], p.ys[i], p.z);
      glEnd();
      break;
    case Primitive::Kind::kColumnPairs:
      begin(GL_LINES);
      for (std::size_t i = 0; i < std::min({p.xs.size(), p.lows.size(), p.highs.size()}); ++i) {
        glVertex3i(p.xs[i], p.lows[i], p.z);
        glVertex3i(p.xs[i], p.highs[i], p.z);
      }
      glEnd();
      break;
    case Primitive::Kind::kColumns:
      begin(GL_LINES);
      for (const int32_t x : p.xs) {
        glVertex3i(x, p.yLow, p.z);
        glVertex3i(x, p.yHigh, p.z);
      }
      glEnd();
      break;
    case Primitive::Kind::kColoredColumns:
      begin(GL_LINES);
      for (std::size_t i = 0; i < std::min(p.xs.size(), p.colours.size()); ++i) {
        ReferenceColour(p.colours[i]);
        glVertex3i(p.xs[i], p.yLow, p.z);
        glVertex3i(p.xs[i], p.yHigh, p.z);
      }
      glEnd();
      break;
    case Primitive::Kind::kPoints:
      begin(GL_POINTS);
      for (std::size_t i = 0; i < pairs; ++i) glVertex3i(p.xs[i], p.ys[i], p.z);
      glEnd();
      break;
    case Primitive::Kind::kPoint:
      if (p.ys.empty()) break;
      begin(GL_POINTS);
      glVertex3i(p.xs[0], p.ys[0], p.z);
      glEnd();
      break;
    case Primitive::Kind::kPolygon:
      if (p.xs.empty()) break;
      begin(GL_POLYGON);
      for (std::size_t i = 0; i < p.xs.size(); ++i) glVertex3i(p.xs[i], p.polygonYs[i], p.z);
      glEnd();
      break;
    case Primitive::Kind::kText: {
      float red = 0.0f, green = 0.0f, blue = 0.0f;
      GLRenderer::ColorToFloats(p.colour, red, green, blue);
      glColor3f(red, green, blue);
      glRasterPos3i(p.yLow * 4 + kWidth / 2, p.yHigh, p.z);
      if (p.text.empty()) break;
      glListBase(kGlyphListBase);
      glCallLists(static_cast<GLsizei>(p.text.size()), GL_UNSIGNED_BYTE, p.text.data());
      break;
    }
  }
}

std::vector<uint8_t> PixelsOf(GLRenderer& renderer) {
  EXPECT_EQ(renderer.ReadBack(), 0);
  const MemoryBitmap& frame = renderer.Bitmap();
  return std::vector<uint8_t>(frame.Bits(), frame.Bits() + frame.SizeInBytes());
}

// Draws the canvas the way the plot canvas does: the projection squeezes x by one unit and puts
// y 0 at the top; each plot is translated to its own band.
template <typename DrawOne>
void DrawScene(GLRenderer& renderer, const std::vector<PlotScene>& scene, DrawOne drawOne) {
  renderer.ClearScene();
  for (const PlotScene& plot : scene) {
    renderer.SetProjection(0, kWidth, -kHeight, 0);
    renderer.Translate(0.0f, plot.offset, 0.0f);
    for (const Primitive& primitive : plot.primitives) drawOne(primitive);
  }
  renderer.Flush();
}

TEST(RendererFrame, BusyFrameMatchesThePlainImmediateModeFrame) {
  test::CapturedReports reports;
  GLRenderer renderer;
  ASSERT_EQ(renderer.CreateDIBSectionOGL(kWidth, kHeight), 0);
  ASSERT_EQ(renderer.SetupRenderer(), 0);
  for (uint32_t seed = 1; seed <= 6; ++seed) {
    const std::vector<PlotScene> scene = MakeScene(seed);
    // The renderer's frame first: it also builds the glyph lists the reference calls.
    DrawScene(renderer, scene, [&](const Primitive& p) { DrawThroughRenderer(renderer, p); });
    const std::vector<uint8_t> fast = PixelsOf(renderer);

    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_FALSE);
    DrawScene(renderer, scene, DrawReference);
    const std::vector<uint8_t> plain = PixelsOf(renderer);
    ASSERT_EQ(renderer.SetupRenderer(), 0);  // back to the renderer's own state

    int64_t lit = 0;
    for (std::size_t i = 0; i < plain.size(); i += 4) lit += (plain[i] | plain[i + 1] | plain[i + 2]) != 0 ? 1 : 0;
    EXPECT_GT(lit, static_cast<int64_t>(kWidth) * kHeight / 4) << "seed " << seed << " drew too little to compare";
    EXPECT_TRUE(fast == plain) << "seed " << seed;
  }
  EXPECT_TRUE(reports.Texts().empty());
}

}  // namespace
}  // namespace skelvane
