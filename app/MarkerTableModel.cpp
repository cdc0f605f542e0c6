#include "app/MarkerTableModel.h"

#include "display/MarkerSet.h"

namespace skelvane {
namespace {

constexpr const char* kHeaders[] = {"Time", "Plot", "Text"};
constexpr const char* kEveryPlot = "(all)";

}  // namespace

MarkerTableModel::MarkerTableModel(MarkerSet& markers, ClockNow clock, Edited edited, QObject* parent)
    : QAbstractTableModel(parent), markers_(markers), clock_(std::move(clock)), edited_(std::move(edited)),
      shownRevision_(markers.Revision()) {}

void MarkerTableModel::Refresh() {
  if (markers_.Revision() == shownRevision_) return;
  beginResetModel();
  shownRevision_ = markers_.Revision();
  endResetModel();
}

int MarkerTableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(markers_.Count());
}

int MarkerTableModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kColumnCount; }

QVariant MarkerTableModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || static_cast<std::size_t>(index.row()) >= markers_.Count()) return {};
  if (role != Qt::DisplayRole && role != Qt::EditRole) return {};
  const MarkerSet::Marker& marker = markers_.All()[static_cast<std::size_t>(index.row())];
  switch (index.column()) {
    case kTime:
      return QString::fromStdString(clock_().Clock(marker.timestamp, RecordingClock::kReadingDecimals));
    case kPlot:
      return marker.plot.empty() ? QString::fromUtf8(kEveryPlot) : QString::fromStdString(marker.plot);
    case kText:
      return QString::fromStdString(marker.text);
    default:
      return {};
  }
}

QVariant MarkerTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0 || section >= kColumnCount) {
    return QAbstractTableModel::headerData(section, orientation, role);
  }
  return QString::fromUtf8(kHeaders[section]);
}

Qt::ItemFlags MarkerTableModel::flags(const QModelIndex& index) const {
  Qt::ItemFlags flags = QAbstractTableModel::flags(index);
  if (index.isValid() && index.column() == kText) flags |= Qt::ItemIsEditable;
  return flags;
}

bool MarkerTableModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::EditRole || !index.isValid() || index.column() != kText) return false;
  if (!markers_.SetText(static_cast<std::size_t>(index.row()), value.toString().toStdString())) return false;
  shownRevision_ = markers_.Revision();  // the rows stand as they were
  emit dataChanged(index, index);
  if (edited_) edited_();
  return true;
}

}  // namespace skelvane
