#pragma once
// A plot collection for the main window's tests: plots that only keep their name, path and height
// (limited like real plots), icon rectangles the test places, and a record of every call.

#include <QRect>
#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "display/IPlot.h"
#include "display/IPlotCollection.h"
#include "platform/ReportError.h"

// The window's fakes live in a namespace of their own: tests/extract has fakes of the same names,
// and a test program that links both must not get one class's inline members for the other's.
namespace skelvane::test::window {

class FakePlot final : public IPlot {
 public:
  FakePlot(std::string name, std::string path) : name(std::move(name)), path(std::move(path)) {}
  std::string GetPath() const override { return path; }
  int32_t GetHeight() const override { return height; }
  double GetSamplingFrequency() const override { return 0.0; }
  double GetSamplePeriod() const override { return 0.0; }
  void LoadSourceInfo() override {}
  void SetHeight(int32_t value) override { height = std::clamp(value, 50, 5000); }
  void SetExtractionMode(int32_t) override {}
  void SetExtractionType(int32_t) override {}
  void SetExtractionValue(double) override {}
  int32_t Draw(const PlotFrame&, int32_t, int32_t, int32_t, int32_t) override { return 0; }
  void DrawIcons(const PlotFrame&, int32_t, int32_t, int32_t, int32_t) override {}
  void DrawName(const PlotFrame&, int32_t, int32_t, int32_t) override {}
  int32_t DrawDataAxisLabel(const PlotFrame&, int32_t, int32_t, int32_t, int32_t) override { return 0; }
  int32_t DrawThresholdOverlay(const PlotFrame&, int32_t, int32_t, uint32_t) override { return 0; }
  int32_t RunPropertiesDialog() override { return 0; }
  int32_t HitTestIcon(int32_t, int32_t) const override { return 0; }
  int32_t ReadProperties(File&) override { return 0; }
  int32_t WriteProperties(File&) override { return 0; }
  void IncreaseHeight() override { height += 50; }
  int32_t DecreaseHeight() override {
    if (height == 50) return 0;
    SetHeight(height - 50);
    return 1;
  }
  void ForgetIcons() override {}
  int32_t GetADMaxValue() const override { return 2047; }

  std::string name;
  std::string path;
  int32_t height = 100;
};

class FakePlotCollection final : public IPlotCollection {
 public:
  static constexpr int32_t kCscType = 5;

  int32_t CreatePlot(const std::string& name, int32_t dataType, const std::string& path) override {
    if (dataType != kCscType) {
      ReportError("Invalid DataType value when creating a new plot.", 0);
      return -1;
    }
    plots.push_back(std::make_unique<FakePlot>(name, path));
    return 0;
  }
  int32_t AddPlotsForNewSources() override {
    ++addPlotsCalls;
    return addPlots ? addPlots() : -1;
  }
  int32_t RemovePlot(int32_t index) override {
    if (index < 0 || index >= GetNumPlots()) return -1;
    plots.erase(plots.begin() + index);
    return 0;
  }
  int32_t RemoveAllPlots() override {
    plots.clear();
    return 0;
  }
  int32_t GetNumPlots() const override { return static_cast<int32_t>(plots.size()); }
  int32_t GetPlot(int32_t index, IPlot*& plot) const override {
    if (index < 0 || index >= GetNumPlots()) return -1;
    plot = plots[index].get();
    return 0;
  }
  int32_t GetTotalHeight() const override {
    int32_t total = 0;
    for (const auto& plot : plots) total += plot->height + 3;
    return total;
  }
  int32_t MovePlotUp(int32_t) override { return -1; }
  int32_t MovePlotDown(int32_t) override { return -1; }
  // A click inside `plusIcon` (canvas coordinates, y upwards) makes the first plot taller.
  int32_t HandleClick(int32_t x, int32_t y) override {
    clicks.emplace_back(x, y);
    if (!plots.empty() && x >= plusIcon.left() && x <= plusIcon.right() && y >= plusIcon.top() &&
        y <= plusIcon.bottom()) {
      plots.front()->IncreaseHeight();
      return 1;
    }
    return 0;
  }

  FakePlot& Plot(int32_t index) { return *plots.at(index); }

  std::vector<std::unique_ptr<FakePlot>> plots;
  std::vector<std::pair<int32_t, int32_t>> clicks;
  QRect plusIcon;  // empty: no icon is hit
  std::function<int32_t()> addPlots;
  int addPlotsCalls = 0;
};

}  // namespace skelvane::test::window

namespace skelvane::test {
using window::FakePlot;
using window::FakePlotCollection;
}  // namespace skelvane::test
