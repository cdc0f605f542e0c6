#pragma once
// The fixed About box of the Help menu: the program's icon, name and version and an OK button.
// MainWindow shows it modally.

#include <QDialog>

class QLabel;
class QPushButton;

namespace skelvane {

class AboutBox final : public QDialog {
  Q_OBJECT

 public:
  /// Builds the dialog; exec() shows it until OK or Esc closes it.
  explicit AboutBox(QWidget* parent = nullptr);

  QLabel* IconLabel() const { return icon_; }
  QLabel* NameLabel() const { return name_; }
  QLabel* VersionLabel() const { return version_; }
  QPushButton* OkButton() const { return ok_; }

 private:
  QLabel* icon_;
  QLabel* name_;
  QLabel* version_;
  QPushButton* ok_;
};

}  // namespace skelvane
