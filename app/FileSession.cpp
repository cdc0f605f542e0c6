#include "app/FileSession.h"

#include <QFile>
#include <climits>

#include "app/Preferences.h"
#include "app/WindowView.h"
#include "datafile/IDataSourceManager.h"
#include "datafile/StripQuotes.h"
#include "display/IPlotCollection.h"
#include "platform/PathHelpers.h"

namespace skelvane {
namespace {

// Dropped names are used only when they have 1 to PATH_MAX - 1 characters (the longest path the
// system can open); longer ones are skipped.
constexpr std::size_t kMaxDroppedNameLength = PATH_MAX - 1;

}  // namespace

FileSession::FileSession(IDataSourceManager& sources, IPlotCollection& plots, WindowView& window)
    : sources_(sources), plots_(plots), window_(window) {}

void FileSession::SetFileToOpen(const std::string& text) {
  if (!text.empty()) filesToOpen_ = {text};
}

void FileSession::SetFilesToOpen(const std::vector<std::string>& paths) {
  filesToOpen_.clear();
  for (const std::string& path : paths) {
    if (!path.empty()) filesToOpen_.push_back(path);
  }
}

void FileSession::ShowRecentSetsWith(RecentSetsShown shown) {
  showRecent_ = std::move(shown);
  if (showRecent_) showRecent_(Preferences::RecentSets());
}

void FileSession::OpenFilesAtStart() {
  const int32_t sourcesBefore = sources_.GetNumSources();
  for (const std::string& text : filesToOpen_) {
    const int32_t before = sources_.GetNumSources();
    if (sources_.OpenSource(StripQuotes(text)) != 0) break;
    window_.UpdateTimeRange();
    if (CreatePlotsForSources(before) != 0) break;
  }
  RememberOpenedSince(sourcesBefore);
}

int32_t FileSession::CreatePlotsForSources(int32_t firstIndex) {
  // Only sources that really joined the table get a plot: one whose time index could not be built
  // was dropped again although its open reported success.
  const int32_t count = sources_.GetNumSources();
  for (int32_t index = firstIndex; index < count; ++index) {
    int32_t type = 0;
    std::string path;
    if (sources_.GetSourceFileType(index, type) != 0) return -1;
    if (sources_.GetSourcePath(index, path) != 0) return -1;
    if (plots_.CreatePlot(FileTitleOf(path), type, path) != 0) return -1;
  }
  return 0;
}

void FileSession::OnDropFiles(const std::vector<std::string>& paths) {
  const int32_t first = sources_.GetNumSources();
  for (const std::string& path : paths) {
    if (path.empty() || path.size() > kMaxDroppedNameLength) continue;
    const int32_t before = sources_.GetNumSources();
    if (sources_.OpenSource(path) != 0) break;
    if (CreatePlotsForSources(before) != 0) break;
  }
  RememberOpenedSince(first);
  // The new plots change the stack's height: the vertical bar follows it.
  window_.UpdateVerticalScroll();
  window_.Redraw();
}

void FileSession::OpenData() {
  const int32_t before = sources_.GetNumSources();
  if (plots_.AddPlotsForNewSources() != 0) return;
  RememberOpenedSince(before);
  window_.UpdateVerticalScroll();
  window_.Redraw();
}

// The sources that joined since `firstSource` were opened together: they become one recent set.
void FileSession::RememberOpenedSince(int32_t firstSource) {
  QStringList paths;
  for (int32_t index = firstSource; index < sources_.GetNumSources(); ++index) {
    std::string path;
    if (sources_.GetSourcePath(index, path) == 0) paths << QFile::decodeName(QByteArray::fromStdString(path));
  }
  if (paths.isEmpty()) return;
  Preferences::AddRecentSet(paths);
  if (showRecent_) showRecent_(Preferences::RecentSets());
}

void FileSession::OpenRecentSet(int32_t index) {
  const std::vector<QStringList> sets = Preferences::RecentSets();
  if (index < 0 || index >= static_cast<int32_t>(sets.size())) return;
  std::vector<std::string> paths;
  for (const QString& path : sets[index]) paths.push_back(QFile::encodeName(path).toStdString());
  // Opened like dropped files: a file that is gone is reported and ends the set.
  OnDropFiles(paths);
}

void FileSession::ClearRecentSets() {
  Preferences::ClearRecentSets();
  if (showRecent_) showRecent_({});
}

}  // namespace skelvane
