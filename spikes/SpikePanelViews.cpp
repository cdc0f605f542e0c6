#include "spikes/SpikePanelViews.h"

#include <algorithm>

#include "platform/MemoryBitmap.h"
#include "platform/StatusCodes.h"
#include "render/GLRenderer.h"
#include "spikes/SpikeFigure.h"
#include "spikes/SpikeFile.h"

namespace skelvane {
namespace {

using ViewKind = SpikeFigureLayout::ViewKind;

// Rows: the waveforms and the intervals, and the scatter for two channels or more.
int32_t RowCount(int32_t channels) { return channels >= 2 ? 3 : 2; }

}  // namespace

int32_t SpikePanelViews::SmallestHeight(int32_t channels) { return RowCount(channels) * kSmallestRow; }

int32_t SpikePanelViews::Load(const SpikeFile& file, int64_t first, int64_t end) {
  channels_ = SpikeFigureLayout::ChannelsOf(file.Header());
  if (const int32_t rc = SpikeStatistics::Compute(file, statistics_, first, end,
                                                  SpikeStatistics::Detail::kWithWaveforms);
      rc != kStatusOk) {
    return rc;
  }
  return SpikeSubset::Choose(file, kDrawnSpikes, subset_, first, end);
}

std::vector<std::pair<int32_t, int32_t>> SpikePanelViews::Pairs() const {
  return statistics_.channels >= 2 ? SpikeFigureLayout::ChannelPairs(statistics_.channels)
                                   : std::vector<std::pair<int32_t, int32_t>>{};
}

std::vector<std::pair<SpikeFigureLayout, int32_t>> SpikePanelViews::Rows(int32_t width, int32_t height,
                                                                          const Choice& choice) const {
  std::vector<std::pair<SpikeFigureLayout, int32_t>> rows;
  const std::vector<std::pair<int32_t, int32_t>> pairs = Pairs();
  const int32_t rowHeight = height / RowCount(pairs.empty() ? 1 : 2);
  if (width < kSmallestRow || rowHeight < kSmallestRow) return rows;
  const int32_t channel = std::clamp(choice.channel, 0, std::max(statistics_.channels - 1, 0));
  int32_t top = 0;
  const auto add = [&](ViewKind kind, int32_t first, int32_t second) {
    rows.emplace_back(
        SpikeFigureLayout::ForView(width, rowHeight, kind, first, second, statistics_, subset_, channels_), top);
    top += rowHeight;
  };
  add(ViewKind::kWaveforms, channel, -1);
  if (!pairs.empty()) {
    const auto& [x, y] = pairs[static_cast<std::size_t>(std::clamp<int32_t>(choice.pair, 0, pairs.size() - 1))];
    add(ViewKind::kScatter, x, y);
  }
  add(ViewKind::kIntervals, -1, -1);
  return rows;
}

std::vector<SpikeFigureLayout::View> SpikePanelViews::Views(int32_t width, int32_t height, const Choice& choice) const {
  std::vector<SpikeFigureLayout::View> views;
  for (const auto& [layout, top] : Rows(width, height, choice)) {
    SpikeFigureLayout::View view = layout.Views().front();
    view.frame.top += top;
    view.plot.top += top;
    views.push_back(view);
  }
  return views;
}

int32_t SpikePanelViews::Render(GLRenderer& renderer, int32_t width, int32_t height, const Choice& choice,
                                int64_t highlight, MemoryBitmap& bitmap) const {
  const std::vector<SpikeFigureLayout::View> views = Views(width, height, choice);
  if (views.empty() || width > SpikeFigure::kMaxSide || height > SpikeFigure::kMaxSide) return kStatusFailed;
  const int32_t ratio = renderer.PixelRatio();
  if (renderer.Bitmap().Width() != width * ratio || renderer.Bitmap().Height() != height * ratio) {
    renderer.RequestNewDIBSection();
  }
  if (renderer.CreateDIBSectionOGL(width, height) != 0 || renderer.SetupRenderer() != 0) return kStatusFailed;
  renderer.ClearScene();
  SpikeFigure::SetPixelProjection(renderer, width, height);
  for (const SpikeFigureLayout::View& view : views) SpikeFigure::DrawView(renderer, view, statistics_, subset_, highlight);
  renderer.Flush();
  if (renderer.ReadBack() != 0) return kStatusFailed;
  bitmap = renderer.Bitmap();
  return kStatusOk;
}

int64_t SpikePanelViews::SpikeAt(int32_t width, int32_t height, const Choice& choice, int32_t x, int32_t y) const {
  for (const auto& [layout, top] : Rows(width, height, choice)) {
    if (layout.ViewAt(x, y - top) == 0) return layout.NearestSpike(0, x, y - top, subset_, kPointingRadius);
  }
  return -1;
}

}  // namespace skelvane
