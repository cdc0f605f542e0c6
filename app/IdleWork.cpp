#include "app/IdleWork.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>

#include "display/ColumnsAhead.h"

namespace skelvane {

IdleWork::IdleWork(ColumnsAhead& work) : work_(work) {
  QCoreApplication* application = QCoreApplication::instance();
  QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
  // Without an event loop nothing ever waits for input: the work stays paused.
  if (application == nullptr || dispatcher == nullptr) return;
  application->installEventFilter(this);
  connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, [this] { work_.Resume(); });
}

IdleWork::~IdleWork() { work_.Pause(); }

bool IdleWork::eventFilter(QObject* /*watched*/, QEvent* /*event*/) {
  work_.Pause();
  return false;
}

}  // namespace skelvane
