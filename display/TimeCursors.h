#pragma once
// The two measuring cursors, A and B: times in the recording (so they stay put as the view moves)
// and the readout the status bar shows for them. The canvas owns one and draws its lines (laid out
// by CanvasOverlays); the main window sets, clears and reads it.

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace skelvane {

class RecordingClock;

class TimeCursors {
 public:
  enum class Cursor { A, B };
  static constexpr int32_t kCount = 2;

  /// What the readout tells of the plot under the mouse: its sample under B less its sample under A.
  struct PlotDifference {
    std::string plotName;
    std::optional<int32_t> counts;     // none when either cursor lies in a gap of that plot
    std::optional<double> microvolts;  // when its header gives the volts per count
    std::string band;                  // the band both values were filtered through; empty: as recorded
  };

  /// Puts `cursor` at `time` (microseconds).
  void Set(Cursor cursor, int64_t time);
  /// Removes both cursors.
  void Clear();
  /// The time of `cursor`, or none when it is not set.
  std::optional<int64_t> TimeOf(Cursor cursor) const { return times_[Index(cursor)]; }
  /// Whether either cursor is set.
  bool Any() const { return times_[0].has_value() || times_[1].has_value(); }
  /// The letter the cursor is labelled with.
  static const char* Name(Cursor cursor);

  /// "A 1.250000 s  B 1.500000 s  dt 0.250000 s  1/dt 4 Hz", the times read on `clock`, each part only
  /// when it can be had, then "  TT1a: B-A 120 counts = 36.6 uV" for the plot under the mouse; empty
  /// with no cursor.
  std::string ReadoutText(const RecordingClock& clock, const std::optional<PlotDifference>& plot) const;

 private:
  static std::size_t Index(Cursor cursor) { return cursor == Cursor::A ? 0 : 1; }
  std::array<std::optional<int64_t>, kCount> times_;
};

}  // namespace skelvane
