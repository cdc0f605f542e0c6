#pragma once
// Help > Keys and Mouse (F1): a table of every key and mouse gesture of the main window, from
// MenuAdditions::Bindings. Shown modelessly by MainWindow so it can stay open beside the plots.

#include <QDialog>

class QTableWidget;

namespace skelvane {

class KeysAndMouseDialog final : public QDialog {
  Q_OBJECT

 public:
  /// Fills the table; the dialog deletes itself when closed.
  explicit KeysAndMouseDialog(QWidget* parent);

  /// The table of keys (column 0) and actions (column 1).
  QTableWidget* Table() const { return table_; }

 private:
  QTableWidget* table_;
};

}  // namespace skelvane
