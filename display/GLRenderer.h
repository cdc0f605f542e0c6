#pragma once
// Draws the whole display with OpenGL 1.1 immediate mode into an off-screen 32-bit bitmap (EGL on
// Mesa, a framebuffer object read back as BGRA) and hands the finished frame over in one call.
// One renderer serves the canvas, the plots and the main window.

#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

#include "platform/MemoryBitmap.h"

namespace skelvane {

class BitmapPresenter;

class GLRenderer {
 public:
  GLRenderer();
  virtual ~GLRenderer();
  GLRenderer(const GLRenderer&) = delete;
  GLRenderer& operator=(const GLRenderer&) = delete;

  /// (Re)creates the off-screen surface of the given size when a new one was requested; 0 or -1.
  int32_t CreateDIBSectionOGL(int32_t width, int32_t height);
  /// Marks the surface stale so the next CreateDIBSectionOGL rebuilds it (on every resize).
  void RequestNewDIBSection();
  /// Releases the surface and marks it stale.
  void ReleaseDIBSection();
  /// Replaces the OpenGL context and makes it current; 0 or -1.
  int32_t SetupRenderer();
  /// Chooses the framebuffer format (8-bit RGBA colour, 24-bit depth); 0 or -1.
  int32_t SetPixelFormatOGL();
  /// Loads the label font ("Arial" at a 14-pixel cell); 0 or -1.
  int32_t CreateTextFont();
  /// Reads the frame back into the bitmap and hands (0,0)-(width,height) to the presenter at (x,y).
  int32_t BltToScreen(BitmapPresenter& presenter, int32_t width, int32_t height, int32_t x, int32_t y);

  void ClearScene();
  void SetProjection(double left, double right, double bottom, double top);
  void Translate(float x, float y, float z);
  void Scale(float x, float y, float z);
  void Flush();
  static void ColorToFloats(uint32_t colour, float& red, float& green, float& blue);

  void DrawLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour, int32_t lineWidth, int32_t z,
                float alpha);
  void DrawPolyline(std::span<const int32_t> xs, std::span<const int16_t> ys, uint32_t colour, int32_t lineWidth,
                    int32_t z, float alpha);
  void DrawColumnPairs(std::span<const int32_t> xs, std::span<const int16_t> lows, std::span<const int16_t> highs,
                       uint32_t colour, int32_t lineWidth, int32_t z, float alpha);
  void DrawColumns(std::span<const int32_t> xs, int32_t yLow, int32_t yHigh, uint32_t colour, int32_t lineWidth,
                   int32_t z, float alpha);
  void DrawColoredColumns(std::span<const int32_t> xs, int32_t yLow, int32_t yHigh, std::span<const uint32_t> colours,
                          int32_t lineWidth, int32_t z, float alpha);
  void DrawPoints(std::span<const int32_t> xs, std::span<const int16_t> ys, uint32_t colour, int32_t pointSize,
                  int32_t z, float alpha);
  void DrawPointArray(const int32_t* xs, const int16_t* ys, int32_t count, uint32_t colour, int32_t pointSize,
                      int32_t z, float alpha);
  void DrawPoint(int32_t x, int16_t y, uint32_t colour, int32_t pointSize, int32_t z, float alpha);
  void DrawPolygon(const int32_t* xs, const int32_t* ys, int32_t count, uint32_t colour, int32_t z, float alpha);
  /// Draws text as bitmap glyphs from raster position (x, y, z); returns 0.
  int32_t DrawString(std::string_view text, int32_t x, int32_t y, int32_t z, uint32_t colour);
  int32_t GetTextWidth(std::string_view text);
  int32_t GetTextHeight(std::string_view text);

  /// The frame as last read back (valid after BltToScreen or ReadBack).
  const MemoryBitmap& Bitmap() const;
  /// Reads the current frame into the bitmap without presenting it; 0 or -1.
  int32_t ReadBack();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace skelvane
