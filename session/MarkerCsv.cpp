#include "session/MarkerCsv.h"

#include <charconv>

#include "display/RecordingClock.h"

namespace skelvane {
namespace {

constexpr const char* kLineEnd = "\r\n";
constexpr std::size_t kColumns = 4;

std::string Quoted(const std::string& field) {
  if (field.find_first_of(",\"\r\n") == std::string::npos) return field;
  std::string quoted = "\"";
  for (const char c : field) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

// Splits the text into records of fields; false at a quote left open (`line` is then where it opened).
bool Records(const std::string& text, std::vector<std::vector<std::string>>& records, std::size_t& line) {
  std::vector<std::string> fields(1);
  bool quoted = false;
  bool fieldStarted = false;
  std::size_t quoteLine = 1;
  line = 1;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        fields.back() += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        if (c == '\n') ++line;
        fields.back() += c;
      }
      continue;
    }
    if (c == '"' && !fieldStarted) {
      quoted = true;
      fieldStarted = true;
      quoteLine = line;
    } else if (c == ',') {
      fields.emplace_back();
      fieldStarted = false;
    } else if (c == '\n' || (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) {
      if (c == '\r') ++i;
      records.push_back(std::move(fields));
      fields.assign(1, std::string());
      fieldStarted = false;
      ++line;
    } else {
      fields.back() += c;
      fieldStarted = true;
    }
  }
  if (quoted) {
    line = quoteLine;
    return false;
  }
  if (fields.size() > 1 || !fields.front().empty()) records.push_back(std::move(fields));
  return true;
}

}  // namespace

std::string MarkerCsv::Text(const std::vector<MarkerSet::Marker>& markers, const RecordingClock& clock) {
  std::string text = std::string(kHeader) + kLineEnd;
  for (const MarkerSet::Marker& marker : markers) {
    text += std::to_string(marker.timestamp) + "," + clock.Seconds(marker.timestamp, RecordingClock::kReadingDecimals) +
            "," + Quoted(marker.plot) + "," + Quoted(marker.text) + kLineEnd;
  }
  return text;
}

bool MarkerCsv::Parse(const std::string& text, std::vector<MarkerSet::Marker>& markers, std::string& error) {
  std::vector<std::vector<std::string>> records;
  std::size_t line = 0;
  if (!Records(text, records, line)) {
    error = "line " + std::to_string(line) + ": a quote is not closed";
    return false;
  }
  if (records.empty() || records.front() != std::vector<std::string>{"timestamp_us", "time_s", "plot", "text"}) {
    error = std::string("line 1: not the header ") + kHeader;
    return false;
  }
  std::vector<MarkerSet::Marker> read;
  for (std::size_t i = 1; i < records.size(); ++i) {
    const std::vector<std::string>& fields = records[i];
    if (fields.size() == 1 && fields.front().empty()) continue;  // a blank line
    const std::string where = "record " + std::to_string(i) + ": ";
    if (fields.size() != kColumns) {
      error = where + std::to_string(fields.size()) + " fields, not " + std::to_string(kColumns);
      return false;
    }
    MarkerSet::Marker marker;
    const std::string& time = fields[0];
    const auto [end, rc] = std::from_chars(time.data(), time.data() + time.size(), marker.timestamp);
    if (rc != std::errc() || end != time.data() + time.size() || time.empty()) {
      error = where + "timestamp_us \"" + time + "\" is not a whole number of microseconds";
      return false;
    }
    marker.plot = fields[2];
    marker.text = fields[3];
    read.push_back(std::move(marker));
  }
  markers = std::move(read);
  return true;
}

}  // namespace skelvane
