#pragma once
// Draws the whole display with OpenGL 1.1 into an off-screen 32-bit bitmap (EGL on Mesa, a
// framebuffer object read back as BGRA) and hands the finished frame over in one call.
// One renderer serves the canvas, the plots and the main window, all on the UI thread.

#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

#include "platform/MemoryBitmap.h"

namespace skelvane {

class BitmapPresenter;
class ColumnBarCoverage;
class TracePixels;

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
  /// Makes the OpenGL context current (creating it once) with a framebuffer of the bitmap's size and
  /// a fresh drawing state; 0 or -1.
  int32_t SetupRenderer();
  /// (Re)builds the framebuffer (8-bit RGBA colour, 24-bit depth) when the bitmap changed; 0 or -1.
  int32_t SetPixelFormatOGL();
  /// Loads the label font ("Arial" at a 14-pixel cell); 0 or -1.
  int32_t CreateTextFont();
  /// Reads the frame back into the bitmap and hands (0,0)-(width,height) to the presenter at (x,y),
  /// which may keep the bitmap and give back one of its own.
  int32_t BltToScreen(BitmapPresenter& presenter, int32_t width, int32_t height, int32_t x, int32_t y);

  /// Resets the model-view matrix, clears colour (to black) and depth, enables the <= depth test.
  void ClearScene();
  /// Orthographic projection over (left, right + 1) x (bottom, top), depth 0..20; y grows upwards.
  void SetProjection(double left, double right, double bottom, double top);
  /// Multiplies the current matrix (the projection, after SetProjection) by a translation;
  /// the next SetProjection undoes it.
  void Translate(float x, float y, float z);
  /// Multiplies the current matrix (the projection, after SetProjection) by a scale.
  void Scale(float x, float y, float z);
  /// Flushes the OpenGL command stream.
  void Flush();
  /// Waits until every command so far is drawn: the software rasteriser then lets go of what it kept
  /// for them (a frame of very many lines stays within the memory of a few thousand).
  void Finish();
  /// Splits a 0x00BBGGRR colour into components 0..1 (the top byte is ignored).
  static void ColorToFloats(uint32_t colour, float& red, float& green, float& blue);

  // Drawing primitives: integer coordinates in projection units, depth z in -20..0 (larger is in
  // front), widths and sizes in pixels. A sequence form draws as many items as its shortest
  // sequence holds. Blending is never on, so alpha has no visible effect and is not used.

  /// One segment from (x1, y1) to (x2, y2).
  void DrawLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour, int32_t lineWidth, int32_t z,
                float alpha);
  /// One connected strip through (xs[i], ys[i]).
  void DrawPolyline(std::span<const int32_t> xs, std::span<const int16_t> ys, uint32_t colour, int32_t lineWidth,
                    int32_t z, float alpha);
  /// A vertical segment from (xs[i], lows[i]) to (xs[i], highs[i]) for each i.
  void DrawColumnPairs(std::span<const int32_t> xs, std::span<const int16_t> lows, std::span<const int16_t> highs,
                       uint32_t colour, int32_t lineWidth, int32_t z, float alpha);
  /// A zoomed-out trace: for each i, the vertical segment from (xs[i], lows[i]) to (xs[i], highs[i])
  /// and a point on each of its ends, so a bar shorter than a pixel still shows. With one-pixel
  /// lines the bars of one call go down as a few masked quads with the same pixels.
  void DrawColumnBars(std::span<const int32_t> xs, std::span<const int16_t> lows, std::span<const int16_t> highs,
                      uint32_t colour, int32_t lineWidth, int32_t z, float alpha);
  /// A zoomed-in trace: one connected strip through the points, run k holding counts[k] points in
  /// column xs[k] and ys every point's value. With one-pixel lines the strip goes down as a few
  /// masked quads with the same pixels, taken from `pixels` when given and worked out for the
  /// current transform (they are worked out now otherwise, and kept there).
  void DrawTrace(std::span<const int32_t> xs, std::span<const int32_t> counts, std::span<const int16_t> ys,
                 uint32_t colour, int32_t lineWidth, int32_t z, float alpha, TracePixels* pixels = nullptr);
  /// Tells `pixels` the transform a trace at depth z would be drawn with now (nothing while the masks
  /// are not in use), so that a plot drawn as bars or as a sparse strip can still foresee its next
  /// dense trace's transform.
  void NoteTraceTransform(int32_t z, TracePixels& pixels);
  /// A vertical segment from (xs[i], yLow) to (xs[i], yHigh) for each i. With one-pixel lines going up
  /// the screen between pixel edges, the segments go down as one rectangle per run of neighbouring
  /// columns with the same pixels (a full-height line costs the software rasteriser a partly covered
  /// block every four rows; a run of columns, whole blocks).
  void DrawColumns(std::span<const int32_t> xs, int32_t yLow, int32_t yHigh, uint32_t colour, int32_t lineWidth,
                   int32_t z, float alpha);
  /// As DrawColumns, each segment in its own colour.
  void DrawColoredColumns(std::span<const int32_t> xs, int32_t yLow, int32_t yHigh, std::span<const uint32_t> colours,
                          int32_t lineWidth, int32_t z, float alpha);
  /// One point at (xs[i], ys[i]) for each i.
  void DrawPoints(std::span<const int32_t> xs, std::span<const int16_t> ys, uint32_t colour, int32_t pointSize,
                  int32_t z, float alpha);
  /// One point.
  void DrawPoint(int32_t x, int16_t y, uint32_t colour, int32_t pointSize, int32_t z, float alpha);
  /// One filled polygon through `count` vertices (nothing for null pointers).
  void DrawPolygon(const int32_t* xs, const int32_t* ys, int32_t count, uint32_t colour, int32_t z, float alpha);
  /// Draws text as bitmap glyphs with its baseline origin at raster position (x, y, z); returns 0.
  int32_t DrawString(std::string_view text, int32_t x, int32_t y, int32_t z, uint32_t colour);
  /// A text and its baseline origin, for DrawStrings.
  struct PlacedText {
    std::string_view text;
    int32_t x = 0;
    int32_t y = 0;
  };
  /// The texts in one colour at depth z, each as DrawString draws it. Those whose origins fall on
  /// whole window pixels of one row go down as one bitmap: each bitmap call costs the software
  /// rasteriser a set-up and a texture of its own.
  int32_t DrawStrings(std::span<const PlacedText> texts, int32_t z, uint32_t colour);
  /// Width in pixels of the text in the label font (0 without a font).
  int32_t GetTextWidth(std::string_view text);
  /// Height in pixels of a line of the label font (0 without a font).
  int32_t GetTextHeight(std::string_view text);

  /// Largest device pixel ratio the renderer draws at.
  static constexpr int32_t kMaxPixelRatio = 4;
  /// Draws every canvas pixel as ratio x ratio device pixels (a HiDPI screen): the bitmap, line widths,
  /// point sizes and the font grow by it, text measures stay in canvas pixels. 1 by default; a change
  /// takes effect with the next bitmap.
  void SetPixelRatio(int32_t ratio);
  /// Device pixels per canvas pixel each way.
  int32_t PixelRatio() const;

  /// Lets DrawColumnBars use masks once a self-check on the first frame has shown they give the
  /// segments' and points' own pixels on this driver (allowed by default).
  void AllowBarMasks(bool allowed);
  /// True when DrawColumnBars draws through masks.
  bool BarMasksInUse() const;
  /// The pixel rows the next DrawColumnBars with `lineWidth` at depth z lights for the current
  /// transform, in `rows`; false when those bars would not go through the masks (only their exact
  /// values are then known to give their pixels).
  bool BarRows(int32_t lineWidth, int32_t z, ColumnBarCoverage& rows) const;
  /// Lets DrawColumns use rectangles once a self-check on the first frame has shown they give the
  /// segments' own pixels on this driver (allowed by default).
  void AllowColumnRectangles(bool allowed);
  /// True when DrawColumns draws through rectangles.
  bool ColumnRectanglesInUse() const;
  /// Lets DrawColumns, DrawColumnBars and DrawTrace write pixels nothing else covers straight into the
  /// frame it reads back, once their self-checks have shown that gives the same pixels (allowed by
  /// default).
  void AllowColumnFill(bool allowed);
  /// True when DrawColumns may write columns into the read-back frame.
  bool ColumnFillInUse() const;
  /// True when DrawColumnBars may write bars into the read-back frame.
  bool BarFillInUse() const;
  /// True when DrawTrace may write dense traces into the read-back frame.
  bool TraceFillInUse() const;
  /// Lets DrawTrace use masks once a self-check on the first frame has shown they give the strip's
  /// own pixels on this driver (allowed by default).
  void AllowTraceMasks(bool allowed);
  /// True when DrawTrace draws through masks.
  bool TraceMasksInUse() const;

  /// The frame as last read back (valid after ReadBack, and after BltToScreen to a presenter that
  /// copied it rather than took it).
  const MemoryBitmap& Bitmap() const;
  /// Reads the current frame into the bitmap without presenting it; 0 or -1.
  int32_t ReadBack();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace skelvane
