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

  /// The program's icon.
  QLabel* IconLabel() const { return icon_; }
  /// "Skelvane".
  QLabel* NameLabel() const { return name_; }
  /// "Version 3.01".
  QLabel* VersionLabel() const { return version_; }
  /// The button that closes the box.
  QPushButton* OkButton() const { return ok_; }

 private:
  QLabel* icon_;
  QLabel* name_;
  QLabel* version_;
  QPushButton* ok_;
};

}  // namespace skelvane
