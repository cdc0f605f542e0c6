#pragma once
// The markers as the Markers panel's table shows them: one row a marker, its time on the one clock, its
// plot and its editable text. A model over the canvas's MarkerSet, so ten thousand markers cost only
// the rows on screen. Used by MarkersPanel.

#include <QAbstractTableModel>
#include <functional>

#include "display/RecordingClock.h"

namespace skelvane {

class MarkerSet;

class MarkerTableModel final : public QAbstractTableModel {
 public:
  enum Column { kTime, kPlot, kText, kColumnCount };
  /// The clock times are read on now (it follows the recordings opened and closed).
  using ClockNow = std::function<RecordingClock()>;
  /// Called after the user changed a marker's text.
  using Edited = std::function<void()>;

  MarkerTableModel(MarkerSet& markers, ClockNow clock, Edited edited, QObject* parent);

  /// Reads the markers again when they changed since the last time.
  void Refresh();

  int rowCount(const QModelIndex& parent) const override;
  int columnCount(const QModelIndex& parent) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;

 private:
  MarkerSet& markers_;
  ClockNow clock_;
  Edited edited_;
  uint64_t shownRevision_ = 0;
};

}  // namespace skelvane
