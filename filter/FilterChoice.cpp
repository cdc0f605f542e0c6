#include "filter/FilterChoice.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <system_error>

namespace skelvane {
namespace {

constexpr std::string_view kNoneWord = "none";
constexpr std::string_view kSpikeWord = "spike";
constexpr std::string_view kLfpWord = "lfp";
constexpr std::string_view kCustomWord = "custom";
constexpr std::string_view kOpenWord = "open";
constexpr char kSeparator = ':';
constexpr const char* kLowField = "Filter low cut-off: ";
constexpr const char* kHighField = "Filter high cut-off: ";

std::string_view Trim(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
  return text;
}

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

// One cut-off field; nullopt with `refusal` set when it is not a number above 0.
std::optional<double> ParseCutOff(std::string_view field, const char* name, std::string& refusal) {
  std::string_view text = Trim(field);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  double value = 0.0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) {
    refusal = std::string(name) + "\"" + std::string(Trim(field)) + "\" is not a number of hertz";
    return std::nullopt;
  }
  if (!(value > 0.0)) {
    refusal = std::string(name) + FilterChoice::FormatHz(value) + " Hz is not above 0 Hz";
    return std::nullopt;
  }
  return value;
}

// The band's word in keys and header lines.
std::string_view BandWord(FilterChoice::Band band) {
  switch (band) {
    case FilterChoice::Band::kSpike:
      return kSpikeWord;
    case FilterChoice::Band::kLfp:
      return kLfpWord;
    case FilterChoice::Band::kCustom:
      return kCustomWord;
    case FilterChoice::Band::kNone:
      break;
  }
  return kNoneWord;
}

std::string OrOpen(const std::optional<double>& hz) { return hz ? FilterChoice::FormatHz(*hz) : std::string(kOpenWord); }

}  // namespace

FilterChoice FilterChoice::Spike() { return FilterChoice(Band::kSpike, kSpikeLowHz, kSpikeHighHz); }

FilterChoice FilterChoice::Lfp() { return FilterChoice(Band::kLfp, kLfpLowHz, kLfpHighHz); }

FilterChoice FilterChoice::Custom(std::optional<double> lowHz, std::optional<double> highHz) {
  if (!lowHz && !highHz) return FilterChoice();
  return FilterChoice(Band::kCustom, lowHz, highHz);
}

std::optional<FilterChoice> FilterChoice::Parse(std::string_view text, std::string& refusal) {
  const std::string word = Lower(Trim(text));
  if (word == kNoneWord) return FilterChoice();
  if (word == kSpikeWord) return Spike();
  if (word == kLfpWord) return Lfp();
  const std::size_t colon = word.find(kSeparator);
  if (colon == std::string::npos || word.find(kSeparator, colon + 1) != std::string::npos) {
    refusal = "Filter: \"" + std::string(Trim(text)) + "\" is none of none, spike, lfp, LO:HI, LO: or :HI (cut-offs in Hz)";
    return std::nullopt;
  }
  const std::string_view lowText = Trim(std::string_view(word).substr(0, colon));
  const std::string_view highText = Trim(std::string_view(word).substr(colon + 1));
  if (lowText.empty() && highText.empty()) {
    refusal = "Filter: give a low cut-off, a high cut-off or both (LO:HI, LO: or :HI)";
    return std::nullopt;
  }
  std::optional<double> low;
  std::optional<double> high;
  if (!lowText.empty() && !(low = ParseCutOff(lowText, kLowField, refusal))) return std::nullopt;
  if (!highText.empty() && !(high = ParseCutOff(highText, kHighField, refusal))) return std::nullopt;
  if (low && high && !(*low < *high)) {
    refusal = std::string(kLowField) + FormatHz(*low) + " Hz is not below the high cut-off, " + FormatHz(*high) + " Hz";
    return std::nullopt;
  }
  return Custom(low, high);
}

std::string FilterChoice::Description() const {
  switch (band_) {
    case Band::kNone:
      return "None";
    case Band::kSpike:
      return "Spike Band " + FormatHz(*low_) + "-" + FormatHz(*high_) + " Hz";
    case Band::kLfp:
      return "LFP Band " + FormatHz(*low_) + "-" + FormatHz(*high_) + " Hz";
    case Band::kCustom:
      break;
  }
  if (!high_) return "Custom above " + FormatHz(*low_) + " Hz";
  if (!low_) return "Custom below " + FormatHz(*high_) + " Hz";
  return "Custom " + FormatHz(*low_) + "-" + FormatHz(*high_) + " Hz";
}

std::string FilterChoice::Text() const {
  if (band_ != Band::kCustom) return std::string(BandWord(band_));
  return (low_ ? FormatHz(*low_) : std::string()) + kSeparator + (high_ ? FormatHz(*high_) : std::string());
}

std::string FilterChoice::Key() const {
  if (IsNone()) return std::string(kNoneWord);
  return std::string(BandWord(band_)) + kSeparator + (low_ ? FormatHz(*low_) : std::string()) + kSeparator +
         (high_ ? FormatHz(*high_) : std::string()) + kSeparator + "d" + std::to_string(kDesignGeneration);
}

std::string FilterChoice::HeaderLine() const {
  std::string line = "\t" + std::string(kHeaderKey) + "  " + std::string(BandWord(band_));
  if (!IsNone()) line += " " + OrOpen(low_) + " " + OrOpen(high_);
  return line;
}

std::string FilterChoice::FormatHz(double hz) {
  char text[64];
  const auto result = std::to_chars(text, text + sizeof text, hz, std::chars_format::fixed);
  if (result.ec != std::errc()) return std::to_string(hz);
  return std::string(text, result.ptr);
}

}  // namespace skelvane
