#pragma once
// A band filter designed for one sampling rate: zero phase (every part symmetric and centred), so a
// filtered sample depends on exactly HalfSupport() raw samples on each side and nothing else, and a
// view that starts anywhere computes the values a pass over the whole file computes. The parts, in
// the order they run: a boxcar high-pass for a low cut-off too low for the FIR; for a high cut-off
// alone, an interpolated low-pass (the square of a short moving average, then a FIR whose taps stand
// that many samples apart), with a boxcar high-pass on every spacing-th sample before its FIR; one
// Kaiser-windowed FIR for the edges within its reach; a boxcar low-pass for a high cut-off too low for
// either. All arithmetic is integer (or exact integers in double) and the coefficients are designed
// from +, -, *, / and sqrt alone, so the output is the same bytes on every machine. Built by the
// window, the snapshot, the extraction and `skelvane-cli filter`; SegmentFilter applies it to records.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "filter/BoxcarStage.h"
#include "filter/FilterChoice.h"
#include "filter/FilterWorkspace.h"
#include "filter/FirStage.h"
#include "filter/SpacedHighPass.h"

namespace skelvane {

class FilterDesign {
 public:
  /// Half-length of the FIR at most for one edge; an edge that needs a longer one is a boxcar stage.
  static constexpr int64_t kLongestEdgeFir = 256;
  /// Half-length of the FIR at most for a narrow band (both edges in the FIR, close together).
  static constexpr int64_t kLongestBandFir = 4096;
  /// Samples on each side a boxcar stage may span at most (about 33 s at 32 kHz): a lower cut-off is
  /// refused.
  static constexpr int64_t kLongestBoxcarReach = int64_t{1} << 20;

  /// The design of `chosen` for a recording sampled at `samplingHz` (taken to the nearest whole hertz,
  /// so that every caller's rate estimate of one recording gives the same design). nullopt with
  /// `refusal` naming the field when a cut-off is not inside (0, half the rate), lies below the lowest
  /// the rate allows, or the low one is not below the high one.
  static std::optional<FilterDesign> For(const FilterChoice& chosen, double samplingHz, std::string& refusal);
  /// As For, from the designs made so far in this process when there is one: designing a band costs
  /// about as much as filtering seconds of a channel, and every plot of a recording asks alike.
  /// A design another thread is still making is waited for, not made again.
  static std::optional<FilterDesign> Shared(const FilterChoice& chosen, double samplingHz, std::string& refusal);
  /// Starts making the design Shared will hand out, on a thread of its own, unless it is made or being
  /// made: the window makes the bands it showed last ready as it starts, so that reopening them does
  /// not wait the milliseconds a design takes.
  static void Prepare(const FilterChoice& chosen, double samplingHz);
  /// Whether Shared has the design of `chosen` for `samplingHz`, made or being made.
  static bool Known(const FilterChoice& chosen, double samplingHz);
  /// Calls of For in this process so far: the designs made, refused ones included.
  static int64_t DesignsMade();
  /// The rate a design for `samplingHz` is made for.
  static double DesignRate(double samplingHz);

  const FilterChoice& Choice() const { return choice_; }
  /// The sampling rate designed for, in hertz.
  double RateHz() const { return rate_; }
  bool IsNone() const { return choice_.IsNone(); }
  /// Raw samples on each side of a filtered sample that it depends on.
  int64_t HalfSupport() const;
  /// Raw samples a filtered sample depends on: 2 x HalfSupport() + 1.
  int64_t Support() const { return 2 * HalfSupport() + 1; }
  /// Amplitude gain at `hz`, computed from the quantised coefficients as they are applied.
  double Gain(double hz) const;
  /// The parts in words, for the response command: "FIR of 77 taps", "boxcar high-pass x - B^3 (B of
  /// 11715 samples)".
  std::string Structure() const;

  /// Outputs [from, to) of one Apply.
  struct OutputRange {
    int64_t from;
    int64_t to;
  };

  /// out[i] = the filtered sample centred on in[i + HalfSupport()], for i in [0, count): the input
  /// holds count + 2 x HalfSupport() samples, then FirStage::kReadPad readable ones. With `only`
  /// (ascending, not overlapping) the outputs outside its ranges may be left as they were: a last
  /// part that is a FIR then weighs only the samples of those.
  void Apply(const int16_t* in, int64_t count, int16_t* out, FilterWorkspace& work,
             std::span<const OutputRange> only = {}) const;

  /// out[c] = the filtered sample centred on in[c], for c in [0, period), of the input that repeats
  /// in[0, period) for ever both ways: the values Apply gives over the repeated input, each part run
  /// over one period of its own (periodic) input, so the cost follows the period, not the support.
  void ApplyPeriodic(const int16_t* in, int64_t period, int16_t* out, FilterWorkspace& work) const;

  /// One part, as a pass that runs the parts one after another sees it: exactly one of the three is set.
  struct Part {
    const BoxcarStage* boxcar = nullptr;
    const FirStage* fir = nullptr;
    const SpacedHighPass* spacedHighPass = nullptr;
    int64_t HalfSupport() const;
  };
  /// The parts in the order Apply runs them (none for no filter); they point into this design.
  std::vector<Part> Parts() const;

  /// The FIR part (the spaced one of an interpolated low-pass), absent when neither edge is within its
  /// reach.
  const std::optional<FirStage>& Fir() const { return fir_; }

 private:
  FilterDesign(const FilterChoice& chosen, double rate) : choice_(chosen), rate_(rate) {}

  FilterChoice choice_;
  double rate_;
  // The parts in the order they run; the image suppressor and a spaced FIR make an interpolated
  // low-pass, which a spaced high-pass needs behind it.
  std::optional<BoxcarStage> highPass_;
  std::optional<FirStage> suppressor_;
  std::optional<SpacedHighPass> spacedHighPass_;
  std::optional<FirStage> fir_;
  std::optional<BoxcarStage> lowPass_;
};

}  // namespace skelvane
