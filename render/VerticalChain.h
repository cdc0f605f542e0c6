#pragma once
// The rows a chain of vertical segments through one pixel column lights, for every point of a dense
// trace at once: each point's window row and where its end of a segment lands (moved to a pixel
// edge or not, by its diamond and the segment's direction), then each segment's rows, joined into a
// 64-row mask. AVX2 with FMA where the machine has both; elsewhere TraceCoverage goes segment by
// segment. Used by TraceCoverage.

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
  /// The rows lit: bit i of `bits` is row low + i.
  struct Rows {
    int32_t low = 0;
    uint64_t bits = 0;
  };

  /// True when this machine runs the vector form.
  static bool Available();
  /// The rows lit by the segments between consecutive points ys[0..count) (strip order) of a column
  /// whose window x lies `offCentreX` from its pixel's centre. False when a point lies on or past
  /// the clip volume's top or bottom, or the rows span 64 or more: the caller then goes segment by
  /// segment.
  bool Compute(const int16_t* ys, int32_t count, float offCentreX, const Transform& transform, Rows& rows);

 private:
  std::vector<int16_t> padded_;
  std::vector<float> window_;
  std::vector<int32_t> up_, downStart_, downEnd_, low_, high_;
};

}  // namespace skelvane
