#pragma once
// Draws a plot's min/max bars, already worked out as pixel spans, as a few textured quads whose
// texture masks out every pixel no bar lights. The GL renderer uses it for zoomed-out traces.

#include <GL/gl.h>

#include <cstdint>
#include <span>
#include <vector>

#include "render/ColumnBarCoverage.h"
#include "render/MaskTextures.h"

namespace skelvane {

class ColumnBarMask {
 public:
  /// Mask texels: a lit pixel passes the alpha test with alpha 0, which is also what every other
  /// primitive leaves in the bitmap's unused fourth byte; the rest is discarded.
  static constexpr uint8_t kLitTexel = 0;
  static constexpr uint8_t kMaskedTexel = 255;
  static constexpr GLfloat kAlphaCut = 0.5f;

  /// Lets every texture be refilled: a new frame no longer needs the last one's masks.
  void StartFrame() { textures_.StartFrame(); }
  /// Drops the texture names of a context that is gone.
  void Forget() { textures_.Forget(); }

  /// Draws the spans in the current colour at depth z. `depthRow` holds the projection's z row
  /// (entries 2, 6, 10, 14) so each fragment gets the depth the bars themselves would get; the
  /// viewport is the one in use. False, with nothing drawn, when the spans are too wide for a texture.
  bool Draw(std::span<const ColumnBarCoverage::Span> spans, int32_t z, const float depthRow[4], const GLint viewport[4]);
  /// True when spans over `columns` x `rows` pixels fit in one mask texture.
  bool Fits(int32_t columns, int32_t rows) { return rows <= textures_.MaxSize() && columns <= textures_.MaxSize(); }
  /// Pushes a projection onto the window pixels of `viewport` whose z row is `depthRow` (the draw's
  /// own, so depths come out the same) and leaves the projection matrix current; the caller pops it.
  static void LoadWindowProjection(const float depthRow[4], const GLint viewport[4]);

 private:
  // The pixel columns and rows one draw's spans cover.
  struct Area {
    int32_t firstColumn = 0;
    int32_t lastColumn = 0;
    int32_t firstRow = 0;
    int32_t lastRow = 0;
    int32_t Columns() const { return lastColumn - firstColumn + 1; }
    int32_t Rows() const { return lastRow - firstRow + 1; }
  };
  // Fills the mask (transposed, so each bar is one run of bytes) and each column's run.
  void FillMask(std::span<const ColumnBarCoverage::Span> spans, const Area& area);
  // Groups the columns into strips with the rows they light and their solid middles.
  void PlanStrips(const Area& area);
  // The strips' ragged rows through the mask texture.
  void DrawThroughMask(const MaskTextures::Texture& texture, const Area& area, int32_t z) const;
  // The solid middles of each stretch of one-run columns, in plain colour.
  void DrawCores(const Area& area, int32_t z) const;

  MaskTextures textures_;
  std::vector<uint8_t> mask_;      // one texel per pixel, a texture row per pixel column
  // A pixel column's lit rows while they form one run.
  struct Run {
    enum class State : uint8_t { kEmpty, kOneRun, kBroken };
    State state = State::kEmpty;
    int32_t low = 0;
    int32_t high = 0;
  };
  // Columns left..right - 1: rows low..high hold every lit pixel; rows coreLow..coreHigh are lit in
  // every column that is one run.
  struct Strip {
    int32_t left, right, low, high, coreLow, coreHigh;
  };
  std::vector<Run> columns_;
  std::vector<Strip> strips_;
};

}  // namespace skelvane
