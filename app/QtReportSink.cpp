#include "app/QtReportSink.h"

#include <QApplication>
#include <QMessageBox>

namespace skelvane {

ReportSink QtReportSink::Install() { return SetReportSink(&QtReportSink::Show); }

void QtReportSink::Show(const std::string& text) {
  QMessageBox box(QMessageBox::NoIcon, QString::fromUtf8(kMessageCaption), QString::fromStdString(text),
                  QMessageBox::Ok, QApplication::activeWindow());
  // A report may come in the middle of a long run under the wait cursor.
  const bool overridden = QApplication::overrideCursor() != nullptr;
  if (overridden) QApplication::setOverrideCursor(Qt::ArrowCursor);
  box.exec();
  if (overridden) QApplication::restoreOverrideCursor();
}

}  // namespace skelvane
