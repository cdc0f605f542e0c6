// Opening a large CSC file as a data source (type check, plausibility check, first and last
// timestamps) against the cheapest full pass over the same file: reading it whole in 1 MiB blocks,
// as cat does. Both run in the same process on the same warm file; the summary prints their ratio.
// The file (2,000,000 records, about 2 GB) is made once in data/open/ at the top of the checkout (or in
// open/ inside the folder SKELVANE_BENCH_DATA names) and kept for later runs: a folder of its own, so
// the benches that draw every recording in SKELVANE_BENCH_DATA do not take it for one of theirs.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/RatioReporter.h"
#include "datafile/CscRecord.h"
#include "datafile/DataSourceManager.h"
#include "datafile/FileHeader.h"
#include "tools/CscFileWriter.h"

namespace {

constexpr int64_t kRecords = 2'000'000;
constexpr int64_t kRecordsPerWrite = 8192;
constexpr int64_t kFirstTimestamp = 1'000'000;
constexpr int64_t kRecordPeriod = 16'000;
constexpr std::size_t kReadBlock = 1 << 20;
constexpr const char* kDataFolder = SKELVANE_DATA_FOLDER;

// Header and records written in large blocks; another run (or another program) reuses the file.
const std::string& BenchFile() {
  static const std::string path = [] {
    const char* folder = std::getenv("SKELVANE_BENCH_DATA");
    const std::string file = std::string(folder != nullptr ? folder : kDataFolder) + "/open/open-2000000.kcs";
    const auto expected = static_cast<std::uintmax_t>(skelvane::kFileHeaderSize + kRecords * skelvane::kCscRecordSize);
    std::error_code ec;
    if (std::filesystem::file_size(file, ec) == expected) return file;
    std::filesystem::create_directories(std::filesystem::path(file).parent_path(), ec);

    const std::string partial = file + ".part" + std::to_string(::getpid());
    skelvane::File out;
    if (out.Open(partial, skelvane::File::Mode::CreateWrite) != 0) std::abort();
    const std::string header = skelvane::CscFileWriter::MakeHeader({{"-SamplingFrequency", "32000"}});
    if (!out.Write(header.data(), static_cast<int64_t>(header.size()))) std::abort();
    std::string batch;
    batch.reserve(kRecordsPerWrite * skelvane::kCscRecordSize);
    skelvane::CscRecordData record;
    for (int64_t k = 0; k < kRecords; ++k) {
      record.timestamp = kFirstTimestamp + k * kRecordPeriod;
      record.samples[0] = static_cast<int16_t>(k);
      skelvane::CscFileWriter::AppendRecord(record, batch);
      if ((k + 1) % kRecordsPerWrite == 0 || k + 1 == kRecords) {
        if (!out.Write(batch.data(), static_cast<int64_t>(batch.size()))) std::abort();
        batch.clear();
      }
    }
    if (out.Close() != 0) std::abort();
    std::filesystem::rename(partial, file);
    return file;
  }();
  return path;
}

// The baseline: every byte of the file read once into a scratch block.
void BM_ReadWholeFile(benchmark::State& state) {
  const std::string& path = BenchFile();
  std::vector<char> block(kReadBlock);
  for (auto _ : state) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) state.SkipWithError("open failed");
    int64_t total = 0;
    for (ssize_t n; (n = ::read(fd, block.data(), block.size())) > 0;) total += n;
    ::close(fd);
    benchmark::DoNotOptimize(total);
  }
}
BENCHMARK(BM_ReadWholeFile)->Unit(benchmark::kMillisecond);

void BM_OpenSource(benchmark::State& state) {
  const std::string& path = BenchFile();
  for (auto _ : state) {
    skelvane::DataSourceManager manager;
    if (manager.OpenSource(path) != 0) state.SkipWithError("open failed");
    benchmark::DoNotOptimize(manager.GetNumSources());
  }
}
BENCHMARK(BM_OpenSource)->Unit(benchmark::kMillisecond);

// What a plot does once the source is open: find the record for a time, here the middle of the file.
void BM_OpenSourceAndFindOneTime(benchmark::State& state) {
  const std::string& path = BenchFile();
  for (auto _ : state) {
    skelvane::DataSourceManager manager;
    if (manager.OpenSource(path) != 0) state.SkipWithError("open failed");
    const uint8_t* record = nullptr;
    manager.FindRecordForTime(kFirstTimestamp + kRecords / 2 * kRecordPeriod + 1, 0, record);
    benchmark::DoNotOptimize(record);
  }
}
BENCHMARK(BM_OpenSourceAndFindOneTime)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  skelvane::bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const auto read = reporter.times.find("BM_ReadWholeFile");
  if (read != reporter.times.end() && read->second > 0) {
    for (const char* name : {"BM_OpenSource", "BM_OpenSourceAndFindOneTime"}) {
      const auto it = reporter.times.find(name);
      if (it == reporter.times.end()) continue;
      std::printf("\n%s on a %lld-record file costs %.5f of reading the file once (%.3f ms vs %.2f ms)", name,
                  static_cast<long long>(kRecords), it->second / read->second, it->second, read->second);
    }
    std::printf("\n");
  }
  benchmark::Shutdown();
  return 0;
}
