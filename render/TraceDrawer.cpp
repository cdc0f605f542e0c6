#include "render/TraceDrawer.h"

#include <GL/gl.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <iterator>

#include "render/MaskCheckScope.h"
#include "render/PrimitiveBatch.h"
#include "render/WindowFootprint.h"

namespace skelvane {
namespace {

// The depth the self-check draws at and its colours.
constexpr int32_t kCheckDepth = -10;
constexpr int32_t kCheckFrontDepth = -9;
constexpr int32_t kCheckBehindDepth = -11;
constexpr uint32_t kUnder = 0xFF0000u;
constexpr uint32_t kTrace = 0x00FF00u;
constexpr uint32_t kOver = 0x0000FFu;
// Where the check's points fall within their pixels, along each axis.
enum class Placement { kFractional, kEdge, kCentre };
// Strips run right to left, as a plot's walk back in time puts its points, and once the other way.
struct Pass {
  Placement columns;
  Placement rows;
  bool rightToLeft;
};
constexpr Pass kPasses[] = {
    {Placement::kFractional, Placement::kFractional, true}, {Placement::kFractional, Placement::kEdge, true},
    {Placement::kEdge, Placement::kEdge, true},             {Placement::kCentre, Placement::kCentre, true},
    {Placement::kCentre, Placement::kEdge, true},           {Placement::kEdge, Placement::kCentre, true},
    {Placement::kFractional, Placement::kFractional, false}};
constexpr int32_t kCheckPasses = static_cast<int32_t>(std::size(kPasses));
// Window positions this close (in pixels) to a pixel's centre or edge are where the rasteriser's
// decisions turn; the check's values are picked there.
constexpr float kNearTie = 1.0f / 256.0f;

// A small deterministic generator, so every run checks the same strips.
struct Random {
  uint32_t state;
  uint32_t Next(uint32_t bound) {
    state = state * 1664525u + 1013904223u;
    return (state >> 8) % bound;
  }
};

// A test strip over columns -2..width + 2: runs of up to eight points, skipped columns, flat
// stretches, small steps and jumps, the values mostly ones whose window rows sit right at a tie.
struct TestStrip {
  std::vector<int32_t> xs, counts;
  std::vector<int16_t> ys;
};

TestStrip MakeStrip(int32_t width, uint32_t seed, const std::vector<int16_t>& nearTies, int32_t range) {
  Random random{seed};
  TestStrip strip;
  int32_t value = 0;
  for (int32_t x = -2; x <= width + 2; ++x) {
    // Now and then a stretch of lone points a few columns apart: segments along x.
    if (random.Next(9) == 0) x += static_cast<int32_t>(random.Next(12));
    const bool lone = random.Next(4) == 0;
    const auto count = lone ? 1 : static_cast<int32_t>(random.Next(9)) + (x == -2 ? 1 : 0);
    if (count == 0) continue;
    strip.xs.push_back(x);
    strip.counts.push_back(count);
    for (int32_t i = 0; i < count; ++i) {
      const uint32_t kind = random.Next(8);
      if (kind < 4 && !nearTies.empty()) {
        value = nearTies[random.Next(static_cast<uint32_t>(nearTies.size()))];
      } else if (kind < 6) {
        value = static_cast<int32_t>(random.Next(static_cast<uint32_t>(2 * range + 1))) - range;
      } else if (kind < 7) {
        value += static_cast<int32_t>(random.Next(5)) - 2;
      }  // else a flat stretch: the same value again
      strip.ys.push_back(static_cast<int16_t>(std::clamp(value, -32768, 32767)));
    }
  }
  return strip;
}

// Values whose window row lies within kNearTie of a pixel centre or edge under the current matrices.
std::vector<int16_t> NearTies(int32_t range) {
  std::array<GLfloat, 16> projection{};
  glGetFloatv(GL_PROJECTION_MATRIX, projection.data());
  GLint viewport[4] = {0, 0, 0, 0};
  glGetIntegerv(GL_VIEWPORT, viewport);
  const float half = static_cast<float>(viewport[3]) * 0.5f;
  const float centre = static_cast<float>(viewport[1]) + half;
  std::vector<int16_t> values;
  for (int32_t v = -range; v <= range; ++v) {
    const float product = projection[5] * static_cast<float>(v);
    const float window = std::fmaf(product + projection[13], half, centre);
    const float fraction = window - std::floor(window);
    if (std::fabs(fraction - 0.5f) < kNearTie || fraction < kNearTie || fraction > 1.0f - kNearTie) {
      values.push_back(static_cast<int16_t>(v));
    }
  }
  return values;
}

}  // namespace

void TraceDrawer::Draw(std::span<const int32_t> xs, std::span<const int32_t> counts, std::span<const int16_t> ys,
                       uint32_t colour, int32_t lineWidth, int32_t z, TracePixels* pixels) {
  batch_.SetLineWidth(lineWidth);
  const bool dense = TracePixels::Dense(ys.size(), std::min(xs.size(), counts.size()));
  if (InUse() && dense && lineWidth * batch_.PixelRatio() == 1) {
    if (pixels == nullptr) {
      pixels_.Invalidate();
      pixels = &pixels_;
    }
    if (DrawMasked(xs, counts, ys, colour, z, *pixels, FillInUse())) return;
  }
  DrawStrip(xs, counts, ys, colour, lineWidth, z);
}

void TraceDrawer::Note(int32_t z, TracePixels& pixels) {
  MaskedState state;
  if (!InUse() || !ReadMaskedState(z, state)) return;
  const int32_t* viewport = state.viewport;
  pixels.Note({state.projection, {viewport[0], viewport[1], viewport[2], viewport[3]}});
}

bool TraceDrawer::DrawMasked(std::span<const int32_t> xs, std::span<const int32_t> counts,
                             std::span<const int16_t> ys, uint32_t colour, int32_t z, TracePixels& pixels, bool fill) {
  MaskedState state;
  if (!ReadMaskedState(z, state)) return false;
  const int32_t* viewport = state.viewport;
  const TracePixels::Transform transform{state.projection, {viewport[0], viewport[1], viewport[2], viewport[3]}};
  if (!pixels.Use(transform, xs, counts, ys)) return false;
  if (!DrawSpans(pixels.Spans(), colour, z, state, fill)) return false;
  DrawSegments(xs, counts, ys, pixels.Undecided(), colour, z);
  return true;
}

void TraceDrawer::DrawSegments(std::span<const int32_t> xs, std::span<const int32_t> counts,
                               std::span<const int16_t> ys, std::span<const uint32_t> undecided, uint32_t colour,
                               int32_t z) {
  if (undecided.empty()) return;
  std::size_t run = 0;
  uint32_t runEnd = counts.empty() ? 0 : static_cast<uint32_t>(counts[0]);
  auto columnOf = [&](uint32_t point) {
    while (point >= runEnd && run + 1 < counts.size()) runEnd += static_cast<uint32_t>(counts[++run]);
    return xs[run];
  };
  segmentX0s_.clear();
  segmentX1s_.clear();
  segmentY0s_.clear();
  segmentY1s_.clear();
  for (const uint32_t i : undecided) {
    segmentX0s_.push_back(columnOf(i));
    segmentY0s_.push_back(ys[i]);
    segmentX1s_.push_back(columnOf(i + 1));
    segmentY1s_.push_back(ys[i + 1]);
  }
  NoteSegments(segmentX0s_, segmentY0s_, segmentX1s_, segmentY1s_, colour, 1, z);
  PrimitiveBatch::SetColour(colour);
  for (std::size_t i = 0; i < segmentX0s_.size(); ++i) {
    batch_.AddVertex(segmentX0s_[i], segmentY0s_[i], z);
    batch_.AddVertex(segmentX1s_[i], segmentY1s_[i], z);
  }
  batch_.Submit(GL_LINES, false);
}

void TraceDrawer::DrawStrip(std::span<const int32_t> xs, std::span<const int32_t> counts,
                            std::span<const int16_t> ys, uint32_t colour, int32_t lineWidth, int32_t z) {
  const std::size_t runs = std::min(xs.size(), counts.size());
  if (runs > 0 && !ys.empty()) {
    const auto [left, right] = std::minmax_element(xs.begin(), xs.begin() + static_cast<std::ptrdiff_t>(runs));
    const auto [bottom, top] = std::minmax_element(ys.begin(), ys.end());
    const WindowFootprint where = WindowFootprint::Current();
    const WindowBox box = where.Box(*left, *bottom, *right, *top, lineWidth * batch_.PixelRatio());
    readBack_.Note(std::span<const WindowBox>(&box, 1), where.Depth(z), colour);
  }
  PrimitiveBatch::SetColour(colour);
  std::size_t point = 0;
  for (std::size_t run = 0; run < runs; ++run) {
    for (int32_t i = 0; i < counts[run] && point < ys.size(); ++i, ++point) batch_.AddVertex(xs[run], ys[point], z);
  }
  batch_.Submit(GL_LINE_STRIP, false);
}

int32_t TraceDrawer::CheckPasses() const { return kCheckPasses; }

// The pixels left to the read-back are checked beside: should they differ, they are not used.
bool TraceDrawer::CheckPass(int32_t pass, int32_t width, int32_t height) {
  std::vector<uint8_t> strip, masked;
  DrawCheckFrame(Way::kStrip, pass, width, height, strip);
  if (!DrawCheckFrame(Way::kMasks, pass, width, height, masked) || strip != masked) return false;
  if (pass == 0) fillChecked_ = true;
  if (fillChecked_) {
    std::vector<uint8_t> filled;
    fillChecked_ = DrawCheckFrame(Way::kFill, pass, width, height, filled) && strip == filled;
  }
  return true;
}

// Columns and rows each at fractional positions, on exact pixel edges or on exact pixel centres;
// something at the strip's own depth under it and over it, since depths must match exactly, and
// plates in front of it drawn before and after it and one behind it drawn after.
bool TraceDrawer::DrawCheckFrame(Way way, int32_t pass, int32_t width, int32_t height, std::vector<uint8_t>& pixels) {
  MaskCheckScope::BeginFrame();
  readBack_.StartFrame();
  const Placement columns = kPasses[pass].columns;
  const Placement rows = kPasses[pass].rows;
  const bool exactRows = rows != Placement::kFractional;
  const int32_t range = exactRows ? height : 9000;
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(0.0, width + (columns == Placement::kFractional ? 1.0 : 0.0), exactRows ? -height : -1000.0, 0.0,
          nearPlane_, farPlane_);
  glTranslatef(columns == Placement::kCentre ? 2.5f : 3.0f,
               exactRows ? static_cast<float>(-height / 2) + (rows == Placement::kCentre ? 0.5f : 0.0f) : -517.0f,
               0.0f);
  glScalef(1.0f, exactRows ? 1.0f : 0.0537f, 1.0f);
  // Plates a quarter of the corner wide, placed by the corner's rows (near enough, off the edges).
  const int32_t perRow = exactRows ? 1 : 75;
  const auto plate = [&](int32_t left, int32_t row, int32_t rowCount, uint32_t colour, int32_t z) {
    const int32_t low = (row - height / 2) * perRow;
    readBack_.DrawNotedPlate(left, low, left + width / 4, low + rowCount * perRow, colour, z);
  };
  TestStrip strip = MakeStrip(width, 4242u + static_cast<uint32_t>(pass), NearTies(range), range);
  if (kPasses[pass].rightToLeft) {
    std::reverse(strip.xs.begin(), strip.xs.end());
    std::reverse(strip.counts.begin(), strip.counts.end());
    std::reverse(strip.ys.begin(), strip.ys.end());
  }
  const std::size_t runs = strip.xs.size();
  batch_.SetLineWidth(1);
  plate(width / 8, height / 3, height / 10, 0xFFFFFFu, kCheckFrontDepth);
  DrawStrip(std::span(strip.xs).first(runs / 2), strip.counts, std::span(strip.ys).last(strip.ys.size() / 2), kUnder, 1,
            kCheckDepth);
  bool drawn = true;
  if (way == Way::kStrip) {
    DrawStrip(strip.xs, strip.counts, strip.ys, kTrace, 1, kCheckDepth);
  } else {
    pixels_.Invalidate();
    drawn = DrawMasked(strip.xs, strip.counts, strip.ys, kTrace, kCheckDepth, pixels_, way == Way::kFill) &&
            !pixels_.Spans().empty();
  }
  DrawStrip(std::span(strip.xs).last(runs / 3), std::span(strip.counts).last(runs / 3), strip.ys, kOver, 1,
            kCheckDepth);
  plate(width / 2, height / 2, height / 10, 0xFF00FFu, kCheckFrontDepth);
  plate(width / 3, height / 5, height / 4, 0x404040u, kCheckBehindDepth);
  ReadCheckFrame(width, height, pixels);
  if (way == Way::kFill) {
    drawn = drawn && !readBack_.Empty();
    readBack_.Apply(reinterpret_cast<uint32_t*>(pixels.data()), width, height);
  }
  readBack_.StartFrame();
  return drawn;
}

}  // namespace skelvane
