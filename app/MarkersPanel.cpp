#include "app/MarkersPanel.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QPushButton>
#include <QKeyEvent>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>
#include <fstream>
#include <iterator>
#include <vector>

#include "app/MarkerTableModel.h"
#include "display/MarkerSet.h"
#include "platform/AtomicFile.h"
#include "platform/FileChooser.h"
#include "platform/ReportError.h"
#include "session/MarkerCsv.h"
#include "spikes/DataFileGuard.h"

namespace skelvane {
namespace {

const std::vector<FileChooser::Filter> kCsvFilters = {{"CSV Files (*.csv)", {"*.csv"}}, {"All Files (*)", {"*"}}};
constexpr const char* kExportTitle = "Export Markers";
constexpr const char* kImportTitle = "Import Markers";
constexpr const char* kNotWrittenMessage = "The markers could not be written:";

}  // namespace

MarkersPanel::MarkersPanel(MarkerSet& markers, ClockNow clock, GoTo goTo, Changed changed, QWidget* parent)
    : QDockWidget(QString::fromUtf8(kTitle), parent),
      markers_(markers),
      clock_(std::move(clock)),
      goTo_(std::move(goTo)),
      changed_(std::move(changed)) {
  setObjectName(QStringLiteral("MarkersPanel"));
  auto* body = new QWidget(this);
  auto* column = new QVBoxLayout(body);
  model_ = new MarkerTableModel(markers_, clock_, changed_, this);
  table_ = new QTableView(body);
  table_->setModel(model_);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);
  table_->horizontalHeader()->setStretchLastSection(true);
  // Rows of one height need not be measured one by one: ten thousand markers list at once.
  table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  table_->verticalHeader()->hide();
  column->addWidget(table_, 1);
  auto* buttons = new QHBoxLayout();
  auto* exportButton = new QPushButton(QStringLiteral("Export CSV..."), body);
  auto* importButton = new QPushButton(QStringLiteral("Import CSV..."), body);
  buttons->addWidget(exportButton);
  buttons->addWidget(importButton);
  buttons->addStretch(1);
  column->addLayout(buttons);
  setWidget(body);

  connect(table_, &QTableView::clicked, this, [this](const QModelIndex& index) {
    if (index.isValid() && static_cast<std::size_t>(index.row()) < markers_.Count()) {
      goTo_(markers_.All()[static_cast<std::size_t>(index.row())].timestamp);
    }
  });
  table_->installEventFilter(this);
  connect(exportButton, &QPushButton::clicked, this, [this] { Export(); });
  connect(importButton, &QPushButton::clicked, this, [this] { Import(); });
}

void MarkersPanel::Refresh() { model_->Refresh(); }

bool MarkersPanel::eventFilter(QObject* watched, QEvent* event) {
  // Delete removes the selected markers (while a text is edited the keys go to its editor, not here).
  if (watched == table_ && event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
    RemoveSelected();
    return true;
  }
  return QDockWidget::eventFilter(watched, event);
}

void MarkersPanel::Select(std::size_t index) {
  Refresh();
  const QModelIndex row = model_->index(static_cast<int>(index), 0);
  if (!row.isValid()) return;
  table_->selectRow(row.row());
  table_->scrollTo(row);
}

void MarkersPanel::RemoveSelected() {
  std::vector<int> rows;
  for (const QModelIndex& index : table_->selectionModel()->selectedRows()) rows.push_back(index.row());
  if (rows.empty() && table_->currentIndex().isValid()) rows.push_back(table_->currentIndex().row());
  if (rows.empty()) return;
  // From the last, so the indices still to go stay where they are.
  std::sort(rows.rbegin(), rows.rend());
  for (const int row : rows) markers_.Remove(static_cast<std::size_t>(row));
  Refresh();
  changed_();
}

bool MarkersPanel::Export() {
  // As a save dialog does: after a refused name (said why) the chooser comes back for another.
  for (;;) {
    const std::optional<std::string> path = FileChooser::Current().SaveFile(kExportTitle, "csv", kCsvFilters);
    if (!path) return false;
    if (ExportTo(*path)) return true;
  }
}

bool MarkersPanel::Import() {
  const auto chosen = FileChooser::Current().OpenFiles(kImportTitle, "", kCsvFilters, false);
  return chosen && !chosen->empty() && ImportFrom(chosen->front());
}

bool MarkersPanel::ExportTo(const std::string& path) {
  // Never in place of a recording or a spike file.
  if (!DataFileGuard::MayWrite(path)) return false;
  const std::string text = MarkerCsv::Text(markers_.All(), clock_());
  AtomicFile file;
  int32_t rc = file.Open(path, AtomicFile::Links::Replace);
  if (rc == 0 && !file.Write(text.data(), static_cast<int64_t>(text.size()))) rc = file.LastError();
  if (rc == 0) rc = file.Commit();
  if (rc != 0) ReportFileError(kNotWrittenMessage, 0, path, rc);
  return rc == 0;
}

bool MarkersPanel::ImportFrom(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    ReportFileError(kImportRefusedMessage, 0, path, errno);
    return false;
  }
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<MarkerSet::Marker> read;
  std::string error;
  if (!MarkerCsv::Parse(text, read, error)) {
    ReportError(std::string(kImportRefusedMessage) + " " + path + ": " + error, 0);
    return false;
  }
  // In one sort rather than one insertion each: a file of ten thousand markers in any order.
  std::vector<MarkerSet::Marker> all = markers_.All();
  all.insert(all.end(), std::make_move_iterator(read.begin()), std::make_move_iterator(read.end()));
  markers_.Assign(std::move(all));
  Refresh();
  changed_();
  return true;
}

}  // namespace skelvane
