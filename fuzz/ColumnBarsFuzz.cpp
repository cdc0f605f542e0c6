// Fuzzes the zoomed-out bars drawn through masks (ColumnBarCoverage works out the pixels, ColumnBarMask
// draws them) against the same bars drawn as one-pixel segments with a point on each end: the two
// frames must be equal byte for byte, whatever the transform, clipping, bar values and columns.
#include <GL/gl.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "fuzz/FuzzChoices.h"
#include "platform/MemoryBitmap.h"
#include "platform/ReportError.h"
#include "render/GLRenderer.h"

namespace {

using skelvane::fuzz::FuzzChoices;

constexpr int32_t kMinSide = 8;
constexpr int32_t kMaxWidth = 640;
constexpr int32_t kMaxHeight = 400;
constexpr int32_t kMaxPlots = 4;
constexpr int kBytesPerBar = 4;

struct PlotBars {
  double bottom = 0.0, top = 0.0;
  float x0 = 0.0f, centre = 0.0f, scale = 1.0f;
  int32_t lineWidth = 1;
  bool scissor = false;
  std::vector<int32_t> xs;
  std::vector<int16_t> lows, highs;
};

// The bars come from the input itself, four bytes each: a column step and two ends, so every value a
// bar can have (and ends given top first) is within reach of the mutator.
std::vector<PlotBars> MakePlots(const uint8_t* data, std::size_t size, FuzzChoices& choose, int32_t width,
                                int32_t height) {
  std::vector<PlotBars> plots(static_cast<std::size_t>(choose.Between(1, kMaxPlots)));
  std::size_t at = 0;
  for (PlotBars& plot : plots) {
    const int64_t kind = choose.Between(0, 2);
    plot.top = kind == 1 ? 0.0 : -static_cast<double>(choose.Between(0, 400));
    plot.bottom = plot.top - (kind == 1 ? height : height + static_cast<double>(choose.Between(-height / 3, 3 * height)));
    plot.x0 = static_cast<float>(choose.Between(0, 70));
    plot.centre = static_cast<float>(choose.Between(static_cast<int64_t>(plot.bottom), static_cast<int64_t>(plot.top)));
    plot.scale = kind == 1 ? static_cast<float>(1 << choose.Between(0, 2))
                           : static_cast<float>(choose.Between(1, 400)) / static_cast<float>(choose.Between(100, 40000));
    if (kind == 2) plot.scale *= static_cast<float>(choose.Between(2, 64));
    plot.lineWidth = choose.Between(0, 9) == 0 ? 2 : 1;
    plot.scissor = choose.Between(0, 3) == 0;
    int32_t x = static_cast<int32_t>(choose.Between(-3, 3));
    const std::size_t bars = static_cast<std::size_t>(choose.Between(0, width + 8));
    for (std::size_t b = 0; b < bars && at + kBytesPerBar <= size; ++b, at += kBytesPerBar) {
      // Mostly the next column; now and then the same one again (two runs) or a jump.
      const int8_t step = static_cast<int8_t>(data[at]);
      x += step >= -100 && step <= 100 ? 1 : step % 5;
      // Ends spread from a few counts to the whole 16-bit range by the fourth byte.
      const auto first = static_cast<int16_t>(static_cast<int8_t>(data[at + 1]) * (1 + (data[at + 3] & 0x7F)));
      const auto second = static_cast<int16_t>(first + static_cast<int8_t>(data[at + 2]) * (1 + (data[at + 3] >> 4)));
      plot.xs.push_back(x);
      plot.lows.push_back(first);
      plot.highs.push_back(second);
    }
  }
  return plots;
}

std::vector<uint8_t> Draw(skelvane::GLRenderer& renderer, const std::vector<PlotBars>& plots, int32_t width,
                          int32_t height, bool masks) {
  renderer.AllowBarMasks(masks);
  renderer.ClearScene();
  renderer.SetProjection(0, width, -height, 0);
  const int32_t backgroundXs[] = {0, width, width, 0};
  const int32_t backgroundYs[] = {0, 0, -height, -height};
  renderer.DrawPolygon(backgroundXs, backgroundYs, 4, 0x202020, -19, 1.0f);
  for (const PlotBars& plot : plots) {
    renderer.SetProjection(0, width, plot.bottom, plot.top);
    if (plot.scissor) {
      glEnable(GL_SCISSOR_TEST);
      glScissor(0, height / 4, width, height / 3);
    }
    renderer.Translate(plot.x0, plot.centre, 0.0f);
    renderer.Scale(1.0f, plot.scale, 1.0f);
    // Neighbours at the bars' own depth, drawn before and after them.
    renderer.DrawColumnPairs(plot.xs, plot.highs, plot.lows, 0x0000FF, 1, -10, 1.0f);
    renderer.DrawColumnBars(plot.xs, plot.lows, plot.highs, 0x00FF00, plot.lineWidth, -10, 1.0f);
    renderer.DrawPoints(std::span<const int32_t>(plot.xs).first(plot.xs.size() / 2), plot.highs, 0xFF00FF, 1, -10, 1.0f);
    if (plot.scissor) glDisable(GL_SCISSOR_TEST);
  }
  renderer.Flush();
  if (renderer.ReadBack() != 0) __builtin_trap();
  const skelvane::MemoryBitmap& bitmap = renderer.Bitmap();
  return std::vector<uint8_t>(bitmap.Bits(), bitmap.Bits() + bitmap.SizeInBytes());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace skelvane;
  // One renderer for the whole run: setting up the context costs far more than a frame.
  static const ReportSink quiet = SetReportSink([](const std::string&) {});
  static std::unique_ptr<GLRenderer> renderer;
  static int32_t width = 0;
  static int32_t height = 0;
  (void)quiet;
  FuzzChoices choose(data, size);
  const auto wantedWidth = static_cast<int32_t>(choose.Between(kMinSide, kMaxWidth));
  const auto wantedHeight = static_cast<int32_t>(choose.Between(kMinSide, kMaxHeight));
  if (!renderer || wantedWidth != width || wantedHeight != height) {
    if (!renderer) renderer = std::make_unique<GLRenderer>();
    width = wantedWidth;
    height = wantedHeight;
    renderer->RequestNewDIBSection();
    if (renderer->CreateDIBSectionOGL(width, height) != 0 || renderer->SetupRenderer() != 0) __builtin_trap();
  }
  renderer->AllowBarMasks(true);
  renderer->ClearScene();  // the first frame of a context checks the masks on the driver
  // Without masks (the driver's self-check turned them off) there would be nothing to compare.
  if (!renderer->BarMasksInUse()) __builtin_trap();
  const std::vector<PlotBars> plots = MakePlots(data, size, choose, width, height);
  if (Draw(*renderer, plots, width, height, true) != Draw(*renderer, plots, width, height, false)) __builtin_trap();
  return 0;
}
