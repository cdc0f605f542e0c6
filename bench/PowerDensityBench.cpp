// The Spectrum panel's work: the spectrum of 10 s of one channel (raw, and raw with the Spike Band or
// the LFP Band beside it) against a plain pass over the same samples read the same way (their minimum
// and maximum), and the spectrum of a 300 s span (read as pieces spread over it) against that of 10 s.
// Each figure is printed as a ratio and as the absolute wall time, which must stay within 100 ms for
// 10 s.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/BenchSignal.h"
#include "bench/RatioReporter.h"
#include "datafile/CscRecord.h"
#include "datafile/RecordReader.h"
#include "filter/SpanDensity.h"
#include "tools/SyntheticRecording.h"

namespace {

using skelvane::FilterChoice;
using skelvane::SpanDensity;

constexpr double kSeconds = 300.0;
constexpr int64_t kSpan = 10'000'000;  // microseconds: 10 s
constexpr int64_t kHeaderBytes = 16384;

struct Recording {
  std::string folder;
  skelvane::RecordReader reader;
  double interval = 0.0;
  int64_t first = 0;  // the first record's timestamp
  ~Recording() {
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
  }
};

void Make(Recording& r) {
  r.folder = (std::filesystem::temp_directory_path() / "skelvane-spectrum-bench-XXXXXX").string();
  if (::mkdtemp(r.folder.data()) == nullptr) std::abort();
  skelvane::SynthOptions options;
  if (!skelvane::bench::ApplyBenchSignal(options)) std::abort();
  options.outDir = r.folder;
  options.prefix = "CH";
  options.channels = 1;
  options.seconds = kSeconds;
  skelvane::SynthResult result;
  if (skelvane::SyntheticRecording::Generate(options, result) != 0) std::abort();
  const auto bytes = static_cast<int64_t>(std::filesystem::file_size(result.paths.front()));
  if (r.reader.Open({result.paths.front(), kHeaderBytes, skelvane::kCscRecordSize,
                     (bytes - kHeaderBytes) / skelvane::kCscRecordSize}) != 0) {
    std::abort();
  }
  r.interval = 1e6 / options.samplingHz;
  r.reader.ReadTimestamp(0, r.first);
}

Recording& Bench() {
  static Recording recording;
  static const bool made = (Make(recording), true);
  (void)made;
  return recording;
}

// The 10 s span in the middle of the recording.
std::pair<int64_t, int64_t> Span() {
  const int64_t middle = Bench().first + static_cast<int64_t>(kSeconds / 2 * 1e6);
  return {middle, middle + kSpan};
}

void BM_PlainPass(benchmark::State& state) {
  Recording& r = Bench();
  const auto [start, end] = Span();
  std::vector<uint8_t> buffer;
  for (auto _ : state) {
    const auto [first, last] = SpanDensity::RecordsIn(r.reader, r.interval, start, end);
    if (r.reader.Read(first, last - first, buffer) != 0) state.SkipWithError("read failed");
    int16_t low = 0;
    int16_t high = 0;
    for (int64_t i = 0; i < last - first; ++i) {
      const skelvane::CscRecord record(buffer.data() + i * r.reader.RecordSize());
      for (int32_t s = 0; s < skelvane::kSamplesPerRecord; ++s) {
        low = std::min(low, record.Sample(s));
        high = std::max(high, record.Sample(s));
      }
    }
    benchmark::DoNotOptimize(low);
    benchmark::DoNotOptimize(high);
  }
}
BENCHMARK(BM_PlainPass)->Unit(benchmark::kMillisecond);

void Spectrum(benchmark::State& state, const FilterChoice& filter, int64_t start, int64_t end) {
  Recording& r = Bench();
  SpanDensity spectrum;  // as the panel's worker keeps it: the filter designed once
  for (auto _ : state) {
    const SpanDensity::Result result = spectrum.Compute(r.reader, r.interval, start, end, filter);
    if (result.status != SpanDensity::Result::Status::kOk) state.SkipWithError("no spectrum");
    benchmark::DoNotOptimize(result.raw.data());
  }
}

void BM_Raw(benchmark::State& state) { Spectrum(state, FilterChoice(), Span().first, Span().second); }
void BM_SpikeBand(benchmark::State& state) { Spectrum(state, FilterChoice::Spike(), Span().first, Span().second); }
void BM_LfpBand(benchmark::State& state) { Spectrum(state, FilterChoice::Lfp(), Span().first, Span().second); }
void BM_WholeSpikeBand(benchmark::State& state) {
  Spectrum(state, FilterChoice::Spike(), Bench().first, Bench().first + static_cast<int64_t>(kSeconds * 1e6));
}
BENCHMARK(BM_Raw)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SpikeBand)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LfpBand)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WholeSpikeBand)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  skelvane::bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const auto& t = reporter.times;
  const auto ratio = [&](const char* name, const char* baseline, const char* what) {
    const auto a = t.find(name);
    const auto b = t.find(baseline);
    if (a == t.end() || b == t.end() || b->second <= 0) return;
    std::printf("%s: %.2f (%.2f ms vs %.2f ms)\n", what, a->second / b->second, a->second, b->second);
  };
  std::printf("\nRatios of wall time (the spectrum of 10 s must take at most 100 ms):\n");
  ratio("BM_Raw", "BM_PlainPass", "Spectrum of 10 s, raw, over a plain pass (min and max) of the same samples");
  ratio("BM_SpikeBand", "BM_PlainPass", "Spectrum of 10 s, raw and Spike Band, over the same plain pass");
  ratio("BM_LfpBand", "BM_PlainPass", "Spectrum of 10 s, raw and LFP Band, over the same plain pass");
  ratio("BM_WholeSpikeBand", "BM_SpikeBand", "Spectrum of 300 s (pieces spread over it), raw and Spike Band, over that of 10 s");
  benchmark::Shutdown();
  return 0;
}
