#pragma once
// The mouse cursor shapes the program switches between (arrow, wait during long work, vertical
// resize over a plot border). The application installs a Qt implementation; the default does nothing.

#include <memory>

namespace skelvane {

class CursorControl {
 public:
  enum class Shape { Arrow, Wait, VerticalResize };

  virtual ~CursorControl() = default;
  /// Shows the given cursor shape.
  virtual void Show(Shape shape) = 0;

  /// The cursor control in use (never null).
  static CursorControl& Current();
  /// Installs a control and returns the previous one; null restores the silent default.
  static std::shared_ptr<CursorControl> Install(std::shared_ptr<CursorControl> control);
};

}  // namespace skelvane
