// The `spikes` subcommand: reads spike files and prints, per file, its spike count, time range, rate,
// peak amplitudes per channel and short intervals, as a table or as JSON; --plot draws the figure
// (waveforms, peak scatter, interval histogram) into a .png or .bmp file.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "cli/CommandRegistry.h"
#include "cli/ExitStatus.h"
#include "cli/OutputName.h"
#include "platform/BitmapFileWriter.h"
#include "platform/FileIdentity.h"
#include "platform/MemoryBitmap.h"
#include "platform/PngFileWriter.h"
#include "platform/ReportError.h"
#include "render/GLRenderer.h"
#include "spikes/DataFileGuard.h"
#include "spikes/SpikeFigure.h"
#include "spikes/SpikeFigureLayout.h"
#include "spikes/SpikeFile.h"
#include "spikes/SpikeStatistics.h"
#include "spikes/SpikeSubset.h"

namespace skelvane::cli {
namespace {

using Json = nlohmann::ordered_json;

constexpr int kJsonIndent = 2;
constexpr const char* kFigureFailedMessage = "spikes: the figure could not be drawn for ";

struct SpikesArguments {
  std::vector<std::string> files;
  bool json = false;
  std::string plot;
  int64_t maxSpikes = SpikeSubset::kDefaultMaxSpikes;
  int32_t width = SpikeFigureLayout::kDefaultWidth;
  int32_t height = SpikeFigureLayout::kDefaultHeight;
};

// Where the figure of the `index`-th of `count` files goes: the name given for a single file,
// else that name with the file's position before its extension (fig.png: fig-1.png, fig-2.png, ...).
std::string FigurePath(const std::string& plot, std::size_t index, std::size_t count) {
  if (count == 1) return plot;
  const std::size_t slash = plot.rfind('/');
  const std::size_t dot = plot.rfind('.');
  const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
  const std::size_t cut = hasExtension ? dot : plot.size();
  return plot.substr(0, cut) + "-" + std::to_string(index + 1) + plot.substr(cut);
}

struct FigureResult {
  std::string path;
  int64_t drawn = 0;
};

// Draws and writes the figure of one file; nullopt after a report when it could not be.
std::optional<FigureResult> WriteFigure(const SpikeFile& file, const SpikeStatistics& statistics,
                                        const SpikesArguments& args, const std::string& output,
                                        std::unique_ptr<GLRenderer>& renderer) {
  // The figure must never take the place of a spike file it is drawn from, under whatever name.
  if (FileIdentity::IsOneOf(output, args.files)) {
    ReportFileError(kOutputIsInputMessage, 0, output, 0);
    return std::nullopt;
  }
  // Nor the place of any other spike file or recording (a pattern whose first match became --plot).
  if (!DataFileGuard::MayWrite(output)) return std::nullopt;
  SpikeSubset subset;
  if (SpikeSubset::Choose(file, args.maxSpikes, subset) != 0) return std::nullopt;
  if (!renderer) renderer = std::make_unique<GLRenderer>();
  // Channels by their recordings' names, amplitudes in microvolts too and waveforms in milliseconds,
  // as far as the header tells.
  const SpikeFigureLayout layout = SpikeFigureLayout::ForFigure(args.width, args.height, statistics, subset,
                                                                SpikeFigureLayout::ChannelsOf(file.Header()));
  MemoryBitmap picture;
  if (SpikeFigure::Render(*renderer, layout, statistics, subset, picture) != 0) {
    ReportError(std::string(kFigureFailedMessage) + file.Path(), 0);
    return std::nullopt;
  }
  const int32_t rc = PngFileWriter::HasPngSuffix(output) ? PngFileWriter::WritePngFile(output, picture)
                                                         : BitmapFileWriter::WriteBitmapFile(output, picture);
  if (rc != 0) return std::nullopt;
  return FigureResult{output, subset.Size()};
}

template <typename T>
Json OptionalJson(const std::optional<T>& value) {
  return value ? Json(*value) : Json(nullptr);
}

Json ToJson(const SpikeStatistics& s, const std::optional<FigureResult>& figure) {
  Json thresholds = Json::array();
  for (const auto& t : s.thresholds) thresholds.push_back(OptionalJson(t));
  Json object;
  object["path"] = s.path;
  object["channels"] = s.channels;
  object["count"] = s.count;
  object["first_us"] = OptionalJson(s.firstUs);
  object["last_us"] = OptionalJson(s.lastUs);
  object["rate_hz"] = OptionalJson(s.rateHz);
  const bool any = s.count > 0;
  object["amplitude_median"] = any ? Json(s.amplitudeMedian) : Json(nullptr);
  object["amplitude_min"] = any ? Json(s.amplitudeMin) : Json(nullptr);
  object["amplitude_max"] = any ? Json(s.amplitudeMax) : Json(nullptr);
  object["isi_under_2ms_percent"] = OptionalJson(s.shortIntervalPercent);
  object["intervals"] = s.intervals;
  object["intervals_under_2ms"] = s.shortIntervals;
  object["intervals_going_back"] = s.intervalsBack;
  object["threshold"] = thresholds;
  object["alignment_pt"] = s.alignmentPt;
  if (figure) {
    object["figure"] = figure->path;
    object["figure_spikes"] = figure->drawn;
  }
  return object;
}

// "none (...)" in the table says why a value is missing.
std::string Missing(const SpikeStatistics& s) {
  if (s.count == 0) return "none (no spikes)";
  if (s.count == 1) return "none (one spike)";
  return "none (every spike at the same time)";
}

template <typename T>
void PrintRow(std::FILE* out, const char* name, const std::vector<T>& values, const char* format) {
  std::fprintf(out, "    %-8s", name);
  for (const T value : values) std::fprintf(out, format, value);
  std::fprintf(out, "\n");
}

void PrintTable(std::FILE* out, const SpikeStatistics& s, const std::optional<FigureResult>& figure) {
  std::fprintf(out, "%s\n", s.path.c_str());
  std::fprintf(out, "  channels:              %d\n", s.channels);
  std::fprintf(out, "  spikes:                %lld\n", static_cast<long long>(s.count));
  if (s.firstUs) {
    std::fprintf(out, "  first spike:           %lld us\n", static_cast<long long>(*s.firstUs));
    std::fprintf(out, "  last spike:            %lld us\n", static_cast<long long>(*s.lastUs));
  } else {
    std::fprintf(out, "  first spike:           %s\n", Missing(s).c_str());
    std::fprintf(out, "  last spike:            %s\n", Missing(s).c_str());
  }
  if (s.intervalsBack > 0) {
    std::fprintf(out, "  times going back:      %lld of %lld intervals (the file is not in time order)\n",
                 static_cast<long long>(s.intervalsBack), static_cast<long long>(s.intervals));
  }
  if (s.rateHz) {
    std::fprintf(out, "  rate:                  %.3f Hz\n", *s.rateHz);
  } else {
    std::fprintf(out, "  rate:                  %s\n", Missing(s).c_str());
  }
  std::fprintf(out, "  alignment point:       %d\n", s.alignmentPt);
  std::fprintf(out, "  threshold:            ");
  for (const auto& t : s.thresholds) {
    if (t) {
      std::fprintf(out, " %lld", static_cast<long long>(*t));
    } else {
      std::fprintf(out, " ?");
    }
  }
  std::fprintf(out, "%s\n", s.thresholds.empty() ? " (not in the header)" : "");
  if (s.count > 0) {
    std::fprintf(out, "  peak amplitude (A/D counts at the alignment point):\n            ");
    for (int32_t c = 0; c < s.channels; ++c) std::fprintf(out, "%10s", ("ch " + std::to_string(c + 1)).c_str());
    std::fprintf(out, "\n");
    PrintRow(out, "median", s.amplitudeMedian, "%10.1f");
    PrintRow(out, "min", s.amplitudeMin, "%10d");
    PrintRow(out, "max", s.amplitudeMax, "%10d");
  } else {
    std::fprintf(out, "  peak amplitude:        %s\n", Missing(s).c_str());
  }
  if (s.shortIntervalPercent) {
    std::fprintf(out, "  intervals under 2 ms:  %.3f %% (%lld of %lld)\n", *s.shortIntervalPercent,
                 static_cast<long long>(s.shortIntervals), static_cast<long long>(s.intervals));
  } else {
    std::fprintf(out, "  intervals under 2 ms:  %s\n", s.count == 0 ? "none (no spikes)" : "none (one spike)");
  }
  if (figure) {
    std::fprintf(out, "  figure:                %s (%lld of %lld spikes drawn)\n", figure->path.c_str(),
                 static_cast<long long>(figure->drawn), static_cast<long long>(s.count));
  }
}

void Run(const SpikesArguments& args) {
  bool allRead = true;
  Json all = Json::array();
  std::unique_ptr<GLRenderer> renderer;
  for (std::size_t i = 0; i < args.files.size(); ++i) {
    // A refused file has been reported by the reader; the others are still shown.
    SpikeFile file;
    SpikeStatistics statistics;
    // The figure draws the mean waveform and its spread; the numbers alone need neither.
    const auto detail = args.plot.empty() ? SpikeStatistics::Detail::kSummary : SpikeStatistics::Detail::kWithWaveforms;
    if (file.Open(args.files[i]) != 0 || SpikeStatistics::Compute(file, statistics, 0, -1, detail) != 0) {
      allRead = false;
      continue;
    }
    std::optional<FigureResult> figure;
    if (!args.plot.empty()) {
      figure = WriteFigure(file, statistics, args, FigurePath(args.plot, i, args.files.size()), renderer);
      if (!figure) allRead = false;
    }
    if (args.json) {
      all.push_back(ToJson(statistics, figure));
    } else {
      if (i > 0) std::fprintf(stdout, "\n");
      PrintTable(stdout, statistics, figure);
    }
  }
  if (args.json) {
    // File names need not be UTF-8; JSON text must be, so stray bytes become U+FFFD.
    std::fprintf(stdout, "%s\n", all.dump(kJsonIndent, ' ', false, Json::error_handler_t::replace).c_str());
  }
  std::fflush(stdout);
  if (!allRead) throw CLI::RuntimeError(kExitFailed);
}

const CommandRegistry::Registration kRegistration([](CLI::App& app) {
  auto args = std::make_shared<SpikesArguments>();
  CLI::App* cmd =
      app.add_subcommand("spikes", "Print what spike files hold (.kse, .kst, .ktt, .dat) and draw their spikes");
  cmd->footer(kExitStatusHelp);
  cmd->add_option("files", args->files, "Spike files to read")->required();
  cmd->add_flag("--json", args->json, "Print a JSON array with one object per spike file instead of tables");
  CLI::Option* plot = cmd->add_option(
      "--plot", args->plot,
      "Draw waveforms, peak scatter and interval histogram into a .png (else .bmp) file; with several spike "
      "files, NAME-1.png, NAME-2.png, ... in their order (never over a recording or a spike file)")
      ->check(OutputName::Check());
  cmd->add_option("--max", args->maxSpikes,
                  "Waveforms and scatter points drawn at most, chosen evenly (default 1000, at most " +
                      std::to_string(SpikeSubset::kMaxDrawnSpikes) + ")")
      ->check(CLI::Range(int64_t{1}, SpikeSubset::kMaxDrawnSpikes))
      ->needs(plot);
  cmd->add_option("--width", args->width, "Figure width in pixels (default 1400)")
      ->check(CLI::Range(1, SpikeFigure::kMaxSide))
      ->needs(plot);
  cmd->add_option("--height", args->height, "Figure height in pixels (default 1000)")
      ->check(CLI::Range(1, SpikeFigure::kMaxSide))
      ->needs(plot);
  cmd->callback([args] { Run(*args); });
});

}  // namespace
}  // namespace skelvane::cli
