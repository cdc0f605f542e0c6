#pragma once
// Which band filter to apply, as the user names it: None, the Spike Band, the LFP Band or a Custom
// band with a low and a high cut-off (either may be open). Parsed from `none|spike|lfp|LO:HI`, shown
// in plot headers and figure titles, kept as text in keys and in spike file headers. FilterDesign
// turns it into coefficients for one recording's sampling rate.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace skelvane {

class FilterChoice {
 public:
  enum class Band { kNone, kSpike, kLfp, kCustom };

  /// The bands' cut-offs in hertz.
  static constexpr double kSpikeLowHz = 600.0;
  static constexpr double kSpikeHighHz = 6000.0;
  static constexpr double kLfpLowHz = 1.0;
  static constexpr double kLfpHighHz = 300.0;
  /// The key of the spike file header line that names the filter.
  static constexpr std::string_view kHeaderKey = "-Filter";
  /// The generation of FilterDesign's rules, part of every key: raised whenever a band's design
  /// changes, so that nothing computed by an earlier design is taken for the new one's.
  static constexpr int32_t kDesignGeneration = 2;

  /// None: samples as recorded.
  FilterChoice() = default;
  static FilterChoice Spike();
  static FilterChoice Lfp();
  /// A band between `lowHz` and `highHz`; an absent side is open (high-pass or low-pass only).
  static FilterChoice Custom(std::optional<double> lowHz, std::optional<double> highHz);

  /// Parses `none`, `spike`, `lfp` (any case), `LO:HI`, `LO:` or `:HI` (cut-offs in hertz). nullopt
  /// with `refusal` set to a message naming the field when the text does not parse, a cut-off is not
  /// above 0 or the low one is not below the high one. The cut-offs against the recording's sampling
  /// rate are checked when the filter is designed (FilterDesign::For).
  static std::optional<FilterChoice> Parse(std::string_view text, std::string& refusal);

  Band GetBand() const { return band_; }
  bool IsNone() const { return band_ == Band::kNone; }
  /// The cut-offs; nullopt for an open side (and both for None).
  std::optional<double> LowHz() const { return low_; }
  std::optional<double> HighHz() const { return high_; }

  /// For headers and titles: "Spike Band 600-6000 Hz", "LFP Band 1-300 Hz", "Custom 300-3000 Hz",
  /// "Custom above 300 Hz", "Custom below 3000 Hz"; "None" for None.
  std::string Description() const;
  /// The form Parse reads back: "none", "spike", "lfp", "300:3000", "300:", ":3000".
  std::string Text() const;
  /// A stable key for what the filter computes: band, cut-offs and the generation of the design
  /// rules ("spike:600:6000:d1"), so that anything kept under it goes stale when either changes;
  /// "none" for None.
  std::string Key() const;
  /// The spike file header line (without its line end) naming the band and its cut-offs, an open
  /// side as "open": "\t-Filter  spike 600 6000", "\t-Filter  custom 300 open".
  std::string HeaderLine() const;

  /// A cut-off as the texts write it: the shortest decimal that reads back as the same value.
  static std::string FormatHz(double hz);

  bool operator==(const FilterChoice& other) const = default;

 private:
  FilterChoice(Band band, std::optional<double> low, std::optional<double> high) : band_(band), low_(low), high_(high) {}

  Band band_ = Band::kNone;
  std::optional<double> low_;
  std::optional<double> high_;
};

}  // namespace skelvane
