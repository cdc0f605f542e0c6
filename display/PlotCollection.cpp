#include "display/PlotCollection.h"

#include <utility>

#include "datafile/IDataSourceManager.h"
#include "display/ColorTable.h"
#include "display/CscPlot.h"
#include "display/CscPlotProperties.h"
#include "display/Plot.h"
#include "platform/ReportError.h"
#include "platform/StatusCodes.h"

namespace skelvane {
namespace {

constexpr int32_t kGapBelowPlot = 3;  // two separator lines and the pixel between them

}  // namespace

PlotCollection::PlotCollection(IDataSourceManager& sources, ColorTable& colours)
    : sources_(sources), colours_(colours) {}

int32_t PlotCollection::CreatePlot(const std::string& name, int32_t dataType, const std::string& path) {
  if (dataType != kCscDataType) {
    ReportError("Invalid DataType value when creating a new plot.", 0);
    return kStatusFailed;
  }
  uint32_t colour = CscPlotProperties().traceColour;
  colours_.GetNextColor(colour);
  auto plot = std::make_unique<CscPlot>(path, name, sources_, colour);
  plot->LoadSourceInfo();
  plots_.push_back(std::move(plot));
  return kStatusOk;
}

int32_t PlotCollection::RemovePlot(int32_t index) {
  if (index < 0 || index >= GetNumPlots()) {
    ReportError("Error, Invalid Index To Remove, Index = ", index);
    return kStatusFailed;
  }
  // Sources are found by path, so the source that CloseSource moves into the freed index is still
  // found by its own plot.
  int32_t source = -1;
  if (sources_.FindSourceByPath(plots_[index]->GetPath(), source) == 0) sources_.CloseSource(source);
  plots_.erase(plots_.begin() + index);
  return kStatusOk;
}

int32_t PlotCollection::RemoveAllPlots() {
  for (int32_t i = GetNumPlots() - 1; i >= 0; --i) {
    if (RemovePlot(i) != 0) return kStatusFailed;
  }
  return kStatusOk;
}

int32_t PlotCollection::GetNumPlots() const { return static_cast<int32_t>(plots_.size()); }

int32_t PlotCollection::GetPlot(int32_t index, IPlot*& plot) const {
  if (index < 0 || index >= GetNumPlots()) return kStatusFailed;
  plot = plots_[index].get();
  return kStatusOk;
}

int32_t PlotCollection::GetTotalHeight() const {
  int32_t total = 0;
  for (const auto& plot : plots_) total += plot->GetHeight() + kGapBelowPlot;
  return total;
}

int32_t PlotCollection::MovePlotUp(int32_t index) {
  if (index <= 0 || index >= GetNumPlots()) return kStatusFailed;
  std::swap(plots_[index], plots_[index - 1]);
  return kStatusOk;
}

int32_t PlotCollection::MovePlotDown(int32_t index) {
  if (index < 0 || index >= GetNumPlots() - 1) return kStatusFailed;
  std::swap(plots_[index], plots_[index + 1]);
  return kStatusOk;
}

int32_t PlotCollection::HandleClick(int32_t x, int32_t y) {
  for (int32_t i = 0; i < GetNumPlots(); ++i) {
    IPlot& plot = *plots_[i];
    const int32_t hit = plot.HitTestIcon(x, y);
    if (hit < 0) return 0;
    switch (hit) {
      case Plot::kHitNone: continue;
      case Plot::kHitClose: RemovePlot(i); return 1;
      case Plot::kHitUp: MovePlotUp(i); return 1;
      case Plot::kHitDown: MovePlotDown(i); return 1;
      case Plot::kHitPlus: plot.IncreaseHeight(); return 1;
      case Plot::kHitMinus: plot.DecreaseHeight(); return 1;
      default: continue;
    }
  }
  return 0;
}

void PlotCollection::AppendPlot(std::unique_ptr<IPlot> plot) {
  if (plot) plots_.push_back(std::move(plot));
}

}  // namespace skelvane
