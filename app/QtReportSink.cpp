#include "app/QtReportSink.h"

#include <QApplication>
#include <QMessageBox>
#include <QMetaObject>
#include <QThread>

namespace skelvane {

ReportSink QtReportSink::Install() { return SetReportSink(&QtReportSink::Show); }

void QtReportSink::Show(const std::string& text) {
  // Extraction workers report from their own threads: widgets live on the UI thread only, so the box is
  // queued there. The worker does not wait for it (the UI thread may be waiting for the worker).
  QCoreApplication* application = QCoreApplication::instance();
  if (application != nullptr && QThread::currentThread() != application->thread()) {
    QMetaObject::invokeMethod(application, [text] { Show(text); }, Qt::QueuedConnection);
    return;
  }
  QMessageBox box(QMessageBox::NoIcon, QString::fromUtf8(kMessageCaption), QString::fromStdString(text),
                  QMessageBox::Ok, QApplication::activeWindow());
  // A report may come in the middle of a long run under the wait cursor.
  const bool overridden = QApplication::overrideCursor() != nullptr;
  if (overridden) QApplication::setOverrideCursor(Qt::ArrowCursor);
  box.exec();
  if (overridden) QApplication::restoreOverrideCursor();
}

}  // namespace skelvane
