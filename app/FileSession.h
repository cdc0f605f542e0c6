#pragma once
// The files the main window shows: those named on the command line, dropped on the window, chosen
// with Open Data or picked from File > Recent Files, each opened as a source with its plot unless
// the same file (the same absolute path) is open already (a spike file among them goes to its own
// panel instead), Close All, and the sets of files opened together remembered for Recent Files by
// their absolute paths. Owned by MainWindow; the commands and the client area's drops use it.

#include <QStringList>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace skelvane {

class IDataSourceManager;
class IPlotCollection;
class WindowView;

class FileSession {
 public:
  /// Called with the remembered sets, newest first, whenever they change.
  using RecentSetsShown = std::function<void(const std::vector<QStringList>& sets)>;
  /// Opens a spike file named on the command line or dropped (it says itself what is wrong with it).
  using SpikeFileOpener = std::function<void(const std::string& path)>;
  /// Opens a session file named on the command line, dropped or picked from Recent Files.
  using SessionOpener = std::function<void(const std::string& path)>;
  /// Told of the plots just made for newly opened recordings, from plot index `first` on.
  using PlotsAdded = std::function<void(int32_t first)>;
  /// Runs a task once the window has shown what it is doing now.
  using Later = std::function<void(std::function<void()> task)>;

  /// The status bar's words for files passed over because they are open already; their names follow.
  static constexpr const char* kAlreadyOpenNotice = "Already open, not opened again: ";
  /// Said when a recent set is picked whose files are gone; the missing paths follow, one a line.
  static constexpr const char* kGoneSetMessage = "These files are gone, so their set was taken off Recent Files:";

  FileSession(IDataSourceManager& sources, IPlotCollection& plots, WindowView& window);

  /// Remembers the files named on the command line, to open at start in order (one pair of
  /// surrounding quotes is removed from each when it is opened); empty texts are ignored.
  void SetFilesToOpen(const std::vector<std::string>& paths);
  /// Shows the remembered sets through `shown`, now and after every change.
  void ShowRecentSetsWith(RecentSetsShown shown);
  /// Hands the spike files among the files to open to `open` (without one they are opened as
  /// recordings, and refused as such).
  void OpenSpikeFilesWith(SpikeFileOpener open) { openSpikeFile_ = std::move(open); }
  /// Hands the session files (.skvs) among the files to open to `open`.
  void OpenSessionsWith(SessionOpener open) { openSession_ = std::move(open); }
  /// Tells `added` of every plot made for a recording opened from now on.
  void TellPlotsAdded(PlotsAdded added) { plotsAdded_ = std::move(added); }
  /// Remembers the sets the user opens (dropped, chosen, picked from Recent Files) through `later`,
  /// after the picture of their plots: storing them waits for the disk. Without it, at once.
  void RememberLaterWith(Later later) { later_ = std::move(later); }
  /// Stores the sets opened whose remembering still waits (the window closes).
  void RememberNow();
  /// Opens a session's recordings in order, each with its plot, up to the first that fails; they are
  /// not remembered as a set of their own (the session is).
  void OpenSessionRecordings(const std::vector<std::string>& paths);
  /// Remembers a session file for Recent Files, as a set of its own.
  void RememberSession(const std::string& path);

  /// Opens the files remembered for the start, in order, up to the first that fails.
  void OpenFilesAtStart();
  /// Files were named to be opened at start.
  bool HasFilesToOpen() const { return !filesToOpen_.empty(); }
  /// Opens dropped files as new sources, in order, each with its plot, then redraws.
  void OnDropFiles(const std::vector<std::string>& paths);
  /// Open Data: the chooser's files with their plots, up to the first that fails (the rest are
  /// left closed and counted, so that no channel group shifts).
  void OpenData();
  /// Opens the `index`-th remembered set (newest first) as if its files were dropped; a set with a
  /// file that is gone is forgotten instead, saying which files are gone.
  void OpenRecentSet(int32_t index);
  /// Forgets every remembered set.
  void ClearRecentSets();
  /// Closes every plot and its source.
  void CloseAll();

 private:
  // Where files to open come from: at start no source listener takes the new time range yet; files
  // chosen with Open Data that are left closed after a failure are counted.
  enum class Origin { Start, Drop, Chooser, Session };
  void OpenInOrder(const std::vector<std::string>& paths, Origin origin);
  int32_t CreatePlotsForSources(int32_t firstIndex);
  bool OpenedAsSpikeFile(const std::string& path);
  bool OpenedAsSession(const std::string& path);
  void RememberOpenedSince(int32_t firstSource, Origin origin);
  // Remembers `paths` as one set: after the picture where a later is given, else at once.
  void Remember(const QStringList& paths, Origin origin);
  void ShowRecentSets();

  IDataSourceManager& sources_;
  IPlotCollection& plots_;
  WindowView& window_;
  std::vector<std::string> filesToOpen_;
  RecentSetsShown showRecent_;
  SpikeFileOpener openSpikeFile_;
  SessionOpener openSession_;
  PlotsAdded plotsAdded_;
  Later later_;
  std::vector<QStringList> toRemember_;  // opened sets waiting for later_, oldest first
};

}  // namespace skelvane
