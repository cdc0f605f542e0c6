#include "app/FileSession.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <climits>
#include <set>

#include "app/Preferences.h"
#include "app/WindowView.h"
#include "datafile/DataSourceManager.h"
#include "datafile/IDataSourceManager.h"
#include "datafile/StripQuotes.h"
#include "display/IPlotCollection.h"
#include "platform/PathHelpers.h"
#include "session/SessionFile.h"
#include "spikes/SpikeFile.h"
#include "platform/ReportError.h"

namespace skelvane {
namespace {

// Dropped names are used only when they have 1 to PATH_MAX - 1 characters (the longest path the
// system can open); longer ones are skipped.
constexpr std::size_t kMaxDroppedNameLength = PATH_MAX - 1;

std::string ToLocalPath(const QString& path) { return QFile::encodeName(path).toStdString(); }
QString FromLocalPath(const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); }

}  // namespace

FileSession::FileSession(IDataSourceManager& sources, IPlotCollection& plots, WindowView& window)
    : sources_(sources), plots_(plots), window_(window) {}

void FileSession::SetFilesToOpen(const std::vector<std::string>& paths) {
  filesToOpen_.clear();
  for (const std::string& path : paths) {
    if (!path.empty()) filesToOpen_.push_back(path);
  }
}

void FileSession::ShowRecentSetsWith(RecentSetsShown shown) {
  showRecent_ = std::move(shown);
  ShowRecentSets();
}

void FileSession::ShowRecentSets() {
  if (showRecent_) showRecent_(Preferences::RecentSets());
}

void FileSession::OpenFilesAtStart() {
  std::vector<std::string> paths;
  for (const std::string& text : filesToOpen_) paths.push_back(StripQuotes(text));
  OpenInOrder(paths, Origin::Start);
}

// One source per file, each with its plot, in order up to the first that fails. A file open already
// (by the same absolute path: a link to it is another recording) would be a second plot of the same
// channel, and a spike file would group it with itself: it is passed over, and the status bar says so.
void FileSession::OpenInOrder(const std::vector<std::string>& paths, Origin origin) {
  int32_t first = sources_.GetNumSources();
  std::set<std::string> open;
  for (int32_t index = 0; index < first; ++index) {
    std::string path;
    if (sources_.GetSourcePath(index, path) == 0) open.insert(AbsolutePathOf(path));
  }
  std::string passedOver;
  for (std::size_t i = 0; i < paths.size(); ++i) {
    if (OpenedAsSpikeFile(paths[i])) continue;
    if (OpenedAsSession(paths[i])) {
      // The session put its own recordings in place of those open before; they are remembered as
      // the session, and the files after it join them.
      open.clear();
      for (int32_t index = 0; index < sources_.GetNumSources(); ++index) {
        std::string path;
        if (sources_.GetSourcePath(index, path) == 0) open.insert(AbsolutePathOf(path));
      }
      first = sources_.GetNumSources();
      continue;
    }
    const std::string absolute = AbsolutePathOf(paths[i]);
    if (open.count(absolute) != 0) {
      passedOver += (passedOver.empty() ? "" : ", ") + FileNameOf(paths[i]);
      continue;
    }
    const int32_t before = sources_.GetNumSources();
    if (sources_.OpenSource(paths[i]) != 0) {
      // The files after a refused one would each take the place of the one before in the groups;
      // however they were chosen (the chooser, a drop, the command line), the user hears of them.
      const std::size_t left = paths.size() - i - 1;
      if (left > 0) ReportError(kLeftClosedMessage, static_cast<int64_t>(left));
      break;
    }
    open.insert(absolute);
    if (origin == Origin::Start || origin == Origin::Session) window_.UpdateTimeRange();
    if (CreatePlotsForSources(before) != 0) break;
  }
  if (origin != Origin::Session) RememberOpenedSince(first, origin);
  if (!passedOver.empty()) window_.ShowNotice(kAlreadyOpenNotice + passedOver);
}

int32_t FileSession::CreatePlotsForSources(int32_t firstIndex) {
  // Only sources that really joined the table get a plot: one whose time index could not be built
  // was dropped again although its open reported success.
  const int32_t count = sources_.GetNumSources();
  const int32_t firstPlot = plots_.GetNumPlots();
  int32_t rc = 0;
  for (int32_t index = firstIndex; index < count && rc == 0; ++index) {
    int32_t type = 0;
    std::string path;
    if (sources_.GetSourceFileType(index, type) != 0 || sources_.GetSourcePath(index, path) != 0 ||
        plots_.CreatePlot(FileTitleOf(path), type, path) != 0) {
      rc = -1;
    }
  }
  if (plotsAdded_ && plots_.GetNumPlots() > firstPlot) plotsAdded_(firstPlot);
  return rc;
}

void FileSession::OnDropFiles(const std::vector<std::string>& paths) {
  std::vector<std::string> usable;
  for (const std::string& path : paths) {
    if (!path.empty() && path.size() <= kMaxDroppedNameLength) usable.push_back(path);
  }
  OpenInOrder(usable, Origin::Drop);
  // The new plots change the stack's height: the vertical bar follows it.
  window_.UpdateVerticalScroll();
  window_.Redraw();
}

// A spike file, told by its name or its header, opens in a panel whether or not it is sound (the
// panel says what is wrong); it takes no part in the recordings' channel groups.
bool FileSession::OpenedAsSpikeFile(const std::string& path) {
  if (!openSpikeFile_ || !SpikeFile::IsMeantAsSpikeFile(path)) return false;
  openSpikeFile_(path);
  return true;
}

bool FileSession::OpenedAsSession(const std::string& path) {
  if (!openSession_ || !SessionFile::HasSessionSuffix(path)) return false;
  openSession_(path);
  return true;
}

void FileSession::OpenSessionRecordings(const std::vector<std::string>& paths) {
  OpenInOrder(paths, Origin::Session);
}

void FileSession::RememberSession(const std::string& path) {
  Remember(QStringList{FromLocalPath(AbsolutePathOf(path))}, Origin::Session);
}

void FileSession::OpenData() {
  const std::optional<std::vector<std::string>> chosen = sources_.ChooseDataFiles();
  if (!chosen) return;
  OpenInOrder(*chosen, Origin::Chooser);
  window_.UpdateVerticalScroll();
  window_.Redraw();
}

// The sources that joined since `firstSource` were opened together: they become one recent set, by
// their absolute paths, so that it opens from wherever the program is started next time.
void FileSession::RememberOpenedSince(int32_t firstSource, Origin origin) {
  QStringList paths;
  for (int32_t index = firstSource; index < sources_.GetNumSources(); ++index) {
    std::string path;
    if (sources_.GetSourcePath(index, path) == 0) paths << FromLocalPath(AbsolutePathOf(path));
  }
  if (paths.isEmpty()) return;
  Remember(paths, origin);
}

void FileSession::Remember(const QStringList& paths, Origin origin) {
  toRemember_.push_back(paths);
  // The files named at start are remembered before the window shows anything.
  if (!later_ || origin == Origin::Start) {
    RememberNow();
    return;
  }
  if (toRemember_.size() == 1) later_([this] { RememberNow(); });
}

void FileSession::RememberNow() {
  if (toRemember_.empty()) return;
  for (const QStringList& paths : toRemember_) Preferences::AddRecentSet(paths);
  toRemember_.clear();
  ShowRecentSets();
}

void FileSession::OpenRecentSet(int32_t index) {
  const std::vector<QStringList> sets = Preferences::RecentSets();
  if (index < 0 || index >= static_cast<int32_t>(sets.size())) return;
  std::vector<std::string> paths;
  std::string gone;
  for (const QString& path : sets[index]) {
    paths.push_back(ToLocalPath(path));
    if (!QFileInfo::exists(path)) gone += "\n" + paths.back();
  }
  // Part of a set would put the wrong channels together: none of it is opened.
  if (!gone.empty()) {
    Preferences::RemoveRecentSet(sets[index]);
    ShowRecentSets();
    ShowMessage(kGoneSetMessage + gone);
    return;
  }
  OnDropFiles(paths);
}

void FileSession::ClearRecentSets() {
  Preferences::ClearRecentSets();
  ShowRecentSets();
}

void FileSession::CloseAll() {
  if (plots_.GetNumPlots() == 0) return;
  plots_.RemoveAllPlots();
  window_.UpdateVerticalScroll();
  window_.Redraw();
}

}  // namespace skelvane
