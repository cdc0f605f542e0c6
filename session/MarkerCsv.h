#pragma once
// Markers as CSV, one a line under the header `timestamp_us,time_s,plot,text`: the raw timestamp, the
// same moment in seconds on the one clock, the plot's name (empty: every plot) and the text, quoted as
// RFC 4180 quotes. Export from the window's Markers panel and `skelvane-cli markers --csv`; import
// into the panel.

#include <string>
#include <vector>

#include "display/MarkerSet.h"

namespace skelvane {

class RecordingClock;

class MarkerCsv {
 public:
  /// The first line of every export, and what an import expects first.
  static constexpr const char* kHeader = "timestamp_us,time_s,plot,text";

  /// The CSV text of `markers`, times in seconds read on `clock`; lines end in CRLF as RFC 4180 has it.
  static std::string Text(const std::vector<MarkerSet::Marker>& markers, const RecordingClock& clock);
  /// The markers of a CSV text (LF or CRLF lines; the raw timestamp is what counts, time_s is only
  /// for the reader); false with `error` naming the line and what is wrong, nothing taken.
  static bool Parse(const std::string& text, std::vector<MarkerSet::Marker>& markers, std::string& error);
};

}  // namespace skelvane
