#pragma once
// The picture area of a Spikes panel: shows the panel's drawn views and tells it where the mouse
// points, where it clicks and when the area changes size. Owned by SpikesPanel.

#include <QImage>
#include <QWidget>
#include <functional>

namespace skelvane {

class SpikesPicture final : public QWidget {
 public:
  /// Called with the pixel under the mouse (-1, -1 when it left), a click's pixel, and after a resize.
  struct Handlers {
    std::function<void(int x, int y)> pointed;
    std::function<void(int x, int y)> clicked;
    std::function<void()> resized;
  };

  SpikesPicture(Handlers handlers, QWidget* parent);

  /// Shows `image` from now on.
  void SetImage(QImage image);
  /// What is shown.
  const QImage& Image() const { return image_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  Handlers handlers_;
  QImage image_;
};

}  // namespace skelvane
