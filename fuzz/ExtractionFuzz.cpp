// Fuzzes an extraction run over channels made from a file (opened once per channel of the group, as
// copies), with parameters and a band filter drawn from the input, into a temporary folder emptied
// after each run.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "datafile/ChannelSource.h"
#include "datafile/DataSourceManager.h"
#include "extract/ExtractionParameters.h"
#include "extract/ExtractionRun.h"
#include "fuzz/FuzzChoices.h"
#include "fuzz/FuzzFilter.h"
#include "fuzz/FuzzScratch.h"

namespace {

constexpr int32_t kGroupSizes[] = {1, 2, 4};
constexpr double kThresholds[] = {0.0, 1.0, 50.0, 300.0, -300.0, 40000.0};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace skelvane;
  fuzz::FuzzChoices choose(data, size);
  const int32_t channels = kGroupSizes[choose.Between(0, 2)];
  DataSourceManager manager;
  std::vector<ChannelSource> group;
  for (int32_t c = 0; c < channels; ++c) {
    const std::string name = "chan" + std::to_string(c);
    const std::string path = fuzz::FuzzScratch::WriteFile(name + ".kcs", data, size);
    const int32_t before = manager.GetNumSources();
    if (manager.OpenSource(path) != 0 || manager.GetNumSources() == before) return 0;
    group.push_back(ChannelSource::Measured(manager, before));
  }

  ExtractionRun run(manager);
  ExtractionParameters& p = run.Parameters();
  p.NumChannels = channels;
  p.ExtractionMode = static_cast<int32_t>(choose.Between(kExtractionModeThreshold, kExtractionModeSlope));
  p.ExtractionType = static_cast<int32_t>(choose.Between(kExtractionTypePositive, kExtractionTypeBoth));
  p.Threshold = kThresholds[choose.Between(0, std::size(kThresholds) - 1)];
  p.Filter = fuzz::ChosenFilter(choose);
  p.OutputDirectory = fuzz::FuzzScratch::EmptyFolder("spikes");
  run.CreateSpikeFiles(group);
  return 0;
}
