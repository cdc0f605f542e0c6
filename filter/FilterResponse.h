#pragma once
// The measured response of a designed filter: its pass band (within 0.5 dB), its stop bands (at least
// 30 dB down), the ripple inside the pass band and the -3 dB corners, all from FilterDesign::Gain, so
// from the quantised coefficients as they are applied. Printed and drawn by `skelvane-cli filter
// --response`; the README's figures come from there.

#include <optional>
#include <string>
#include <vector>

#include "filter/FilterDesign.h"

namespace skelvane {

class FilterResponse {
 public:
  /// The limits the bands are measured by, in dB.
  static constexpr double kPassDeviationDb = 0.5;
  static constexpr double kStopDb = -30.0;
  static constexpr double kCornerDb = -3.0103;

  /// One labelled row of the response table.
  struct Row {
    double hz = 0.0;
    double db = 0.0;
    std::string label;  // "low cut-off", "pass band", ...; empty for a plain point
  };

  /// Measures `design` (which must not be None).
  static FilterResponse Of(const FilterDesign& design);

  /// The pass band: where the gain stays within kPassDeviationDb of 0 dB around the band's middle;
  /// nullopt when the middle itself is outside (a band too narrow to pass anything whole). Its low
  /// edge is 0 for a filter without a high-pass.
  std::optional<double> passLowHz;
  std::optional<double> passHighHz;
  /// Highest and lowest gain inside the pass band, in dB.
  double rippleHighDb = 0.0;
  double rippleLowDb = 0.0;
  /// The gain is kStopDb or less at every frequency up to stopBelowHz, and from stopAboveHz up to half
  /// the rate; nullopt where that side has no stop band.
  std::optional<double> stopBelowHz;
  std::optional<double> stopAboveHz;
  /// Where the gain crosses -3 dB below and above the pass band.
  std::optional<double> cornerLowHz;
  std::optional<double> cornerHighHz;

  /// The lowest frequency the response is measured from (a decade below the lowest cut-off, at most
  /// 1 Hz) and the highest (half the rate).
  double fromHz = 0.0;
  double toHz = 0.0;

  /// The gain at `perDecade` log-spaced frequencies from fromHz to toHz, with the cut-offs, corners and
  /// band edges among them (labelled), in order of frequency.
  std::vector<Row> Table(const FilterDesign& design, int32_t perDecade) const;
};

}  // namespace skelvane
