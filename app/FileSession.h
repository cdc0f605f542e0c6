#pragma once
// The files the main window shows: those named on the command line, dropped on the window, chosen
// with Open Data or picked from File > Recent Files, each opened as a source with its plot, and the
// sets of files opened together remembered for Recent Files. Owned by MainWindow; the commands and
// the client area's drops use it.

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

  FileSession(IDataSourceManager& sources, IPlotCollection& plots, WindowView& window);

  /// Remembers one file named on the command line (one pair of surrounding quotes is removed when
  /// it is opened); an empty text is ignored.
  void SetFileToOpen(const std::string& text);
  /// Remembers several files to open at start, in order.
  void SetFilesToOpen(const std::vector<std::string>& paths);
  /// Shows the remembered sets through `shown`, now and after every change.
  void ShowRecentSetsWith(RecentSetsShown shown);

  /// Opens the files remembered for the start, in order, up to the first that fails.
  void OpenFilesAtStart();
  /// Opens dropped files as new sources, in order, each with its plot, then redraws.
  void OnDropFiles(const std::vector<std::string>& paths);
  /// Open Data: the chooser's files with their plots.
  void OpenData();
  /// Opens the `index`-th remembered set (newest first) as if its files were dropped.
  void OpenRecentSet(int32_t index);
  /// Forgets every remembered set.
  void ClearRecentSets();

 private:
  int32_t CreatePlotsForSources(int32_t firstIndex);
  void RememberOpenedSince(int32_t firstSource);

  IDataSourceManager& sources_;
  IPlotCollection& plots_;
  WindowView& window_;
  std::vector<std::string> filesToOpen_;
  RecentSetsShown showRecent_;
};

}  // namespace skelvane
