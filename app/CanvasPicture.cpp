#include "app/CanvasPicture.h"

#include <QPainter>
#include <QRect>
#include <QRegion>
#include <cstring>

#include "render/GLRenderer.h"

namespace skelvane {

bool CanvasPicture::Present(const MemoryBitmap& bitmap, int32_t width, int32_t height, int32_t x, int32_t y) {
  if (width <= 0 || height <= 0 || width > bitmap.Width() || height > bitmap.Height()) return false;
  // The bitmap is bottom-up (row 0 at the bottom): view it as it lies in memory, take the top
  // `height` rows of the picture (the last rows in memory) and turn them the right way up.
  const QImage asStored(bitmap.Bits(), bitmap.Width(), bitmap.Height(), bitmap.BytesPerRow(), QImage::Format_RGB32);
  if (width == bitmap.Width() && height == bitmap.Height()) {
    frame_ = asStored.mirrored(false, true);
  } else {
    frame_ = asStored.copy(0, bitmap.Height() - height, width, height).mirrored(false, true);
  }
  // On a HiDPI screen the frame holds device pixels: it is drawn at its size in canvas pixels.
  frame_.setDevicePixelRatio(renderer_.PixelRatio());
  position_ = QPoint(x, y);
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
