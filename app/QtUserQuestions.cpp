#include "app/QtUserQuestions.h"

#include <QApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>
#include <algorithm>

#include "platform/ReportError.h"

namespace skelvane {

bool QtUserQuestions::AskYesNo(const std::string& question) {
  return QMessageBox::question(QApplication::activeWindow(), QString::fromUtf8(kMessageCaption),
                               QString::fromStdString(question), QMessageBox::Yes | QMessageBox::No,
                               QMessageBox::No) == QMessageBox::Yes;
}

int32_t QtUserQuestions::AskChoice(const std::string& question, const std::vector<std::string>& answers,
                                   int32_t defaultAnswer) {
  QMessageBox box(QMessageBox::Question, QString::fromUtf8(kMessageCaption), QString::fromStdString(question),
                  QMessageBox::NoButton, QApplication::activeWindow());
  std::vector<QPushButton*> buttons;
  for (const std::string& answer : answers) {
    buttons.push_back(box.addButton(QString::fromStdString(answer), QMessageBox::ActionRole));
  }
  if (defaultAnswer >= 0 && static_cast<std::size_t>(defaultAnswer) < buttons.size()) {
    box.setDefaultButton(buttons[static_cast<std::size_t>(defaultAnswer)]);
  }
  // Escape or the close button answer none of them.
  box.setEscapeButton(static_cast<QAbstractButton*>(nullptr));
  box.exec();
  const auto chosen = std::find(buttons.begin(), buttons.end(), box.clickedButton());
  return chosen == buttons.end() ? -1 : static_cast<int32_t>(chosen - buttons.begin());
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
