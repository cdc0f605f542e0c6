#pragma once
// What the window remembers between runs beyond the 104-byte settings file: time axis labels, data
// axis unit, keeping summaries on disk, recent file sets, window geometry, extraction parameters,
// last folders, the type of the last saved picture and the bands shown at close (QSettings).

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "display/IPlotCanvas.h"
#include "filter/FilterChoice.h"

namespace skelvane {

class ExtractionParameters;

class Preferences {
 public:
  /// Most sets of files kept in the recent list.
  static constexpr int32_t kMaxRecentSets = 10;

  /// How the time axis was last labelled (microseconds when never set).
  static IPlotCanvas::TimeLabelStyle TimeLabelStyle();
  /// Remembers how the time axis is labelled.
  static void SetTimeLabelStyle(IPlotCanvas::TimeLabelStyle style);
  /// Whether the data axes were last shown in microvolts.
  static bool DataAxisInMicrovolts();
  /// Remembers the data axis unit.
  static void SetDataAxisInMicrovolts(bool on);
  /// Whether summaries are kept on disk between runs (yes when never set).
  static bool KeepSummaries();
  /// Remembers whether summaries are kept on disk.
  static void SetKeepSummaries(bool on);

  /// The remembered sets of files opened together, newest first.
  static std::vector<QStringList> RecentSets();
  /// Puts a set first in the recent list (an equal set moves up), keeping at most kMaxRecentSets.
  static void AddRecentSet(const QStringList& paths);
  /// Forgets one recent set (nothing when it is not remembered).
  static void RemoveRecentSet(const QStringList& paths);
  /// Forgets every recent set.
  static void ClearRecentSets();

  /// The window geometry saved at the last close (empty when none).
  static QByteArray WindowGeometry();

  /// Fills `parameters` with the values saved at the last close; fields never saved keep their values.
  static void LoadExtractionParameters(ExtractionParameters& parameters);
  /// The bands the plots drew through at the last close (eight at most), each with its recording's
  /// sampling rate.
  static std::vector<std::pair<FilterChoice, double>> BandsShown();
  /// Remembers the window geometry, the extraction parameters and the bands shown at close, in one
  /// write of the store (each write waits for the disk).
  static void SaveAtClose(const QByteArray& geometry, const ExtractionParameters& parameters,
                          const std::vector<std::pair<FilterChoice, double>>& bands);

  /// The folder a chooser of the given kind ("open", "save", "folder") last ended in (empty when none).
  static QString LastFolder(const QString& kind);
  /// Remembers the folder a chooser of the given kind ended in.
  static void SetLastFolder(const QString& kind, const QString& folder);

  /// The extension of the last picture saved ("png"), or `fallback` when none was.
  static std::string PictureType(const std::string& fallback);
  /// Remembers the extension of the picture saved.
  static void SetPictureType(const std::string& extension);
};

}  // namespace skelvane
