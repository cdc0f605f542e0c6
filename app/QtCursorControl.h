#pragma once
// Shows the program's cursor shapes with Qt: the wait cursor over the whole application while long
// work runs, the arrow and the vertical-resize cursor over the window's client area. main() installs it.

#include <QPointer>
#include <QWidget>

#include "platform/CursorControl.h"

namespace skelvane {

class QtCursorControl final : public CursorControl {
 public:
  /// The arrow and resize shapes go to `target` (the client area); without one they apply to the
  /// whole application.
  explicit QtCursorControl(QWidget* target = nullptr);

  /// Directs later arrow and resize shapes at `target`.
  void SetTarget(QWidget* target);
  /// Shows the given shape at once.
  void Show(Shape shape) override;
  /// Translates a shape into Qt's cursor shape.
  static Qt::CursorShape ToQt(Shape shape);

 private:
  QPointer<QWidget> target_;
  bool overriding_ = false;
};

}  // namespace skelvane
