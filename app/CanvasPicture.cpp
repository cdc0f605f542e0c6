#include "app/CanvasPicture.h"

#include <QPaintEngine>
#include <QPainter>
#include <QRect>
#include <QRegion>
#include <QTransform>
#include <chrono>
#include <cstring>
#include <utility>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "render/GLRenderer.h"

namespace skelvane {
namespace {

constexpr std::size_t kBytesPerPixel = 4;  // 32-bit pixels, as the canvas bitmap holds them

// The bitmap's row `row` counted from the top (the bitmap is bottom-up: row 0 is its last in memory).
const uint8_t* RowFromTop(const MemoryBitmap& bitmap, int32_t row) {
  return bitmap.Bits() + static_cast<std::size_t>(bitmap.Height() - 1 - row) * static_cast<std::size_t>(bitmap.BytesPerRow());
}

// Copies `count` pixels as an opaque image holds them: the renderer leaves the fourth byte 0 where
// nothing was drawn, and a 32-bit image whose fourth byte is not 0xFF is not opaque to QPainter. The
// plain copy runs at the speed of memory; the fourth bytes are set while the row is in the cache.
void CopyOpaque(uchar* to, const uint8_t* from, std::size_t count) {
  constexpr uint32_t kOpaque = 0xFF000000u;
  std::memcpy(to, from, count * kBytesPerPixel);
  std::size_t i = 0;
#ifdef __SSE2__
  const __m128i opaque = _mm_set1_epi32(static_cast<int>(kOpaque));
  for (; i + 4 <= count; i += 4) {
    auto* pixels = reinterpret_cast<__m128i*>(to + i * kBytesPerPixel);
    _mm_storeu_si128(pixels, _mm_or_si128(_mm_loadu_si128(pixels), opaque));
  }
#endif
  for (; i < count; ++i) to[i * kBytesPerPixel + 3] = static_cast<uchar>(kOpaque >> 24);
}

}  // namespace

bool CanvasPicture::Accepts(const MemoryBitmap& bitmap, int32_t width, int32_t height) const {
  return width > 0 && height > 0 && width <= bitmap.Width() && height <= bitmap.Height();
}

void CanvasPicture::Keep(int32_t width, int32_t height, int32_t x, int32_t y) {
  size_ = QSize(width, height);
  // On a HiDPI screen the frame holds device pixels: it is drawn at its size in canvas pixels.
  pixelRatio_ = renderer_.PixelRatio();
  position_ = QPoint(x, y);
}

bool CanvasPicture::Present(const MemoryBitmap& bitmap, int32_t width, int32_t height, int32_t x, int32_t y) {
  if (!Accepts(bitmap, width, height)) return false;
  // The copy keeps its memory from frame to frame: a new bitmap each time cost more in page faults
  // than the copy itself.
  const auto start = std::chrono::steady_clock::now();
  bitmap_ = bitmap;
  Keep(width, height, x, y);
  copyMilliseconds_ = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  return true;
}

bool CanvasPicture::Take(MemoryBitmap& bitmap, int32_t width, int32_t height, int32_t x, int32_t y) {
  if (!Accepts(bitmap, width, height)) return false;
  std::swap(bitmap_, bitmap);
  Keep(width, height, x, y);
  copyMilliseconds_ = 0.0;
  return true;
}

void CanvasPicture::Clear() { size_ = QSize(); }

void CanvasPicture::Paint(QPainter& painter, const QRect& client) const {
  // The frame and the two bars cover the client area once it is laid out; anything they leave
  // (before the first frame, or a size that was not laid out) is black like the canvas background.
  const QSize shown = size_.isEmpty() ? QSize() : (QSizeF(size_) / pixelRatio_).toSize();
  const QRegion uncovered = QRegion(client).subtracted(QRect(position_, shown));
  for (const QRect& rect : uncovered) painter.fillRect(rect, Qt::black);
  if (size_.isEmpty() || CopyInto(painter)) return;
  painter.drawImage(position_, Frame());
}

// The window's backing store is such an image: the rows go there in one copy, turned the right way
// up on the way, where QPainter would need an upright copy of its own first.
bool CanvasPicture::CopyInto(QPainter& painter) const {
  QPaintEngine* engine = painter.paintEngine();
  if (engine == nullptr || engine->type() != QPaintEngine::Raster) return false;
  QPaintDevice* device = engine->paintDevice();
  if (device == nullptr || device->devType() != QInternal::Image) return false;
  auto& image = *static_cast<QImage*>(device);
  // Only a 32-bit image that shares its pixels with no other: opaque pixels are the same bytes in
  // each of these formats (premultiplied by a full alpha is the colour itself).
  const QImage::Format format = image.format();
  if (format != QImage::Format_RGB32 && format != QImage::Format_ARGB32 && format != QImage::Format_ARGB32_Premultiplied) {
    return false;
  }
  if (!image.isDetached()) return false;
  if (painter.hasClipping() || painter.opacity() != 1.0 ||
      painter.compositionMode() != QPainter::CompositionMode_SourceOver) {
    return false;
  }
  // Where the frame's top-left corner lands in the image: a whole pixel, at the frame's own scale.
  const QTransform transform = painter.deviceTransform();
  if (transform.type() > QTransform::TxScale || transform.m11() != pixelRatio_ || transform.m22() != pixelRatio_) {
    return false;
  }
  const QPointF corner = transform.map(QPointF(position_));
  const QPoint at = corner.toPoint();
  if (QPointF(at) != corner) return false;

  // Only what the paint may change: the system clip is the part of the image being repainted.
  QRegion target = QRegion(QRect(at, size_)).intersected(image.rect());
  const QRegion clip = engine->systemClip();
  if (!clip.isEmpty()) target = target.intersected(clip);
  uchar* pixels = image.bits();  // does not copy: the image shares its pixels with nothing
  for (const QRect& rect : target) {
    for (int32_t y = rect.top(); y <= rect.bottom(); ++y) {
      CopyOpaque(pixels + static_cast<std::size_t>(y) * static_cast<std::size_t>(image.bytesPerLine()) +
                     static_cast<std::size_t>(rect.left()) * kBytesPerPixel,
                 RowFromTop(bitmap_, y - at.y()) + static_cast<std::size_t>(rect.left() - at.x()) * kBytesPerPixel,
                 static_cast<std::size_t>(rect.width()));
    }
  }
  return true;
}

QImage CanvasPicture::Frame() const {
  if (size_.isEmpty()) return {};
  QImage frame(size_, QImage::Format_RGB32);
  for (int32_t row = 0; row < size_.height(); ++row) {
    CopyOpaque(frame.scanLine(row), RowFromTop(bitmap_, row), static_cast<std::size_t>(size_.width()));
  }
  frame.setDevicePixelRatio(pixelRatio_);
  return frame;
}

MemoryBitmap CanvasPicture::Bitmap() const {
  MemoryBitmap image(size_.width(), size_.height());
  // Bottom-up again: the picture's top row is the bitmap's last.
  for (int32_t row = 0; row < image.Height(); ++row) {
    std::memcpy(image.Bits() + static_cast<std::size_t>(image.Height() - 1 - row) * image.BytesPerRow(),
                RowFromTop(bitmap_, row), static_cast<std::size_t>(image.BytesPerRow()));
  }
  return image;
}

}  // namespace skelvane
