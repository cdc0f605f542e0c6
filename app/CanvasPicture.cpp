#include "app/CanvasPicture.h"

#include <QPainter>
#include <QRect>
#include <QRegion>
#include <chrono>
#include <cstring>

#include "render/GLRenderer.h"

namespace skelvane {
namespace {

constexpr std::size_t kBytesPerPixel = 4;  // 32-bit pixels, as the canvas bitmap holds them

}  // namespace

bool CanvasPicture::Present(const MemoryBitmap& bitmap, int32_t width, int32_t height, int32_t x, int32_t y) {
  if (width <= 0 || height <= 0 || width > bitmap.Width() || height > bitmap.Height()) return false;
  // The bitmap is bottom-up (row 0 at the bottom): the frame takes the top `height` rows of the
  // picture (the last rows in memory) the right way up. It keeps its memory from frame to frame: a
  // new image each time cost more in page faults than the copy itself.
  const auto start = std::chrono::steady_clock::now();
  if (frame_.width() != width || frame_.height() != height || frame_.format() != QImage::Format_RGB32) {
    frame_ = QImage(width, height, QImage::Format_RGB32);
  }
  uchar* rows = frame_.bits();  // a copy handed out earlier keeps its own pixels
  const auto rowBytes = static_cast<std::size_t>(width) * kBytesPerPixel;
  for (int32_t row = 0; row < height; ++row) {
    std::memcpy(rows + static_cast<std::size_t>(row) * frame_.bytesPerLine(),
                bitmap.Bits() + static_cast<std::size_t>(bitmap.Height() - 1 - row) * bitmap.BytesPerRow(), rowBytes);
  }
  // On a HiDPI screen the frame holds device pixels: it is drawn at its size in canvas pixels.
  frame_.setDevicePixelRatio(renderer_.PixelRatio());
  position_ = QPoint(x, y);
  copyMilliseconds_ = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  return true;
}

void CanvasPicture::Paint(QPainter& painter, const QRect& client) const {
  // The frame and the two bars cover the client area once it is laid out; anything they leave
  // (before the first frame, or a size that was not laid out) is black like the canvas background.
  const QRegion uncovered = QRegion(client).subtracted(QRect(position_, frame_.deviceIndependentSize().toSize()));
  for (const QRect& rect : uncovered) painter.fillRect(rect, Qt::black);
  if (!frame_.isNull()) painter.drawImage(position_, frame_);
}

MemoryBitmap CanvasPicture::Bitmap() const {
  MemoryBitmap image(frame_.width(), frame_.height());
  if (frame_.isNull()) return image;
  const QImage rgb = frame_.convertToFormat(QImage::Format_RGB32);
  // Back to bottom-up rows: the picture's top row is the bitmap's last.
  for (int32_t y = 0; y < image.Height(); ++y) {
    std::memcpy(image.Bits() + static_cast<std::size_t>(image.Height() - 1 - y) * image.BytesPerRow(),
                rgb.constScanLine(y), static_cast<std::size_t>(image.BytesPerRow()));
  }
  return image;
}

}  // namespace skelvane
