// `skelvane-cli spikes` on a tetrode spike file of a million spikes: opening it and computing its
// statistics, against the cheapest pass over the same bytes, reading the file in 1 MiB blocks as
// `cat` does (target: at most 2). Also the figure of that file (statistics, 1000 spikes chosen and
// read, layout, drawing) against the same pass, as a hint of the Spikes panel's first picture.
// The file is synthesised here, records written directly after the extraction's own header.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/RatioReporter.h"
#include "extract/ExtractionParameters.h"
#include "extract/SpikeExtractor.h"
#include "platform/MemoryBitmap.h"
#include "render/GLRenderer.h"
#include "spikes/SpikeFigure.h"
#include "spikes/SpikeFigureLayout.h"
#include "spikes/SpikeFile.h"
#include "spikes/SpikeStatistics.h"
#include "spikes/SpikeSubset.h"

namespace {

constexpr int64_t kSpikes = 1'000'000;
constexpr int32_t kChannels = 4;
constexpr int32_t kPoints = 32;
constexpr int32_t kAlignmentPt = 8;
constexpr int32_t kThreshold = 90;
constexpr std::size_t kReadBlock = 1 << 20;
constexpr std::size_t kRecordsPerWrite = 4096;

struct BenchFile {
  std::string folder;
  std::string path;
};

// Header from the extraction's writer, then a million records of three peaked shapes with noise at
// intervals of 0.5 to 60 ms.
void WriteSpikeFile(const std::string& path) {
  skelvane::SpikeExtractor writer;
  std::vector<skelvane::SourceHeaderInfo> sources(kChannels);
  for (int32_t c = 0; c < kChannels; ++c) {
    sources[static_cast<std::size_t>(c)].ThreshVal = kThreshold;
    sources[static_cast<std::size_t>(c)].FileName = "TT1" + std::string(1, static_cast<char>('a' + c)) + ".kcs";
  }
  if (writer.SetExtractionParameters(skelvane::kExtractionTypeBoth, skelvane::kExtractionModeThreshold, kThreshold,
                                     kPoints, kAlignmentPt, kChannels) != 0 ||
      writer.OpenSpikeFile(path) != 0) {
    std::abort();
  }
  writer.SetHeaderValues("32000.", 32767);
  if (writer.WriteSpikeFileHeader(path, sources) != 0 || writer.CloseSpikeFile() != 0) std::abort();

  std::ofstream out(path, std::ios::binary | std::ios::app);
  const int32_t recordSize = writer.GetRecordSize();
  std::vector<char> batch(kRecordsPerWrite * static_cast<std::size_t>(recordSize), 0);
  uint64_t state = 1;
  auto next = [&state] { return state = state * 6364136223846793005ull + 1442695040888963407ull; };
  uint64_t time = 1'000'000;
  for (int64_t written = 0; written < kSpikes;) {
    const auto count = static_cast<std::size_t>(std::min<int64_t>(kRecordsPerWrite, kSpikes - written));
    for (std::size_t r = 0; r < count; ++r) {
      char* record = batch.data() + r * static_cast<std::size_t>(recordSize);
      time += 500 + next() % 59'500;
      std::memcpy(record, &time, sizeof time);
      const double height = 120.0 + 80.0 * static_cast<double>(next() % 3);
      for (int32_t p = 0; p < kPoints; ++p) {
        for (int32_t c = 0; c < kChannels; ++c) {
          const double shape = height * std::exp(-0.15 * (p - 7) * (p - 7)) / (c + 1);
          const auto sample = static_cast<int16_t>(shape + static_cast<double>(next() % 41) - 20.0);
          std::memcpy(record + 48 + 2 * (p * kChannels + c), &sample, sizeof sample);
        }
      }
    }
    out.write(batch.data(), static_cast<std::streamsize>(count * static_cast<std::size_t>(recordSize)));
    written += static_cast<int64_t>(count);
  }
  if (!out) std::abort();
}

bool fileMade = false;  // the folder is removed at the end only if a benchmark made it

const BenchFile& BenchSpikeFile() {
  static const BenchFile file = [] {
    BenchFile f;
    fileMade = true;
    f.folder = (std::filesystem::temp_directory_path() / "skelvane-bench-XXXXXX").string();
    if (::mkdtemp(f.folder.data()) == nullptr) std::abort();
    f.path = f.folder + "/SpikeFile_TT1a_TT1b_TT1c_TT1d.ktt";
    WriteSpikeFile(f.path);
    return f;
  }();
  return file;
}

void BM_ReadLikeCat(benchmark::State& state) {
  const std::string& path = BenchSpikeFile().path;  // made outside the timing
  std::vector<char> block(kReadBlock);
  int64_t bytes = 0;
  for (auto _ : state) {
    bytes = 0;
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) state.SkipWithError("open failed");
    for (ssize_t n; (n = ::read(fd, block.data(), block.size())) > 0;) bytes += n;
    ::close(fd);
    benchmark::DoNotOptimize(bytes);
  }
  state.counters["bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_ReadLikeCat)->Unit(benchmark::kMillisecond);

void StatisticsOfFile(benchmark::State& state, skelvane::SpikeStatistics::Detail detail) {
  const std::string& path = BenchSpikeFile().path;
  int64_t count = 0;
  for (auto _ : state) {
    skelvane::SpikeFile file;
    skelvane::SpikeStatistics statistics;
    if (file.Open(path) != 0 || skelvane::SpikeStatistics::Compute(file, statistics, 0, -1, detail) != 0) {
      state.SkipWithError("read failed");
    }
    count = statistics.count;
  }
  state.counters["spikes"] = static_cast<double>(count);
}

void BM_SpikeStatistics(benchmark::State& state) {
  StatisticsOfFile(state, skelvane::SpikeStatistics::Detail::kSummary);
}
BENCHMARK(BM_SpikeStatistics)->Unit(benchmark::kMillisecond);

void BM_SpikeStatisticsWithWaveforms(benchmark::State& state) {
  StatisticsOfFile(state, skelvane::SpikeStatistics::Detail::kWithWaveforms);
}
BENCHMARK(BM_SpikeStatisticsWithWaveforms)->Unit(benchmark::kMillisecond);

void BM_SpikeFigure(benchmark::State& state) {
  const std::string& path = BenchSpikeFile().path;
  skelvane::GLRenderer renderer;
  skelvane::MemoryBitmap picture;
  for (auto _ : state) {
    skelvane::SpikeFile file;
    skelvane::SpikeStatistics statistics;
    skelvane::SpikeSubset subset;
    if (file.Open(path) != 0 ||
        skelvane::SpikeStatistics::Compute(file, statistics, 0, -1,
                                           skelvane::SpikeStatistics::Detail::kWithWaveforms) != 0 ||
        skelvane::SpikeSubset::Choose(file, skelvane::SpikeSubset::kDefaultMaxSpikes, subset) != 0) {
      state.SkipWithError("read failed");
    }
    const auto layout = skelvane::SpikeFigureLayout::ForFigure(
        skelvane::SpikeFigureLayout::kDefaultWidth, skelvane::SpikeFigureLayout::kDefaultHeight, statistics, subset);
    if (skelvane::SpikeFigure::Render(renderer, layout, statistics, subset, picture) != 0) {
      state.SkipWithError("render failed");
    }
  }
}
BENCHMARK(BM_SpikeFigure)->Unit(benchmark::kMillisecond);

void PrintRatio(const skelvane::bench::RatioReporter& reporter, const char* name, const char* what,
                const char* target) {
  const auto run = reporter.times.find(name);
  const auto pass = reporter.times.find("BM_ReadLikeCat");
  if (run == reporter.times.end() || pass == reporter.times.end() || !(pass->second > 0)) return;
  std::printf("%s of a %lld-spike tetrode file costs %.2f plain reads of it (%.1f ms vs %.1f ms; target: %s)\n", what,
              static_cast<long long>(kSpikes), run->second / pass->second, run->second, pass->second, target);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  skelvane::bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\n");
  PrintRatio(reporter, "BM_SpikeStatistics", "The statistics", "at most 2");
  PrintRatio(reporter, "BM_SpikeStatisticsWithWaveforms", "The statistics with the mean waveforms", "none");
  PrintRatio(reporter, "BM_SpikeFigure", "The figure", "the panel's first picture within 1 s");
  std::error_code ec;
  if (fileMade) std::filesystem::remove_all(BenchSpikeFile().folder, ec);
  benchmark::Shutdown();
  return 0;
}
