#include "app/SpikesPicture.h"

#include <QMouseEvent>
#include <QPainter>

namespace skelvane {
namespace {

// The views need room for their labels: a narrower or lower area is not drawn.
constexpr int kMinimumWidth = 240;
constexpr int kMinimumHeight = 300;

}  // namespace

SpikesPicture::SpikesPicture(Handlers handlers, QWidget* parent) : QWidget(parent), handlers_(std::move(handlers)) {
  setMouseTracking(true);
  setMinimumSize(kMinimumWidth, kMinimumHeight);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void SpikesPicture::SetImage(QImage image) {
  image_ = std::move(image);
  update();
}

void SpikesPicture::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::white);
  if (!image_.isNull()) painter.drawImage(0, 0, image_);
}

void SpikesPicture::mouseMoveEvent(QMouseEvent* event) {
  if (handlers_.pointed) handlers_.pointed(event->position().toPoint().x(), event->position().toPoint().y());
}

void SpikesPicture::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && handlers_.clicked) {
    handlers_.clicked(event->position().toPoint().x(), event->position().toPoint().y());
  }
}

void SpikesPicture::leaveEvent(QEvent*) {
  if (handlers_.pointed) handlers_.pointed(-1, -1);
}

void SpikesPicture::resizeEvent(QResizeEvent*) {
  if (handlers_.resized) handlers_.resized();
}

}  // namespace skelvane
