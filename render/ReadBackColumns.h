#pragma once
// The frame's columns left to the read-back (ColumnFill) and what keeps them right: the canvas's
// markers (ColumnLineDrawer) and zoomed-out bars (ColumnBarDrawer) hand their one-pixel columns over
// here, GLRenderer tells it where every other primitive goes (Note), and wherever a primitive drawn
// later shows over a waiting set, or one drawn earlier lies in front of it, that part of the set goes
// through the rasteriser first, at its own depth and in its own colour, and is left out of what is
// written into the frame.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "render/ColumnFill.h"
#include "render/MaskedState.h"

namespace skelvane {

class ReadBackColumns {
 public:
  /// Draws parts of the sets a drawer left here through the rasteriser.
  class PartDrawer {
   public:
    /// The pixels of set `set` of `fill` within `parts` (window boxes), in the current colour at
    /// depth z, for the GL state `state`.
    virtual void DrawParts(const ColumnFill& fill, std::size_t set, std::span<const WindowBox> parts, int32_t z,
                           const MaskedState& state) = 0;

   protected:
    ~PartDrawer() = default;
  };

  /// Forgets every set and primitive: a new frame.
  void StartFrame();
  /// A primitive is about to be drawn within `boxes` at clip depth `depth` (smaller is in front): the
  /// waiting sets' parts it would cover are drawn first, as they would have been. `sameAs`, when
  /// given, is the opaque colour of every pixel the primitive lights: sets of that colour at its depth
  /// come out the same whichever is drawn last.
  void Note(std::span<const WindowBox> boxes, float depth, std::optional<uint32_t> sameAs = std::nullopt) {
    for (const WindowBox& box : boxes) Remember(box, depth);
    DrawUnder(boxes, depth, sameAs);
  }
  /// Note's halves: a primitive within `box` at `depth` for the sets left later, and the parts of
  /// those waiting now that a primitive within `boxes` covers, drawn first.
  void Remember(const WindowBox& box, float depth) { earlier_.push_back({box, depth}); }
  void DrawUnder(std::span<const WindowBox> boxes, float depth, std::optional<uint32_t> sameAs);
  /// True when a primitive at `depth` drawn next (opaque in `sameAs`, when given) would have parts of
  /// a waiting set drawn under it.
  bool WouldCover(float depth, std::optional<uint32_t> sameAs) const;

  /// Leaves columns (ascending, each once) over rows [firstRow, endRow), or runs of rows, in `colour`
  /// at depth z under the GL state `state`, to the read-back; `drawer` draws the parts that must go
  /// through the rasteriser, now and later in the frame. Runs must lie within the scissor box in use;
  /// columns are left only without one. False, with nothing left, when a waiting set in front of them
  /// shares pixels with them, or the depth is not one the state decides.
  bool Leave(std::span<const int32_t> columns, int32_t firstRow, int32_t endRow, uint32_t colour, int32_t z,
             const MaskedState& state, PartDrawer& drawer);
  bool Leave(std::span<const ColumnRun> runs, uint32_t colour, int32_t z, const MaskedState& state,
             PartDrawer& drawer);

  /// Draws an opaque rectangle from canvas (left, low) to (right, high) at depth z, noted first as the
  /// renderer notes its primitives: what the drawers' self-checks draw around their columns.
  void DrawNotedPlate(int32_t left, int32_t low, int32_t right, int32_t high, uint32_t colour, int32_t z);

  /// Writes the columns left to the read-back into the frame read back, `width` x `height` pixels.
  void Apply(uint32_t* pixels, int32_t width, int32_t height) const { fill_.Apply(pixels, width, height); }
  bool Empty() const { return fill_.Empty(); }

  /// The pixel a colour (0x00BBGGRR) reads back as: bytes blue, green, red, and the stored alpha, 0.
  static uint32_t ReadBackPixel(uint32_t colour) {
    return ((colour >> 16) & 0xFFu) | (colour & 0xFF00u) | ((colour & 0xFFu) << 16);
  }

 private:
  struct Waiting {
    std::size_t set;
    float depth;
    uint32_t colour;
    int32_t z;
    MaskedState state;
    WindowBox area;  // the columns' and rows' bounds
    PartDrawer* drawer;
  };
  struct Footprint {
    WindowBox box;
    float depth;
  };

  // The clip depth of z under `state`, when its transform decides one.
  static std::optional<float> DepthOf(int32_t z, const MaskedState& state);
  // Whether a set at `depth` over `area` may wait: no waiting set in front of it shares pixels with it.
  bool MayWait(float depth, const WindowBox& area) const;
  // Takes the set just added to the fill into the waiting ones: its parts under the boxes of earlier
  // primitives in front of it are drawn now.
  void Wait(Waiting waiting);
  // Whether `area` meets the area of a set in related_.
  bool SharesWithRelated(const WindowBox& area) const;
  // The parts of the sets in related_ (latest first) within `boxes`, widened to whole bands, drawn
  // earliest first.
  void DrawRelated(std::span<const WindowBox> boxes);
  // How many of the waiting sets, from the first, a primitive at `depth` (opaque in `sameAs`, when
  // given) must not be drawn under before their parts are: those in front of it aside.
  std::size_t Covered(float depth, std::optional<uint32_t> sameAs) const;
  // The parts of a waiting set within `boxes`, through the rasteriser at its own depth and colour, and
  // left out of what is written into the read-back.
  void DrawParts(const Waiting& waiting, std::span<const WindowBox> boxes);
  // Takes the part of a waiting set within `box` (a band's piece not drawn yet) when it holds any of
  // its pixels.
  void AddPart(const Waiting& waiting, const WindowBox& box);

  ColumnFill fill_;                   // this frame's columns left to the read-back
  std::vector<Waiting> waiting_;      // and what drawing parts of them takes
  std::vector<Footprint> earlier_;    // the frame's primitives so far
  std::vector<std::size_t> related_;  // scratch: waiting sets to draw parts of, latest first
  std::vector<WindowBox> boxes_;      // scratch
  std::vector<WindowBox> parts_;      // scratch
  std::vector<std::pair<int32_t, int32_t>> pieces_;  // scratch
};

}  // namespace skelvane
