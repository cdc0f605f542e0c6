#include "app/QtUserQuestions.h"

#include <QApplication>
#include <QInputDialog>
#include <QMessageBox>

#include "platform/ReportError.h"

namespace skelvane {

bool QtUserQuestions::AskYesNo(const std::string& question) {
  return QMessageBox::question(QApplication::activeWindow(), QString::fromUtf8(kMessageCaption),
                               QString::fromStdString(question), QMessageBox::Yes | QMessageBox::No,
                               QMessageBox::No) == QMessageBox::Yes;
}

bool QtUserQuestions::AskToGoOn(const std::string& question) {
  return QMessageBox::question(QApplication::activeWindow(), QString::fromUtf8(kMessageCaption),
                               QString::fromStdString(question), QMessageBox::Yes | QMessageBox::No,
                               QMessageBox::Yes) == QMessageBox::Yes;
}

std::optional<double> QtUserQuestions::AskNumber(const std::string& question, double initial) {
  constexpr double kSmallest = 0.01;
  constexpr double kLargest = 1e6;
  constexpr int kDecimals = 2;
  bool ok = false;
  const double value = QInputDialog::getDouble(QApplication::activeWindow(), QString::fromUtf8(kMessageCaption),
                                               QString::fromStdString(question), initial, kSmallest, kLargest,
                                               kDecimals, &ok);
  if (!ok) return std::nullopt;
  return value;
}

}  // namespace skelvane
