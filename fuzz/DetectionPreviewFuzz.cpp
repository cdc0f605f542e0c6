// Fuzzes the detection preview's worker over channels made from a file (copies, one per channel of
// the group), their timestamps now and then rewritten to the absurd (a last record far in the future,
// the least time, reversed or random), with parameters, band filter and view drawn from the input:
// the whole span and a step to the next spike must finish, whatever the records hold.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "datafile/ChannelSource.h"
#include "datafile/CscRecord.h"
#include "datafile/DataSourceManager.h"
#include "extract/DetectionPreviewWorker.h"
#include "extract/ExtractionParameters.h"
#include "extract/ExtractionRun.h"
#include "filter/FilterChoice.h"
#include "fuzz/FuzzChoices.h"
#include "fuzz/FuzzFilter.h"
#include "fuzz/FuzzScratch.h"
#include "platform/Saturating.h"

namespace {

constexpr int32_t kGroupSizes[] = {1, 2, 4};
constexpr double kThresholds[] = {0.0, 1.0, 50.0, 300.0, -300.0};
// Where the records start in a file with the usual header.
constexpr std::size_t kHeaderBytes = 16384;

// The input with its records' timestamps rewritten as `choose` picks (or left as they are).
std::vector<uint8_t> Restamped(const uint8_t* data, std::size_t size, skelvane::fuzz::FuzzChoices& choose) {
  std::vector<uint8_t> bytes(data, data + size);
  if (size <= kHeaderBytes) return bytes;
  const std::size_t records = (size - kHeaderBytes) / skelvane::kCscRecordSize;
  const int64_t how = choose.Between(0, 5);
  for (std::size_t r = 0; r < records; ++r) {
    uint8_t* at = bytes.data() + kHeaderBytes + r * skelvane::kCscRecordSize;
    int64_t t = 0;
    std::memcpy(&t, at, sizeof t);
    switch (how) {
      case 1:
        if (r + 1 == records) t |= int64_t{1} << choose.Between(40, 62);
        break;
      case 2:
        t = INT64_MIN;
        break;
      case 3:
        t = static_cast<int64_t>(records - r) * 16'000;
        break;
      case 4:
        t = choose.Any();
        break;
      default:
        break;
    }
    std::memcpy(at, &t, sizeof t);
  }
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace skelvane;
  fuzz::FuzzChoices choose(data, size);
  const int32_t channels = kGroupSizes[choose.Between(0, 2)];
  DataSourceManager manager;
  std::vector<ChannelSource> group;
  for (int32_t c = 0; c < channels; ++c) {
    const std::vector<uint8_t> bytes = Restamped(data, size, choose);
    const std::string path = fuzz::FuzzScratch::WriteFile("chan" + std::to_string(c) + ".kcs", bytes.data(), bytes.size());
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

  // The view: the whole recording as its records' times reach, or any span at all.
  int64_t first = INT64_MAX;
  int64_t last = INT64_MIN;
  for (int64_t r = 0; r < manager.GetNumRecords(0); ++r) {
    const uint8_t* record = nullptr;
    if (manager.GetRecord(r, 0, record) != 0 || record == nullptr) break;
    first = std::min(first, CscRecord(record).Timestamp());
    last = std::max(last, CscRecord(record).Timestamp());
  }
  int64_t from = first;
  int64_t to = SaturatingAdd(last, 1);
  if (first > last || choose.Between(0, 3) == 0) {
    from = choose.Any();
    to = SaturatingAdd(from, choose.Between(1, INT64_MAX));
  }
  DetectionPreviewWorker worker;
  worker.Configure(p, DetectionPreviewWorker::Locate(manager, run.GroupsToWrite(group)));
  worker.Show(from, to);
  worker.Wait();
  // A step to the next (or the previous) spike, then another span: the worker takes the step first,
  // so once the span is complete the step has been answered too.
  const bool forward = choose.Between(0, 1) == 1;
  worker.Seek(forward ? from : to, forward, forward ? to : from, [](std::optional<int64_t>) {});
  worker.Show(SaturatingAdd(from, 1), to);
  worker.Wait();
  return 0;
}
