#pragma once
// Times as the user reads and types them: seconds and h:mm:ss clock texts to a chosen number of
// decimals, the raw microsecond labels of the time axis, and the texts Go To Time accepts. Used by
// the canvas's time axis, the status bar, the cursor readout and the Go To Time dialog.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace skelvane {

class TimeText {
 public:
  /// Decimals of a second a text may carry: a microsecond is the finest time there is.
  static constexpr int32_t kMaxDecimals = 6;

  /// A raw time label: the scaled time rounded to whole units, digits only.
  static std::string Microseconds(int64_t time, double scale);
  /// Decimals a seconds or clock label needs so that labels `step` microseconds apart differ (0..6).
  static int32_t DecimalsForStep(int64_t step);
  /// The fewest decimals that write `time` exactly (0..6).
  static int32_t ExactDecimals(int64_t time);
  /// `time` in seconds rounded to `decimals` decimals ("12.25", "-0.5").
  static std::string Seconds(int64_t time, int32_t decimals);
  /// `offset` microseconds as h:mm:ss rounded to `decimals` second decimals ("1:02:03.25", "-0:00:01").
  static std::string Clock(int64_t offset, int32_t decimals);

  /// Reads a typed time: seconds from `recordingStart` ("100.5", "100.5 s"), a clock time from it
  /// ("0:01:40", "1:40", "0:01:40.25"), or a raw timestamp in microseconds ("123456789us"). The time
  /// in microseconds, or none with `error` saying what is wrong.
  static std::optional<int64_t> Parse(std::string_view text, int64_t recordingStart, std::string& error);
  /// What Go To Time says when it was asked for `asked` and went to `shown`, the nearest time of the
  /// recording, both given as clock times from `recordingStart`.
  static std::string ClampedMessage(int64_t asked, int64_t shown, int64_t recordingStart);
};

}  // namespace skelvane
