// Fuzzes the summary cache's lookup and keeping against a hostile cache folder. The input lays out
// what lies there for one small recording: at its summary's name the input's bytes, or the
// recording's true summary with bytes of the input written over it (checksums made right again or
// not), or a folder, a link or a pipe; a note beside it; temporary-looking names of live and gone
// processes; modes that let others write; a cap that may be no size. Then the cache looks for the
// summary, the walk reads what was found, and a summary built afresh is kept (evicting down to the cap).
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "datafile/CscRecord.h"
#include "datafile/IDataSourceManager.h"
#include "datafile/RecordReader.h"
#include "fuzz/FuzzChoices.h"
#include "fuzz/FuzzScratch.h"
#include "summary/SourceSummary.h"
#include "summary/SummaryCache.h"
#include "summary/SummaryFile.h"
#include "summary/SummaryKey.h"
#include "summary/SummaryLayout.h"
#include "tools/SyntheticRecording.h"

namespace {

using skelvane::SummaryCache;
using skelvane::SummaryFile;
namespace fs = std::filesystem;

constexpr int64_t kHeaderBytes = 16'384;

// The recording every input is about: a few hundred records, made once.
const skelvane::RecordLayout& Recording() {
  static const skelvane::RecordLayout layout = [] {
    skelvane::SynthOptions options;
    options.outDir = skelvane::fuzz::FuzzScratch::Folder() + "/recording";
    options.channels = 1;
    options.seconds = 6.0;
    options.seed = 7;
    skelvane::SynthResult result;
    if (skelvane::SyntheticRecording::Generate(options, result) != 0) std::abort();
    skelvane::RecordLayout made;
    made.path = result.paths.front();
    made.dataOffset = kHeaderBytes;
    made.recordSize = skelvane::kCscRecordSize;
    made.numRecords = (static_cast<int64_t>(fs::file_size(made.path)) - kHeaderBytes) / skelvane::kCscRecordSize;
    return made;
  }();
  return layout;
}

skelvane::SourceSummary Built() {
  skelvane::SourceSummary summary;
  std::atomic<bool> cancel{false};
  std::atomic<int64_t> done{0};
  if (skelvane::SourceSummary::Build(Recording(), cancel, done, summary) != 0) std::abort();
  return summary;
}

void WriteBytes(const std::string& path, const uint8_t* data, std::size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

// The recording's true summary kept at `path`, then `size` bytes of the input written over it at a
// place the input picks, the checksums made right again when the input says.
void PlantSummary(const std::string& folder, const std::string& name, const skelvane::SummaryKey& key,
                  const uint8_t* data, std::size_t size, skelvane::fuzz::FuzzChoices& choose) {
  skelvane::SourceSummary summary = Built();
  skelvane::SourceSummary mapped;
  if (SummaryFile::Write(folder, name, key, summary, mapped) != 0) return;
  mapped = skelvane::SourceSummary();
  const std::string path = folder + "/" + name;
  std::vector<uint8_t> bytes(static_cast<std::size_t>(fs::file_size(path)));
  std::ifstream(path, std::ios::binary).read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  const auto at = static_cast<std::size_t>(choose.Between(0, static_cast<int64_t>(bytes.size()) - 1));
  for (std::size_t i = 0; i < size && at + i < bytes.size(); ++i) bytes[at + i] = data[i];
  if (choose.Between(0, 1) == 1 && bytes.size() >= static_cast<std::size_t>(SummaryFile::kHeaderBytes)) {
    int64_t records = 0;
    std::memcpy(&records, bytes.data() + SummaryFile::kRecordsAt, sizeof records);
    if (records >= 0 && records <= skelvane::SummaryLayout::kMaxRecords) {
      const int64_t imageBytes = skelvane::SummaryLayout(records).TotalBytes();
      const int64_t start = SummaryFile::ImageStart(imageBytes);
      if (static_cast<int64_t>(bytes.size()) >= start + imageBytes) {
        const std::vector<uint64_t> table = SummaryFile::BlockChecksums(bytes.data() + start, imageBytes);
        if (static_cast<int64_t>(bytes.size()) >= SummaryFile::kHeaderBytes + static_cast<int64_t>(table.size() * 8)) {
          std::memcpy(bytes.data() + SummaryFile::kHeaderBytes, table.data(), table.size() * sizeof(uint64_t));
        }
        const uint64_t tableChecksum = SummaryFile::TableChecksum(table);
        std::memcpy(bytes.data() + SummaryFile::kTableChecksumAt, &tableChecksum, sizeof tableChecksum);
      }
    }
    const uint64_t headerChecksum = SummaryFile::HeaderChecksum(bytes.data());
    std::memcpy(bytes.data() + SummaryFile::kHeaderChecksumAt, &headerChecksum, sizeof headerChecksum);
  }
  WriteBytes(path, bytes.data(), bytes.size());
}

// Reads what the walk reads, everywhere.
uint64_t Walk(const skelvane::SourceSummary& summary) {
  using skelvane::SourceSummary;
  uint64_t sum = 0;
  for (int64_t r = 0; r < summary.NumRecords(); r += 7) {
    sum += static_cast<uint64_t>(summary.Timestamps()[static_cast<std::size_t>(r)]);
    for (int32_t b = 0; b < SourceSummary::kBlocksPerRecord; ++b) {
      SourceSummary::SubBlockRange ranges[SourceSummary::kSubBlocksPerBlock];
      summary.SubBlocks(r, b, ranges);
      sum += static_cast<uint64_t>(ranges[0].minLow + ranges[SourceSummary::kSubBlocksPerBlock - 1].maxHigh);
    }
    sum += summary.StepsUp(r) ? 1 : 0;
    int16_t low = 0;
    int16_t high = 0;
    summary.RangeExtremes(0, r, low, high);
    sum += static_cast<uint64_t>(low + high);
    sum += static_cast<uint64_t>(summary.TimeIndex().Find(summary.Timestamps()[static_cast<std::size_t>(r)]));
  }
  return sum;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  skelvane::fuzz::FuzzChoices choose(data, size);
  const skelvane::RecordLayout& layout = Recording();
  const std::string home = skelvane::fuzz::FuzzScratch::EmptyFolder("cache-home");
  ::setenv("XDG_CACHE_HOME", home.c_str(), 1);
  const std::string folder = SummaryCache::Folder();
  fs::create_directories(folder);
  skelvane::RecordReader reader;
  skelvane::SummaryKey key;
  if (reader.Open(layout) != 0 || skelvane::SummaryKey::Of(layout, reader, key) != 0) std::abort();
  const std::string name = SummaryCache::FileNameFor(key.device, key.inode);
  const std::string kept = folder + "/" + name;

  switch (choose.Between(0, 5)) {
    case 0: WriteBytes(kept, data, size); break;
    case 1: PlantSummary(folder, name, key, data, size, choose); break;
    case 2: fs::create_directory(kept); break;
    case 3: fs::create_symlink(layout.path, kept); break;
    case 4: ::mkfifo(kept.c_str(), 0600); break;
    default: break;
  }
  if (choose.Between(0, 2) == 0) WriteBytes(kept + SummaryFile::kCheckedSuffix, data, std::min<std::size_t>(size, 200));
  for (int64_t t = choose.Between(0, 3); t > 0; --t) {
    const int64_t owner = choose.Between(0, 2) == 0 ? ::getpid() : choose.Between(1, 1 << 22);
    const std::string temporary = folder + "/." + name + "." + std::to_string(owner) + ".0123456789abcdef.tmp";
    WriteBytes(temporary, data, std::min<std::size_t>(size, 64));
  }
  const mode_t fileModes[] = {0600, 0644, 0664, 0666};
  if (fs::is_regular_file(fs::symlink_status(kept))) ::chmod(kept.c_str(), fileModes[choose.Between(0, 3)]);
  const mode_t folderModes[] = {0700, 0700, 0770, 0777, 0755};
  ::chmod(folder.c_str(), folderModes[choose.Between(0, 4)]);
  const char* caps[] = {"", "1", "64K", "garbage", "-5", "1.5G"};
  const char* cap = caps[choose.Between(0, 5)];
  ::setenv(SummaryCache::kCapVariable, cap, 1);

  SummaryCache& cache = SummaryCache::Instance();
  skelvane::SourceSummary found;
  const SummaryCache::Found result = cache.Find(key, reader, found);
  volatile uint64_t sink = 0;
  if (result == SummaryCache::Found::Kept || result == SummaryCache::Found::Grown) sink = Walk(found);
  found = skelvane::SourceSummary();
  skelvane::SourceSummary built = Built();
  if (result != SummaryCache::Found::Blocked) cache.Keep(key, built);
  sink = sink + Walk(built);
  (void)sink;
  ::chmod(folder.c_str(), 0700);
  ::unsetenv(SummaryCache::kCapVariable);
  return 0;
}
