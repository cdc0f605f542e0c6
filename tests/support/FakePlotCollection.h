#pragma once
// The one stand-in for the plot collection in tests: plots that keep their name, path and height
// (limited like real plots), the timing and full scale the extraction takes from them and the
// extraction settings they were given; the collection records the clicks it was offered. Used by the
// window's tests and those of the plots' channels.

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "display/IPlot.h"
#include "display/IPlotCollection.h"
#include "platform/ReportError.h"
#include "platform/StatusCodes.h"

namespace skelvane::test {

class FakePlot final : public IPlot {
 public:
  static constexpr int32_t kMinHeight = 50;
  static constexpr int32_t kMaxHeight = 5000;
  static constexpr int32_t kHeightStep = 50;

  /// A plot of the source at `path` (also its name) with the timing and full scale the extraction takes.
  explicit FakePlot(std::string path, double samplePeriod = 0.0, double frequency = 0.0, int32_t adMax = 2047)
      : name(path), path(std::move(path)), samplePeriod(samplePeriod), frequency(frequency), adMax(adMax) {}

  std::string GetPath() const override { return path; }
  int32_t GetHeight() const override { return height; }
  double GetSamplingFrequency() const override { return frequency; }
  double GetSamplePeriod() const override { return samplePeriod; }
  void LoadSourceInfo() override {}
  void SetHeight(int32_t value) override { height = std::clamp(value, kMinHeight, kMaxHeight); }
  void SetExtractionMode(int32_t mode) override { extractionMode = mode; }
  void SetExtractionType(int32_t type) override { extractionType = type; }
  void SetExtractionValue(double value) override { extractionValue = value; }
  int32_t Draw(const PlotFrame&, int32_t, int32_t, int32_t, int32_t) override { return kStatusOk; }
  std::vector<IconPlace> LayOutIcons(int32_t, int32_t, int32_t) override { return {}; }
  void DrawName(const PlotFrame&, int32_t, int32_t, int32_t) override {}
  DataAxisRange DataAxis() const override { return {0, adMax, "  AD Counts"}; }
  int32_t DrawThresholdOverlay(const PlotFrame&, int32_t, int32_t, uint32_t) override { return kStatusOk; }
  int32_t HitTestIcon(int32_t, int32_t) const override { return 0; }
  int32_t ReadProperties(File&) override { return kStatusOk; }
  int32_t WriteProperties(File&) override { return kStatusOk; }
  void IncreaseHeight() override { height += kHeightStep; }
  int32_t DecreaseHeight() override {
    if (height == kMinHeight) return 0;
    SetHeight(height - kHeightStep);
    return 1;
  }
  int32_t GetADMaxValue() const override { return adMax; }
  void ForgetIcons() override {}
  void PrepareDraw(const PlotFrame&) override {
    if (onPrepare) onPrepare();
  }

  std::string name;
  std::string path;
  int32_t height = 100;
  double samplePeriod;
  double frequency;
  int32_t adMax;
  int32_t extractionMode = -1;
  int32_t extractionType = -1;
  double extractionValue = -1.0;
  std::function<void()> onPrepare;  // run by PrepareDraw, on whichever thread prepares the plot
};

/// Plots in display order. It owns the plots CreatePlot makes; `plots` may also hold plots owned
/// elsewhere, and a null entry stands for a plot that cannot be had.
class FakePlotCollection final : public IPlotCollection {
 public:
  static constexpr int32_t kCscType = 5;
  static constexpr int32_t kGapBelowPlot = 3;

  /// A rectangle in canvas coordinates (y upwards): x .. x + width - 1, y .. y + height - 1.
  struct Rect {
    int32_t x = 0, y = 0, width = 0, height = 0;
    bool Contains(int32_t px, int32_t py) const { return px >= x && px < x + width && py >= y && py < y + height; }
  };

  int32_t CreatePlot(const std::string& name, int32_t dataType, const std::string& path) override {
    if (dataType != kCscType) {
      ReportError("Invalid DataType value when creating a new plot.", 0);
      return kStatusFailed;
    }
    owned_.push_back(std::make_unique<FakePlot>(path));
    owned_.back()->name = name;
    plots.push_back(owned_.back().get());
    return kStatusOk;
  }
  int32_t RemovePlot(int32_t index) override {
    if (index < 0 || index >= GetNumPlots()) return kStatusFailed;
    plots.erase(plots.begin() + index);
    return kStatusOk;
  }
  int32_t RemoveAllPlots() override {
    plots.clear();
    return kStatusOk;
  }
  int32_t GetNumPlots() const override { return static_cast<int32_t>(plots.size()); }
  int32_t GetPlot(int32_t index, IPlot*& plot) const override {
    if (index < 0 || index >= GetNumPlots() || index == failingIndex) return kStatusFailed;
    plot = plots[index];
    return kStatusOk;
  }
  int32_t GetTotalHeight() const override {
    int32_t total = 0;
    for (const FakePlot* plot : plots) total += plot != nullptr ? plot->height + kGapBelowPlot : 0;
    return total;
  }
  int32_t MovePlotUp(int32_t) override { return kStatusFailed; }
  int32_t MovePlotDown(int32_t) override { return kStatusFailed; }
  /// A click inside `plusIcon` makes the first plot taller.
  int32_t HandleClick(int32_t x, int32_t y) override {
    clicks.emplace_back(x, y);
    if (plots.empty() || plots.front() == nullptr || !plusIcon.Contains(x, y)) return 0;
    plots.front()->IncreaseHeight();
    return 1;
  }

  /// The plot at `index`.
  FakePlot& Plot(int32_t index) { return *plots.at(index); }

  std::vector<FakePlot*> plots;
  int32_t failingIndex = -1;  // GetPlot of this index fails
  std::vector<std::pair<int32_t, int32_t>> clicks;
  Rect plusIcon;  // empty: no icon is hit

 private:
  std::vector<std::unique_ptr<FakePlot>> owned_;
};

}  // namespace skelvane::test
