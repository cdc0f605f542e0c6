#pragma once
// The canvas image as the main window shows it: the canvas hands over its bottom-up bitmap, which is
// kept the right way up and painted into the client area below the horizontal scrollbar, black
// around it. The bitmap export takes it back as the bitmap the window shows. Owned by MainWindow.

#include <QImage>
#include <QPoint>
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

  /// Keeps the frame the canvas hands over, to be shown at (x, y) of the client area.
  bool Present(const MemoryBitmap& bitmap, int32_t width, int32_t height, int32_t x, int32_t y) override;
  /// Forgets the frame: the canvas had no picture to show.
  void Clear() { frame_ = QImage(); }
  /// Paints the frame into a client area of `client`, black where it does not reach.
  void Paint(QPainter& painter, const QRect& client) const;

  /// The frame shown in the client area, top row first (null before the first paint).
  const QImage& Frame() const { return frame_; }
  /// The frame as a bottom-up bitmap (empty before the first paint).
  MemoryBitmap Bitmap() const;
  /// How long the last Present took to copy the frame, milliseconds.
  double LastCopyMilliseconds() const { return copyMilliseconds_; }

 private:
  const GLRenderer& renderer_;
  QImage frame_;
  QPoint position_;
  double copyMilliseconds_ = 0.0;
};

}  // namespace skelvane
