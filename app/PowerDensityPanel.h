#pragma once
// The Spectrum panel: a dock beside the traces showing the power spectrum of the visible span of the
// plot last under the mouse (the first plot until then), raw and through the plot's filter, with the
// band marked and a switch between log and linear frequency. It follows the view: each change asks
// its worker thread for the spectrum, the latest request wins and the frame never waits for it.
// Made and owned by MainWindow (Display > Spectrum shows and hides it).

#include <QDockWidget>
#include <QString>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "datafile/IDataSourceManager.h"
#include "filter/FilterChoice.h"
#include "filter/SpanDensity.h"

class QCheckBox;
class QLabel;

namespace skelvane {

class IPlot;
class IPlotCollection;
class PowerDensityPicture;
struct ViewState;

class PowerDensityPanel final : public QDockWidget {
 public:
  /// The filter a plot draws its samples through.
  using FilterOf = std::function<FilterChoice(const IPlot& plot)>;
  /// The switch's text.
  static constexpr const char* kLogSwitchText = "Log frequency";

  /// A hidden panel over `parent` for the plots of `plots`, their recordings in `sources`, the span
  /// of `view`.
  PowerDensityPanel(const IPlotCollection& plots, IDataSourceManager& sources, const ViewState& view, FilterOf filterOf,
                QWidget* parent);
  /// Waits for the spectrum being worked out.
  ~PowerDensityPanel() override;

  /// The plot under the mouse: the panel shows its spectrum from now on.
  void FollowPlot(int32_t index);
  /// The view, the plots or their filters may have changed: asks for the spectrum anew when what it
  /// is of changed (only while the panel is shown).
  void FollowView();

  /// The line under the picture: what the spectrum is of and how it was estimated, or why there is
  /// none.
  QString InfoText() const;
  /// True when the spectrum shown is the one last asked for.
  bool UpToDate() const;
  /// The spectrum shown, and the span and recording it is of.
  const std::optional<SpanDensity::Result>& Shown() const { return shown_; }
  std::pair<int64_t, int64_t> ShownSpan() const { return {shownSubject_.start, shownSubject_.end}; }
  const std::string& ShownPath() const { return shownSubject_.layout.path; }
  QCheckBox* LogSwitch() const { return log_; }
  PowerDensityPicture* Picture() const { return picture_; }

  /// The info line's texts, each made from what the spectrum is of.
  static QString EstimateText(const std::string& name, const SpanDensity::Result& result);

 private:
  // What one spectrum is of.
  struct Subject {
    std::string name;
    RecordLayout layout;
    double sampleInterval = 0.0;
    int64_t start = 0;
    int64_t end = 0;
    FilterChoice filter;
    bool operator==(const Subject& other) const {
      return name == other.name && layout.path == other.layout.path && layout.numRecords == other.layout.numRecords &&
             sampleInterval == other.sampleInterval && start == other.start && end == other.end &&
             filter == other.filter;
    }
  };

  std::optional<Subject> SubjectNow(QString& none) const;
  void Work();
  void Take(uint64_t serial, const Subject& subject, SpanDensity::Result result);
  void ShowInfo();

  const IPlotCollection& plots_;
  IDataSourceManager& sources_;
  const ViewState& view_;
  FilterOf filterOf_;
  std::string followed_;  // the path of the plot last under the mouse
  std::optional<Subject> asked_;  // the subject last asked for
  Subject shownSubject_;
  std::optional<SpanDensity::Result> shown_;
  QString noSubject_;  // why there is nothing to show, when there is not

  // The worker: takes the latest request; one superseded while it runs is stopped.
  std::thread worker_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::optional<Subject> pending_;  // guarded by mutex_
  uint64_t serial_ = 0;             // guarded by mutex_: counts requests
  uint64_t shownSerial_ = 0;
  bool quit_ = false;               // guarded by mutex_

  QCheckBox* log_ = nullptr;
  PowerDensityPicture* picture_ = nullptr;
  QLabel* info_ = nullptr;
};

}  // namespace skelvane
