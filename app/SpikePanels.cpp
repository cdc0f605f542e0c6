#include "app/SpikePanels.h"

#include <QMainWindow>
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
                         WindowView& windowView, QMainWindow& window)
    : canvas_(canvas),
      sources_(sources),
      view_(view),
      model_(model),
      windowView_(windowView),
      window_(window) {}

bool SpikePanels::Open(const std::string& path) {
  SpikesPanel* panel = SpikesPanel::Open(
      path, [this](const std::vector<std::string>& files, int64_t time) { return CentreOn(files, time); },
      [this] { return canvas_.Clock(); }, &window_);
  if (panel == nullptr) return false;
  window_.addDockWidget(Qt::RightDockWidgetArea, panel);
  panel->FollowSpan(view_.VisibleStart, SaturatingAdd(view_.VisibleStart, view_.VisibleSpan));
  panels_.emplace_back(panel);
  return true;
}

void SpikePanels::OpenWithChooser() {
  const auto chosen = FileChooser::Current().OpenFiles(kChooserTitle, "", kSpikeFileFilters, true);
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
