// Fuzzes the spike-file reader and everything that reads what it hands out: the first byte picks the
// file's extension, the rest is its content. A file the reader accepts goes through the statistics,
// the drawn subset and the figure layout with its nearest-spike lookups (no drawing: the renderer
// reads nothing of the file).
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/FuzzScratch.h"
#include "platform/Saturating.h"
#include "spikes/SpikeFigureLayout.h"
#include "spikes/SpikeFile.h"
#include "spikes/SpikeStatistics.h"
#include "spikes/SpikeSubset.h"

namespace {
const char* const kExtensions[] = {".ktt", ".kst", ".kse", ".dat", ".kcs", ".KTT", ""};
constexpr int64_t kDrawnSpikes = 64;
constexpr int32_t kFigureWidth = 640;
constexpr int32_t kFigureHeight = 480;
constexpr int32_t kProbeStep = 37;
constexpr int32_t kRadius = 4;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace skelvane;
  if (size == 0) return 0;
  const std::string path = fuzz::FuzzScratch::WriteFile(
      std::string("spikes") + kExtensions[data[0] % std::size(kExtensions)], data + 1, size - 1);
  SpikeFile file;
  if (file.Open(path) != 0) return 0;
  if (file.NumChannels() <= 0 || file.AlignmentIndex() < 0 || file.AlignmentIndex() >= SpikeFileFormat::kPoints) {
    __builtin_trap();
  }
  SpikeStatistics statistics;
  SpikeSubset subset;
  if (SpikeStatistics::Compute(file, statistics, 0, -1, SpikeStatistics::Detail::kWithWaveforms) != 0 ||
      SpikeSubset::Choose(file, kDrawnSpikes, subset) != 0) {
    __builtin_trap();  // nothing changed the file since it was opened
  }
  if (statistics.count != file.NumSpikes() || subset.Size() > kDrawnSpikes) __builtin_trap();
  const SpikeFigureLayout layout = SpikeFigureLayout::ForFigure(kFigureWidth, kFigureHeight, statistics, subset);
  for (int32_t y = 0; y < kFigureHeight; y += kProbeStep) {
    for (int32_t x = 0; x < kFigureWidth; x += kProbeStep) {
      const int64_t k = layout.NearestSpike(layout.ViewAt(x, y), x, y, subset, kRadius);
      if (k >= subset.Size()) __builtin_trap();
    }
  }
  file.FirstAtOrAfter(skelvane::SaturatingAdd(statistics.firstUs.value_or(0), 1));
  return 0;
}
