#pragma once
// The rows a chain of vertical segments through one pixel column lights, for every point of a dense
// trace at once: each point's window row and where its end of a segment lands (moved to a pixel
// edge or not, by its diamond and the segment's direction), then each segment's rows, joined. AVX2
// with FMA where the machine has both, the narrow columns sixteen points at a time on AVX-512;
// elsewhere TraceCoverage goes segment by segment. Used by TraceCoverage.

#include <cstdint>
#include <vector>

namespace skelvane {

class VerticalChain {
 public:
  /// Object y to window y: the vertex step's product and sum rounded apart, the viewport step fused.
  struct Transform {
    float scaleY;
    float offsetY;
    float halfHeight;
    float centreY;
  };
  /// Rows first..last, all lit.
  struct RowRun {
    int32_t first;
    int32_t last;
  };

  /// True when this machine runs the vector form.
  static bool Available();
  /// True when it also runs the sixteen-lane form, which the chain then uses unless told not to.
  static bool SixteenLanesAvailable();
  /// Whether columns within 32 rows go sixteen points at a time (where the machine can) or eight:
  /// the same rows either way.
  void UseSixteenLanes(bool use);
  /// Replaces `runs` with the rows lit by the segments between consecutive points ys[0..count)
  /// (strip order) of a column whose window x lies `offCentreX` from its pixel's centre, lowest
  /// first. False when a point lies on or past the clip volume's top or bottom: the caller then
  /// goes segment by segment.
  bool Compute(const int16_t* ys, int32_t count, float offCentreX, const Transform& transform,
               std::vector<RowRun>& runs);

 private:
  bool ComputeTall(const int16_t* ys, int32_t count, float offCentreX, const Transform& transform, int32_t low,
                   int32_t high, std::vector<RowRun>& runs);

  std::vector<int32_t> low_, high_, coverage_;
  bool sixteenLanes_ = SixteenLanesAvailable();
};

}  // namespace skelvane
