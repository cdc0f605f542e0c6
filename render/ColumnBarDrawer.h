#pragma once
// Draws zoomed-out bars for GLRenderer: a vertical segment per column with a point on each end,
// either as those segments and points or, for one-pixel lines, as a few quads masked by
// ColumnBarMask, once the self-check (MaskDrawer) has shown the masks give the very same pixels on
// this driver. Bars nothing else shows over outside a few boxes are left to the read-back
// (ReadBackColumns), once the check has shown that gives the same pixels too.

#include <cstdint>
#include <span>
#include <vector>

#include "render/ColumnBarCoverage.h"
#include "render/MaskDrawer.h"

namespace skelvane {

class PrimitiveBatch;

class ColumnBarDrawer final : public MaskDrawer {
 public:
  /// Draws the segments it has to through `batch`, and leaves bars to `readBack`.
  ColumnBarDrawer(PrimitiveBatch& batch, ReadBackColumns& readBack) : MaskDrawer(batch, readBack) {}

  /// The rows bars of `lineWidth` at depth z would be drawn in through the masks for the current
  /// transform, in `rows`; false when they would not go through the masks (then nothing but their
  /// exact values is known to give their pixels).
  bool Rows(int32_t lineWidth, int32_t z, ColumnBarCoverage& rows) const;
  /// The bars from (xs[i], lows[i]) to (xs[i], highs[i]) in `colour` at depth z, `lineWidth` canvas
  /// pixels wide.
  void Draw(std::span<const int32_t> xs, std::span<const int16_t> lows, std::span<const int16_t> highs,
            uint32_t colour, int32_t lineWidth, int32_t z);

 private:
  // The transform of the next bars in `coverage` when the masks reproduce it at depth z.
  static bool MaskedTransform(int32_t z, ColumnBarCoverage& coverage, MaskedState& state);
  // The one-pixel bars through a mask, or with `fill` left to the read-back where they may be, and the
  // few the mask cannot decide as segments. False, with nothing drawn, when the transform or the
  // depth is not one the mask reproduces.
  bool DrawMasked(std::span<const int32_t> xs, std::span<const int16_t> lows, std::span<const int16_t> highs,
                  uint32_t colour, int32_t z, bool fill);
  // Once with a fractional scale and once with bar ends on exact pixel edges.
  int32_t CheckPasses() const override { return 2; }
  bool CheckPass(int32_t pass, int32_t width, int32_t height) override;
  // Draws the check's bars one way into a cleared corner, with things in front of them and behind
  // them, and reads it back; false when the masks refused them.
  enum class Way { kSegments, kMasks, kFill };
  bool DrawCheckFrame(Way way, bool onEdges, int32_t width, int32_t height, std::vector<int32_t>& xs,
                      std::vector<int16_t>& lows, std::vector<int16_t>& highs, std::vector<uint8_t>& pixels);
  // Values whose window row differs when the viewport step is one fused multiply-add and when it is
  // two roundings, or when the vertex step is fused: one degenerate bar each.
  static void AddSensitiveBars(int32_t width, std::vector<int32_t>& xs, std::vector<int16_t>& lows,
                               std::vector<int16_t>& highs);

  ColumnBarCoverage coverage_;
  std::vector<ColumnBarCoverage::Span> spans_;
  std::vector<uint32_t> undecided_;
  std::vector<int32_t> leftoverXs_;
  std::vector<int16_t> leftoverLows_, leftoverHighs_;
};

}  // namespace skelvane
