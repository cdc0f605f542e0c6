#include "filter/FilterDesign.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "filter/DesignMath.h"
#include "filter/SpacedHighPass.h"

namespace skelvane {
namespace {

// Every FIR is an ideal band (or low- or high-pass) cut by a Kaiser window of this shape: its far stop
// band stays below -34 dB.
constexpr double kKaiserBeta = 2.5;
// Every cut-off is its edge's half-amplitude (-6 dB) point, as usual for windowed-sinc filters (the
// -3 dB point lies a little inside the band). The ideal cut-offs are placed so that it falls exactly on
// the cut-off asked for.
constexpr double kCutOffGain = 0.5;
// Where a windowed edge's response crosses -0.5 dB and -30 dB, measured from the ideal cut-off (where
// it is -6 dB) in cycles per sample times the window's half-length, far from 0 Hz and half the rate:
// the first guess of the window a steepness needs.
constexpr double kHalfDbReach = 0.377;
constexpr double kThirtyDbReach = 0.416;
// The steepness every edge is given: a high-pass is 30 dB down at a quarter of its cut-off and below
// (the Spike Band's 150 Hz) and flat from 5/3 of it (1000 Hz); a low-pass is flat up to two thirds of
// its cut-off (the LFP Band's 200 Hz) and 30 dB down from 10/3 of it (1000 Hz). Flat is within 0.5 dB,
// designed within 0.4 dB and 30 dB as 31 dB, leaving room for the quantised taps.
constexpr double kHighPassStopFraction = 0.25;
constexpr double kHighPassFlatFraction = 5.0 / 3.0;
constexpr double kLowPassFlatFraction = 2.0 / 3.0;
constexpr double kLowPassStopFraction = 10.0 / 3.0;
constexpr double kDesignFlatGain = 1.0471285480508996;   // +0.4 dB
constexpr double kDesignStopGain = 0.028183829312644536;  // -31 dB
// How many frequencies each requirement is checked at (the flat ones spaced evenly on a log scale,
// 2^7 steps), and how far the window grows between tries (a tap pair at a time while it is short, a
// 32nd of its length beyond).
constexpr int32_t kFlatCheckHalvings = 7;
constexpr int32_t kStopChecks = 48;
constexpr int64_t kWindowGrowthDivisor = 32;
// Rounds of placing each ideal cut-off so that -6 dB falls on the cut-off asked for (the two edges of a
// band pull on each other a little).
constexpr int32_t kPlacementRounds = 3;
constexpr double kLowestRateHz = 1.0;
constexpr int32_t kBisections = 80;

double RateFraction(double hz, double rate) { return hz / rate; }

// The root of an increasing `f` between `low` and `high` by bisection (a fixed number of halvings).
// Once the middle is one of the ends the ends are neighbouring doubles (or one): every halving left
// then leaves them so or makes both the middle, so the answer is the middle already.
template <typename F>
double Solve(F f, double target, double low, double high) {
  for (int32_t i = 0; i < kBisections; ++i) {
    const double middle = (low + high) / 2.0;
    if (middle == low || middle == high) return middle;
    if (f(middle) < target) {
      low = middle;
    } else {
      high = middle;
    }
  }
  return (low + high) / 2.0;
}

// The boxcar stages' half-amplitude points, in cycles per sample times the boxcar length (long
// boxcars: the Dirichlet kernel is then the sinc).
double HighPassBoxcarCorner() {
  static const double corner =
      Solve([](double u) { const double s = DesignMath::Sinc(u); return 1.0 - s * s * s; }, kCutOffGain, 0.0, 1.0);
  return corner;
}

double LowPassBoxcarCorner() {
  static const double corner = [] {
    // 10 b^3 - 15 b^4 + 6 b^5 of b = B^2 falls through one half where B^2 is this.
    const double b = Solve([](double v) { return v * v * v * (10.0 + v * (-15.0 + 6.0 * v)); }, kCutOffGain, 0.0, 1.0);
    const double boxcar = std::sqrt(b);
    return Solve([](double u) { return -DesignMath::Sinc(u); }, -boxcar, 0.0, 1.0);
  }();
  return corner;
}

// The nearest odd length of at least 3.
int64_t OddLength(double length) { return std::max<int64_t>(3, 2 * DesignMath::Round((length - 1.0) / 2.0) + 1); }

// The longest boxcar a stage of `depth` boxcars may use.
int64_t LongestBoxcar(int32_t depth) {
  return std::min(BoxcarStage::kLongestLength - 1, 2 * (FilterDesign::kLongestBoxcarReach / depth) + 1);
}

constexpr int32_t kHighPassDepth = 3;
constexpr int32_t kLowPassDepth = 10;

// The lowest cut-off a boxcar stage of `depth` boxcars reaches, for messages: three significant digits,
// rounded up (and kept a boxcar short of the longest, which odd rounding may add) so that it is itself
// accepted.
std::string LowestCutOff(double corner, int32_t depth, double rate) {
  const double lowest = corner * rate / static_cast<double>(LongestBoxcar(depth) - 2);
  const double unit = std::pow(10.0, std::floor(std::log10(lowest)) - 2.0);
  char text[32];
  std::snprintf(text, sizeof text, "%.3g", std::ceil(lowest / unit) * unit);
  return text;
}

int64_t Ceil(double value) { return static_cast<int64_t>(std::ceil(value)); }

// The Kaiser window of half-length `half`, from tap -half to tap half.
std::vector<double> KaiserWindow(int64_t half) {
  std::vector<double> window(static_cast<std::size_t>(2 * half + 1));
  const double normal = DesignMath::BesselI0(kKaiserBeta);
  for (int64_t k = -half; k <= half; ++k) {
    const double r = static_cast<double>(k) / static_cast<double>(half);
    window[static_cast<std::size_t>(k + half)] = DesignMath::BesselI0(kKaiserBeta * std::sqrt(std::max(0.0, 1.0 - r * r))) / normal;
  }
  return window;
}

// The windowed ideal low-pass of cut-off `fc` (cycles per sample) scaled to pass 0 Hz exactly; the
// unit impulse for a cut-off at half the rate.
std::vector<double> WindowedLowPass(const std::vector<double>& window, double fc) {
  const auto half = static_cast<int64_t>(window.size() / 2);
  std::vector<double> taps(window.size());
  // The window and the ideal low-pass are both exactly even (the sine's reduction and series are
  // exactly odd), so each tap pair is worked out once, the ideal low-pass 2 fc sinc(2 fc k) at every
  // k at once.
  std::vector<double> sincs(static_cast<std::size_t>(half) + 1);
  for (int64_t k = 0; k <= half; ++k) sincs[static_cast<std::size_t>(k)] = 2.0 * fc * static_cast<double>(k);
  DesignMath::Sincs(sincs.data(), sincs.data(), half + 1);
  for (int64_t k = 0; k <= half; ++k) {
    const double tap = window[static_cast<std::size_t>(k + half)] * (2.0 * fc * sincs[static_cast<std::size_t>(k)]);
    taps[static_cast<std::size_t>(half + k)] = tap;
    taps[static_cast<std::size_t>(half - k)] = tap;
  }
  double sum = 0.0;
  for (const double tap : taps) sum += tap;
  for (double& tap : taps) tap /= sum;
  return taps;
}

// The band from `lowCut` to `highCut` (cycles per sample; 0 and 0.5 for an open side) under `window`:
// the low-pass at highCut less the one at lowCut (x - LP(x) for a high-pass), so exactly 0 at 0 Hz
// whenever there is a low cut.
std::vector<double> WindowedBand(const std::vector<double>& window, double lowCut, double highCut) {
  std::vector<double> taps = WindowedLowPass(window, highCut);
  if (lowCut > 0.0) {
    const std::vector<double> below = WindowedLowPass(window, lowCut);
    for (std::size_t k = 0; k < taps.size(); ++k) taps[k] -= below[k];
  }
  return taps;
}

// The amplitude response of symmetric taps of one length at `f` cycles per sample, for as many sets
// of taps as are asked: the cosines worked out once.
class GainAt {
 public:
  GainAt(double f, int64_t half) : cosines_(static_cast<std::size_t>(half) + 1) {
    for (int64_t k = 1; k <= half; ++k) cosines_[static_cast<std::size_t>(k)] = f * static_cast<double>(k);
    DesignMath::CosinesOfTurns(cosines_.data() + 1, cosines_.data() + 1, half);
  }
  double operator()(const std::vector<double>& taps) const {
    const auto half = static_cast<int64_t>(taps.size() / 2);
    double sum = taps[static_cast<std::size_t>(half)];
    for (int64_t k = 1; k <= half; ++k) {
      sum += 2.0 * taps[static_cast<std::size_t>(half + k)] * cosines_[static_cast<std::size_t>(k)];
    }
    return sum;
  }

 private:
  std::vector<double> cosines_;
};

// The amplitude response of symmetric taps at `f` cycles per sample.
double TapsGain(const std::vector<double>& taps, double f) { return GainAt(f, static_cast<int64_t>(taps.size() / 2))(taps); }

// The edges a FIR cuts, in cycles per sample; an absent side is open.
struct FirEdges {
  std::optional<double> low;
  std::optional<double> high;
};

// The first guess of the half-length the edges' steepness needs.
int64_t FirstGuess(const FirEdges& edges) {
  int64_t half = 1;
  if (edges.low) half = std::max(half, Ceil(kThirtyDbReach / ((1.0 - kHighPassStopFraction) * *edges.low)));
  if (edges.high) half = std::max(half, Ceil(kHalfDbReach / ((1.0 - kLowPassFlatFraction) * *edges.high)));
  // Both edges in one FIR: long enough that each is flat where the other crosses its cut-off.
  if (edges.low && edges.high) half = std::max(half, Ceil(kHalfDbReach / (*edges.high - *edges.low)));
  return half;
}

// The band under `window` with its ideal cut-offs placed so that the response is half its amplitude at
// the edges (at the high edge `highTarget`, for a FIR that another part follows).
std::vector<double> PlacedBand(const std::vector<double>& window, const FirEdges& edges,
                               double highTarget = kCutOffGain) {
  double lowCut = edges.low ? *edges.low : 0.0;
  double highCut = edges.high ? *edges.high : 0.5;
  // WindowedBand's steps, with the side that stays put while the other is solved for made once.
  const auto half = static_cast<int64_t>(window.size() / 2);
  std::vector<double> band(window.size());
  for (int32_t round = 0; round < kPlacementRounds; ++round) {
    if (edges.low) {
      const GainAt gain(*edges.low, half);
      const std::vector<double> above = WindowedLowPass(window, highCut);
      lowCut = Solve(
          [&](double fc) {
            const std::vector<double> below = WindowedLowPass(window, fc);
            for (std::size_t k = 0; k < band.size(); ++k) band[k] = above[k] - below[k];
            return -gain(band);
          },
          -kCutOffGain, 0.0, highCut);
    }
    if (edges.high) {
      const GainAt gain(*edges.high, half);
      const std::vector<double> below = lowCut > 0.0 ? WindowedLowPass(window, lowCut) : std::vector<double>();
      highCut = Solve(
          [&](double fc) {
            band = WindowedLowPass(window, fc);
            for (std::size_t k = 0; k < below.size(); ++k) band[k] -= below[k];
            return gain(band);
          },
          highTarget, lowCut, 0.5);
    }
  }
  return WindowedBand(window, lowCut, highCut);
}

// True when `taps` have the steepness every edge is given.
bool Steep(const std::vector<double>& taps, const FirEdges& edges) {
  const double half = static_cast<double>(taps.size() / 2);
  if (edges.low) {
    const double edge = *edges.low * kHighPassStopFraction;
    for (int32_t i = 1; i <= kStopChecks; ++i) {
      if (std::fabs(TapsGain(taps, edge * i / kStopChecks)) > kDesignStopGain) return false;
    }
  }
  if (edges.high && *edges.high * kLowPassStopFraction < 0.5) {
    // The far stop band of the window lies below -34 dB: only the first few side lobes can fail.
    const double edge = *edges.high * kLowPassStopFraction;
    const double span = std::min(0.5 - edge, 2.0 / half);
    for (int32_t i = 0; i <= kStopChecks; ++i) {
      if (std::fabs(TapsGain(taps, edge + span * i / kStopChecks)) > kDesignStopGain) return false;
    }
  }
  const double from = edges.low ? *edges.low * kHighPassFlatFraction : 0.0;
  const double to = edges.high ? *edges.high * kLowPassFlatFraction : 0.5;
  if (!(from < to)) return true;
  // From a high-pass edge, steps of a constant ratio (its root taken by square roots, so the
  // frequencies are the same bits everywhere); from 0 Hz, even steps.
  const int32_t steps = 1 << kFlatCheckHalvings;
  double ratio = from > 0.0 ? to / from : 1.0;
  for (int32_t i = 0; i < kFlatCheckHalvings; ++i) ratio = std::sqrt(ratio);
  double f = from > 0.0 ? from : 0.0;
  for (int32_t i = 0; i <= steps; ++i) {
    const double gain = TapsGain(taps, f);
    if (gain > kDesignFlatGain || gain < 1.0 / kDesignFlatGain) return false;
    f = from > 0.0 ? f * ratio : to * (i + 1) / steps;
  }
  return true;
}

// The FIR for `edges`: the shortest window (growing from the first guess) with the edges' steepness,
// or the longest allowed.
std::vector<double> DesignFir(const FirEdges& edges) {
  int64_t half = std::min(FirstGuess(edges), FilterDesign::kLongestBandFir);
  for (;;) {
    std::vector<double> taps = PlacedBand(KaiserWindow(half), edges);
    if (half >= FilterDesign::kLongestBandFir || Steep(taps, edges)) return taps;
    half = std::min(FilterDesign::kLongestBandFir, half + std::max<int64_t>(1, half / kWindowGrowthDivisor));
  }
}

// An interpolated low-pass: a FIR G whose taps stand `spacing` samples apart (so that its edge lies at
// the edge times the spacing, where a short G is steep enough), behind the square of a moving average
// over `spacing` samples, whose double zeros at the multiples of the rate over the spacing remove the
// images of G's pass band there.
struct Interpolated {
  int32_t spacing = 0;
  std::vector<double> suppressor;
  std::vector<double> taps;
};

// Spacings tried, widest first: G's edge must then lie at or below kMostSpacedEdge of its own rate.
constexpr int32_t kSpacings[] = {16, 8, 4};
constexpr double kMostSpacedEdge = 0.2;
// The stop band of an interpolated low-pass is checked at frequencies this many times closer than
// the narrowest feature of G's response (its window over the spacing).
constexpr int32_t kStopChecksPerFeature = 8;
// Fewest values a spaced boxcar high-pass averages: with an odd count rounded from the exact one, its
// cut-off then lies within 1/127 of the one asked for.
constexpr int64_t kFewestSpacedValues = 127;
constexpr int32_t kLanesOfSpacedHighPass = 8;

// The square of a moving average over `spacing` samples: 1, 2, ..., spacing, ..., 2, 1 over spacing^2.
std::vector<double> Triangle(int32_t spacing) {
  std::vector<double> taps(static_cast<std::size_t>(2 * spacing - 1));
  const double scale = static_cast<double>(spacing) * spacing;
  for (int32_t k = 0; k < 2 * spacing - 1; ++k) taps[static_cast<std::size_t>(k)] = (spacing - std::abs(k - (spacing - 1))) / scale;
  return taps;
}

double InterpolatedGain(const Interpolated& design, double f) {
  return TapsGain(design.taps, f * design.spacing) * TapsGain(design.suppressor, f);
}

// True when the interpolated low-pass has the steepness of a low-pass edge at `edge`, images included.
bool Steep(const Interpolated& design, double edge) {
  const double flatTo = edge * kLowPassFlatFraction;
  const int32_t flatSteps = 1 << kFlatCheckHalvings;
  for (int32_t i = 0; i <= flatSteps; ++i) {
    const double gain = InterpolatedGain(design, flatTo * i / flatSteps);
    if (gain > kDesignFlatGain || gain < 1.0 / kDesignFlatGain) return false;
  }
  const double stopFrom = edge * kLowPassStopFraction;
  const auto stopSteps = static_cast<int64_t>((0.5 - stopFrom) * kStopChecksPerFeature * design.spacing *
                                              static_cast<double>(design.taps.size())) + 1;
  for (int64_t i = 0; i <= stopSteps; ++i) {
    const double f = stopFrom + (0.5 - stopFrom) * static_cast<double>(i) / static_cast<double>(stopSteps);
    if (std::fabs(InterpolatedGain(design, f)) > kDesignStopGain) return false;
  }
  return true;
}

// The interpolated low-pass for the edge at `edge` (cycles per sample) with the widest spacing that
// reaches the low-pass steepness with a G within kLongestEdgeFir; nullopt when none does.
std::optional<Interpolated> DesignInterpolated(double edge) {
  for (const int32_t spacing : kSpacings) {
    const double spacedEdge = edge * spacing;
    if (spacedEdge > kMostSpacedEdge) continue;
    Interpolated design;
    design.spacing = spacing;
    design.suppressor = Triangle(spacing);
    const double target = kCutOffGain / TapsGain(design.suppressor, edge);
    const FirEdges edges{std::nullopt, spacedEdge};
    int64_t half = FirstGuess(edges);
    while (half <= FilterDesign::kLongestEdgeFir) {
      design.taps = PlacedBand(KaiserWindow(half), edges, target);
      if (Steep(design, edge)) return design;
      half += std::max<int64_t>(1, half / kWindowGrowthDivisor);
    }
  }
  return std::nullopt;
}

}  // namespace

double FilterDesign::DesignRate(double samplingHz) {
  return std::isfinite(samplingHz) ? static_cast<double>(DesignMath::Round(samplingHz)) : 0.0;
}

namespace {

// A design with what For said when it refused one.
struct Outcome {
  std::optional<FilterDesign> design;
  std::string refusal;
};

// The designs made so far in this process, or being made on some thread, by band and design rate. Never
// destroyed: a design started ahead may still be running as the process exits.
struct KeptDesigns {
  // A few dozen designs at most: a session shows a handful of bands at one or two rates.
  static constexpr std::size_t kMostKept = 64;
  std::mutex mutex;
  std::map<std::pair<std::string, double>, std::shared_future<Outcome>> designs;

  static KeptDesigns& Instance() {
    static auto* const kept = new KeptDesigns;
    return *kept;
  }
  // The entry of `key`, and whether the caller is the one to make it (its promise then made here).
  std::shared_future<Outcome> Find(const std::pair<std::string, double>& key, std::optional<std::promise<Outcome>>& making) {
    const std::lock_guard lock(mutex);
    if (const auto found = designs.find(key); found != designs.end()) return found->second;
    if (designs.size() >= kMostKept) {
      // Forget the finished ones; one still being made has a thread waiting to hand it over.
      std::erase_if(designs, [](const auto& entry) {
        return entry.second.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
      });
    }
    making.emplace();
    std::shared_future<Outcome> result = making->get_future().share();
    designs.emplace(key, result);
    return result;
  }
};

std::atomic<int64_t> designsMade{0};

// What a design is kept under: the band's key and the rate it is designed for.
std::pair<std::string, double> KeyOf(const FilterChoice& chosen, double samplingHz) {
  return {chosen.Key(), FilterDesign::DesignRate(samplingHz)};
}

Outcome Make(const FilterChoice& chosen, double samplingHz) {
  Outcome outcome;
  outcome.design = FilterDesign::For(chosen, samplingHz, outcome.refusal);
  return outcome;
}

// Makes the design promised under `key`. A design that fails (out of memory) is forgotten, so that the
// next asker tries again, and its waiters get the failure.
void Fulfil(std::promise<Outcome>& promise, const std::pair<std::string, double>& key, const FilterChoice& chosen,
            double samplingHz) {
  try {
    promise.set_value(Make(chosen, samplingHz));
  } catch (...) {
    KeptDesigns& kept = KeptDesigns::Instance();
    {
      const std::lock_guard lock(kept.mutex);
      kept.designs.erase(key);
    }
    promise.set_exception(std::current_exception());
  }
}

}  // namespace

std::optional<FilterDesign> FilterDesign::Shared(const FilterChoice& chosen, double samplingHz, std::string& refusal) {
  std::optional<std::promise<Outcome>> making;
  const std::pair<std::string, double> key = KeyOf(chosen, samplingHz);
  const std::shared_future<Outcome> result = KeptDesigns::Instance().Find(key, making);
  if (making) Fulfil(*making, key, chosen, samplingHz);
  const Outcome& outcome = result.get();
  if (!outcome.design) refusal = outcome.refusal;
  return outcome.design;
}

void FilterDesign::Prepare(const FilterChoice& chosen, double samplingHz) {
  if (chosen.IsNone()) return;
  std::optional<std::promise<Outcome>> making;
  const std::pair<std::string, double> key = KeyOf(chosen, samplingHz);
  KeptDesigns::Instance().Find(key, making);
  if (!making) return;
  auto promise = std::make_shared<std::promise<Outcome>>(std::move(*making));
  try {
    std::thread([chosen, samplingHz, promise, key] { Fulfil(*promise, key, chosen, samplingHz); }).detach();
  } catch (const std::system_error&) {
    // No thread to be had: designed here and now, as Shared would.
    Fulfil(*promise, key, chosen, samplingHz);
  }
}

bool FilterDesign::Known(const FilterChoice& chosen, double samplingHz) {
  KeptDesigns& kept = KeptDesigns::Instance();
  const std::lock_guard lock(kept.mutex);
  return kept.designs.count(KeyOf(chosen, samplingHz)) > 0;
}

int64_t FilterDesign::DesignsMade() { return designsMade.load(); }

std::optional<FilterDesign> FilterDesign::For(const FilterChoice& chosen, double samplingHz, std::string& refusal) {
  const double rate = DesignRate(samplingHz);
  designsMade.fetch_add(1);
  FilterDesign design(chosen, rate);
  if (chosen.IsNone()) return design;
  if (!(rate >= kLowestRateHz)) {
    refusal = "Filter: the recording's sampling rate is unknown, so no filter can be made for it";
    return std::nullopt;
  }
  const std::optional<double> low = chosen.LowHz();
  const std::optional<double> high = chosen.HighHz();
  const double nyquist = rate / 2.0;
  const auto outside = [&](const char* field, double hz) {
    if (hz > 0.0 && hz < nyquist) return false;
    refusal = std::string("Filter ") + field + ": " + FilterChoice::FormatHz(hz) + " Hz is not inside (0, " +
              FilterChoice::FormatHz(nyquist) + ") Hz, above 0 and below half the sampling rate";
    return true;
  };
  if ((low && outside("low cut-off", *low)) || (high && outside("high cut-off", *high))) return std::nullopt;
  if (low && high && !(*low < *high)) {
    refusal = "Filter low cut-off: " + FilterChoice::FormatHz(*low) + " Hz is not below the high cut-off, " +
              FilterChoice::FormatHz(*high) + " Hz";
    return std::nullopt;
  }

  // The low edge in the FIR when the window its steepness needs is within reach, else a boxcar stage.
  // The high edge alone (no FIR low edge) in an interpolated FIR where a spacing reaches it, else in
  // the FIR when within reach, else a boxcar stage.
  const FirEdges lowEdge{low ? std::optional<double>(RateFraction(*low, rate)) : std::nullopt, std::nullopt};
  const FirEdges highEdge{std::nullopt, high ? std::optional<double>(RateFraction(*high, rate)) : std::nullopt};
  const bool firLow = low && FirstGuess(lowEdge) <= kLongestEdgeFir;
  const std::optional<Interpolated> interpolated =
      high && !firLow ? DesignInterpolated(*highEdge.high) : std::nullopt;
  const bool firHigh = high && !interpolated && FirstGuess(highEdge) <= kLongestEdgeFir;

  if (low && !firLow) {
    const int64_t length = OddLength(HighPassBoxcarCorner() / RateFraction(*low, rate));
    if (length > LongestBoxcar(kHighPassDepth)) {
      refusal = "Filter low cut-off: " + FilterChoice::FormatHz(*low) + " Hz is below " +
                LowestCutOff(HighPassBoxcarCorner(), kHighPassDepth, rate) +
                " Hz, the lowest a filter reaches at " + FilterChoice::FormatHz(rate) + " Hz";
      return std::nullopt;
    }
    // Behind an interpolated low-pass the boxcars may take every spacing-th sample: what they let
    // through near the multiples of the rate over the spacing, the low-pass removes.
    if (interpolated && interpolated->spacing % kLanesOfSpacedHighPass == 0) {
      const int64_t values = OddLength(HighPassBoxcarCorner() / (RateFraction(*low, rate) * interpolated->spacing));
      if (values >= kFewestSpacedValues && values <= SpacedHighPass::kLongestLength) {
        design.spacedHighPass_.emplace(values, interpolated->spacing);
      }
    }
    if (!design.spacedHighPass_) design.highPass_ = BoxcarStage::HighPass(length);
  }
  if (high && !firHigh && !interpolated) {
    const int64_t length = OddLength(LowPassBoxcarCorner() / RateFraction(*high, rate));
    if (length > LongestBoxcar(kLowPassDepth)) {
      refusal = "Filter high cut-off: " + FilterChoice::FormatHz(*high) + " Hz is below " +
                LowestCutOff(LowPassBoxcarCorner(), kLowPassDepth, rate) +
                " Hz, the lowest a filter reaches at " + FilterChoice::FormatHz(rate) + " Hz";
      return std::nullopt;
    }
    design.lowPass_ = BoxcarStage::LowPass(length);
  }
  if (interpolated) {
    design.suppressor_ = FirStage::Quantise(interpolated->suppressor, 1);
    design.fir_ = FirStage::Quantise(interpolated->taps, 1, interpolated->spacing);
  } else if (firLow || firHigh) {
    const FirEdges edges{firLow ? lowEdge.low : std::nullopt, firHigh ? highEdge.high : std::nullopt};
    design.fir_ = FirStage::Quantise(DesignFir(edges), firLow ? 0 : 1);
  }
  return design;
}

int64_t FilterDesign::HalfSupport() const {
  return (highPass_ ? highPass_->HalfSupport() : 0) + (suppressor_ ? suppressor_->HalfSupport() : 0) +
         (spacedHighPass_ ? spacedHighPass_->HalfSupport() : 0) + (fir_ ? fir_->HalfSupport() : 0) +
         (lowPass_ ? lowPass_->HalfSupport() : 0);
}

double FilterDesign::Gain(double hz) const {
  const double f = rate_ > 0.0 ? hz / rate_ : 0.0;
  double gain = 1.0;
  if (highPass_) gain *= highPass_->Gain(f);
  if (suppressor_) gain *= suppressor_->Gain(f);
  if (spacedHighPass_) gain *= spacedHighPass_->Gain(f);
  if (fir_) gain *= fir_->Gain(f);
  if (lowPass_) gain *= lowPass_->Gain(f);
  return gain;
}

std::string FilterDesign::Structure() const {
  std::vector<std::string> parts;
  if (highPass_) {
    parts.push_back("boxcar high-pass x - B^3 (B of " + std::to_string(highPass_->Length()) + " samples)");
  }
  if (suppressor_) parts.push_back("moving average of " + std::to_string(suppressor_->HalfSupport() + 1) + " samples, twice");
  if (spacedHighPass_) {
    parts.push_back("boxcar high-pass x - B^3 (B of " + std::to_string(spacedHighPass_->Length()) + " values " +
                    std::to_string(spacedHighPass_->Spacing()) + " samples apart)");
  }
  if (fir_) {
    std::string fir = "FIR of " + std::to_string(fir_->Taps().size()) + " taps";
    if (fir_->Spacing() > 1) fir += " " + std::to_string(fir_->Spacing()) + " samples apart";
    parts.push_back(fir);
  }
  if (lowPass_) {
    parts.push_back("boxcar low-pass 10 B^6 - 15 B^8 + 6 B^10 (B of " + std::to_string(lowPass_->Length()) + " samples)");
  }
  if (parts.empty()) return "none";
  std::string text = parts.front();
  for (std::size_t i = 1; i < parts.size(); ++i) text += ", then " + parts[i];
  return text;
}

int64_t FilterDesign::Part::HalfSupport() const {
  if (boxcar != nullptr) return boxcar->HalfSupport();
  if (fir != nullptr) return fir->HalfSupport();
  return spacedHighPass != nullptr ? spacedHighPass->HalfSupport() : 0;
}

std::vector<FilterDesign::Part> FilterDesign::Parts() const {
  std::vector<Part> parts;
  if (IsNone()) return parts;
  if (highPass_) parts.push_back({.boxcar = &*highPass_});
  if (suppressor_) parts.push_back({.fir = &*suppressor_});
  if (spacedHighPass_) parts.push_back({.spacedHighPass = &*spacedHighPass_});
  if (fir_) parts.push_back({.fir = &*fir_});
  if (lowPass_) parts.push_back({.boxcar = &*lowPass_});
  return parts;
}

void FilterDesign::Apply(const int16_t* in, int64_t count, int16_t* out, FilterWorkspace& work,
                         std::span<const OutputRange> only) const {
  if (IsNone()) {
    std::copy(in, in + count, out);
    return;
  }
  // Each part narrows the stretch by its own support; the last one writes `out`.
  const int16_t* source = in;
  int64_t left = HalfSupport();
  int32_t buffer = 0;
  const auto target = [&](int64_t stageHalf) -> int16_t* {
    left -= stageHalf;
    if (left == 0) return out;
    const int64_t length = count + 2 * left + FirStage::kReadPad;
    int16_t* between = FilterWorkspace::Room(work.between[buffer], length);
    buffer = 1 - buffer;
    std::fill(between + length - FirStage::kReadPad, between + length, int16_t{0});
    return between;
  };
  const auto run = [&](int64_t stageHalf, const auto& apply) {
    const int64_t outputs = count + 2 * (left - stageHalf);
    int16_t* next = target(stageHalf);
    apply(source, outputs, next);
    source = next;
  };
  if (highPass_) run(highPass_->HalfSupport(), [&](const int16_t* s, int64_t n, int16_t* o) { highPass_->Apply(s, n, o, work.boxcars); });
  if (suppressor_) run(suppressor_->HalfSupport(), [&](const int16_t* s, int64_t n, int16_t* o) { suppressor_->Apply(s, n, o); });
  if (spacedHighPass_) {
    run(spacedHighPass_->HalfSupport(), [&](const int16_t* s, int64_t n, int16_t* o) { spacedHighPass_->Apply(s, n, o); });
  }
  if (fir_) {
    run(fir_->HalfSupport(), [&](const int16_t* s, int64_t n, int16_t* o) {
      // As the last part, a FIR's outputs are each a sum of their own: those nobody asked for are skipped.
      if (only.empty() || lowPass_) {
        fir_->Apply(s, n, o);
        return;
      }
      for (const OutputRange& range : only) {
        const int64_t from = std::max<int64_t>(range.from, 0);
        const int64_t to = std::min(range.to, n);
        if (from < to) fir_->Apply(s + from, to - from, o + from);
      }
    });
  }
  if (lowPass_) run(lowPass_->HalfSupport(), [&](const int16_t* s, int64_t n, int16_t* o) { lowPass_->Apply(s, n, o, work.boxcars); });
}

void FilterDesign::ApplyPeriodic(const int16_t* in, int64_t period, int16_t* out, FilterWorkspace& work) const {
  // A part is exact integer arithmetic on a window centred on each output, the same wherever it
  // stands, so its output over a periodic input repeats with the same period: one period of each
  // part's output is the whole of the next part's input.
  const std::vector<Part> parts = Parts();
  if (parts.empty()) {
    std::copy(in, in + period, out);
    return;
  }
  const int16_t* source = in;
  for (std::size_t p = 0; p < parts.size(); ++p) {
    int16_t* next = p + 1 == parts.size() ? out : FilterWorkspace::Room(work.between[p % 2], period);
    const Part& part = parts[p];
    if (part.boxcar != nullptr) {
      part.boxcar->ApplyPeriodic(source, period, next, work.boxcars, work.circular);
    } else if (part.fir != nullptr) {
      part.fir->ApplyPeriodic(source, period, next, work);
    } else {
      part.spacedHighPass->ApplyPeriodic(source, period, next, work);
    }
    source = next;
  }
}

}  // namespace skelvane
