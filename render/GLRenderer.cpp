#include "render/GLRenderer.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/BitmapPresenter.h"
#include "platform/ReportError.h"
#include "render/BitmapFont.h"
#include "render/ColumnBarDrawer.h"
#include "render/ColumnLineDrawer.h"
#include "render/EglContext.h"
#include "render/FramebufferObject.h"
#include "render/PrimitiveBatch.h"
#include "render/TextBitmaps.h"
#include "render/TraceDrawer.h"
#include "render/WindowFootprint.h"

namespace skelvane {
namespace {

constexpr int32_t kOk = 0;
constexpr int32_t kFailed = -1;

// Orthographic depth range: z runs from 0 (front) to -20 (back).
constexpr double kNearPlane = 0.0;
constexpr double kFarPlane = 20.0;

// The label font: a 14-pixel cell (ascent plus descent), looked up by face name.
constexpr const char* kFontFace = "Arial";
constexpr int32_t kFontCellHeight = 14;
// Texts placed together in one bitmap span at most this many pixels (within any texture size).
constexpr int32_t kWidestTextBitmap = 2048;
// A raster position puts a bitmap's corner on the pixel its coordinate falls in: taken as known when
// the coordinate is whole or this far from a pixel edge (any rounding of the driver's stays inside),
// and within this many pixels of the origin (where a float is that precise).
constexpr double kEdgeMargin = 1.0 / 64.0;
constexpr double kLargestPlacedPixel = 1 << 16;

// The window pixel a raster coordinate falls in, where no rounding can move it to the next one.
std::optional<int32_t> WholePixel(double coordinate) {
  if (!(std::fabs(coordinate) < kLargestPlacedPixel)) return std::nullopt;
  const double pixel = std::floor(coordinate);
  const double fraction = coordinate - pixel;
  if (fraction != 0.0 && (fraction < kEdgeMargin || fraction > 1.0 - kEdgeMargin)) return std::nullopt;
  return static_cast<int32_t>(pixel);
}
// Glyph display lists: one per code 0..254, the list base added to each byte of the text.
constexpr GLuint kFirstGlyphList = 1000;

constexpr const char* kNoDeviceContext = "CDC value is Null in CreateDIBSectionOGL()";
constexpr const char* kNoCompatibleDC = "CreateCompatibleDC() failed in CreateDIBSectionOGL()";
constexpr const char* kInvalidSectionParameters =
    "Invalid Parameter(s) passed to CreateDIBSection(), function returned a NULL Section, error = ";
constexpr const char* kNullSection = "CreateDIBSection() return a Null Section, error = ";
constexpr const char* kDeleteContextFailed = "wglDeleteContext() failed in SetupRenderer(), Last Error = ";
constexpr const char* kCreateContextFailed = "wglCreateContext() failed in SetupRenderer(), Last Error = ";
constexpr const char* kMakeCurrentFailed = "wglMakeCurrent() failed in SetupRenderer(), Last Error = ";
constexpr const char* kChoosePixelFormatFailed = "ChoosePixelFormat() failed in SetPixelFormatOGL(), Last Error = ";
constexpr const char* kSetPixelFormatFailed = "SetPixelFormat() failed in SetPixelFormatOGL(), Last Error = ";
constexpr const char* kFlushFailed =
    "GdiFlush() failed in BltToScreen(), not all functions could be completed before drawing.";
constexpr const char* kBlitFailed = "BitBlt() failed in BltToScreen()";
constexpr const char* kTrialFontFailed = "Unable To Create Indirect Font, Default Font Will Be Used";
constexpr const char* kFontFailed = "Unable To Create Indirect Font From Default Font";
constexpr const char* kNoBitmapToRead = "No off-screen bitmap in ReadBack()";
constexpr const char* kReadPixelsFailed = "glReadPixels() failed in ReadBack(), Last Error = ";

}  // namespace

struct GLRenderer::Impl {
  bool needsNewSection = true;
  bool hasSection = false;
  MemoryBitmap bitmap;           // the frame as read back, until a presenter takes it
  uint64_t sectionVersion = 0;   // bumped whenever the bitmap is replaced
  uint64_t framebufferVersion = 0;  // the bitmap version the framebuffer was built for

  EglContext egl;
  FramebufferObject framebuffer;

  std::shared_ptr<const BitmapFont> font;
  const BitmapFont* listedFont = nullptr;  // the font whose glyph lists exist in the context
  TextBitmaps lines;                       // the lines of text drawn so far, each one bitmap

  // Sequences go down as client vertex arrays, one draw call per primitive call; its pixel ratio
  // (device pixels per canvas pixel each way) is the renderer's.
  PrimitiveBatch batch;
  ReadBackColumns readBack;  // the markers' and bars' columns written into the frame read back
  ColumnBarDrawer bars{batch, readBack};
  TraceDrawer traces{batch, readBack};
  ColumnLineDrawer columnLines{batch, readBack};
  // The transform as the columns left to the read-back see the frame's other primitives; re-read when
  // the renderer's own calls have changed it.
  WindowFootprint where;
  uint64_t transformVersion = 1;
  uint64_t whereVersion = 0;

  const WindowFootprint& Where() {
    if (whereVersion != transformVersion) {
      where = WindowFootprint::Current();
      whereVersion = transformVersion;
    }
    return where;
  }
  // Tells the columns waiting for the read-back that a primitive is about to be drawn within canvas
  // (x0, y0)-(x1, y1) at depth z, `margin` window pixels around.
  void Note(double x0, double y0, double x1, double y1, int32_t z, int32_t margin) {
    if (!FillInUse()) return;
    const WindowFootprint& w = Where();
    const WindowBox box = w.Box(x0, y0, x1, y1, margin);
    readBack.Note(std::span<const WindowBox>(&box, 1), w.Depth(z));
  }
  // The same for a primitive that may reach anywhere.
  void NoteAnywhere(int32_t z) {
    if (!FillInUse()) return;
    const WindowBox box = WindowFootprint::kEverywhere;
    readBack.Note(std::span<const WindowBox>(&box, 1), Where().Depth(z));
  }
  bool FillInUse() const { return columnLines.FillInUse() || bars.FillInUse() || traces.FillInUse(); }

  // The context must be current before any GL call; it is, after SetupRenderer, on the UI thread.
  bool MakeCurrent() { return egl.HasContext() && egl.MakeCurrent() == EglContext::Result::kOk; }
  bool FramebufferMatchesBitmap() const {
    return hasSection && framebuffer.Exists() && framebufferVersion == sectionVersion;
  }
  void ReleaseFramebuffer() {
    if (framebuffer.Exists() && MakeCurrent()) {
      framebuffer.Release();
    } else {
      framebuffer.Forget();
    }
  }
  // A fresh context's state, so every redraw starts from the same defaults whatever the last one
  // left behind.
  void ResetDrawingState() {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    glLineWidth(1.0f);
    glPointSize(1.0f);
    glEnableClientState(GL_VERTEX_ARRAY);
    glDisableClientState(GL_COLOR_ARRAY);
    glListBase(0);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glClearColor(0.0f, 0.0f, 0.0f, PrimitiveBatch::kStoredAlpha);
    glClearDepth(1.0);
    batch.WidthsReset();
  }
  // The window box of a text's pixels drawn from canvas (x, y) at depth z.
  WindowBox TextBox(std::string_view text, int32_t x, int32_t y) {
    const WindowBox pen = Where().Box(x, y, x, y, 0);
    if (!font) return pen;
    const TextBitmaps::Line& line = lines.Of(font, text);
    return {pen.left - line.xOrigin, pen.bottom - line.yOrigin, pen.right - line.xOrigin + line.width,
            pen.top - line.yOrigin + line.rows};
  }
  bool BuildGlyphLists() {
    if (!font) return false;
    if (listedFont == font.get()) return true;
    if (!egl.IsCurrent()) return false;
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    for (int32_t code = 0; code < BitmapFont::kGlyphCount; ++code) {
      const BitmapFont::Glyph& glyph = font->GlyphOf(static_cast<uint8_t>(code));
      glNewList(kFirstGlyphList + static_cast<GLuint>(code), GL_COMPILE);
      glBitmap(glyph.width, glyph.rows, static_cast<GLfloat>(-glyph.left),
               static_cast<GLfloat>(glyph.rows - glyph.top), static_cast<GLfloat>(glyph.advance), 0.0f,
               glyph.bits.empty() ? nullptr : glyph.bits.data());
      glEndList();
    }
    listedFont = font.get();
    return true;
  }
  // Reads the framebuffer into the bitmap when both have the same size; a bitmap made since the
  // last set-up keeps its cleared pixels. Returns the GL error, 0 on success.
  GLenum ReadPixels() {
    if (!FramebufferMatchesBitmap()) return GL_NO_ERROR;
    if (!MakeCurrent()) return GL_INVALID_OPERATION;
    // glReadPixels waits for the frame itself; a glFinish before it would only add a round trip.
    while (glGetError() != GL_NO_ERROR) {
    }
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glReadPixels(0, 0, bitmap.Width(), bitmap.Height(), GL_BGRA, GL_UNSIGNED_BYTE, bitmap.Bits());
    const GLenum error = glGetError();
    if (error == GL_NO_ERROR) {
      readBack.Apply(reinterpret_cast<uint32_t*>(bitmap.Bits()), bitmap.Width(), bitmap.Height());
    }
    return error;
  }
};

GLRenderer::GLRenderer() : impl_(std::make_unique<Impl>()) {}

GLRenderer::~GLRenderer() {
  ReleaseDIBSection();
  impl_->font.reset();
  impl_->bars.Forget();
  impl_->traces.Forget();
  impl_->columnLines.Forget();
  impl_->egl.Destroy();
}

int32_t GLRenderer::CreateDIBSectionOGL(int32_t width, int32_t height) {
  Impl& d = *impl_;
  if (!d.needsNewSection) return kOk;
  ReleaseDIBSection();
  // The process-wide EGL display plays the part of the screen-compatible memory DC: the
  // bitmap, the font and the context all belong to it.
  switch (d.egl.OpenDisplay()) {
    case EglContext::Result::kOk:
      break;
    case EglContext::Result::kNoDisplay:
      ReportError(kNoDeviceContext, 0);
      return kFailed;
    default:
      ReportError(kNoCompatibleDC, 0);
      return kFailed;
  }
  if (width <= 0 || height <= 0) {
    ReportError(kInvalidSectionParameters, EINVAL);
    return kFailed;
  }
  // A size past what the process can address is refused by the container before any
  // allocation (length_error), one past the memory at hand by the allocation (bad_alloc).
  const int64_t deviceWidth = int64_t{width} * d.batch.PixelRatio();
  const int64_t deviceHeight = int64_t{height} * d.batch.PixelRatio();
  try {
    // A side past the int32 range is past what the process can address, like an oversized area.
    if (deviceWidth > std::numeric_limits<int32_t>::max() || deviceHeight > std::numeric_limits<int32_t>::max()) {
      throw std::length_error("bitmap side");
    }
    d.bitmap.Resize(static_cast<int32_t>(deviceWidth), static_cast<int32_t>(deviceHeight));
  } catch (const std::bad_alloc&) {
    d.bitmap = MemoryBitmap();
    ReportError(kNullSection, ENOMEM);
    return kFailed;
  } catch (const std::length_error&) {
    d.bitmap = MemoryBitmap();
    ReportError(kNullSection, ENOMEM);
    return kFailed;
  }
  d.hasSection = true;
  ++d.sectionVersion;
  d.needsNewSection = false;
  CreateTextFont();
  return kOk;
}

void GLRenderer::RequestNewDIBSection() { impl_->needsNewSection = true; }

void GLRenderer::ReleaseDIBSection() {
  Impl& d = *impl_;
  d.needsNewSection = true;
  if (!d.hasSection) return;
  d.ReleaseFramebuffer();
  d.bitmap = MemoryBitmap();
  d.hasSection = false;
}

int32_t GLRenderer::SetupRenderer() {
  Impl& d = *impl_;
  // One context serves the renderer's whole life; only the framebuffer follows the bitmap's size.
  if (!d.egl.HasContext() && d.egl.Create() != EglContext::Result::kOk) {
    ReportError(kCreateContextFailed, d.egl.LastError());
    return kFailed;
  }
  if (d.egl.MakeCurrent() != EglContext::Result::kOk) {
    ReportError(kMakeCurrentFailed, d.egl.LastError());
    // A context that cannot be made current is of no further use; the next call makes a new one.
    if (!d.egl.Destroy()) ReportError(kDeleteContextFailed, d.egl.LastError());
    d.framebuffer.Forget();
    d.listedFont = nullptr;
    d.bars.Forget();
    d.traces.Forget();
    d.columnLines.Forget();
    return kFailed;
  }
  if (SetPixelFormatOGL() != kOk) return kFailed;
  d.ResetDrawingState();
  ++d.transformVersion;
  return kOk;
}

int32_t GLRenderer::SetPixelFormatOGL() {
  Impl& d = *impl_;
  if (!d.egl.IsCurrent() && !d.MakeCurrent()) {
    ReportError(kChoosePixelFormatFailed, d.egl.HasContext() ? d.egl.LastError() : EINVAL);
    return kFailed;
  }
  if (!d.hasSection) {
    ReportError(kChoosePixelFormatFailed, EINVAL);
    return kFailed;
  }
  if (d.FramebufferMatchesBitmap()) return kOk;
  switch (d.framebuffer.Create(d.bitmap.Width(), d.bitmap.Height())) {
    case FramebufferObject::Result::kOk:
      break;
    case FramebufferObject::Result::kUnsupported:
      ReportError(kChoosePixelFormatFailed, d.framebuffer.LastError());
      return kFailed;
    case FramebufferObject::Result::kIncomplete:
      ReportError(kSetPixelFormatFailed, d.framebuffer.LastError());
      return kFailed;
  }
  d.framebufferVersion = d.sectionVersion;
  glViewport(0, 0, d.bitmap.Width(), d.bitmap.Height());
  // A new bitmap starts black, as the window's first paint would show it.
  glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  glClearColor(0.0f, 0.0f, 0.0f, PrimitiveBatch::kStoredAlpha);
  glClearDepth(1.0);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  return kOk;
}

int32_t GLRenderer::CreateTextFont() {
  Impl& d = *impl_;
  std::string file;
  int32_t faceIndex = 0;
  if (!BitmapFont::Locate(kFontFace, file, faceIndex) || !BitmapFont::CanOpen(file, faceIndex)) {
    ReportError(kTrialFontFailed, 0);
    return kFailed;
  }
  d.font.reset();
  d.font = BitmapFont::Load(file, faceIndex, kFontCellHeight * d.batch.PixelRatio());
  if (!d.font) {
    ReportError(kFontFailed, 0);
    return kFailed;
  }
  return kOk;
}

int32_t GLRenderer::BltToScreen(BitmapPresenter& presenter, int32_t width, int32_t height, int32_t x, int32_t y) {
  Impl& d = *impl_;
  if (!d.hasSection) {
    ReportError(kBlitFailed, 0);
    return kFailed;
  }
  if (d.ReadPixels() != GL_NO_ERROR) {
    ReportError(kFlushFailed, 0);
    return kFailed;
  }
  const int32_t shownWidth = std::clamp(width * d.batch.PixelRatio(), 0, d.bitmap.Width());
  const int32_t shownHeight = std::clamp(height * d.batch.PixelRatio(), 0, d.bitmap.Height());
  const int32_t bitmapWidth = d.bitmap.Width();
  const int32_t bitmapHeight = d.bitmap.Height();
  if (!presenter.Take(d.bitmap, shownWidth, shownHeight, x, y)) {
    ReportError(kBlitFailed, 0);
    return kFailed;
  }
  // The presenter may have kept the frame and handed back a bitmap of its own: the next read-back
  // overwrites every pixel of one of the right size; without a framebuffer to read it starts black.
  if (d.bitmap.Width() != bitmapWidth || d.bitmap.Height() != bitmapHeight || !d.FramebufferMatchesBitmap()) {
    d.bitmap.Resize(bitmapWidth, bitmapHeight);
  }
  return kOk;
}

int32_t GLRenderer::ReadBack() {
  Impl& d = *impl_;
  if (!d.hasSection) {
    ReportError(kNoBitmapToRead, 0);
    return kFailed;
  }
  const GLenum error = d.ReadPixels();
  if (error != GL_NO_ERROR) {
    ReportError(kReadPixelsFailed, static_cast<int64_t>(error));
    return kFailed;
  }
  return kOk;
}

const MemoryBitmap& GLRenderer::Bitmap() const { return impl_->bitmap; }

void GLRenderer::ClearScene() {
  Impl& d = *impl_;
  if (d.bars.NeedsCheck() && d.FramebufferMatchesBitmap()) {
    d.bars.Check(d.bitmap.Width(), d.bitmap.Height(), kNearPlane, kFarPlane);
  }
  if (d.traces.NeedsCheck() && d.FramebufferMatchesBitmap()) {
    d.traces.Check(d.bitmap.Width(), d.bitmap.Height(), kNearPlane, kFarPlane);
  }
  if (d.columnLines.NeedsCheck() && d.FramebufferMatchesBitmap()) {
    d.columnLines.Check(d.bitmap.Width(), d.bitmap.Height(), kNearPlane, kFarPlane);
  }
  d.bars.StartFrame();
  d.traces.StartFrame();
  d.columnLines.StartFrame();
  d.readBack.StartFrame();
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_LEQUAL);
  ++d.transformVersion;
}

void GLRenderer::SetProjection(double left, double right, double bottom, double top) {
  ++impl_->transformVersion;
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(left, right + 1.0, bottom, top, kNearPlane, kFarPlane);
}

void GLRenderer::Translate(float x, float y, float z) {
  ++impl_->transformVersion;
  glTranslatef(x, y, z);
}

void GLRenderer::Scale(float x, float y, float z) {
  ++impl_->transformVersion;
  glScalef(x, y, z);
}

void GLRenderer::Flush() { glFlush(); }

void GLRenderer::Finish() { glFinish(); }

void GLRenderer::ColorToFloats(uint32_t colour, float& red, float& green, float& blue) {
  PrimitiveBatch::ColourToFloats(colour, red, green, blue);
}

void GLRenderer::DrawLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour, int32_t lineWidth,
                          int32_t z, float /*alpha*/) {
  impl_->Note(std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2), z,
              lineWidth * impl_->batch.PixelRatio());
  PrimitiveBatch::SetColour(colour);
  impl_->batch.SetLineWidth(lineWidth);
  glBegin(GL_LINES);
  glVertex3i(x1, y1, z);
  glVertex3i(x2, y2, z);
  glEnd();
}

void GLRenderer::DrawPolyline(std::span<const int32_t> xs, std::span<const int16_t> ys, uint32_t colour,
                              int32_t lineWidth, int32_t z, float /*alpha*/) {
  impl_->NoteAnywhere(z);
  PrimitiveBatch& batch = impl_->batch;
  PrimitiveBatch::SetColour(colour);
  batch.SetLineWidth(lineWidth);
  const std::size_t count = std::min(xs.size(), ys.size());
  for (std::size_t i = 0; i < count; ++i) batch.AddVertex(xs[i], ys[i], z);
  batch.Submit(GL_LINE_STRIP, false);
}

void GLRenderer::DrawColumnPairs(std::span<const int32_t> xs, std::span<const int16_t> lows,
                                 std::span<const int16_t> highs, uint32_t colour, int32_t lineWidth, int32_t z,
                                 float /*alpha*/) {
  Impl& d = *impl_;
  if (d.FillInUse()) {
    const WindowFootprint& w = d.Where();
    const WindowBox box = w.ColumnsBox(xs, lows, highs, lineWidth * d.batch.PixelRatio());
    if (!box.Empty()) d.readBack.Note(std::span<const WindowBox>(&box, 1), w.Depth(z));
  }
  d.batch.ColumnPairs(xs, lows, highs, colour, lineWidth, z);
}

void GLRenderer::DrawColumnBars(std::span<const int32_t> xs, std::span<const int16_t> lows,
                                std::span<const int16_t> highs, uint32_t colour, int32_t lineWidth, int32_t z,
                                float /*alpha*/) {
  impl_->bars.Draw(xs, lows, highs, colour, lineWidth, z);
}

void GLRenderer::DrawTrace(std::span<const int32_t> xs, std::span<const int32_t> counts,
                           std::span<const int16_t> ys, uint32_t colour, int32_t lineWidth, int32_t z,
                           float /*alpha*/, TracePixels* pixels) {
  impl_->traces.Draw(xs, counts, ys, colour, lineWidth, z, pixels);
}

void GLRenderer::NoteTraceTransform(int32_t z, TracePixels& pixels) { impl_->traces.Note(z, pixels); }

void GLRenderer::AllowTraceMasks(bool allowed) { impl_->traces.Allow(allowed); }

bool GLRenderer::TraceMasksInUse() const { return impl_->traces.InUse(); }

void GLRenderer::AllowBarMasks(bool allowed) { impl_->bars.Allow(allowed); }

bool GLRenderer::BarMasksInUse() const { return impl_->bars.InUse(); }

bool GLRenderer::BarRows(int32_t lineWidth, int32_t z, ColumnBarCoverage& rows) const {
  return impl_->bars.Rows(lineWidth, z, rows);
}

void GLRenderer::DrawColumns(std::span<const int32_t> xs, int32_t yLow, int32_t yHigh, uint32_t colour,
                             int32_t lineWidth, int32_t z, float /*alpha*/) {
  impl_->columnLines.Draw(xs, yLow, yHigh, colour, lineWidth, z);
}

void GLRenderer::AllowColumnRectangles(bool allowed) { impl_->columnLines.Allow(allowed); }

void GLRenderer::AllowColumnFill(bool allowed) {
  impl_->columnLines.AllowFill(allowed);
  impl_->bars.AllowFill(allowed);
  impl_->traces.AllowFill(allowed);
}

bool GLRenderer::BarFillInUse() const { return impl_->bars.FillInUse(); }

bool GLRenderer::TraceFillInUse() const { return impl_->traces.FillInUse(); }

bool GLRenderer::ColumnFillInUse() const { return impl_->columnLines.FillInUse(); }

bool GLRenderer::ColumnRectanglesInUse() const { return impl_->columnLines.InUse(); }

void GLRenderer::DrawColoredColumns(std::span<const int32_t> xs, int32_t yLow, int32_t yHigh,
                                    std::span<const uint32_t> colours, int32_t lineWidth, int32_t z, float /*alpha*/) {
  impl_->NoteAnywhere(z);
  PrimitiveBatch& batch = impl_->batch;
  batch.SetLineWidth(lineWidth);
  const std::size_t count = std::min(xs.size(), colours.size());
  for (std::size_t i = 0; i < count; ++i) {
    batch.AddVertex(xs[i], yLow, z);
    batch.AddVertex(xs[i], yHigh, z);
    batch.AddColour(colours[i]);
    batch.AddColour(colours[i]);
  }
  batch.Submit(GL_LINES, true);
}

void GLRenderer::DrawPoints(std::span<const int32_t> xs, std::span<const int16_t> ys, uint32_t colour,
                            int32_t pointSize, int32_t z, float /*alpha*/) {
  const std::size_t count = std::min(xs.size(), ys.size());
  if (count > 0) {
    const auto [left, right] = std::minmax_element(xs.begin(), xs.begin() + static_cast<std::ptrdiff_t>(count));
    const auto [bottom, top] = std::minmax_element(ys.begin(), ys.begin() + static_cast<std::ptrdiff_t>(count));
    impl_->Note(*left, *bottom, *right, *top, z, pointSize * impl_->batch.PixelRatio());
  }
  impl_->batch.Points(xs, ys, colour, pointSize, z);
}

void GLRenderer::DrawPoint(int32_t x, int16_t y, uint32_t colour, int32_t pointSize, int32_t z, float /*alpha*/) {
  impl_->Note(x, y, x, y, z, pointSize * impl_->batch.PixelRatio());
  PrimitiveBatch::SetColour(colour);
  impl_->batch.SetPointSize(pointSize);
  glBegin(GL_POINTS);
  glVertex3i(x, y, z);
  glEnd();
}

void GLRenderer::DrawPolygon(const int32_t* xs, const int32_t* ys, int32_t count, uint32_t colour, int32_t z,
                             float /*alpha*/) {
  if (xs == nullptr || ys == nullptr || count <= 0) return;
  const auto [left, right] = std::minmax_element(xs, xs + count);
  const auto [bottom, top] = std::minmax_element(ys, ys + count);
  impl_->Note(*left, *bottom, *right, *top, z, 1);
  PrimitiveBatch::SetColour(colour);
  glBegin(GL_POLYGON);
  for (int32_t i = 0; i < count; ++i) glVertex3i(xs[i], ys[i], z);
  glEnd();
}

int32_t GLRenderer::DrawString(std::string_view text, int32_t x, int32_t y, int32_t z, uint32_t colour) {
  Impl& d = *impl_;
  if (d.FillInUse()) {
    const WindowBox box = d.TextBox(text, x, y);
    d.readBack.Note(std::span<const WindowBox>(&box, 1), d.Where().Depth(z));
  }
  PrimitiveBatch::SetColour(colour);
  glRasterPos3i(x, y, z);
  if (text.empty() || !d.BuildGlyphLists()) return kOk;
  // The whole line in one bitmap call: the pixels of its glyphs' calls, for the set-up of one.
  const TextBitmaps::Line& line = d.lines.Of(d.font, text);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glBitmap(line.width, line.rows, static_cast<GLfloat>(line.xOrigin), static_cast<GLfloat>(line.yOrigin),
           static_cast<GLfloat>(line.advance), 0.0f, line.bits.empty() ? nullptr : line.bits.data());
  return kOk;
}

int32_t GLRenderer::DrawStrings(std::span<const PlacedText> texts, int32_t z, uint32_t colour) {
  Impl& d = *impl_;
  if (!d.BuildGlyphLists()) {
    for (const PlacedText& text : texts) DrawString(text.text, text.x, text.y, z, colour);
    return kOk;
  }
  if (d.FillInUse()) {
    std::vector<WindowBox> boxes;
    for (const PlacedText& text : texts) boxes.push_back(d.TextBox(text.text, text.x, text.y));
    d.readBack.Note(boxes, d.Where().Depth(z));
  }
  PrimitiveBatch::SetColour(colour);
  // Each text's lower left corner and size in window pixels, by its raster position. A bitmap's
  // pixels lie whole pixels from a raster position on whole pixels, so texts of one row (and one
  // window depth) placed side by side in one bitmap keep their pixels; the others go alone.
  struct Placed {
    std::size_t index;
    float x, row, depth;
    int32_t left, bottom, width, rows;
  };
  std::vector<Placed> placed;
  for (std::size_t i = 0; i < texts.size(); ++i) {
    const PlacedText& text = texts[i];
    glRasterPos3i(text.x, text.y, z);
    GLboolean valid = GL_FALSE;
    glGetBooleanv(GL_CURRENT_RASTER_POSITION_VALID, &valid);
    if (valid == GL_FALSE) continue;  // draws nothing
    GLfloat position[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    glGetFloatv(GL_CURRENT_RASTER_POSITION, position);
    const TextBitmaps::Line& line = d.lines.Of(d.font, text.text);
    if (line.width == 0) continue;
    const std::optional<int32_t> column = WholePixel(position[0]);
    const std::optional<int32_t> row = WholePixel(position[1]);
    if (!column || !row) {
      DrawString(text.text, text.x, text.y, z, colour);
      continue;
    }
    placed.push_back({i, position[0], position[1], position[2], *column - line.xOrigin, *row - line.yOrigin,
                      line.width, line.rows});
  }
  std::stable_sort(placed.begin(), placed.end(), [](const Placed& a, const Placed& b) {
    return a.row != b.row ? a.row < b.row : a.depth != b.depth ? a.depth < b.depth : a.left < b.left;
  });
  TextBitmaps::Line bitmap;
  for (std::size_t first = 0; first < placed.size();) {
    // One row's texts, as far as one bitmap reaches.
    int32_t left = placed[first].left, right = left + placed[first].width;
    int32_t bottom = placed[first].bottom, top = bottom + placed[first].rows;
    std::size_t end = first + 1;
    for (; end < placed.size() && placed[end].row == placed[first].row && placed[end].depth == placed[first].depth;
         ++end) {
      const int32_t newRight = std::max(right, placed[end].left + placed[end].width);
      if (newRight - left > kWidestTextBitmap) break;
      right = newRight;
      bottom = std::min(bottom, placed[end].bottom);
      top = std::max(top, placed[end].bottom + placed[end].rows);
    }
    bitmap.width = right - left;
    bitmap.rows = top - bottom;
    bitmap.bits.assign(static_cast<std::size_t>((bitmap.width + 7) / 8) * static_cast<std::size_t>(bitmap.rows), 0);
    for (std::size_t k = first; k < end; ++k) {
      const PlacedText& text = texts[placed[k].index];
      TextBitmaps::OrInto(d.lines.Of(d.font, text.text), placed[k].left - left, placed[k].bottom - bottom, bitmap);
    }
    // From the first text's raster position, its corner half a pixel into the corner pixel.
    const Placed& anchor = placed[first];
    const PlacedText& anchorText = texts[anchor.index];
    glRasterPos3i(anchorText.x, anchorText.y, z);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glBitmap(bitmap.width, bitmap.rows, static_cast<GLfloat>(anchor.x - (left + 0.5)),
             static_cast<GLfloat>(anchor.row - (bottom + 0.5)), 0.0f, 0.0f, bitmap.bits.data());
    first = end;
  }
  return kOk;
}

// The font is rasterised at the device's pixels; the canvas lays text out in its own.
int32_t GLRenderer::GetTextWidth(std::string_view text) {
  return impl_->font ? impl_->font->TextWidth(text) / impl_->batch.PixelRatio() : 0;
}

int32_t GLRenderer::GetTextHeight(std::string_view /*text*/) {
  return impl_->font ? impl_->font->CellHeight() / impl_->batch.PixelRatio() : 0;
}

void GLRenderer::SetPixelRatio(int32_t ratio) {
  ratio = std::clamp(ratio, 1, kMaxPixelRatio);
  if (ratio == impl_->batch.PixelRatio()) return;
  impl_->batch.SetPixelRatio(ratio);
  impl_->needsNewSection = true;
}

int32_t GLRenderer::PixelRatio() const { return impl_->batch.PixelRatio(); }

}  // namespace skelvane
