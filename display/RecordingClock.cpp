#include "display/RecordingClock.h"

#include "datafile/IDataSourceManager.h"
#include "display/TimeText.h"
#include "platform/Saturating.h"

namespace skelvane {

RecordingClock RecordingClock::Of(IDataSourceManager& sources, int64_t fallback) {
  std::optional<int64_t> earliest;
  for (int32_t i = 0; i < sources.GetNumSources(); ++i) {
    int64_t first = 0;
    if (sources.GetFirstTimestamp(i, first) != 0) continue;
    if (!earliest || first < *earliest) earliest = first;
  }
  return RecordingClock(earliest.value_or(fallback));
}

int64_t RecordingClock::Offset(int64_t time) const { return SaturatingSubtract(time, origin_); }

std::string RecordingClock::Seconds(int64_t time, int32_t decimals) const {
  return TimeText::Seconds(Offset(time), decimals);
}

std::string RecordingClock::Clock(int64_t time, int32_t decimals) const {
  return TimeText::Clock(Offset(time), decimals);
}

std::string RecordingClock::Reading(int64_t time) const {
  std::string text = Seconds(time, kReadingDecimals);
  text += " s  (";
  text += Clock(time, kReadingDecimals);
  text += ")  timestamp ";
  text += std::to_string(time);
  text += " us";
  return text;
}

std::optional<int64_t> RecordingClock::Parse(std::string_view text, std::string& error) const {
  return TimeText::Parse(text, origin_, error);
}

}  // namespace skelvane
