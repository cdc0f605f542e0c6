#include "display/TimeCursors.h"

#include <cstdio>

#include "display/RecordingClock.h"
#include "display/TimeText.h"
#include "platform/Saturating.h"

namespace skelvane {
namespace {

constexpr int32_t kMicrosecondDecimals = 6;
constexpr double kMicrosecondsPerSecond = 1e6;

}  // namespace

void TimeCursors::Set(Cursor cursor, int64_t time) { times_[Index(cursor)] = time; }

void TimeCursors::Clear() { times_.fill(std::nullopt); }

const char* TimeCursors::Name(Cursor cursor) { return cursor == Cursor::A ? "A" : "B"; }

std::string TimeCursors::ReadoutText(const RecordingClock& clock, const std::optional<PlotDifference>& plot) const {
  if (!Any()) return {};
  std::string text;
  for (const Cursor cursor : {Cursor::A, Cursor::B}) {
    if (!TimeOf(cursor)) continue;
    if (!text.empty()) text += "  ";
    text += std::string(Name(cursor)) + " " + clock.Seconds(*TimeOf(cursor), kMicrosecondDecimals) + " s";
  }
  if (!times_[0] || !times_[1]) return text;
  const int64_t dt = SaturatingSubtract(*times_[1], *times_[0]);
  text += "  dt " + TimeText::Seconds(dt, kMicrosecondDecimals) + " s";
  if (dt != 0) {
    char frequency[48];
    std::snprintf(frequency, sizeof frequency, "  1/dt %.6g Hz", kMicrosecondsPerSecond / static_cast<double>(dt));
    text += frequency;
  }
  if (!plot) return text;
  text += "  " + plot->plotName + ": B-A ";
  if (!plot->counts) return text + "in a gap";
  text += std::to_string(*plot->counts) + " counts";
  if (plot->microvolts) {
    char microvolts[48];
    std::snprintf(microvolts, sizeof microvolts, " = %.1f uV", *plot->microvolts);
    text += microvolts;
  }
  if (!plot->band.empty()) text += " filtered (" + plot->band + ")";
  return text;
}

}  // namespace skelvane
