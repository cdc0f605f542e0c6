#include "app/SpikePanels.h"

#include <QDockWidget>
#include <QMainWindow>
#include <QTimer>
#include <algorithm>
#include <optional>

#include "app/SpikesPanel.h"
#include "app/WindowView.h"
#include "datafile/CscRecord.h"
#include "datafile/IDataSourceManager.h"
#include "display/IPlotCanvas.h"
#include "display/ViewModel.h"
#include "display/ViewState.h"
#include "platform/FileChooser.h"
#include "platform/FileIdentity.h"
#include "platform/PathHelpers.h"
#include "platform/Saturating.h"

namespace skelvane {
namespace {

constexpr const char* kChooserTitle = "Open Spike Files";
const std::vector<FileChooser::Filter> kSpikeFileFilters = {
    {"Spike Files (*.kse *.kst *.ktt *.dat)", {"*.kse", "*.kst", "*.ktt", "*.dat"}},
    {"All Files (*.*)", {"*"}},
};

}  // namespace

SpikePanels::SpikePanels(const IPlotCanvas& canvas, IDataSourceManager& sources, ViewState& view, ViewModel& model,
                         WindowView& windowView, QMainWindow& window, OutputFolder outputFolder)
    : canvas_(canvas),
      sources_(sources),
      view_(view),
      model_(model),
      windowView_(windowView),
      window_(window),
      outputFolder_(std::move(outputFolder)) {}

bool SpikePanels::Open(const std::string& path) {
  SpikesPanel* panel = SpikesPanel::Open(
      path, [this](const std::vector<std::string>& files, int64_t time) { return CentreOn(files, time); },
      [this] { return canvas_.Clock(); }, &window_);
  if (panel == nullptr) return false;
  const std::vector<QDockWidget*> before = Stacked();
  window_.addDockWidget(Qt::RightDockWidgetArea, panel);
  panel->FollowSpan(view_.VisibleStart, SaturatingAdd(view_.VisibleStart, view_.VisibleSpan));
  panels_.emplace_back(panel);
  Arrange(panel, before);
  return true;
}

std::vector<QDockWidget*> SpikePanels::Stacked() const {
  std::vector<QDockWidget*> stacked;
  for (SpikesPanel* panel : Panels()) {
    if (panel->isFloating() || window_.dockWidgetArea(panel) != Qt::RightDockWidgetArea) continue;
    const QList<QDockWidget*> tabs = window_.tabifiedDockWidgets(panel);
    const bool inTabsCounted =
        std::any_of(stacked.begin(), stacked.end(), [&tabs](QDockWidget* counted) { return tabs.contains(counted); });
    if (!inTabsCounted) stacked.push_back(panel);
  }
  return stacked;
}

// A dock added under others got what they left over, a sliver: the panels share the height beside
// the traces equally while each keeps room for its views, and past that the new one goes into a tab
// over the last.
void SpikePanels::Arrange(SpikesPanel* added, const std::vector<QDockWidget*>& before) {
  if (before.empty()) return;
  const QWidget* beside = window_.centralWidget() != nullptr ? window_.centralWidget() : &window_;
  const int available = beside->height();
  const int count = static_cast<int>(before.size()) + 1;
  if (available / count < added->minimumSizeHint().height()) {
    window_.tabifyDockWidget(before.back(), added);
    added->raise();
    return;
  }
  // Once the new dock is laid out: sizes given before that are not kept.
  QList<QPointer<QDockWidget>> docks(before.begin(), before.end());
  docks << added;
  QTimer::singleShot(0, &window_, [this, docks] {
    QList<QDockWidget*> shown;
    for (const QPointer<QDockWidget>& dock : docks) {
      if (!dock.isNull()) shown << dock.data();
    }
    if (shown.size() < 2) return;
    const QWidget* area = window_.centralWidget() != nullptr ? window_.centralWidget() : &window_;
    const auto share = std::max(area->height() / static_cast<int>(shown.size()), 1);
    window_.resizeDocks(shown, QList<int>(shown.size(), share), Qt::Vertical);
  });
}

std::string SpikePanels::SpikeFileFolder() const {
  const std::string output = outputFolder_ ? outputFolder_() : std::string();
  if (!output.empty()) return output;
  std::string path;
  if (sources_.GetNumSources() > 0 && sources_.GetSourcePath(0, path) == 0) return FolderOf(AbsolutePathOf(path));
  return {};
}

void SpikePanels::OpenWithChooser() {
  const auto chosen = FileChooser::Current().OpenFiles(kChooserTitle, SpikeFileFolder(), kSpikeFileFilters, true);
  if (!chosen) return;
  // A file that is no sound spike file is reported; the others open all the same.
  for (const std::string& path : *chosen) Open(path);
}

void SpikePanels::FollowView() {
  std::erase_if(panels_, [](const QPointer<SpikesPanel>& panel) { return panel.isNull(); });
  for (const QPointer<SpikesPanel>& panel : panels_) {
    panel->FollowSpan(view_.VisibleStart, SaturatingAdd(view_.VisibleStart, view_.VisibleSpan));
  }
}

std::vector<SpikesPanel*> SpikePanels::Panels() const {
  std::vector<SpikesPanel*> open;
  for (const QPointer<SpikesPanel>& panel : panels_) {
    if (!panel.isNull()) open.push_back(panel.data());
  }
  return open;
}

bool SpikePanels::RecordingOpen(const std::vector<std::string>& sourceFiles, int64_t time) {
  const int32_t count = sources_.GetNumSources();
  for (int32_t i = 0; i < count; ++i) {
    std::string path;
    if (sources_.GetSourcePath(i, path) != 0) continue;
    // The same file under the name the header gives, or under another name for it.
    if (std::find(sourceFiles.begin(), sourceFiles.end(), path) != sourceFiles.end() ||
        FileIdentity::IsOneOf(path, sourceFiles)) {
      return true;
    }
  }
  // Recordings moved or copied since the extraction: any open one that holds the spike's time.
  for (int32_t i = 0; i < count; ++i) {
    const auto stamp = [&](int64_t record) -> std::optional<int64_t> {
      const uint8_t* bytes = nullptr;
      if (sources_.GetRecord(record, i, bytes) != 0 || bytes == nullptr) return std::nullopt;
      return CscRecord(bytes).Timestamp();
    };
    const int64_t records = sources_.GetNumRecords(i);
    if (records <= 0) continue;
    const std::optional<int64_t> first = stamp(0);
    const std::optional<int64_t> last = stamp(records - 1);
    const std::optional<int64_t> before = records >= 2 ? stamp(records - 2) : last;
    if (!first || !last || !before) continue;
    // The last record reaches as far past its stamp as the one before it did.
    const int64_t end = SaturatingAdd(*last, std::max<int64_t>(SaturatingSubtract(*last, *before), 0));
    if (time >= *first && time <= end) return true;
  }
  return false;
}

bool SpikePanels::CentreOn(const std::vector<std::string>& sourceFiles, int64_t time) {
  if (!RecordingOpen(sourceFiles, time)) return false;
  model_.CentreOn(time);
  windowView_.UpdateHorizontalScroll();
  windowView_.Redraw();
  return true;
}

}  // namespace skelvane
