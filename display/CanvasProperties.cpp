#include "display/CanvasProperties.h"

#include <bit>
#include <cmath>
#include <cstring>

#include "platform/File.h"
#include "platform/ReportError.h"
#include "platform/StatusCodes.h"

namespace skelvane {
namespace {

static_assert(std::endian::native == std::endian::little, "the settings section is stored in host byte order");

constexpr const char* kShortReadMessage = "Error reading in canvas properties from file";
constexpr const char* kReadFailedMessage = "Unable to read canvas properties information from file";
constexpr const char* kWriteFailedMessage = "Unable to write canvas properties information to file";
constexpr const char* kOutOfRangeMessage = "Settings out of range, defaults used for ";

// Calls `visit` on every field in file order (const or not); Encode and Decode both walk it.
template <typename Properties, typename Visitor>
void VisitFields(Properties& p, Visitor&& visit) {
  visit(p.showPlotNames);
  visit(p.showPlotIcons);
  visit(p.plotHeaderHeight);
  visit(p.showDataAxis);
  visit(p.storedFlag5);
  visit(p.dataAxisMargin);
  visit(p.dataAxisWidth);
  visit(p.showTimeAxis);
  visit(p.timeTickSpacing);
  visit(p.storedFlag10);
  visit(p.timeAxisHeight);
  visit(p.timeLabelHeight);
  visit(p.timeLabelScale);
  visit(p.storedColour14);
  visit(p.minimumVisibleSpan);
  visit(p.storedSpan16);
  visit(p.storedSpan17);
  visit(p.storedSpan18);
  visit(p.zoomFactor);
  visit(p.horizontalPagePercent);
  visit(p.verticalPagePercent);
}

}  // namespace

void CanvasProperties::Encode(uint8_t (&section)[kSectionSize]) const {
  std::size_t at = 0;
  VisitFields(*this, [&](const auto& field) {
    std::memcpy(section + at, &field, sizeof field);
    at += sizeof field;
  });
}

int32_t CanvasProperties::Decode(const uint8_t* bytes, std::size_t size) {
  std::size_t at = 0;
  int32_t taken = 0;
  bool complete = true;
  VisitFields(*this, [&](auto& field) {
    if (!complete || at + sizeof field > size) {
      complete = false;
      return;
    }
    std::memcpy(&field, bytes + at, sizeof field);
    at += sizeof field;
    ++taken;
  });
  return taken;
}

std::vector<std::string> CanvasProperties::ResetOutOfRange() {
  const CanvasProperties defaults;
  std::vector<std::string> reset;
  // Sizes are bounded pixels and steps must get somewhere; a switch is on for any value but 0.
  const auto check = [&](int32_t& field, int32_t low, int32_t high, int32_t fallback, const char* name) {
    if (field >= low && field <= high) return;
    field = fallback;
    reset.emplace_back(name);
  };
  check(plotHeaderHeight, 0, kMaxBandPixels, defaults.plotHeaderHeight, "plotHeaderHeight");
  check(dataAxisMargin, 0, kMaxBandPixels, defaults.dataAxisMargin, "dataAxisMargin");
  check(dataAxisWidth, 0, kMaxAxisPixels, defaults.dataAxisWidth, "dataAxisWidth");
  check(timeTickSpacing, 1, kMaxAxisPixels, defaults.timeTickSpacing, "timeTickSpacing");
  check(timeAxisHeight, 0, kMaxBandPixels, defaults.timeAxisHeight, "timeAxisHeight");
  if (!std::isfinite(timeLabelScale)) {
    timeLabelScale = defaults.timeLabelScale;
    reset.emplace_back("timeLabelScale");
  }
  if (minimumVisibleSpan < 0) {
    minimumVisibleSpan = defaults.minimumVisibleSpan;
    reset.emplace_back("minimumVisibleSpan");
  }
  check(zoomFactor, kMinZoomFactor, kMaxZoomFactor, defaults.zoomFactor, "zoomFactor");
  check(horizontalPagePercent, kMinPagePercent, kMaxPagePercent, defaults.horizontalPagePercent,
        "horizontalPagePercent");
  check(verticalPagePercent, kMinPagePercent, kMaxPagePercent, defaults.verticalPagePercent, "verticalPagePercent");
  return reset;
}

int32_t CanvasProperties::Read(File& file) {
  uint8_t section[kSectionSize] = {};
  const int64_t got = file.Read(section, kSectionSize);
  if (got < 0) {
    ReportError(kReadFailedMessage, file.LastError());
    return file.LastError();
  }
  // A short section keeps the fields it holds in full; the rest stay as they were.
  const bool complete = Decode(section, static_cast<std::size_t>(got)) == kFieldCount;
  if (!complete) ReportError(kShortReadMessage, 0);
  // A damaged or foreign file must not make the first redraw allocate without bound or divide by 0.
  if (const std::vector<std::string> reset = ResetOutOfRange(); !reset.empty()) {
    std::string names;
    for (const std::string& name : reset) names += (names.empty() ? "" : ", ") + name;
    ReportFileError(kOutOfRangeMessage + names, 0, file.Path(), 0);
  }
  return complete ? kStatusOk : kStatusFailed;
}

int32_t CanvasProperties::Write(File& file) const {
  uint8_t section[kSectionSize];
  Encode(section);
  if (!file.Write(section, kSectionSize)) {
    ReportError(kWriteFailedMessage, file.LastError());
    return file.LastError();
  }
  return kStatusOk;
}

}  // namespace skelvane
