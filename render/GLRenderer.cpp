#include "render/GLRenderer.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <limits>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "render/BitmapFont.h"
#include "render/ColumnBarCoverage.h"
#include "render/ColumnBarMask.h"
#include "render/EglContext.h"
#include "render/FramebufferObject.h"
#include "render/TraceMask.h"
#include "platform/BitmapPresenter.h"
#include "platform/ReportError.h"

namespace skelvane {
namespace {

constexpr int32_t kOk = 0;
constexpr int32_t kFailed = -1;

// Orthographic depth range: z runs from 0 (front) to -20 (back).
constexpr double kNearPlane = 0.0;
constexpr double kFarPlane = 20.0;
constexpr float kColourScale = 255.0f;

// The label font: a 14-pixel cell (ascent plus descent), looked up by face name.
constexpr const char* kFontFace = "Arial";
constexpr int32_t kFontCellHeight = 14;
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

// The bitmap's fourth byte is unused and stays 0. Blending is never on, so a fragment's alpha only
// ever lands in that byte: every colour goes down with alpha 0 and the colour mask stays whole. A
// partial mask would make the rasteriser read back every pixel it writes and rule out its fast clear.
constexpr float kStoredAlpha = 0.0f;

// The corner the bar-mask self-check draws in (a height whose half is not a power of two, so the
// viewport step rounds), the smallest frame it runs on, and the depth it draws at.
constexpr int32_t kBarCheckWidth = 256;
constexpr int32_t kBarCheckHeight = 250;
constexpr int32_t kBarCheckMinimum = 32;
constexpr int32_t kBarCheckDepth = -10;

void SetColour(uint32_t colour) {
  float red = 0.0f, green = 0.0f, blue = 0.0f;
  GLRenderer::ColorToFloats(colour, red, green, blue);
  glColor4f(red, green, blue, kStoredAlpha);
}

}  // namespace

struct GLRenderer::Impl {
  int32_t pixelRatio = 1;  // device pixels per canvas pixel each way
  bool needsNewSection = true;
  bool hasSection = false;
  MemoryBitmap bitmap;           // the frame as the window and the exports see it
  uint64_t sectionVersion = 0;   // bumped whenever the bitmap is replaced
  uint64_t framebufferVersion = 0;  // the bitmap version the framebuffer was built for

  EglContext egl;
  FramebufferObject framebuffer;

  std::shared_ptr<const BitmapFont> font;
  const BitmapFont* listedFont = nullptr;  // the font whose glyph lists exist in the context

  // Sequences go down as client vertex arrays, one draw call per primitive call.
  std::vector<GLint> vertices;   // x, y, z per vertex
  std::vector<GLfloat> colours;  // r, g, b, a per vertex
  // Zoomed-out bars go down as masked quads once a self-check on the first frame has shown that
  // gives the pixels the segments and points would.
  enum class BarMasks { kUnchecked, kInUse, kOff };
  BarMasks barMasks = BarMasks::kUnchecked;
  bool barMasksAllowed = true;
  ColumnBarCoverage barCoverage;
  ColumnBarMask barMask;
  std::vector<ColumnBarCoverage::Span> barSpans;
  std::vector<uint32_t> undecidedBars;
  std::vector<int32_t> leftoverXs;
  std::vector<int16_t> leftoverLows, leftoverHighs;
  // Zoomed-in traces go down through the same masks once their own self-check has passed.
  BarMasks traceMasks = BarMasks::kUnchecked;
  bool traceMasksAllowed = true;
  TraceMask traceMask;
  // Line width and point size as last set: every change costs the driver a state validation.
  GLfloat lineWidth = 1.0f;
  GLfloat pointSize = 1.0f;

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
    glClearColor(0.0f, 0.0f, 0.0f, kStoredAlpha);
    glClearDepth(1.0);
    lineWidth = 1.0f;
    pointSize = 1.0f;
  }
  void SetLineWidth(int32_t width) {
    const auto wanted = static_cast<GLfloat>(width * pixelRatio);
    if (wanted == lineWidth) return;
    glLineWidth(wanted);
    lineWidth = wanted;
  }
  void SetPointSize(int32_t size) {
    const auto wanted = static_cast<GLfloat>(size * pixelRatio);
    if (wanted == pointSize) return;
    glPointSize(wanted);
    pointSize = wanted;
  }
  void AddVertex(int32_t x, int32_t y, int32_t z) {
    vertices.push_back(x);
    vertices.push_back(y);
    vertices.push_back(z);
  }
  void AddColour(uint32_t colour) {
    float red = 0.0f, green = 0.0f, blue = 0.0f;
    ColorToFloats(colour, red, green, blue);
    colours.insert(colours.end(), {red, green, blue, kStoredAlpha});
  }
  // Sends the collected vertices as one primitive of `mode`.
  void Submit(GLenum mode, bool perVertexColour) {
    const auto count = static_cast<GLsizei>(vertices.size() / 3);
    if (count > 0) {
      glVertexPointer(3, GL_INT, 0, vertices.data());
      if (perVertexColour) {
        glEnableClientState(GL_COLOR_ARRAY);
        glColorPointer(4, GL_FLOAT, 0, colours.data());
      }
      glDrawArrays(mode, 0, count);
      if (perVertexColour) glDisableClientState(GL_COLOR_ARRAY);
    }
    vertices.clear();
    colours.clear();
  }
  void ColumnPairs(std::span<const int32_t> xs, std::span<const int16_t> lows, std::span<const int16_t> highs,
                   uint32_t colour, int32_t lineWidth, int32_t z) {
    SetColour(colour);
    SetLineWidth(lineWidth);
    const std::size_t count = std::min({xs.size(), lows.size(), highs.size()});
    for (std::size_t i = 0; i < count; ++i) {
      AddVertex(xs[i], lows[i], z);
      AddVertex(xs[i], highs[i], z);
    }
    Submit(GL_LINES, false);
  }
  void Points(std::span<const int32_t> xs, std::span<const int16_t> ys, uint32_t colour, int32_t pointSize,
              int32_t z) {
    SetColour(colour);
    SetPointSize(pointSize);
    const std::size_t count = std::min(xs.size(), ys.size());
    for (std::size_t i = 0; i < count; ++i) AddVertex(xs[i], ys[i], z);
    Submit(GL_POINTS, false);
  }
  // The bars as segments with a point on each end: the way every bar can be drawn.
  void DrawBarSegments(std::span<const int32_t> xs, std::span<const int16_t> lows, std::span<const int16_t> highs,
                       uint32_t colour, int32_t lineWidth, int32_t z) {
    ColumnPairs(xs, lows, highs, colour, lineWidth, z);
    Points(xs, lows, colour, lineWidth, z);
    Points(xs, highs, colour, lineWidth, z);
  }
  // The one-pixel bars through a mask, and the few the mask cannot decide as segments. False, with
  // nothing drawn, when the transform or the depth is not one the mask reproduces.
  bool DrawBarsMasked(std::span<const int32_t> xs, std::span<const int16_t> lows, std::span<const int16_t> highs,
                      uint32_t colour, int32_t z) {
    std::array<GLfloat, 16> modelView{};
    glGetFloatv(GL_MODELVIEW_MATRIX, modelView.data());
    for (int32_t i = 0; i < 16; ++i) {
      if (modelView[static_cast<std::size_t>(i)] != (i % 5 == 0 ? 1.0f : 0.0f)) return false;
    }
    std::array<GLfloat, 16> projection{};
    glGetFloatv(GL_PROJECTION_MATRIX, projection.data());
    GLint viewport[4] = {0, 0, 0, 0};
    glGetIntegerv(GL_VIEWPORT, viewport);
    // Depths on or past the near and far planes are clipped: left to the segments.
    const float clipZ = projection[10] * static_cast<float>(z) + projection[14];
    if (!(std::fabs(clipZ) < 1.0f)) return false;
    if (!barCoverage.SetTransform(projection, viewport[0], viewport[1], viewport[2], viewport[3])) return false;
    barCoverage.Compute(xs, lows, highs, barSpans, undecidedBars);
    SetColour(colour);
    const float depthRow[4] = {projection[2], projection[6], projection[10], projection[14]};
    if (!barMask.Draw(barSpans, z, depthRow, viewport)) return false;
    if (!undecidedBars.empty()) {
      leftoverXs.clear();
      leftoverLows.clear();
      leftoverHighs.clear();
      for (const uint32_t i : undecidedBars) {
        leftoverXs.push_back(xs[i]);
        leftoverLows.push_back(lows[i]);
        leftoverHighs.push_back(highs[i]);
      }
      DrawBarSegments(leftoverXs, leftoverLows, leftoverHighs, colour, 1, z);
    }
    return true;
  }
  // Draws the same bars both ways into a corner of the framebuffer and keeps the masks only if
  // every byte agrees: once with a fractional scale (values picked where a fused and a separate
  // multiply-add land in different pixels) and once with bar ends on exact pixel edges.
  void CheckBarMasks() {
    const int32_t width = std::min(bitmap.Width(), kBarCheckWidth);
    const int32_t height = std::min(bitmap.Height(), kBarCheckHeight);
    if (width < kBarCheckMinimum || height < kBarCheckMinimum) return;  // checked on a later, larger frame
    GLint savedViewport[4] = {0, 0, 0, 0};
    glGetIntegerv(GL_VIEWPORT, savedViewport);
    glViewport(0, 0, width, height);
    // The masks stand in for one-pixel segments only, whatever the screen's pixel ratio.
    const int32_t savedRatio = pixelRatio;
    pixelRatio = 1;
    bool same = true;
    std::vector<uint8_t> segments, masked;
    for (int32_t pass = 0; pass < 2 && same; ++pass) {
      const bool onEdges = pass == 1;
      const double bottom = onEdges ? -height : -1000.0;
      const float centre = onEdges ? static_cast<float>(-height / 2) : -517.0f;
      const float scale = onEdges ? 1.0f : 0.0123f;
      std::vector<int32_t> xs;
      std::vector<int16_t> lows, highs;
      uint32_t state = 12345u + static_cast<uint32_t>(pass);
      const int32_t range = onEdges ? height : 90000;
      for (int32_t x = -2; x <= width + 2; ++x) {
        state = state * 1664525u + 1013904223u;
        const auto a = static_cast<int32_t>(state >> 8) % range - range / 2;
        state = state * 1664525u + 1013904223u;
        const auto b = a + static_cast<int32_t>(state >> 8) % (range / 8 + 1);
        xs.push_back(x);
        lows.push_back(static_cast<int16_t>(std::clamp(a, -32768, 32767)));
        highs.push_back(static_cast<int16_t>(std::clamp(b, -32768, 32767)));
      }
      for (int pathIndex = 0; pathIndex < 2 && same; ++pathIndex) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(GL_LEQUAL);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(0.0, width + 1.0, bottom, 0.0, kNearPlane, kFarPlane);
        glTranslatef(3.0f, centre, 0.0f);
        glScalef(1.0f, scale, 1.0f);
        if (!onEdges && pathIndex == 0) AddSensitiveBars(width, xs, lows, highs);
        // Something at the bars' own depth under them and over them: depths must match exactly.
        DrawBarSegments(std::span<const int32_t>(xs).first(xs.size() / 2), highs, lows, 0x0000FFu, 1, kBarCheckDepth);
        if (pathIndex == 0) {
          DrawBarSegments(xs, lows, highs, 0x00FF00u, 1, kBarCheckDepth);
        } else if (!DrawBarsMasked(xs, lows, highs, 0x00FF00u, kBarCheckDepth) || barSpans.empty()) {
          same = false;
        }
        DrawBarSegments(std::span<const int32_t>(xs).last(xs.size() / 3), highs, highs, 0xFF0000u, 1, kBarCheckDepth);
        std::vector<uint8_t>& pixels = pathIndex == 0 ? segments : masked;
        pixels.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4u, 0);
        glPixelStorei(GL_PACK_ALIGNMENT, 4);
        glReadPixels(0, 0, width, height, GL_BGRA, GL_UNSIGNED_BYTE, pixels.data());
      }
      if (same) same = segments == masked;
    }
    pixelRatio = savedRatio;
    glViewport(savedViewport[0], savedViewport[1], savedViewport[2], savedViewport[3]);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    barMasks = same ? BarMasks::kInUse : BarMasks::kOff;
  }
  // Draws test strips both ways into a corner of the framebuffer, one-pixel lines whatever the
  // screen's pixel ratio, and keeps the trace masks only if every byte agrees.
  void CheckTraceMasks() {
    const int32_t width = std::min(bitmap.Width(), kBarCheckWidth);
    const int32_t height = std::min(bitmap.Height(), kBarCheckHeight);
    if (width < kBarCheckMinimum || height < kBarCheckMinimum) return;  // checked on a later, larger frame
    GLint savedViewport[4] = {0, 0, 0, 0};
    glGetIntegerv(GL_VIEWPORT, savedViewport);
    const bool same = traceMask.Check(width, height, barMask);
    glViewport(savedViewport[0], savedViewport[1], savedViewport[2], savedViewport[3]);
    glLineWidth(lineWidth);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    traceMasks = same ? BarMasks::kInUse : BarMasks::kOff;
  }
  // Values whose window row differs when the viewport step is one fused multiply-add and when it
  // is two roundings, or when the vertex step is fused: one degenerate bar each.
  static void AddSensitiveBars(int32_t width, std::vector<int32_t>& xs, std::vector<int16_t>& lows,
                               std::vector<int16_t>& highs) {
    std::array<GLfloat, 16> projection{};
    glGetFloatv(GL_PROJECTION_MATRIX, projection.data());
    GLint viewport[4] = {0, 0, 0, 0};
    glGetIntegerv(GL_VIEWPORT, viewport);
    const float half = static_cast<float>(viewport[3]) * 0.5f;
    auto row = [](float window) { return std::floor(std::nearbyint(window * 256.0f) / 256.0f); };
    int32_t added = 0;
    for (int32_t y = -32768; y <= 32767 && added < width; ++y) {
      const float product = projection[5] * static_cast<float>(y);
      const float clip = product + projection[13];
      const float fusedClip = std::fmaf(projection[5], static_cast<float>(y), projection[13]);
      const float fused = row(std::fmaf(clip, half, half));
      const float window = clip * half;
      const float separate = row(window + half);
      const float fusedVertex = row(std::fmaf(fusedClip, half, half));
      if (fused == separate && fused == fusedVertex) continue;
      if (fused < 0.0f || fused >= static_cast<float>(viewport[3])) continue;
      xs.push_back(added++ % width);
      lows.push_back(static_cast<int16_t>(y));
      highs.push_back(static_cast<int16_t>(y));
    }
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
    return glGetError();
  }
};

GLRenderer::GLRenderer() : impl_(std::make_unique<Impl>()) {}

GLRenderer::~GLRenderer() {
  ReleaseDIBSection();
  impl_->font.reset();
  impl_->barMask.Forget();
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
  const int64_t deviceWidth = int64_t{width} * d.pixelRatio;
  const int64_t deviceHeight = int64_t{height} * d.pixelRatio;
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
    d.barMask.Forget();
    return kFailed;
  }
  if (SetPixelFormatOGL() != kOk) return kFailed;
  d.ResetDrawingState();
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
  glClearColor(0.0f, 0.0f, 0.0f, kStoredAlpha);
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
  d.font = BitmapFont::Load(file, faceIndex, kFontCellHeight * d.pixelRatio);
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
  const int32_t shownWidth = std::clamp(width * d.pixelRatio, 0, d.bitmap.Width());
  const int32_t shownHeight = std::clamp(height * d.pixelRatio, 0, d.bitmap.Height());
  if (!presenter.Present(d.bitmap, shownWidth, shownHeight, x, y)) {
    ReportError(kBlitFailed, 0);
    return kFailed;
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
  if (d.barMasks == Impl::BarMasks::kUnchecked && d.barMasksAllowed && d.FramebufferMatchesBitmap()) {
    d.CheckBarMasks();
  }
  if (d.traceMasks == Impl::BarMasks::kUnchecked && d.traceMasksAllowed && d.FramebufferMatchesBitmap()) {
    d.CheckTraceMasks();
  }
  d.barMask.StartFrame();
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_LEQUAL);
}

void GLRenderer::SetProjection(double left, double right, double bottom, double top) {
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(left, right + 1.0, bottom, top, kNearPlane, kFarPlane);
}

void GLRenderer::Translate(float x, float y, float z) { glTranslatef(x, y, z); }

void GLRenderer::Scale(float x, float y, float z) { glScalef(x, y, z); }

void GLRenderer::Flush() { glFlush(); }

void GLRenderer::ColorToFloats(uint32_t colour, float& red, float& green, float& blue) {
  red = static_cast<float>(colour & 0xFFu) / kColourScale;
  green = static_cast<float>((colour >> 8) & 0xFFu) / kColourScale;
  blue = static_cast<float>((colour >> 16) & 0xFFu) / kColourScale;
}

void GLRenderer::DrawLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour, int32_t lineWidth,
                          int32_t z, float /*alpha*/) {
  SetColour(colour);
  impl_->SetLineWidth(lineWidth);
  glBegin(GL_LINES);
  glVertex3i(x1, y1, z);
  glVertex3i(x2, y2, z);
  glEnd();
}

void GLRenderer::DrawPolyline(std::span<const int32_t> xs, std::span<const int16_t> ys, uint32_t colour,
                              int32_t lineWidth, int32_t z, float /*alpha*/) {
  Impl& d = *impl_;
  SetColour(colour);
  d.SetLineWidth(lineWidth);
  const std::size_t count = std::min(xs.size(), ys.size());
  for (std::size_t i = 0; i < count; ++i) d.AddVertex(xs[i], ys[i], z);
  d.Submit(GL_LINE_STRIP, false);
}

void GLRenderer::DrawColumnPairs(std::span<const int32_t> xs, std::span<const int16_t> lows,
                                 std::span<const int16_t> highs, uint32_t colour, int32_t lineWidth, int32_t z,
                                 float /*alpha*/) {
  impl_->ColumnPairs(xs, lows, highs, colour, lineWidth, z);
}

void GLRenderer::DrawColumnBars(std::span<const int32_t> xs, std::span<const int16_t> lows,
                                std::span<const int16_t> highs, uint32_t colour, int32_t lineWidth, int32_t z,
                                float /*alpha*/) {
  Impl& d = *impl_;
  const bool masks = d.barMasks == Impl::BarMasks::kInUse && d.barMasksAllowed && lineWidth * d.pixelRatio == 1;
  if (masks && d.DrawBarsMasked(xs, lows, highs, colour, z)) return;
  d.DrawBarSegments(xs, lows, highs, colour, lineWidth, z);
}

void GLRenderer::DrawTrace(std::span<const int32_t> xs, std::span<const int32_t> counts,
                           std::span<const int16_t> ys, uint32_t colour, int32_t lineWidth, int32_t z,
                           float /*alpha*/, TracePixels* pixels) {
  Impl& d = *impl_;
  SetColour(colour);
  d.SetLineWidth(lineWidth);
  const bool masks = d.traceMasks == Impl::BarMasks::kInUse && d.traceMasksAllowed && lineWidth * d.pixelRatio == 1;
  if (masks && (pixels != nullptr ? d.traceMask.Draw(xs, counts, ys, z, d.barMask, *pixels)
                                  : d.traceMask.Draw(xs, counts, ys, z, d.barMask))) {
    return;
  }
  d.traceMask.DrawStrip(xs, counts, ys, z);
}

void GLRenderer::AllowTraceMasks(bool allowed) { impl_->traceMasksAllowed = allowed; }

bool GLRenderer::TraceMasksInUse() const {
  return impl_->traceMasks == Impl::BarMasks::kInUse && impl_->traceMasksAllowed;
}

void GLRenderer::AllowBarMasks(bool allowed) { impl_->barMasksAllowed = allowed; }

bool GLRenderer::BarMasksInUse() const {
  return impl_->barMasks == Impl::BarMasks::kInUse && impl_->barMasksAllowed;
}

void GLRenderer::DrawColumns(std::span<const int32_t> xs, int32_t yLow, int32_t yHigh, uint32_t colour,
                             int32_t lineWidth, int32_t z, float /*alpha*/) {
  Impl& d = *impl_;
  SetColour(colour);
  d.SetLineWidth(lineWidth);
  for (const int32_t x : xs) {
    d.AddVertex(x, yLow, z);
    d.AddVertex(x, yHigh, z);
  }
  d.Submit(GL_LINES, false);
}

void GLRenderer::DrawColoredColumns(std::span<const int32_t> xs, int32_t yLow, int32_t yHigh,
                                    std::span<const uint32_t> colours, int32_t lineWidth, int32_t z, float /*alpha*/) {
  Impl& d = *impl_;
  d.SetLineWidth(lineWidth);
  const std::size_t count = std::min(xs.size(), colours.size());
  for (std::size_t i = 0; i < count; ++i) {
    d.AddVertex(xs[i], yLow, z);
    d.AddVertex(xs[i], yHigh, z);
    d.AddColour(colours[i]);
    d.AddColour(colours[i]);
  }
  d.Submit(GL_LINES, true);
}

void GLRenderer::DrawPoints(std::span<const int32_t> xs, std::span<const int16_t> ys, uint32_t colour,
                            int32_t pointSize, int32_t z, float /*alpha*/) {
  impl_->Points(xs, ys, colour, pointSize, z);
}

void GLRenderer::DrawPointArray(const int32_t* xs, const int16_t* ys, int32_t count, uint32_t colour,
                                int32_t pointSize, int32_t z, float alpha) {
  if (xs == nullptr || ys == nullptr || count <= 0) return;
  const auto size = static_cast<std::size_t>(count);
  DrawPoints(std::span<const int32_t>(xs, size), std::span<const int16_t>(ys, size), colour, pointSize, z, alpha);
}

void GLRenderer::DrawPoint(int32_t x, int16_t y, uint32_t colour, int32_t pointSize, int32_t z, float /*alpha*/) {
  SetColour(colour);
  impl_->SetPointSize(pointSize);
  glBegin(GL_POINTS);
  glVertex3i(x, y, z);
  glEnd();
}

void GLRenderer::DrawPolygon(const int32_t* xs, const int32_t* ys, int32_t count, uint32_t colour, int32_t z,
                             float /*alpha*/) {
  if (xs == nullptr || ys == nullptr || count <= 0) return;
  SetColour(colour);
  glBegin(GL_POLYGON);
  for (int32_t i = 0; i < count; ++i) glVertex3i(xs[i], ys[i], z);
  glEnd();
}

int32_t GLRenderer::DrawString(std::string_view text, int32_t x, int32_t y, int32_t z, uint32_t colour) {
  Impl& d = *impl_;
  SetColour(colour);
  glRasterPos3i(x, y, z);
  // Code 255 has no list, so glCallLists skips that byte.
  if (text.empty() || !d.BuildGlyphLists()) return kOk;
  glListBase(kFirstGlyphList);
  glCallLists(static_cast<GLsizei>(text.size()), GL_UNSIGNED_BYTE, text.data());
  return kOk;
}

// The font is rasterised at the device's pixels; the canvas lays text out in its own.
int32_t GLRenderer::GetTextWidth(std::string_view text) {
  return impl_->font ? impl_->font->TextWidth(text) / impl_->pixelRatio : 0;
}

int32_t GLRenderer::GetTextHeight(std::string_view /*text*/) {
  return impl_->font ? impl_->font->CellHeight() / impl_->pixelRatio : 0;
}

void GLRenderer::SetPixelRatio(int32_t ratio) {
  ratio = std::clamp(ratio, 1, kMaxPixelRatio);
  if (ratio == impl_->pixelRatio) return;
  impl_->pixelRatio = ratio;
  impl_->needsNewSection = true;
}

int32_t GLRenderer::PixelRatio() const { return impl_->pixelRatio; }

}  // namespace skelvane
