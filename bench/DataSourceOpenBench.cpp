// Opening a large CSC file as a data source (type check, mapping, sparse time index) against the
// cheapest full pass over the same file: reading every record's timestamp through the mapping.
// Both run in the same process on the same warm file; the summary prints their ratio.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

#include "bench/RatioReporter.h"
#include "datafile/CscRecord.h"
#include "datafile/DataSourceManager.h"
#include "datafile/RecordFile.h"
#include "tools/CscFileWriter.h"

namespace {

constexpr int64_t kRecords = 2'000'000;
constexpr int64_t kRecordsPerWrite = 4096;
constexpr int64_t kFirstTimestamp = 1'000'000;
constexpr int64_t kRecordPeriod = 16'000;

const std::string& BenchFile() {
  static const std::string path = [] {
    std::string folder = (std::filesystem::temp_directory_path() / "skelvane-bench-XXXXXX").string();
    if (::mkdtemp(folder.data()) == nullptr) std::abort();
    const std::string file = folder + "/large.kcs";
    // Every record carries its real timestamp; the samples stay zero.
    skelvane::File out;
    if (out.Open(file, skelvane::File::Mode::CreateWrite) != 0) std::abort();
    const std::string header = skelvane::CscFileWriter::MakeHeader({{"-SamplingFrequency", "32000"}});
    out.Write(header.data(), static_cast<int64_t>(header.size()));
    std::string batch;
    for (int64_t k = 0; k < kRecords; ++k) {
      skelvane::CscRecordData record;
      record.timestamp = kFirstTimestamp + k * kRecordPeriod;
      skelvane::CscFileWriter::AppendRecord(record, batch);
      if ((k + 1) % kRecordsPerWrite == 0 || k + 1 == kRecords) {
        if (!out.Write(batch.data(), static_cast<int64_t>(batch.size()))) std::abort();
        batch.clear();
      }
    }
    out.Close();
    return file;
  }();
  return path;
}

void BM_OpenSource(benchmark::State& state) {
  const std::string& path = BenchFile();
  for (auto _ : state) {
    skelvane::DataSourceManager manager;
    if (manager.OpenSource(path) != 0) state.SkipWithError("open failed");
    benchmark::DoNotOptimize(manager.GetNumSources());
  }
}
BENCHMARK(BM_OpenSource)->Unit(benchmark::kMillisecond);

void BM_ReadEveryTimestamp(benchmark::State& state) {
  const std::string& path = BenchFile();
  for (auto _ : state) {
    skelvane::CscFile reader;
    if (reader.Open(path) != 0) state.SkipWithError("open failed");
    int64_t sum = 0;
    for (int64_t k = 0; k < static_cast<int64_t>(reader.GetNumRecords()); ++k) {
      int64_t timestamp = 0;
      reader.GetTimestamp(timestamp, k);
      sum += timestamp;
    }
    benchmark::DoNotOptimize(sum);
  }
}
BENCHMARK(BM_ReadEveryTimestamp)->Unit(benchmark::kMillisecond);


}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  skelvane::bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const auto open = reporter.times.find("BM_OpenSource");
  const auto scan = reporter.times.find("BM_ReadEveryTimestamp");
  if (open != reporter.times.end() && scan != reporter.times.end() && scan->second > 0) {
    std::printf("\nOpening a %lld-record file costs %.4f of reading every timestamp once (%.2f ms vs %.2f ms)\n",
                static_cast<long long>(kRecords), open->second / scan->second, open->second, scan->second);
  }
  std::error_code ec;
  std::filesystem::remove_all(std::filesystem::path(BenchFile()).parent_path(), ec);
  benchmark::Shutdown();
  return 0;
}
