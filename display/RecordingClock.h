#pragma once
// The one clock every time on screen is read on: seconds and h:mm:ss count from the first record of
// the open recordings, and a raw timestamp is shown only labelled as one. The canvas's Seconds and
// Clock axes, the status bar, the cursors' readout, Go To Time and the Spikes panel all read it.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace skelvane {

class IDataSourceManager;

class RecordingClock {
 public:
  /// Decimals of a second a reading carries: a microsecond is the finest time there is.
  static constexpr int32_t kReadingDecimals = 6;

  /// A clock counting from `origin` (a timestamp, microseconds).
  explicit RecordingClock(int64_t origin) : origin_(origin) {}
  /// The clock of the open recordings: from the earliest first record of `sources`, or from
  /// `fallback` (the start of the view's time range) while none is open.
  static RecordingClock Of(IDataSourceManager& sources, int64_t fallback);

  /// The timestamp the clock counts from.
  int64_t Origin() const { return origin_; }
  /// Microseconds from the origin to `time`, held to the 64-bit range.
  int64_t Offset(int64_t time) const;
  /// `time` in seconds on this clock, to `decimals` decimals ("100.5").
  std::string Seconds(int64_t time, int32_t decimals) const;
  /// `time` as h:mm:ss on this clock, to `decimals` second decimals ("0:01:40.5").
  std::string Clock(int64_t time, int32_t decimals) const;
  /// A moment as the status bar and the Spikes panel show it, to the microsecond:
  /// "100.500000 s  (0:01:40.500000)  timestamp 101496186 us".
  std::string Reading(int64_t time) const;
  /// A typed time (the forms of TimeText::Parse) as a timestamp, or none with `error` saying why.
  std::optional<int64_t> Parse(std::string_view text, std::string& error) const;

 private:
  int64_t origin_;
};

}  // namespace skelvane
