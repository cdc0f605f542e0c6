// Fuzzes the CSC plot's walk over a file without drawing: its source info (timing, header values)
// and the sample and min/max passes of Draw for visible spans anywhere in and around the data.
#include <cstddef>
#include <cstdint>
#include <string>

#include "datafile/DataSourceManager.h"
#include "display/CscPlot.h"
#include "display/PlotFrame.h"
#include "fuzz/FuzzChoices.h"
#include "fuzz/FuzzScratch.h"
#include "platform/Saturating.h"

namespace {

constexpr int kDraws = 12;
constexpr int32_t kMaxWidth = 4096;
constexpr uint32_t kTraceColour = 0x0000FF;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace skelvane;
  const std::string path = fuzz::FuzzScratch::WriteFile("plot.kcs", data, size);
  fuzz::FuzzChoices choose(data, size);
  DataSourceManager manager;
  if (manager.OpenSource(path) != 0) return 0;

  CscPlot plot(path, "plot", manager, kTraceColour);
  plot.LoadSourceInfo();
  (void)plot.GetSamplingFrequency();
  (void)plot.GetADMaxValue();
  int64_t start = 0, end = 0;
  manager.GetTimeRange(start, end);
  for (int k = 0; k < kDraws; ++k) {
    // Spans from a few microseconds (samples) to the whole file and beyond (min/max columns).
    const int64_t from = k % 3 == 0 ? choose.Any() : choose.Between(std::min(start, end), std::max(start, end));
    const int64_t dataSpan = std::max<int64_t>(1, SaturatingSubtract(end, start));
    const int64_t span = k % 4 == 0 ? choose.Any() : choose.Between(1, SaturatingAdd(dataSpan, dataSpan));
    const int32_t width = static_cast<int32_t>(choose.Between(-1, kMaxWidth));
    const int32_t height = static_cast<int32_t>(choose.Between(-1, 400));
    PlotFrame frame;  // no renderer or canvas: the walk without the drawing
    frame.start = from;
    frame.end = SaturatingAdd(from, span);
    frame.visibleSpan = span;
    frame.traceWidth = width;
    plot.PrepareDraw(frame);
    plot.Draw(frame, width, height, 0, 0);
  }
  return 0;
}
