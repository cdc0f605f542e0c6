#include "session/SessionFile.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <limits>
#include <optional>

#include "display/CanvasSnapshot.h"
#include "display/Plot.h"
#include "display/PlotCanvas.h"
#include "filter/FilterChoice.h"
#include "platform/AtomicFile.h"
#include "platform/File.h"
#include "platform/ReportError.h"
#include "platform/StatusCodes.h"
#include "spikes/DataFileGuard.h"

namespace skelvane {
namespace {

using Json = nlohmann::ordered_json;

constexpr const char* kTimeAxisNames[] = {"microseconds", "seconds", "clock"};
constexpr const char* kDataAxisCounts = "counts";
constexpr const char* kDataAxisMicrovolts = "microvolts";
constexpr const char* kModeNames[] = {"threshold", "slope"};
constexpr const char* kTypeNames[] = {"positive", "negative", "both"};
constexpr int32_t kChannelCounts[] = {1, 2, 4};
constexpr uint32_t kColourMask = 0xFFFFFF;
constexpr int kIndent = 2;

std::string ColourText(uint32_t colour) {
  // Written as the usual #RRGGBB; kept as 0x00BBGGRR.
  char text[8];
  std::snprintf(text, sizeof text, "#%02X%02X%02X", colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF);
  return text;
}

std::optional<uint32_t> ParseColour(const std::string& text) {
  if (text.size() != 7 || text[0] != '#') return std::nullopt;
  uint32_t rgb = 0;
  for (std::size_t i = 1; i < text.size(); ++i) {
    const int c = std::tolower(static_cast<unsigned char>(text[i]));
    if (!std::isxdigit(c)) return std::nullopt;
    rgb = rgb * 16 + static_cast<uint32_t>(std::isdigit(c) ? c - '0' : c - 'a' + 10);
  }
  return ((rgb >> 16) & 0xFF) | (rgb & 0xFF00) | ((rgb & 0xFF) << 16);
}

Json OptionalTime(const std::optional<int64_t>& time) { return time ? Json(*time) : Json(nullptr); }

// Reads the fields of one object; each field that is absent keeps its default silently, each that is
// present but unusable keeps it and leaves a line in the problems.
class Fields {
 public:
  Fields(const Json& object, std::string prefix, std::vector<std::string>& problems)
      : object_(object), prefix_(std::move(prefix)), problems_(problems) {}

  const Json* Find(const char* key) const {
    if (!object_.is_object()) return nullptr;
    const auto it = object_.find(key);
    return it == object_.end() || it->is_null() ? nullptr : &*it;
  }
  void Refuse(const char* key, const Json& value, const std::string& why) const {
    problems_.push_back(prefix_ + key + ": " + value.dump() + " " + why);
  }

  void Integer(const char* key, int64_t& target, int64_t low = std::numeric_limits<int64_t>::min(),
               int64_t high = std::numeric_limits<int64_t>::max()) const {
    const Json* value = Find(key);
    if (value == nullptr) return;
    std::optional<int64_t> number;
    if (value->is_number_integer() && !value->is_number_unsigned()) number = value->get<int64_t>();
    if (value->is_number_unsigned() &&
        value->get<uint64_t>() <= static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) {
      number = static_cast<int64_t>(value->get<uint64_t>());
    }
    if (!number) return Refuse(key, *value, "is not a whole number");
    if (*number < low || *number > high) return Refuse(key, *value, OutOfRange(low, high));
    target = *number;
  }
  void Integer(const char* key, int32_t& target, int64_t low, int64_t high) const {
    int64_t wide = target;
    Integer(key, wide, low, high);
    target = static_cast<int32_t>(wide);
  }
  void Optional(const char* key, std::optional<int64_t>& target) const {
    if (Find(key) == nullptr) return;
    int64_t value = 0;
    const std::size_t before = problems_.size();
    Integer(key, value);
    if (problems_.size() == before) target = value;
  }
  void Number(const char* key, double& target, double low, double high) const {
    const Json* value = Find(key);
    if (value == nullptr) return;
    if (!value->is_number()) return Refuse(key, *value, "is not a number");
    const double number = value->get<double>();
    if (!std::isfinite(number) || number < low || number > high) {
      return Refuse(key, *value, "is outside " + Json(low).dump() + ".." + Json(high).dump());
    }
    target = number;
  }
  void Boolean(const char* key, bool& target) const {
    const Json* value = Find(key);
    if (value == nullptr) return;
    if (!value->is_boolean()) return Refuse(key, *value, "is not true or false");
    target = value->get<bool>();
  }
  void Text(const char* key, std::string& target) const {
    const Json* value = Find(key);
    if (value == nullptr) return;
    if (!value->is_string()) return Refuse(key, *value, "is not a text");
    target = value->get<std::string>();
  }
  template <std::size_t N>
  void Choice(const char* key, int32_t& target, const char* const (&names)[N]) const {
    const Json* value = Find(key);
    if (value == nullptr) return;
    for (std::size_t i = 0; i < N; ++i) {
      if (value->is_string() && value->get<std::string>() == names[i]) {
        target = static_cast<int32_t>(i);
        return;
      }
    }
    std::string list;
    for (const char* name : names) list += (list.empty() ? "" : ", ") + std::string(name);
    Refuse(key, *value, "is not one of " + list);
  }
  void Filter(const char* key, std::string& target) const {
    const Json* value = Find(key);
    if (value == nullptr) return;
    std::string refusal;
    if (value->is_string() && FilterChoice::Parse(value->get<std::string>(), refusal)) {
      target = value->get<std::string>();
      return;
    }
    Refuse(key, *value, value->is_string() ? "(" + refusal + ")" : "is not a filter (none, spike, lfp or LO:HI)");
  }
  void Colour(const char* key, uint32_t& target) const {
    const Json* value = Find(key);
    if (value == nullptr) return;
    const std::optional<uint32_t> colour = value->is_string() ? ParseColour(value->get<std::string>()) : std::nullopt;
    if (!colour) return Refuse(key, *value, "is not a colour #RRGGBB");
    target = *colour;
  }

 private:
  static std::string OutOfRange(int64_t low, int64_t high) {
    if (high == std::numeric_limits<int64_t>::max()) return "is below " + std::to_string(low);
    return "is outside " + std::to_string(low) + ".." + std::to_string(high);
  }

  const Json& object_;
  std::string prefix_;
  std::vector<std::string>& problems_;
};

void ReadRecordings(const Json& list, Session& session, std::vector<std::string>& problems) {
  if (!list.is_array()) {
    problems.push_back("recordings: is not a list");
    return;
  }
  for (std::size_t i = 0; i < list.size(); ++i) {
    const std::string prefix = "recordings[" + std::to_string(i) + "].";
    const Fields fields(list[i], prefix, problems);
    Session::Recording recording;
    fields.Text("path", recording.path);
    if (recording.path.empty()) {
      problems.push_back(prefix + "path: is missing; the recording is left out");
      continue;
    }
    fields.Integer("height", recording.height, Plot::kMinHeight, Plot::kMaxHeight);
    fields.Number("gain", recording.gain, PlotCanvas::kMinAmplitudeGain, PlotCanvas::kMaxAmplitudeGain);
    fields.Colour("colour", recording.colour);
    fields.Filter("filter", recording.filter);
    session.recordings.push_back(std::move(recording));
  }
}

void ReadMarkers(const Json& list, Session& session, std::vector<std::string>& problems) {
  if (!list.is_array()) {
    problems.push_back("markers: is not a list");
    return;
  }
  for (std::size_t i = 0; i < list.size(); ++i) {
    const std::string prefix = "markers[" + std::to_string(i) + "].";
    const Fields fields(list[i], prefix, problems);
    std::optional<int64_t> time;
    fields.Optional("timestamp_us", time);
    if (!time) {
      if (fields.Find("timestamp_us") == nullptr) problems.push_back(prefix + "timestamp_us: is missing");
      continue;
    }
    MarkerSet::Marker marker;
    marker.timestamp = *time;
    fields.Text("plot", marker.plot);
    fields.Text("text", marker.text);
    session.markers.push_back(std::move(marker));
  }
}

void ReadExtraction(const Json& object, Session& session, std::vector<std::string>& problems) {
  const Fields fields(object, "extraction.", problems);
  ExtractionParameters& p = session.extraction;
  fields.Choice("mode", p.ExtractionMode, kModeNames);
  fields.Choice("type", p.ExtractionType, kTypeNames);
  fields.Number("threshold", p.Threshold, -std::numeric_limits<double>::max(), std::numeric_limits<double>::max());
  fields.Number("noise_threshold", p.NoiseThresholdFactor, 0.0, std::numeric_limits<double>::max());
  if (const Json* channels = fields.Find("channels")) {
    int32_t count = p.NumChannels;
    fields.Integer("channels", count, 1, 4);
    if (std::find(std::begin(kChannelCounts), std::end(kChannelCounts), count) != std::end(kChannelCounts)) {
      p.NumChannels = count;
    } else {
      fields.Refuse("channels", *channels, "is not 1, 2 or 4");
    }
  }
  fields.Integer("spike_points", p.NumSpikePoints, 1, kDefaultNumSpikePoints);
  fields.Integer("alignment_point", p.AlignmentPt, 1, p.NumSpikePoints);
  fields.Text("output_folder", p.OutputDirectory);
  std::string filter = p.Filter.Text();
  fields.Filter("filter", filter);
  std::string refusal;
  p.Filter = FilterChoice::Parse(filter, refusal).value_or(FilterChoice());
}

Session::View ReadView(const Json& object, std::vector<std::string>& problems) {
  const Fields fields(object, "view.", problems);
  Session::View view;
  fields.Integer("start_us", view.start);
  fields.Integer("span_us", view.span, 1);
  fields.Integer("scroll_top", view.scrollTop, std::numeric_limits<int32_t>::min(), 0);
  fields.Integer("canvas_width", view.canvasWidth, 1, CanvasSnapshot::kMaxSide);
  fields.Integer("canvas_height", view.canvasHeight, 1, CanvasSnapshot::kMaxSide);
  return view;
}

}  // namespace

std::string SessionFile::Text(const Session& session) {
  Json document;
  document["format"] = kFormatName;
  document["version"] = kVersion;
  Json recordings = Json::array();
  for (const Session::Recording& r : session.recordings) {
    recordings.push_back({{"path", r.path},
                          {"height", r.height},
                          {"gain", r.gain},
                          {"colour", ColourText(r.colour & kColourMask)},
                          {"filter", r.filter}});
  }
  document["recordings"] = std::move(recordings);
  document["view"] = {{"start_us", session.view.start},
                      {"span_us", session.view.span},
                      {"scroll_top", session.view.scrollTop},
                      {"canvas_width", session.view.canvasWidth},
                      {"canvas_height", session.view.canvasHeight}};
  document["time_axis"] = kTimeAxisNames[static_cast<int>(session.timeAxis)];
  document["data_axis"] = session.dataAxisInMicrovolts ? kDataAxisMicrovolts : kDataAxisCounts;
  document["scale_bars"] = session.scaleBars;
  document["cursors"] = {{"a_us", OptionalTime(session.cursorA)}, {"b_us", OptionalTime(session.cursorB)}};
  const ExtractionParameters& p = session.extraction;
  document["extraction"] = {{"mode", kModeNames[p.ExtractionMode == kExtractionModeSlope ? 1 : 0]},
                            {"type", kTypeNames[std::clamp(p.ExtractionType, 0, 2)]},
                            {"threshold", p.Threshold},
                            {"noise_threshold", p.NoiseThresholdFactor},
                            {"channels", p.NumChannels},
                            {"spike_points", p.NumSpikePoints},
                            {"alignment_point", p.AlignmentPt},
                            {"output_folder", p.OutputDirectory},
                            {"filter", p.Filter.Text()}};
  Json markers = Json::array();
  for (const MarkerSet::Marker& m : session.markers) {
    markers.push_back({{"timestamp_us", m.timestamp}, {"plot", m.plot}, {"text", m.text}});
  }
  document["markers"] = std::move(markers);
  document["panels"] = {{"markers", session.markersPanel}, {"spike_files", session.spikeFilePanels}};
  // Texts from the recordings' names or typed by the user may hold bytes that are not UTF-8: they are
  // written replaced rather than refused, so a session is always saved.
  return document.dump(kIndent, ' ', false, Json::error_handler_t::replace) + "\n";
}

SessionFile::Outcome SessionFile::Parse(const std::string& text, Session& session, std::vector<std::string>& problems) {
  const Json document = Json::parse(text, nullptr, false);
  if (document.is_discarded()) return Outcome::NotJson;
  if (!document.is_object() || document.value("format", Json()) != kFormatName) return Outcome::NotSession;
  Session read;
  const Fields top(document, "", problems);
  int64_t version = kVersion;
  top.Integer("version", version, 1);
  if (version > kVersion) {
    problems.push_back("version: " + std::to_string(version) + " is newer than this program's " +
                       std::to_string(kVersion) + "; what it added is left out");
  }
  if (const Json* list = top.Find("recordings")) ReadRecordings(*list, read, problems);
  if (const Json* view = top.Find("view")) read.view = ReadView(*view, problems);
  int32_t axis = static_cast<int32_t>(read.timeAxis);
  top.Choice("time_axis", axis, kTimeAxisNames);
  read.timeAxis = static_cast<IPlotCanvas::TimeLabelStyle>(axis);
  int32_t unit = read.dataAxisInMicrovolts ? 1 : 0;
  constexpr const char* kUnits[] = {kDataAxisCounts, kDataAxisMicrovolts};
  top.Choice("data_axis", unit, kUnits);
  read.dataAxisInMicrovolts = unit == 1;
  top.Boolean("scale_bars", read.scaleBars);
  if (const Json* cursors = top.Find("cursors")) {
    const Fields fields(*cursors, "cursors.", problems);
    fields.Optional("a_us", read.cursorA);
    fields.Optional("b_us", read.cursorB);
  }
  if (const Json* extraction = top.Find("extraction")) ReadExtraction(*extraction, read, problems);
  if (const Json* markers = top.Find("markers")) ReadMarkers(*markers, read, problems);
  if (const Json* panels = top.Find("panels")) {
    const Fields fields(*panels, "panels.", problems);
    fields.Boolean("markers", read.markersPanel);
    if (const Json* files = fields.Find("spike_files")) {
      for (const Json& file : *files) {
        if (file.is_string()) read.spikeFilePanels.push_back(file.get<std::string>());
      }
    }
  }
  session = std::move(read);
  return Outcome::Read;
}

SessionFile::Outcome SessionFile::Read(const std::string& path, Session& session, std::vector<std::string>& problems) {
  File file;
  if (const int32_t rc = file.Open(path, File::Mode::Read); rc != 0) {
    ReportFileError(kUnreadableMessage, 0, path, rc > 0 ? rc : 0);
    return Outcome::Unreadable;
  }
  const int64_t length = file.Length();
  if (length < 0 || length > kMaxBytes) {
    ReportFileError(kUnreadableMessage, 0, path, length < 0 ? 0 : EFBIG);
    return Outcome::Unreadable;
  }
  std::string text(static_cast<std::size_t>(length), '\0');
  if (file.Read(text.data(), length) != length) {
    ReportFileError(kUnreadableMessage, 0, path, EIO);
    return Outcome::Unreadable;
  }
  const Outcome outcome = Parse(text, session, problems);
  if (outcome == Outcome::NotJson) ReportFileError(kNotJsonMessage, 0, path, 0);
  if (outcome == Outcome::NotSession) ReportFileError(kNotSessionMessage, 0, path, 0);
  return outcome;
}

int32_t SessionFile::Write(const std::string& path, const Session& session) {
  if (!DataFileGuard::MayWrite(path)) return kStatusFailed;
  const std::string text = Text(session);
  AtomicFile file;
  int32_t rc = file.Open(path, AtomicFile::Links::Replace);
  if (rc == 0 && !file.Write(text.data(), static_cast<int64_t>(text.size()))) rc = file.LastError();
  if (rc == 0) rc = file.Commit();
  if (rc != 0) {
    ReportFileError("The session could not be written:", 0, path, rc);
    return kStatusFailed;
  }
  return kStatusOk;
}

void SessionFile::ReportProblems(const std::string& path, const std::vector<std::string>& problems) {
  if (problems.empty()) return;
  std::string text = std::string(kPartlyRestoredMessage) + " " + path;
  for (const std::string& problem : problems) text += "\n" + problem;
  ShowMessage(text);
}

bool SessionFile::HasSessionSuffix(const std::string& path) {
  const std::string suffix = kExtension;
  if (path.size() < suffix.size()) return false;
  return std::equal(suffix.begin(), suffix.end(), path.end() - static_cast<std::ptrdiff_t>(suffix.size()),
                    [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b)); });
}

}  // namespace skelvane
