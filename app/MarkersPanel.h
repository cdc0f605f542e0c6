#pragma once
// The Markers panel docked beside the traces: the markers by time (on the one clock), plot and text; a
// click centres the traces on one, Delete removes the selected ones, the text is edited in place, and
// the list is exported to and imported from CSV. Owned by MarkerCommands, shown from the Display menu.

#include <QDockWidget>
#include <cstdint>
#include <functional>
#include <string>

#include "display/RecordingClock.h"

class QPushButton;
class QTableView;

namespace skelvane {

class MarkerSet;
class MarkerTableModel;

class MarkersPanel final : public QDockWidget {
 public:
  /// Centres the traces on a time.
  using GoTo = std::function<void(int64_t time)>;
  /// The markers changed (the traces redraw them).
  using Changed = std::function<void()>;
  using ClockNow = std::function<RecordingClock()>;

  static constexpr const char* kTitle = "Markers";
  static constexpr const char* kImportRefusedMessage = "These markers could not be imported; none was taken:";

  MarkersPanel(MarkerSet& markers, ClockNow clock, GoTo goTo, Changed changed, QWidget* parent);

  /// Shows the markers as they are now.
  void Refresh();
  /// Selects the marker at `index` and scrolls the table to it.
  void Select(std::size_t index);
  /// Removes the markers selected in the table.
  void RemoveSelected();
  /// Writes the markers to a CSV file the user names, asking again after a name it could not write to;
  /// false when cancelled.
  bool Export();
  /// Adds the markers of a CSV file the user chooses; false when cancelled or refused.
  bool Import();
  /// Writes the markers to `path` as CSV; false after a message naming the file.
  bool ExportTo(const std::string& path);
  /// Adds the markers of the CSV file `path`; false after a message naming it and what is wrong.
  bool ImportFrom(const std::string& path);

  QTableView* Table() const { return table_; }
  MarkerTableModel* Model() const { return model_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  MarkerSet& markers_;
  ClockNow clock_;
  GoTo goTo_;
  Changed changed_;
  MarkerTableModel* model_ = nullptr;
  QTableView* table_ = nullptr;
};

}  // namespace skelvane
