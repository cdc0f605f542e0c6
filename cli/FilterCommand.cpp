// The `filter` subcommand: --response BAND prints the band filter's gain against frequency for a
// sampling rate (its parts, support, pass band, stop bands and corners as measured from the quantised
// coefficients, then a table at log-spaced frequencies with the band edges among them), or draws it
// into a .png (else .bmp) file with --plot.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "cli/CommandRegistry.h"
#include "cli/ExitStatus.h"
#include "cli/FilterOption.h"
#include "cli/OutputName.h"
#include "cli/ResponseFigure.h"
#include "filter/FilterDesign.h"
#include "filter/FilterResponse.h"
#include "platform/BitmapFileWriter.h"
#include "platform/MemoryBitmap.h"
#include "platform/PngFileWriter.h"
#include "platform/ReportError.h"
#include "render/GLRenderer.h"
#include "spikes/DataFileGuard.h"
#include "spikes/SpikeFigure.h"

namespace skelvane::cli {
namespace {

constexpr double kDefaultRateHz = 32000.0;
constexpr int32_t kPointsPerDecade = 10;
constexpr double kMillisecondsPerSecond = 1000.0;
constexpr int kSignificantDigits = 4;
// Gains below this are exact or all but exact zeros; the table says so instead of a number.
constexpr double kLowestShownDb = -200.0;

struct FilterArguments {
  FilterOption band;
  double rate = kDefaultRateHz;
  std::string plot;
  int32_t width = ResponseFigure::kDefaultWidth;
  int32_t height = ResponseFigure::kDefaultHeight;
};

// A frequency to four significant digits (whole hertz from 1000 Hz up), in plain decimals.
std::string Hz(const std::optional<double>& hz) {
  const double value = hz.value_or(0.0);
  const int decimals = value > 0.0 ? std::clamp(kSignificantDigits - 1 - static_cast<int>(std::floor(std::log10(value))), 0, 9) : 0;
  char text[48];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  std::string digits = text;
  if (digits.find('.') != std::string::npos) {
    while (digits.back() == '0') digits.pop_back();
    if (digits.back() == '.') digits.pop_back();
  }
  return digits + " Hz";
}

void PrintResponse(std::FILE* out, const FilterDesign& design, const FilterResponse& r) {
  const FilterChoice& chosen = design.Choice();
  std::fprintf(out, "%s, designed for %s Hz\n", chosen.Description().c_str(), FilterChoice::FormatHz(design.RateHz()).c_str());
  std::fprintf(out, "  parts:         %s\n", design.Structure().c_str());
  std::fprintf(out, "  half-support:  %lld samples (%.3f ms) on each side\n", static_cast<long long>(design.HalfSupport()),
               static_cast<double>(design.HalfSupport()) / design.RateHz() * kMillisecondsPerSecond);
  std::fprintf(out, "  cut-offs:      %s (half amplitude, -6 dB)\n",
               chosen.LowHz() && chosen.HighHz() ? (Hz(chosen.LowHz()) + " and " + Hz(chosen.HighHz())).c_str()
                                              : Hz(chosen.LowHz() ? chosen.LowHz() : chosen.HighHz()).c_str());
  if (r.cornerLowHz || r.cornerHighHz) {
    std::string corners = r.cornerLowHz ? Hz(r.cornerLowHz) : std::string();
    if (r.cornerLowHz && r.cornerHighHz) corners += " and ";
    if (r.cornerHighHz) corners += Hz(r.cornerHighHz);
    std::fprintf(out, "  -3 dB:         %s\n", corners.c_str());
  }
  if (r.passLowHz) {
    std::fprintf(out, "  pass band:     %s to %s within %.1f dB (highest %+.2f dB)\n", Hz(r.passLowHz).c_str(),
                 Hz(r.passHighHz).c_str(), FilterResponse::kPassDeviationDb, r.rippleHighDb);
  } else {
    std::fprintf(out, "  pass band:     none within %.1f dB (the band is narrower than its edges)\n",
                 FilterResponse::kPassDeviationDb);
  }
  std::string stop;
  if (r.stopBelowHz) stop = "0 Hz to " + Hz(r.stopBelowHz);
  if (r.stopBelowHz && r.stopAboveHz) stop += " and ";
  if (r.stopAboveHz) stop += Hz(r.stopAboveHz) + " to " + Hz(r.toHz);
  std::fprintf(out, "  stop band:     %s\n",
               stop.empty() ? "none" : (stop + " at least " + std::to_string(static_cast<int>(-FilterResponse::kStopDb)) + " dB down").c_str());
  std::fprintf(out, "\n  %14s %10s\n", "frequency Hz", "gain dB");
  for (const FilterResponse::Row& row : r.Table(design, kPointsPerDecade)) {
    char gain[32];
    if (row.db < kLowestShownDb) {
      std::snprintf(gain, sizeof gain, "%10s", "< -200");
    } else {
      std::snprintf(gain, sizeof gain, "%10.2f", row.db);
    }
    std::fprintf(out, "  %14.3f %s%s%s\n", row.hz, gain, row.label.empty() ? "" : "  ", row.label.c_str());
  }
}

void Run(const FilterArguments& args) {
  std::string refusal;
  const std::optional<FilterDesign> design = FilterDesign::For(args.band.Choice(), args.rate, refusal);
  if (!design) throw CLI::ValidationError("--response", refusal);
  if (design->IsNone()) throw CLI::ValidationError("--response", "Filter: none has no response to show");
  const FilterResponse response = FilterResponse::Of(*design);
  if (args.plot.empty()) {
    PrintResponse(stdout, *design, response);
    std::fflush(stdout);
    return;
  }
  // A picture never takes the place of data.
  if (!DataFileGuard::MayWrite(args.plot)) throw CLI::RuntimeError(kExitFailed);
  GLRenderer renderer;
  MemoryBitmap picture;
  if (ResponseFigure::Render(renderer, *design, response, args.width, args.height, picture) != 0) {
    ReportError("filter: the response could not be drawn", 0);
    throw CLI::RuntimeError(kExitFailed);
  }
  const int32_t rc = PngFileWriter::HasPngSuffix(args.plot) ? PngFileWriter::WritePngFile(args.plot, picture)
                                                            : BitmapFileWriter::WriteBitmapFile(args.plot, picture);
  if (rc != 0) throw CLI::RuntimeError(kExitFailed);
}

const CommandRegistry::Registration kRegistration([](CLI::App& app) {
  auto args = std::make_shared<FilterArguments>();
  CLI::App* cmd = app.add_subcommand("filter", "Show a band filter's gain against frequency");
  cmd->footer(kExitStatusHelp);
  args->band
      .AddTo(cmd, "--response",
             std::string("The band (") + FilterOption::kSpelling +
                 ", cut-offs in Hz, LO: or :HI for one open side) whose response to print: its parts, support, pass "
                 "band, stop bands and corners, then the gain at log-spaced frequencies")
      ->required();
  cmd->add_option("--rate", args->rate, "Sampling rate the filter is designed for, in Hz (default 32000)")
      ->check(CLI::PositiveNumber);
  CLI::Option* plot =
      cmd->add_option("--plot", args->plot, "Draw the response into a .png (else .bmp) file instead of printing it")
          ->check(OutputName::Check());
  cmd->add_option("--width", args->width, "Figure width in pixels (default 1200)")
      ->check(CLI::Range(1, SpikeFigure::kMaxSide))
      ->needs(plot);
  cmd->add_option("--height", args->height, "Figure height in pixels (default 700)")
      ->check(CLI::Range(1, SpikeFigure::kMaxSide))
      ->needs(plot);
  cmd->callback([args] { Run(*args); });
});

}  // namespace
}  // namespace skelvane::cli
