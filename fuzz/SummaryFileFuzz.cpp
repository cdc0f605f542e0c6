// Fuzzes the reader of kept summary files: any bytes as a file in the cache, opened, and when the
// header holds, loaded (every checksum) and walked through every accessor the column walk uses. An
// input whose first byte is odd has its checksums made right before it is written, so the fuzzer
// gets past them to the sizes, the layout and the arrays behind them.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/FuzzChoices.h"
#include "fuzz/FuzzScratch.h"
#include "summary/SourceSummary.h"
#include "summary/SummaryFile.h"
#include "summary/SummaryLayout.h"

namespace {

using skelvane::SummaryFile;

constexpr int kProbes = 64;

template <typename T>
T Read(const std::vector<uint8_t>& bytes, std::size_t at) {
  T value{};
  if (at + sizeof value <= bytes.size()) std::memcpy(&value, bytes.data() + at, sizeof value);
  return value;
}
template <typename T>
void Write(std::vector<uint8_t>& bytes, std::size_t at, T value) {
  if (at + sizeof value <= bytes.size()) std::memcpy(bytes.data() + at, &value, sizeof value);
}

// Rewrites the block checksums, the table's and the header's as a writer would have.
void Reseal(std::vector<uint8_t>& bytes) {
  if (bytes.size() < static_cast<std::size_t>(SummaryFile::kHeaderBytes)) return;
  const auto records = Read<int64_t>(bytes, SummaryFile::kRecordsAt);
  if (records < 0 || records > skelvane::SummaryLayout::kMaxRecords) return;
  const int64_t imageBytes = skelvane::SummaryLayout(records).TotalBytes();
  const int64_t imageStart = SummaryFile::ImageStart(imageBytes);
  if (static_cast<int64_t>(bytes.size()) >= imageStart + imageBytes) {
    const std::vector<uint64_t> table = SummaryFile::BlockChecksums(bytes.data() + imageStart, imageBytes);
    if (!table.empty()) std::memcpy(bytes.data() + SummaryFile::kHeaderBytes, table.data(), table.size() * sizeof(uint64_t));
    Write<uint64_t>(bytes, SummaryFile::kTableChecksumAt, SummaryFile::TableChecksum(table));
  }
  Write<uint64_t>(bytes, SummaryFile::kHeaderChecksumAt, SummaryFile::HeaderChecksum(bytes.data()));
}

// Touches what the column walk reads, at places the input picks.
uint64_t Walk(const skelvane::SourceSummary& summary, skelvane::fuzz::FuzzChoices& choose) {
  using skelvane::SourceSummary;
  const int64_t records = summary.NumRecords();
  if (static_cast<int64_t>(summary.Timestamps().size()) != records) __builtin_trap();
  if (records == 0) return 0;
  // Wrapping arithmetic: the sum only keeps the reads from being optimised away, and a garbled file's
  // timestamps may be anything.
  uint64_t sum = 0;
  for (int k = 0; k < kProbes; ++k) {
    int64_t first = choose.Between(0, records - 1);
    int64_t last = choose.Between(0, records - 1);
    if (first > last) std::swap(first, last);
    sum += static_cast<uint64_t>(summary.Timestamps()[static_cast<std::size_t>(first)]);
    for (int32_t b = 0; b < SourceSummary::kBlocksPerRecord; ++b) sum += summary.BlockMin(first, b) + summary.BlockMax(last, b);
    sum += summary.RecordMin(first) + summary.RecordMax(last) + (summary.StepsUp(last) ? 1 : 0);
    const int64_t from = summary.LowestSteppingUp(first, last);
    if (from < first || from > last) __builtin_trap();
    int16_t low = 0, high = 0;
    summary.RangeExtremes(first, last, low, high);
    sum += static_cast<uint64_t>(low + high);
    for (int32_t level = 1; level <= SourceSummary::kLevels; ++level) {
      const int64_t node = SourceSummary::NodeOf(level, last);
      summary.PrefetchNode(level, node);
      sum += summary.NodeMin(level, node) + summary.NodeMax(level, node);
    }
  }
  return sum;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::vector<uint8_t> bytes(data + 1, data + size);
  if ((data[0] & 1) != 0) Reseal(bytes);
  const std::string path = skelvane::fuzz::FuzzScratch::WriteFile("kept.sum", bytes.data(), bytes.size());
  skelvane::fuzz::FuzzChoices choose(data, size);
  SummaryFile file;
  if (file.Open(path) != SummaryFile::Verdict::Usable) return 0;
  skelvane::SourceSummary summary;
  if (file.Load(summary) != SummaryFile::Verdict::Usable) return 0;
  volatile uint64_t sink = Walk(summary, choose);
  (void)sink;
  return 0;
}
