#pragma once
// Lets work that must never share the machine with the window's own (the columns worked out ahead)
// run only while the window's thread waits for input: it is paused at every event the application
// delivers, before anything the event asks for is done, and resumed when the event loop is about to
// wait. Owned by MainWindow.

#include <QObject>

namespace skelvane {

class ColumnsAhead;

class IdleWork final : public QObject {
 public:
  /// Paces `work` from now on; `work` must outlive this.
  explicit IdleWork(ColumnsAhead& work);
  /// Leaves the work paused.
  ~IdleWork() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  ColumnsAhead& work_;
};

}  // namespace skelvane
