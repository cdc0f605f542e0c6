#include "app/QtUserQuestions.h"

#include <QApplication>
#include <QMessageBox>

#include "platform/ReportError.h"

namespace skelvane {

bool QtUserQuestions::AskYesNo(const std::string& question) {
  return QMessageBox::question(QApplication::activeWindow(), QString::fromUtf8(kMessageCaption),
                               QString::fromStdString(question), QMessageBox::Yes | QMessageBox::No,
                               QMessageBox::No) == QMessageBox::Yes;
}

}  // namespace skelvane
