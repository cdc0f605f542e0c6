#include "display/TimeText.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <limits>

namespace skelvane {
namespace {

constexpr int64_t kMicrosecondsPerSecond = 1'000'000;
constexpr int64_t kSecondsPerMinute = 60;
constexpr int64_t kSecondsPerHour = 3600;
constexpr int32_t kMaxDecimals = TimeText::kMaxDecimals;
constexpr std::size_t kMaxWholeDigits = 18;  // any more could not be a time in microseconds
constexpr std::string_view kRawSuffix = "us";
constexpr std::string_view kSecondsSuffix = "s";
constexpr const char* kForms =
    "Type seconds from the start of the recording (100.5), h:mm:ss from its start (0:01:40) or a timestamp in "
    "microseconds (123456789us).";

// Integer arithmetic throughout: a double would blur the microseconds of a day-long recording.
// The magnitude is rounded to `decimals` (half away from zero); `negative` only when the rounded
// value is not zero, so no label reads "-0".
std::string WholeAndFraction(int64_t microseconds, int32_t decimals, uint64_t& whole, bool& negative) {
  decimals = std::clamp(decimals, 0, kMaxDecimals);
  uint64_t unit = 1;
  for (int32_t i = decimals; i < kMaxDecimals; ++i) unit *= 10;
  uint64_t magnitude = microseconds < 0 ? 0 - static_cast<uint64_t>(microseconds) : microseconds;
  magnitude = (magnitude / unit + (magnitude % unit >= (unit + 1) / 2 ? 1 : 0)) * unit;
  negative = microseconds < 0 && magnitude != 0;
  whole = magnitude / kMicrosecondsPerSecond;
  if (decimals == 0) return {};
  char digits[8];
  std::snprintf(digits, sizeof digits, "%06llu", static_cast<unsigned long long>(magnitude % kMicrosecondsPerSecond));
  std::string fraction(1, '.');
  fraction.append(digits, static_cast<std::size_t>(decimals));
  return fraction;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
  return text;
}

bool AllDigits(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
}

// What is wrong with a typed time, if anything.
enum class Fault { None, Form, Decimals, Clock, Range };

// Whole digits, at most kMaxWholeDigits of them (so the value and a microsecond multiple of it fit).
Fault ReadWhole(std::string_view digits, __int128& value) {
  if (digits.empty() || !AllDigits(digits)) return Fault::Form;
  if (digits.size() > kMaxWholeDigits) return Fault::Range;
  value = 0;
  for (const char c : digits) value = value * 10 + (c - '0');
  return Fault::None;
}

// "ss", "ss.ffffff", ".5" or "5." in microseconds.
Fault ReadSeconds(std::string_view text, __int128& microseconds) {
  const std::size_t dot = text.find('.');
  const std::string_view whole = text.substr(0, dot);
  const std::string_view fraction = dot == std::string_view::npos ? std::string_view() : text.substr(dot + 1);
  if (whole.empty() && fraction.empty()) return Fault::Form;
  if (!AllDigits(whole) || !AllDigits(fraction)) return Fault::Form;
  if (fraction.size() > static_cast<std::size_t>(kMaxDecimals)) return Fault::Decimals;
  __int128 seconds = 0;
  if (!whole.empty()) {
    if (const Fault fault = ReadWhole(whole, seconds); fault != Fault::None) return fault;
  }
  __int128 part = 0;
  for (std::size_t i = 0; i < static_cast<std::size_t>(kMaxDecimals); ++i) {
    part = part * 10 + (i < fraction.size() ? fraction[i] - '0' : 0);
  }
  microseconds = seconds * kMicrosecondsPerSecond + part;
  return Fault::None;
}

// "[h:]mm:ss[.ffffff]" in microseconds; the fields after the first stay below 60.
Fault ReadClock(std::string_view text, __int128& microseconds) {
  const std::size_t last = text.rfind(':');
  const std::size_t first = text.find(':');
  if (first != last && text.find(':', first + 1) != last) return Fault::Form;
  __int128 seconds = 0;
  if (const Fault fault = ReadSeconds(text.substr(last + 1), seconds); fault != Fault::None) return fault;
  if (seconds >= kSecondsPerMinute * kMicrosecondsPerSecond) return Fault::Clock;
  __int128 leading = 0;
  if (const Fault fault = ReadWhole(text.substr(0, first), leading); fault != Fault::None) return fault;
  __int128 minutes = leading;
  if (first != last) {
    const std::string_view middle = text.substr(first + 1, last - first - 1);
    if (middle.size() > 2) return Fault::Clock;
    if (const Fault fault = ReadWhole(middle, minutes); fault != Fault::None) return fault;
    if (minutes >= kSecondsPerMinute) return Fault::Clock;
    minutes += leading * kSecondsPerMinute;
  }
  microseconds = minutes * kSecondsPerMinute * kMicrosecondsPerSecond + seconds;
  return Fault::None;
}

std::string Explain(Fault fault, std::string_view text) {
  std::string quoted(1, '"');
  quoted.append(text);
  quoted.push_back('"');
  switch (fault) {
    case Fault::Decimals:
      return "Times go to the microsecond: at most 6 decimals of a second, not " + quoted + ".";
    case Fault::Clock:
      return "Minutes and seconds of a clock time run from 0 to 59: " + quoted + ".";
    case Fault::Range:
      return "Too far from the recording to be a time: " + quoted + ".";
    case Fault::Form:
    case Fault::None:
      break;
  }
  return "Not a time: " + quoted + ". " + kForms;
}

}  // namespace

std::string TimeText::Microseconds(int64_t time, double scale) {
  char text[64];
  std::snprintf(text, sizeof text, "%.0f", std::fabs(static_cast<double>(time) * scale));
  return text;
}

int32_t TimeText::DecimalsForStep(int64_t step) {
  int32_t decimals = 0;
  for (int64_t unit = kMicrosecondsPerSecond; decimals < kMaxDecimals && unit > step; unit /= 10) ++decimals;
  return decimals;
}

std::string TimeText::Seconds(int64_t time, int32_t decimals) {
  uint64_t seconds = 0;
  bool negative = false;
  const std::string fraction = WholeAndFraction(time, decimals, seconds, negative);
  std::string text(negative ? "-" : "");
  text.append(std::to_string(seconds));
  text.append(fraction);
  return text;
}

std::string TimeText::Clock(int64_t offset, int32_t decimals) {
  uint64_t seconds = 0;
  bool negative = false;
  const std::string fraction = WholeAndFraction(offset, decimals, seconds, negative);
  char text[48];
  std::snprintf(text, sizeof text, "%s%llu:%02llu:%02llu", negative ? "-" : "",
                static_cast<unsigned long long>(seconds / kSecondsPerHour),
                static_cast<unsigned long long>(seconds / kSecondsPerMinute % kSecondsPerMinute),
                static_cast<unsigned long long>(seconds % kSecondsPerMinute));
  return text + fraction;
}

int32_t TimeText::ExactDecimals(int64_t time) {
  int32_t decimals = kMaxDecimals;
  for (int64_t unit = 10; decimals > 0 && time % unit == 0; unit *= 10) --decimals;
  return decimals;
}

std::optional<int64_t> TimeText::Parse(std::string_view typed, int64_t recordingStart, std::string& error) {
  std::string_view text = Trim(typed);
  const bool negative = !text.empty() && text.front() == '-';
  std::string_view body = negative ? Trim(text.substr(1)) : text;
  bool raw = false;
  if (body.ends_with(kRawSuffix)) {
    raw = true;
    body = Trim(body.substr(0, body.size() - kRawSuffix.size()));
  } else if (body.ends_with(kSecondsSuffix) && body.find(':') == std::string_view::npos) {
    body = Trim(body.substr(0, body.size() - kSecondsSuffix.size()));
  }
  __int128 value = 0;
  Fault fault = Fault::None;
  if (raw) {
    fault = ReadWhole(body, value);
  } else if (body.find(':') != std::string_view::npos) {
    fault = ReadClock(body, value);
  } else {
    fault = ReadSeconds(body, value);
  }
  if (fault == Fault::None) {
    if (negative) value = -value;
    if (!raw) value += recordingStart;
    if (value < std::numeric_limits<int64_t>::min() || value > std::numeric_limits<int64_t>::max())
      fault = Fault::Range;
  }
  if (fault != Fault::None) {
    error = Explain(fault, text);
    return std::nullopt;
  }
  error.clear();
  return static_cast<int64_t>(value);
}

std::string TimeText::ClampedMessage(int64_t asked, int64_t shown, int64_t recordingStart) {
  const __int128 askedOffset = static_cast<__int128>(asked) - recordingStart;
  const __int128 shownOffset = static_cast<__int128>(shown) - recordingStart;
  const auto clock = [](__int128 offset) {
    const auto held = static_cast<int64_t>(
        std::clamp<__int128>(offset, std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max()));
    return Clock(held, ExactDecimals(held));
  };
  return clock(askedOffset) + (asked > shown ? " is after the end" : " is before the start") +
         " of the recording: going to " + clock(shownOffset) + " instead.";
}

}  // namespace skelvane
