#pragma once
// Draws zoomed-in traces for GLRenderer: one line strip through every point, either as that strip
// or, for a dense strip of one-pixel lines, as the pixels TraceCoverage works out put down through
// a ColumnBarMask as a few masked quads (the segments it leaves undecided drawn as lines), once the
// self-check (MaskDrawer) has shown the masks give the very same pixels on this driver. Pixels nothing
// else shows over outside a few boxes are left to the read-back (ReadBackColumns), once the check has
// shown that gives the same pixels too.

#include <cstdint>
#include <span>
#include <vector>

#include "render/MaskDrawer.h"
#include "render/TracePixels.h"

namespace skelvane {

class PrimitiveBatch;

class TraceDrawer final : public MaskDrawer {
 public:
  /// Draws strips and segments through `batch`, and leaves pixels to `readBack`.
  TraceDrawer(PrimitiveBatch& batch, ReadBackColumns& readBack) : MaskDrawer(batch, readBack) {}

  /// The strip through the points (run k: counts[k] points in column xs[k]; ys every point's value)
  /// in `colour` at depth z, `lineWidth` canvas pixels wide, taking its pixels from `pixels` when
  /// they were worked out for the current transform (and keeping them there otherwise).
  void Draw(std::span<const int32_t> xs, std::span<const int32_t> counts, std::span<const int16_t> ys,
            uint32_t colour, int32_t lineWidth, int32_t z, TracePixels* pixels);
  /// Tells `pixels` the transform a strip at depth z would be drawn with now, when the masks are in
  /// use and could draw it.
  void Note(int32_t z, TracePixels& pixels);

 private:
  // The strip through the masks, or with `fill` left to the read-back where it may be, and the
  // segments they leave undecided as lines. False, with nothing drawn, when the transform or the
  // depth is not one the masks reproduce.
  bool DrawMasked(std::span<const int32_t> xs, std::span<const int32_t> counts, std::span<const int16_t> ys,
                  uint32_t colour, int32_t z, TracePixels& pixels, bool fill);
  // The strip as one line strip, the rasteriser's own way, told to the read-back first.
  void DrawStrip(std::span<const int32_t> xs, std::span<const int32_t> counts, std::span<const int16_t> ys,
                 uint32_t colour, int32_t lineWidth, int32_t z);
  // The segments from point i to point i + 1 for each i in `undecided`, each a line of its own, told
  // to the read-back first.
  void DrawSegments(std::span<const int32_t> xs, std::span<const int32_t> counts, std::span<const int16_t> ys,
                    std::span<const uint32_t> undecided, uint32_t colour, int32_t z);
  int32_t CheckPasses() const override;
  bool CheckPass(int32_t pass, int32_t width, int32_t height) override;
  // Draws one pass's test strips one way into a cleared corner, with things in front of them and
  // behind them, and reads it back; false when the masks refused them.
  enum class Way { kStrip, kMasks, kFill };
  bool DrawCheckFrame(Way way, int32_t pass, int32_t width, int32_t height, std::vector<uint8_t>& pixels);

  TracePixels pixels_;  // for strips drawn without pixels of their own
  std::vector<int32_t> segmentX0s_, segmentX1s_;  // the undecided segments' ends
  std::vector<int16_t> segmentY0s_, segmentY1s_;
};

}  // namespace skelvane
