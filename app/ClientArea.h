#pragma once
// The main window's client area below the menu bar: it shows the canvas image and hands its paint,
// size, mouse, wheel and drop events to its Handler (MainWindow), which owns it and does all the work.

#include <QPoint>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <string>
#include <vector>

class QPainter;

namespace skelvane {

class ClientArea final : public QWidget {
  Q_OBJECT

 public:
  /// What the area hands on; coordinates are the client area's.
  class Handler {
   public:
    virtual ~Handler() = default;
    /// Paints the client area.
    virtual void OnPaint(QPainter& painter) = 0;
    /// The area got a new size.
    virtual void OnSize(int32_t clientWidth, int32_t clientHeight) = 0;
    /// Mouse moved to (x, y) with `buttons` held.
    virtual void OnMouseMove(Qt::MouseButtons buttons, int32_t x, int32_t y) = 0;
    /// Left button pressed at (x, y).
    virtual void OnLButtonDown(Qt::KeyboardModifiers modifiers, int32_t x, int32_t y) = 0;
    /// Second press of a double click at (x, y).
    virtual void OnLButtonDblClk(Qt::KeyboardModifiers modifiers, int32_t x, int32_t y) = 0;
    /// Left button released at (x, y).
    virtual void OnLButtonUp(Qt::KeyboardModifiers modifiers, int32_t x, int32_t y) = 0;
    /// Local files were dropped, in order.
    virtual void OnDropFiles(const std::vector<std::string>& paths) = 0;
    /// Wheel turned at `position` by `angleDelta` (eighths of a degree).
    virtual void OnWheel(QPoint position, QPoint angleDelta, Qt::KeyboardModifiers modifiers) = 0;
    /// Right button (or the menu key) at (x, y).
    virtual void OnContextMenu(int32_t x, int32_t y) = 0;
    /// The mouse left the area.
    virtual void OnMouseLeave() = 0;
    /// The tooltip for (x, y), or empty for none.
    virtual QString ToolTipAt(int32_t x, int32_t y) const = 0;
  };

  /// Creates the area as a child of `parent`, handing its events to `handler`.
  ClientArea(QWidget& parent, Handler& handler);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void leaveEvent(QEvent* event) override;
  bool event(QEvent* event) override;

 private:
  Handler& handler_;
};

}  // namespace skelvane
