#include "app/KeysAndMouseDialog.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QKeySequence>
#include <QTableWidget>
#include <QVBoxLayout>
#include <cstring>

#include "app/CommandMenus.h"

namespace skelvane {
namespace {

constexpr int kMinimumWidth = 560;
constexpr int kMinimumHeight = 520;

}  // namespace

std::vector<KeysAndMouseDialog::Line> KeysAndMouseDialog::KeyLines(std::span<const CommandRow> rows) {
  std::vector<Line> lines;
  const char* previous = nullptr;  // what the last listed row does
  for (const CommandRow& row : rows) {
    const QList<QKeySequence> keys = CommandMenus::KeysOf(row);
    if (row.kind != CommandRow::Kind::Item || row.does == nullptr || keys.isEmpty()) continue;
    QStringList texts;
    for (const QKeySequence& key : keys) texts << key.toString(QKeySequence::PortableText);
    const QString text = texts.join(QStringLiteral(", "));
    if (previous != nullptr && std::strcmp(previous, row.does) == 0) {
      lines.back().keys += QStringLiteral(" / ") + text;
    } else {
      lines.push_back({text, QString::fromUtf8(row.does)});
    }
    previous = row.does;
  }
  return lines;
}

KeysAndMouseDialog::KeysAndMouseDialog(const std::vector<Line>& lines, QWidget* parent)
    : QDialog(parent), table_(new QTableWidget(this)) {
  setWindowTitle(QStringLiteral("Keys and Mouse"));
  setAttribute(Qt::WA_DeleteOnClose);
  table_->setColumnCount(2);
  table_->setRowCount(static_cast<int>(lines.size()));
  table_->setHorizontalHeaderLabels({QStringLiteral("Key or gesture"), QStringLiteral("Does")});
  for (int row = 0; row < static_cast<int>(lines.size()); ++row) {
    table_->setItem(row, 0, new QTableWidgetItem(lines[row].keys));
    table_->setItem(row, 1, new QTableWidgetItem(lines[row].does));
  }
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->verticalHeader()->hide();
  table_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
  table_->horizontalHeader()->setStretchLastSection(true);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(table_);
  layout->addWidget(buttons);
  resize(kMinimumWidth, kMinimumHeight);
}

}  // namespace skelvane
