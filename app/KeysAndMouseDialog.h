#pragma once
// Help > Keys and Mouse (F1): a table of every key of the command table and every mouse gesture of
// the main window. Shown modelessly by WindowCommands so it can stay open beside the plots.

#include <QDialog>
#include <QString>
#include <span>
#include <vector>

#include "app/CommandRow.h"

class QTableWidget;

namespace skelvane {

class KeysAndMouseDialog final : public QDialog {
  Q_OBJECT

 public:
  /// One line of the table: a key or gesture (or several) and what it does.
  struct Line {
    QString keys;
    QString does;
  };

  /// The lines of the table's keys, in table order: every listed row's shortcuts, and consecutive
  /// rows that do the same (forward / back) on one line.
  static std::vector<Line> KeyLines(std::span<const CommandRow> rows);

  /// Fills the table with `lines`; the dialog deletes itself when closed.
  KeysAndMouseDialog(const std::vector<Line>& lines, QWidget* parent);

  /// The table of keys (column 0) and what they do (column 1).
  QTableWidget* Table() const { return table_; }

 private:
  QTableWidget* table_;
};

}  // namespace skelvane
