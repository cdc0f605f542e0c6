#pragma once
// A plot that draws nothing but remembers what the canvas asked of it, to check the plot stack.

#include <vector>

#include "display/Plot.h"

namespace skelvane::test {

class RecordingPlot : public Plot {
 public:
  struct DrawCall {
    int64_t start, end;
    int32_t width, height, x, y;
  };

  explicit RecordingPlot(const std::string& path, int32_t height = kDefaultHeight) : Plot(path, path) {
    SetHeight(height);
  }

  double GetSamplingFrequency() const override { return 0.0; }
  double GetSamplePeriod() const override { return 0.0; }
  void LoadSourceInfo() override {}
  int32_t Draw(const PlotFrame& frame, int32_t width, int32_t height, int32_t x, int32_t y) override {
    draws.push_back({frame.start, frame.end, width, height, x, y});
    ClearIconPositions();
    return 0;
  }
  void PrepareDraw(const PlotFrame& frame) override { prepared.push_back({frame.start, frame.end, frame.traceWidth}); }
  DataAxisRange DataAxis() const override { return {0, GetADMaxValue(), "  AD Counts"}; }
  std::vector<IconPlace> LayOutIcons(int32_t height, int32_t x0, int32_t y0) override {
    iconCalls.push_back({height, x0, y0});
    return Plot::LayOutIcons(height, x0, y0);
  }
  void DrawName(const PlotFrame&, int32_t y, int32_t height, int32_t width) override {
    nameCalls.push_back({y, height, width});
  }
  int32_t ReadProperties(File&) override { return 0; }
  int32_t WriteProperties(File&) override { return 0; }
  int32_t GetADMaxValue() const override { return 2047; }

  std::vector<DrawCall> draws;
  std::vector<std::vector<int64_t>> prepared;  // start, end and trace width of each PrepareDraw
  std::vector<std::vector<int32_t>> iconCalls;
  std::vector<std::vector<int32_t>> nameCalls;
};

}  // namespace skelvane::test
