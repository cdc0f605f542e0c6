#pragma once
// The canvas image as the main window shows it: the canvas hands over its bottom-up bitmap (the
// picture keeps it and gives its previous one back, so a frame is not copied on its way), which is
// painted the right way up into the client area below the horizontal scrollbar, black around it.
// The bitmap export takes it back as the bitmap the window shows. Owned by MainWindow.

#include <QImage>
#include <QPoint>
#include <QSize>
#include <cstdint>

#include "platform/BitmapPresenter.h"
#include "platform/MemoryBitmap.h"

class QPainter;
class QRect;

namespace skelvane {

class GLRenderer;

class CanvasPicture final : public BitmapPresenter {
 public:
  /// Pictures are drawn at the pixel ratio `renderer` draws at.
  explicit CanvasPicture(const GLRenderer& renderer) : renderer_(renderer) {}

  /// Keeps a copy of the frame the canvas hands over, to be shown at (x, y) of the client area.
  bool Present(const MemoryBitmap& bitmap, int32_t width, int32_t height, int32_t x, int32_t y) override;
  /// Keeps the frame itself and hands back the one shown before.
  bool Take(MemoryBitmap& bitmap, int32_t width, int32_t height, int32_t x, int32_t y) override;
  /// Forgets the frame: the canvas had no picture to show.
  void Clear();
  /// Paints the frame into a client area of `client`, black where it does not reach.
  void Paint(QPainter& painter, const QRect& client) const;

  /// The frame shown in the client area, top row first, opaque (null before the first paint).
  QImage Frame() const;
  /// The frame as a bottom-up bitmap (empty before the first paint).
  MemoryBitmap Bitmap() const;
  /// How long the last Present took to copy the frame, milliseconds (none when it was taken).
  double LastCopyMilliseconds() const { return copyMilliseconds_; }

 private:
  bool Accepts(const MemoryBitmap& bitmap, int32_t width, int32_t height) const;
  void Keep(int32_t width, int32_t height, int32_t x, int32_t y);
  // Copies the frame's rows straight into the image the painter draws on, when it is a plain 32-bit
  // image at the frame's pixel ratio; false leaves the painting to QPainter.
  bool CopyInto(QPainter& painter) const;
  // The frame the right way up (a copy).
  QImage Upright() const;

  const GLRenderer& renderer_;
  MemoryBitmap bitmap_;  // bottom-up, at least size_ in device pixels
  QSize size_;           // the part shown, device pixels; empty when there is no frame
  double pixelRatio_ = 1.0;
  QPoint position_;
  double copyMilliseconds_ = 0.0;
};

}  // namespace skelvane
