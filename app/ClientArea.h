#pragma once
// The main window's client area below the menu bar: it shows the canvas image and hands its size,
// mouse and drop events to MainWindow, which owns it and does all the work.

#include <QWidget>

namespace skelvane {

class MainWindow;

class ClientArea final : public QWidget {
  Q_OBJECT

 public:
  /// Creates the area as a child of the window it reports to.
  explicit ClientArea(MainWindow& window);

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
  MainWindow& window_;
};

}  // namespace skelvane
