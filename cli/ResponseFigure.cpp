#include "cli/ResponseFigure.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "filter/DesignMath.h"
#include "filter/FilterDesign.h"
#include "filter/FilterResponse.h"
#include "platform/MemoryBitmap.h"
#include "platform/StatusCodes.h"
#include "render/GLRenderer.h"
#include "spikes/SpikeFigure.h"

namespace skelvane {
namespace {

// Drawing depths: larger is in front.
constexpr int32_t kDepthPaper = -19;
constexpr int32_t kDepthGrid = -17;
constexpr int32_t kDepthGuide = -14;
constexpr int32_t kDepthCurve = -10;
constexpr int32_t kDepthAxes = -5;
constexpr int32_t kDepthText = -3;
constexpr float kOpaque = 1.0f;
constexpr int32_t kThinLine = 1;
constexpr int32_t kCurveLine = 2;
// Space around the plot: the y labels on the left, the title above, the x labels below.
constexpr int32_t kLeft = 72;
constexpr int32_t kRight = 24;
constexpr int32_t kTop = 44;
constexpr int32_t kBottom = 52;
constexpr int32_t kTitleBaseline = 26;
constexpr int32_t kTickLength = 4;
constexpr int32_t kLabelGap = 16;
constexpr double kDbStep = 10.0;
constexpr uint32_t kCurveColour = 0xB4771F;
constexpr uint32_t kCutOffColour = 0x2827D6;
constexpr uint32_t kGuideColour = 0x909090;
constexpr uint32_t kMinorGridColour = 0xF2F2F2;

struct Frame {
  int32_t left, top, width, height;
  double fromLog, toLog;
  int32_t X(double hz) const {
    return left + static_cast<int32_t>(std::lround((std::log10(hz) - fromLog) / (toLog - fromLog) * (width - 1)));
  }
  int32_t Y(double db) const {
    const double clamped = std::clamp(db, ResponseFigure::kBottomDb, ResponseFigure::kTopDb);
    return top + static_cast<int32_t>(std::lround((ResponseFigure::kTopDb - clamped) /
                                                  (ResponseFigure::kTopDb - ResponseFigure::kBottomDb) * (height - 1)));
  }
};

std::string HzText(double hz) {
  char text[32];
  if (hz >= 1000.0) {
    std::snprintf(text, sizeof text, "%gk", hz / 1000.0);
  } else {
    std::snprintf(text, sizeof text, "%g", hz);
  }
  return text;
}

void Text(GLRenderer& renderer, const std::string& text, int32_t x, int32_t baseline, uint32_t colour = SpikeFigure::kInkColour) {
  renderer.DrawString(text, x, baseline, kDepthText, colour);
}

void DrawGrid(GLRenderer& renderer, const Frame& f) {
  const int32_t right = f.left + f.width - 1;
  const int32_t bottom = f.top + f.height - 1;
  // Decades labelled, 2 and 5 times them as lighter lines.
  for (int32_t decade = static_cast<int32_t>(std::floor(f.fromLog)); decade <= static_cast<int32_t>(std::ceil(f.toLog)); ++decade) {
    for (const double step : {1.0, 2.0, 5.0}) {
      const double hz = step * std::pow(10.0, decade);
      const double at = std::log10(hz);
      if (at < f.fromLog - 1e-9 || at > f.toLog + 1e-9) continue;
      const int32_t x = f.X(hz);
      renderer.DrawLine(x, f.top, x, bottom, step == 1.0 ? SpikeFigure::kGridColour : kMinorGridColour, kThinLine,
                        kDepthGrid, kOpaque);
      renderer.DrawLine(x, bottom, x, bottom + kTickLength, SpikeFigure::kInkColour, kThinLine, kDepthAxes, kOpaque);
      const std::string label = HzText(hz);
      Text(renderer, label, x - renderer.GetTextWidth(label) / 2, bottom + kTickLength + kLabelGap);
    }
  }
  for (double db = ResponseFigure::kBottomDb; db <= ResponseFigure::kTopDb; db += kDbStep) {
    const int32_t y = f.Y(db);
    renderer.DrawLine(f.left, y, right, y, SpikeFigure::kGridColour, kThinLine, kDepthGrid, kOpaque);
    renderer.DrawLine(f.left - kTickLength, y, f.left, y, SpikeFigure::kInkColour, kThinLine, kDepthAxes, kOpaque);
    const std::string label = std::to_string(static_cast<int32_t>(db));
    Text(renderer, label, f.left - kTickLength - 4 - renderer.GetTextWidth(label), y + renderer.GetTextHeight(label) / 3);
  }
  renderer.DrawLine(f.left, f.top, right, f.top, SpikeFigure::kInkColour, kThinLine, kDepthAxes, kOpaque);
  renderer.DrawLine(right, f.top, right, bottom, SpikeFigure::kInkColour, kThinLine, kDepthAxes, kOpaque);
  renderer.DrawLine(right, bottom, f.left, bottom, SpikeFigure::kInkColour, kThinLine, kDepthAxes, kOpaque);
  renderer.DrawLine(f.left, bottom, f.left, f.top, SpikeFigure::kInkColour, kThinLine, kDepthAxes, kOpaque);
}

}  // namespace

int32_t ResponseFigure::Render(GLRenderer& renderer, const FilterDesign& design, const FilterResponse& response,
                               int32_t width, int32_t height, MemoryBitmap& bitmap) {
  if (width <= kLeft + kRight || height <= kTop + kBottom || width > SpikeFigure::kMaxSide ||
      height > SpikeFigure::kMaxSide) {
    return kStatusFailed;
  }
  const int32_t ratio = renderer.PixelRatio();
  if (renderer.Bitmap().Width() != width * ratio || renderer.Bitmap().Height() != height * ratio) {
    renderer.RequestNewDIBSection();
  }
  if (renderer.CreateDIBSectionOGL(width, height) != 0 || renderer.SetupRenderer() != 0) return kStatusFailed;
  renderer.ClearScene();
  SpikeFigure::SetPixelProjection(renderer, width, height);
  const int32_t xs[4] = {-1, width, width, -1};
  const int32_t ys[4] = {-1, -1, height, height};
  renderer.DrawPolygon(xs, ys, 4, SpikeFigure::kPaperColour, kDepthPaper, kOpaque);

  const Frame f{kLeft, kTop, width - kLeft - kRight, height - kTop - kBottom, std::log10(response.fromHz),
                std::log10(response.toHz)};
  DrawGrid(renderer, f);
  const std::string title = design.Choice().Description() + " at " + FilterChoice::FormatHz(design.RateHz()) + " Hz: " +
                            design.Structure();
  Text(renderer, title, std::max(0, (width - renderer.GetTextWidth(title)) / 2), kTitleBaseline);
  const std::string xLabel = "frequency (Hz)";
  Text(renderer, xLabel, f.left + (f.width - renderer.GetTextWidth(xLabel)) / 2, height - 6);
  Text(renderer, "gain (dB)", 4, kTop - 8);

  // The stop level, and the cut-offs with their frequencies.
  const int32_t stopY = f.Y(FilterResponse::kStopDb);
  renderer.DrawLine(f.left, stopY, f.left + f.width - 1, stopY, kGuideColour, kThinLine, kDepthGuide, kOpaque);
  for (const auto& cutOff : {design.Choice().LowHz(), design.Choice().HighHz()}) {
    if (!cutOff) continue;
    const int32_t x = f.X(*cutOff);
    renderer.DrawLine(x, f.top, x, f.top + f.height - 1, kCutOffColour, kThinLine, kDepthGuide, kOpaque);
    Text(renderer, FilterChoice::FormatHz(*cutOff) + " Hz", x + 4, f.top + 16, kCutOffColour);
  }

  std::vector<int32_t> curveX;
  std::vector<int16_t> curveY;
  for (int32_t i = 0; i < 2 * f.width; ++i) {
    const double hz = std::pow(10.0, f.fromLog + (f.toLog - f.fromLog) * i / (2 * f.width - 1));
    curveX.push_back(f.X(hz));
    curveY.push_back(static_cast<int16_t>(f.Y(DesignMath::Decibels(std::fabs(design.Gain(hz))))));
  }
  renderer.DrawPolyline(curveX, curveY, kCurveColour, kCurveLine, kDepthCurve, kOpaque);
  renderer.Flush();
  if (renderer.ReadBack() != 0) return kStatusFailed;
  bitmap = renderer.Bitmap();
  return kStatusOk;
}

}  // namespace skelvane
