#include "app/PlotActions.h"

#include <QAction>
#include <QMenu>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <string>

#include "app/ClientLayout.h"
#include "app/CustomFilterDialog.h"
#include "app/PlotLocator.h"
#include "app/WindowView.h"
#include "display/Autoscale.h"
#include "display/CscPlot.h"
#include "display/IPlot.h"
#include "display/IPlotCanvas.h"
#include "display/IPlotCollection.h"
#include "display/Plot.h"
#include "filter/FilterDesign.h"
#include "platform/ReportError.h"

namespace skelvane {

PlotActions::PlotActions(IPlotCanvas& canvas, const ViewState& view, IPlotCollection& plots,
                         const PlotLocator& locator, WindowView& window, QWidget& client)
    : canvas_(canvas), view_(view), plots_(plots), locator_(locator), window_(window), client_(client) {}

void PlotActions::OnContextMenu(int32_t x, int32_t y) {
  const int32_t index = locator_.PlotAt(y);
  if (index < 0) return;
  if (plotMenu_ != nullptr) plotMenu_->close();
  auto* menu = new QMenu(&client_);
  menu->setAttribute(Qt::WA_DeleteOnClose);
  menu->setTitle(QString::fromStdString(locator_.NameOf(index)));
  // The header icons' actions, then the plot's amplitude; each finds the plot again by its path,
  // since another command may have moved or closed it while the menu was open.
  const std::string path = locator_.PathOf(index);
  auto act = [this, menu, path](const QString& text, auto&& action) {
    QObject::connect(menu->addAction(text), &QAction::triggered, menu, [this, path, action] {
      for (int32_t i = 0; i < plots_.GetNumPlots(); ++i) {
        if (locator_.PathOf(i) != path) continue;
        action(i);
        window_.UpdateVerticalScroll();
        window_.Redraw();
        return;
      }
    });
  };
  act(QStringLiteral("&Close Plot"), [this](int32_t i) { plots_.RemovePlot(i); });
  act(QStringLiteral("Move &Up"), [this](int32_t i) { plots_.MovePlotUp(i); });
  act(QStringLiteral("Move &Down"), [this](int32_t i) { plots_.MovePlotDown(i); });
  act(QStringLiteral("&Taller"), [this](int32_t i) {
    IPlot* plot = nullptr;
    if (plots_.GetPlot(i, plot) == 0 && plot != nullptr) plot->IncreaseHeight();
  });
  act(QStringLiteral("&Shorter"), [this](int32_t i) {
    IPlot* plot = nullptr;
    if (plots_.GetPlot(i, plot) == 0 && plot != nullptr) plot->DecreaseHeight();
  });
  menu->addSeparator();
  act(QStringLiteral("&Increase Amplitude"), [this, path](int32_t) {
    canvas_.SetAmplitudeGain(path, canvas_.GetAmplitudeGain(path) * kAmplitudeStep);
  });
  act(QStringLiteral("D&ecrease Amplitude"), [this, path](int32_t) {
    canvas_.SetAmplitudeGain(path, canvas_.GetAmplitudeGain(path) / kAmplitudeStep);
  });
  act(QStringLiteral("&Reset Amplitude"), [this, path](int32_t) { canvas_.SetAmplitudeGain(path, 1.0); });
  act(QStringLiteral("&Autoscale"), [this](int32_t i) { AutoscaleOf(i); });
  // The plot's band filter, its own filter checked.
  QMenu* filters = menu->addMenu(QStringLiteral("&Filter"));
  const std::vector<CscPlot*> shown = FilterTargets(index);
  const FilterChoice current = shown.empty() ? FilterChoice() : shown.front()->Filter();
  const auto filterItem = [&](const QString& text, FilterChoice::Band band, auto&& action) {
    QAction* item = filters->addAction(text);
    item->setCheckable(true);
    item->setChecked(current.GetBand() == band);
    QObject::connect(item, &QAction::triggered, menu, [this, path, action] {
      for (int32_t i = 0; i < plots_.GetNumPlots(); ++i) {
        if (locator_.PathOf(i) == path) {
          action(i);
          return;
        }
      }
    });
  };
  using Band = FilterChoice::Band;
  filterItem(QStringLiteral("&None"), Band::kNone, [this](int32_t i) { SetFilter(i, FilterChoice()); });
  filterItem(QStringLiteral("&Spike Band"), Band::kSpike, [this](int32_t i) { SetFilter(i, FilterChoice::Spike()); });
  filterItem(QStringLiteral("&LFP Band"), Band::kLfp, [this](int32_t i) { SetFilter(i, FilterChoice::Lfp()); });
  filterItem(QStringLiteral("&Custom..."), Band::kCustom, [this](int32_t i) { AskCustomFilter(i); });
  plotMenu_ = menu;
  menu->popup(client_.mapToGlobal(QPoint(x, y)));
}

QString PlotActions::ToolTipAt(int32_t x, int32_t y) const {
  if (canvas_.GetShowPlotIcons() == 0 || y < ClientLayout::kScrollBarSize) return {};
  const int32_t canvasY = ClientLayout::CanvasY(view_, y);
  static const char* const kIconNames[] = {"", "Close plot", "Move plot up", "Move plot down", "Make plot taller",
                                           "Make plot shorter"};
  for (int32_t i = 0; i < plots_.GetNumPlots(); ++i) {
    IPlot* plot = nullptr;
    if (plots_.GetPlot(i, plot) != 0 || plot == nullptr) continue;
    const int32_t hit = plot->HitTestIcon(x, canvasY);
    if (hit > Plot::kHitNone && hit <= Plot::kHitMinus) return QString::fromUtf8(kIconNames[hit]);
  }
  return {};
}

void PlotActions::ZoomAmplitudeAt(int32_t y, int32_t steps) {
  const int32_t plot = locator_.PlotAt(y);
  if (plot >= 0) ZoomAmplitudeOf(plot, steps);
}

void PlotActions::ZoomAmplitudeOf(int32_t index, int32_t steps) {
  const std::string path = locator_.PathOf(index);
  if (path.empty()) return;
  canvas_.SetAmplitudeGain(path, canvas_.GetAmplitudeGain(path) * std::pow(kAmplitudeStep, steps));
  window_.Redraw();
}

void PlotActions::ZoomAllAmplitudes(int32_t steps) {
  for (int32_t i = 0; i < plots_.GetNumPlots(); ++i) {
    const std::string path = locator_.PathOf(i);
    canvas_.SetAmplitudeGain(path, canvas_.GetAmplitudeGain(path) * std::pow(kAmplitudeStep, steps));
  }
  window_.Redraw();
}

void PlotActions::ResetAmplitudes() {
  for (int32_t i = 0; i < plots_.GetNumPlots(); ++i) canvas_.SetAmplitudeGain(locator_.PathOf(i), 1.0);
  window_.Redraw();
}

bool PlotActions::AutoscaleOf(int32_t index) {
  IPlot* plot = nullptr;
  if (plots_.GetPlot(index, plot) != 0 || plot == nullptr) return false;
  auto* csc = dynamic_cast<CscPlot*>(plot);
  if (csc == nullptr) return false;
  const std::optional<double> gain = Autoscale::GainFor(*csc, canvas_.Frame());
  if (!gain) return false;
  canvas_.SetAmplitudeGain(plot->GetPath(), *gain);
  window_.Redraw();
  return true;
}

void PlotActions::AutoscaleAll() {
  for (int32_t i = 0; i < plots_.GetNumPlots(); ++i) AutoscaleOf(i);
}

std::vector<CscPlot*> PlotActions::FilterTargets(int32_t index) const {
  std::vector<CscPlot*> targets;
  const int32_t first = index < 0 ? 0 : index;
  const int32_t end = index < 0 ? plots_.GetNumPlots() : std::min(index + 1, plots_.GetNumPlots());
  for (int32_t i = first; i < end; ++i) {
    IPlot* plot = nullptr;
    if (plots_.GetPlot(i, plot) != 0 || plot == nullptr) continue;
    if (auto* csc = dynamic_cast<CscPlot*>(plot)) targets.push_back(csc);
  }
  return targets;
}

std::vector<std::pair<FilterChoice, double>> PlotActions::BandsShown() const {
  std::vector<std::pair<FilterChoice, double>> bands;
  for (const CscPlot* plot : FilterTargets(-1)) {
    if (!plot->Filter().IsNone()) bands.emplace_back(plot->Filter(), plot->GetSamplingFrequency());
  }
  return bands;
}

bool PlotActions::CanTake(const std::vector<CscPlot*>& targets, const FilterChoice& filter, std::string& refusal) {
  if (filter.IsNone()) return true;
  for (CscPlot* plot : targets) {
    if (!FilterDesign::Shared(filter, plot->GetSamplingFrequency(), refusal)) {
      refusal += ": " + plot->GetPath();
      return false;
    }
  }
  return true;
}

bool PlotActions::SetFilter(int32_t index, const FilterChoice& filter) {
  const std::vector<CscPlot*> targets = FilterTargets(index);
  // All or none: a band one recording cannot take leaves every plot as it was.
  if (std::string refusal; !CanTake(targets, filter, refusal)) {
    ReportError(refusal, 0);
    return false;
  }
  std::string notice;
  for (CscPlot* plot : targets) {
    std::string refusal;
    if (!plot->SetFilter(filter, refusal)) {
      ReportError(refusal, 0);
      return false;
    }
    if (const std::string said = plot->FilterNotice(); !said.empty() && notice.empty()) notice = said;
  }
  if (index < 0) newPlotsFilter_ = filter;
  if (!notice.empty()) window_.ShowNotice(notice);
  window_.Redraw();
  return true;
}

void PlotActions::StartNewPlots(int32_t first) {
  if (newPlotsFilter_.IsNone()) return;
  std::string notice;
  for (int32_t i = std::max(first, 0); i < plots_.GetNumPlots(); ++i) {
    const std::vector<CscPlot*> targets = FilterTargets(i);
    if (targets.empty()) continue;
    std::string refusal;
    if (!CanTake(targets, newPlotsFilter_, refusal) || !targets.front()->SetFilter(newPlotsFilter_, refusal)) {
      if (notice.empty()) notice = std::string(kUnfilteredNotice) + refusal;
      continue;
    }
    if (const std::string said = targets.front()->FilterNotice(); !said.empty() && notice.empty()) notice = said;
  }
  if (!notice.empty()) window_.ShowNotice(notice);
}

void PlotActions::AskCustomFilter(int32_t index) {
  const std::vector<CscPlot*> targets = FilterTargets(index);
  if (targets.empty()) return;
  const std::string path = index < 0 ? std::string() : locator_.PathOf(index);
  auto* dialog = new CustomFilterDialog(
      targets.front()->Filter(),
      [targets](const FilterChoice& filter, std::string& refusal) { return CanTake(targets, filter, refusal); },
      &client_);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  customDialog_ = dialog;
  // The plot is found again by its path when the dialog closes: it may have moved meanwhile.
  QObject::connect(dialog, &QDialog::accepted, dialog, [this, dialog, index, path] {
    if (!dialog->Filter()) return;
    if (index < 0) {
      SetFilter(-1, *dialog->Filter());
      return;
    }
    for (int32_t i = 0; i < plots_.GetNumPlots(); ++i) {
      if (locator_.PathOf(i) == path) SetFilter(i, *dialog->Filter());
    }
  });
  dialog->open();
}

std::optional<FilterChoice> PlotActions::SharedFilter() const {
  const std::vector<CscPlot*> plots = FilterTargets(-1);
  if (plots.empty()) return newPlotsFilter_;
  for (CscPlot* plot : plots) {
    if (!(plot->Filter() == plots.front()->Filter())) return std::nullopt;
  }
  return plots.front()->Filter();
}

}  // namespace skelvane
