#include "app/PlotLocator.h"

#include <cmath>
#include <cstdlib>

#include "app/ClientLayout.h"
#include "datafile/CscRecord.h"
#include "datafile/IDataSourceManager.h"
#include "display/CscPlot.h"
#include "display/IPlot.h"
#include "display/IPlotCanvas.h"
#include "display/IPlotCollection.h"
#include "display/PlotCanvas.h"
#include "display/ViewState.h"
#include "platform/PathHelpers.h"

namespace skelvane {
namespace {

constexpr int32_t kSeparatorRows = 3;  // each plot is followed by two separator lines and a gap row
constexpr double kMicrovoltsPerVolt = 1e6;
constexpr const char* kBitVoltsKey = "-ADBitVolts";

}  // namespace

PlotLocator::PlotLocator(const IPlotCanvas& canvas, const ViewState& view, const IPlotCollection& plots,
                         IDataSourceManager& sources)
    : canvas_(canvas), view_(view), plots_(plots), sources_(sources) {}

std::optional<int64_t> PlotLocator::TimeAt(int32_t x) const {
  const int32_t column = x - canvas_.GetDataAxisWidth();
  const int32_t width = view_.CanvasWidth - canvas_.GetDataAxisWidth();
  if (column < 0 || column >= width) return std::nullopt;
  int64_t time = 0;
  if (PlotCanvas::GetTimeForPixel(column, width, view_.VisibleSpan, view_.VisibleStart, time) != 0) return std::nullopt;
  return time;
}

int32_t PlotLocator::PlotAt(int32_t y) const {
  if (y < ClientLayout::kScrollBarSize) return -1;
  const int32_t canvasY = ClientLayout::CanvasY(view_, y);
  // The stack as the canvas lays it out: from 0 downwards, each plot then its separator rows.
  int32_t top = 0;
  const int32_t count = plots_.GetNumPlots();
  for (int32_t i = 0; i < count; ++i) {
    IPlot* plot = nullptr;
    if (plots_.GetPlot(i, plot) != 0 || plot == nullptr) return -1;
    const int32_t bottom = top - plot->GetHeight();
    if (canvasY <= top && canvasY > bottom) return i;
    top = bottom - kSeparatorRows;
  }
  return -1;
}

std::optional<PlotLocator::Sample> PlotLocator::SampleAt(int32_t index, int64_t time) const {
  IPlot* plot = nullptr;
  if (plots_.GetPlot(index, plot) != 0 || plot == nullptr) return std::nullopt;
  const double period = plot->GetSamplePeriod();
  int32_t source = -1;
  if (period <= 0.0 || sources_.FindSourceByPath(plot->GetPath(), source) != 0) return std::nullopt;
  const uint8_t* bytes = nullptr;
  if (sources_.FindRecordForTime(time, source, bytes) != 0 || bytes == nullptr) return std::nullopt;
  const CscRecord record(bytes);
  const double offset = static_cast<double>(time - record.Timestamp()) / period;
  if (!(offset >= 0.0) || offset >= kSamplesPerRecord) return std::nullopt;  // before the record or in a gap
  Sample sample;
  sample.counts = record.Sample(static_cast<int32_t>(offset));
  // A filtered plot reads the value its trace draws there, not the recorded one.
  if (const auto* csc = dynamic_cast<const CscPlot*>(plot); csc != nullptr && !csc->Filter().IsNone()) {
    const std::optional<int16_t> filtered = csc->FilteredSampleAt(record.Timestamp(), static_cast<int32_t>(offset));
    if (!filtered) return std::nullopt;
    sample.counts = *filtered;
    sample.band = csc->Filter().Description();
  }
  std::string bitVolts;
  if (sources_.GetHeaderValue(source, kBitVoltsKey, bitVolts) == 0) {
    const double perCount = std::strtod(bitVolts.c_str(), nullptr);
    if (perCount > 0.0 && std::isfinite(perCount)) sample.microvolts = sample.counts * perCount * kMicrovoltsPerVolt;
  }
  return sample;
}

std::string PlotLocator::PathOf(int32_t index) const {
  IPlot* plot = nullptr;
  if (plots_.GetPlot(index, plot) != 0 || plot == nullptr) return {};
  return plot->GetPath();
}

std::string PlotLocator::NameOf(int32_t index) const { return FileTitleOf(PathOf(index)); }

}  // namespace skelvane
