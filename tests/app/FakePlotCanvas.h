#pragma once
// A canvas for the main window's tests: it counts redraws, keeps the display switches, the zoom
// settings and a list of plot borders, and hands over a frame the test paints itself.

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "display/IPlotCanvas.h"
#include "platform/BitmapPresenter.h"
#include "platform/File.h"
#include "platform/MemoryBitmap.h"

namespace skelvane::test {

class FakePlotCanvas final : public IPlotCanvas {
 public:
  int32_t Present(BitmapPresenter& presenter) override {
    ++presentCount;
    if (frame.Width() == 0) return -1;
    return presenter.Present(frame, frame.Width(), frame.Height(), 0, 15) ? 0 : -1;
  }
  int32_t RedrawAll() override {
    ++redrawCount;
    if (whileDrawing) whileDrawing();
    return 0;
  }
  void DrawSeparator(int32_t) override {}
  int64_t GetMinimumSpan() const override { return minimumSpan; }
  void SetMinimumSpan(int64_t span) override { minimumSpan = span; }
  int32_t GetZoomFactor() const override { return zoomFactor; }
  int32_t GetTimeAxisHeight() const override { return showTimeAxis ? timeAxisHeight : 0; }
  int32_t GetShowPlotIcons() const override { return showIcons; }
  int32_t GetShowPlotNames() const override { return showNames; }
  int32_t GetShowDataAxis() const override { return showDataAxis; }
  int32_t GetShowTimeAxis() const override { return showTimeAxis; }
  void SetShowPlotIcons(int32_t show) override { showIcons = show; }
  void SetShowPlotNames(int32_t show) override { showNames = show; }
  void SetShowDataAxis(int32_t show) override { showDataAxis = show; }
  void SetShowTimeAxis(int32_t show) override { showTimeAxis = show; }
  int32_t GetDataAxisMargin() const override { return 10; }
  int32_t GetDataAxisWidth() const override { return showDataAxis ? dataAxisWidth : 0; }
  int32_t GetPlotHeaderHeight() const override { return 20; }
  int32_t GetHorizontalPagePercent() const override { return horizontalPercent; }
  int32_t GetVerticalPagePercent() const override { return verticalPercent; }
  double GetTimeLabelScale() const override { return 1.0; }
  int32_t ReadSettings(File&) override { return 0; }
  int32_t WriteSettings(File& file) override {
    ++settingsWrites;
    return file.Write(kSettingsMarker, std::strlen(kSettingsMarker)) ? 0 : file.LastError();
  }
  int32_t FindSeparator(int32_t y, int32_t& plot) const override {
    for (const auto& [separator, index] : separators) {
      if (separator >= y - 2 && y + 1 >= separator) {
        plot = index;
        return 1;
      }
    }
    return 0;
  }

  static constexpr const char* kSettingsMarker = "fake canvas settings";

  int redrawCount = 0;
  int presentCount = 0;
  int settingsWrites = 0;
  int64_t minimumSpan = 0;
  int32_t zoomFactor = 2;
  int32_t showNames = 1;
  int32_t showIcons = 1;
  int32_t showDataAxis = 1;
  int32_t showTimeAxis = 1;
  int32_t timeAxisHeight = 17;
  int32_t dataAxisWidth = 40;
  int32_t horizontalPercent = 50;
  int32_t verticalPercent = 50;
  std::vector<std::pair<int32_t, int32_t>> separators;  // canvas y of a border, index of the plot above it
  MemoryBitmap frame;
  std::function<void()> whileDrawing;  // runs inside each frame, as input arriving meanwhile would
};

}  // namespace skelvane::test
