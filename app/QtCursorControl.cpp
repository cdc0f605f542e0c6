#include "app/QtCursorControl.h"

#include <QApplication>
#include <QCursor>

namespace skelvane {

QtCursorControl::QtCursorControl(QWidget* target) : target_(target) {}

void QtCursorControl::SetTarget(QWidget* target) { target_ = target; }

Qt::CursorShape QtCursorControl::ToQt(Shape shape) {
  switch (shape) {
    case Shape::Wait: return Qt::WaitCursor;
    case Shape::VerticalResize: return Qt::SizeVerCursor;
    case Shape::Arrow: break;
  }
  return Qt::ArrowCursor;
}

void QtCursorControl::Show(Shape shape) {
  if (shape == Shape::Wait) {
    // Long work blocks the event loop: only an application-wide cursor shows at once everywhere.
    if (overriding_) {
      QApplication::changeOverrideCursor(QCursor(Qt::WaitCursor));
    } else {
      QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
      overriding_ = true;
    }
    return;
  }
  if (overriding_) {
    QApplication::restoreOverrideCursor();
    overriding_ = false;
  }
  if (target_) {
    target_->setCursor(QCursor(ToQt(shape)));
  } else if (shape != Shape::Arrow) {
    QApplication::setOverrideCursor(QCursor(ToQt(shape)));
    overriding_ = true;
  }
}

}  // namespace skelvane
