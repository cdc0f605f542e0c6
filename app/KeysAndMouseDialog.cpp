#include "app/KeysAndMouseDialog.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QTableWidget>
#include <QVBoxLayout>

#include "app/MenuAdditions.h"

namespace skelvane {
namespace {

constexpr int kMinimumWidth = 560;
constexpr int kMinimumHeight = 520;

}  // namespace

KeysAndMouseDialog::KeysAndMouseDialog(QWidget* parent) : QDialog(parent), table_(new QTableWidget(this)) {
  setWindowTitle(QStringLiteral("Keys and Mouse"));
  setAttribute(Qt::WA_DeleteOnClose);
  const std::vector<MenuAdditions::Binding> bindings = MenuAdditions::Bindings();
  table_->setColumnCount(2);
  table_->setRowCount(static_cast<int>(bindings.size()));
  table_->setHorizontalHeaderLabels({QStringLiteral("Key or gesture"), QStringLiteral("Does")});
  for (int row = 0; row < static_cast<int>(bindings.size()); ++row) {
    table_->setItem(row, 0, new QTableWidgetItem(bindings[row].keys));
    table_->setItem(row, 1, new QTableWidgetItem(bindings[row].action));
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
