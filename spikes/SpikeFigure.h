#pragma once
// Draws a spike figure with the off-screen renderer: per channel the overlaid waveforms with their
// mean and mean +- SD, the peak scatter of channel pairs and the interval histogram, with titles,
// axes and labels on white. Positions come from SpikeFigureLayout. Used by `skelvane-cli spikes
// --plot` and, a view at a time, by the Spikes panel.

#include <array>
#include <cstdint>

#include "spikes/SpikeFigureLayout.h"

namespace skelvane {

class GLRenderer;
class MemoryBitmap;
class SpikeStatistics;
class SpikeSubset;

class SpikeFigure {
 public:
  /// Colours (0x00BBGGRR): paper, ink for frames, ticks and text, and the grid behind the data.
  static constexpr uint32_t kPaperColour = 0xFFFFFF;
  static constexpr uint32_t kInkColour = 0x000000;
  static constexpr uint32_t kGridColour = 0xE6E6E6;
  /// Each channel's colour (its mean and mean +- SD lines), repeating past the fourth channel.
  static constexpr std::array<uint32_t, 4> kChannelColours = {0xB4771F, 0x2827D6, 0x2CA02C, 0xBD6794};
  /// Scatter points, histogram bars, the 2 ms mark, and the spike the panel points at.
  static constexpr uint32_t kScatterColour = 0xA05A46;
  static constexpr uint32_t kIntervalColour = 0x787878;
  static constexpr uint32_t kShortIntervalColour = 0x0000DC;
  static constexpr uint32_t kHighlightColour = 0x008CFF;
  /// Largest figure side drawn: the frame, its depth buffer, the picture read back and its file take
  /// about 20 bytes a pixel, so the largest figure of the most waveforms stays under a gigabyte.
  static constexpr int32_t kMaxSide = 6000;

  /// The colour of `channel`'s mean and spread lines.
  static uint32_t ChannelColour(int32_t channel);
  /// The lighter colour of `channel`'s individual waveforms.
  static uint32_t TraceColour(int32_t channel);

  /// Draws the whole layout and copies the picture into `bitmap` (32-bit, bottom-up, the layout's
  /// size times the renderer's pixel ratio). `highlight` (a subset index, -1 for none) is drawn on
  /// top in every view. 0, or -1 for a bad size or a renderer failure (reported by the renderer).
  static int32_t Render(GLRenderer& renderer, const SpikeFigureLayout& layout, const SpikeStatistics& statistics,
                        const SpikeSubset& subset, MemoryBitmap& bitmap, int64_t highlight = -1);
  /// Draws the title and every view into the renderer's current frame (set up, projection from
  /// SetPixelProjection).
  static void Draw(GLRenderer& renderer, const SpikeFigureLayout& layout, const SpikeStatistics& statistics,
                   const SpikeSubset& subset, int64_t highlight = -1);
  /// Draws one view: its paper, grid, data, axes and labels, inside its frame.
  static void DrawView(GLRenderer& renderer, const SpikeFigureLayout::View& view, const SpikeStatistics& statistics,
                       const SpikeSubset& subset, int64_t highlight = -1);
  /// Maps renderer coordinates to the pixels of a `width` x `height` frame, counted from the top left.
  static void SetPixelProjection(GLRenderer& renderer, int32_t width, int32_t height);
};

}  // namespace skelvane
