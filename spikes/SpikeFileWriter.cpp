#include "spikes/SpikeFileWriter.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <locale.h>
#include <time.h>

#include "platform/ReportError.h"
#include "platform/StatusCodes.h"

namespace skelvane {
namespace {

constexpr const char* kOpenFailedMessage = "Error opening file; Is the file/path name correct?";
constexpr const char* kWriteFailedMessage =
    "Error writing spike file; disk full or file not writable, error code: ";

// Sampling-frequency text: 10 significant digits, fixed point for exponents -1 (0.1) to 9
// (10 digits before the point).
constexpr int kSignificantDigits = 10;
constexpr int kLowestFixedExponent = -1;
constexpr int kHighestFixedExponent = 9;

constexpr const char* kLineEnd = "\r\n";
constexpr const char* kKeyIndent = "\t";
constexpr const char* kValueSeparator = "  ";

// The samples go out as they lie in memory, which is the file's byte order on every machine we build for.
static_assert(std::endian::native == std::endian::little, "spike records are written little-endian");

// The header time is written as the C locale shows it (mm/dd/yy, HH:MM:SS), whatever locale the
// application has switched to.
locale_t CLocale() {
  static const locale_t locale = ::newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return locale;
}

void PutLittleEndian(uint8_t* out, uint64_t value, std::size_t bytes) {
  for (std::size_t b = 0; b < bytes; ++b) out[b] = static_cast<uint8_t>(value >> (8 * b));
}

void StripTrailingFractionZeros(std::string& number) {
  const std::size_t point = number.find('.');
  if (point == std::string::npos) {
    number += '.';
    return;
  }
  const std::size_t lastKept = number.find_last_not_of('0');
  number.erase(std::max(lastKept, point) + 1);
}

}  // namespace

SpikeFileWriter::~SpikeFileWriter() {
  if (file_.IsOpen()) Close();
}

int32_t SpikeFileWriter::Open(const std::string& path) {
  if (file_.IsOpen()) Close();
  failureReported_ = false;
  path_ = path;
  if (const int32_t error = file_.Open(path); error != 0) {
    // The message the user knows, then which file and why (a folder missing, a file not writable).
    ReportFileError(kOpenFailedMessage, 0, path, error);
    return kStatusFailed;
  }
  return kStatusOk;
}

std::string SpikeFileWriter::HeaderText(const std::string& path, const HeaderValues& values,
                                        const std::vector<SourceHeaderInfo>& sources) const {
  std::string text;
  text += "######## Kestrelon Data File Header";
  text += kLineEnd;
  text += "## Created By Kestrelon Skelvane Version 3.0";
  text += kLineEnd;
  text += "## File Name: " + path + kLineEnd;
  for (const auto& source : sources) {
    text += SpikeFileFormat::kCreatedFromPrefix;
    text += source.FileName + kLineEnd;
  }

  text += "## Time Opened: (m/d/y): ";
  const std::time_t now = clock_ ? clock_() : std::time(nullptr);
  std::tm utc{};
  char timeText[64] = {};
  if (::gmtime_r(&now, &utc) != nullptr) {
    const char* format = "%x At Time %X\r\n";
    if (CLocale() != static_cast<locale_t>(nullptr)) {
      ::strftime_l(timeText, sizeof timeText, format, &utc, CLocale());
    } else {
      std::strftime(timeText, sizeof timeText, format, &utc);
    }
  }
  text += timeText[0] != '\0' ? timeText : kLineEnd;

  const auto line = [&](const char* indent, std::string_view key, const std::string& value) {
    text += indent;
    text += key;
    text += kValueSeparator + value + kLineEnd;
  };
  const auto perSource = [&](std::string_view key, auto value) {
    text += kKeyIndent;
    text += key;
    for (const auto& source : sources) text += kValueSeparator + value(source);
    text += kLineEnd;
  };
  line("", SpikeFileFormat::kRecordSizeKey, std::to_string(values.recordSize));
  perSource(SpikeFileFormat::kADChannelKey, [](const SourceHeaderInfo& s) { return s.ADChannel; });
  perSource(SpikeFileFormat::kADGainKey, [](const SourceHeaderInfo& s) { return s.ADGain; });
  perSource(SpikeFileFormat::kAmpGainKey, [](const SourceHeaderInfo& s) { return s.AmpGain; });
  perSource(SpikeFileFormat::kAmpLowCutKey, [](const SourceHeaderInfo& s) { return s.AmpLowCut; });
  perSource(SpikeFileFormat::kAmpHiCutKey, [](const SourceHeaderInfo& s) { return s.AmpHiCut; });
  line(kKeyIndent, SpikeFileFormat::kSamplingFrequencyKey, values.samplingFrequency);
  perSource(SpikeFileFormat::kADBitVoltsKey, [](const SourceHeaderInfo& s) { return s.ADBitVolts; });
  line(kKeyIndent, SpikeFileFormat::kADMaxValueKey, std::to_string(values.adMaxValue));
  line(kKeyIndent, SpikeFileFormat::kAlignmentKey, std::to_string(values.alignmentPt));
  perSource(SpikeFileFormat::kThresholdKey, [](const SourceHeaderInfo& s) { return std::to_string(s.ThreshVal); });
  if (!values.filterLine.empty()) text += values.filterLine + kLineEnd;
  text += kLineEnd;
  return text;
}

int32_t SpikeFileWriter::WriteHeader(const std::string& path, const HeaderValues& values,
                                     const std::vector<SourceHeaderInfo>& sources) {
  if (HasWriteError()) return kStatusFailed;
  const std::string text = HeaderText(path, values, sources);
  // The block always ends in at least one zero byte, so readers that take the header as a
  // zero-terminated text stop inside it even when over-long names had to be cut.
  std::vector<char> block(SpikeFileFormat::kHeaderSize, '\0');
  std::copy_n(text.begin(), std::min<std::size_t>(text.size(), block.size() - 1), block.begin());
  // Flushed at once so that an unwritable file shows up here, before any detection work.
  if (!file_.Write(block.data(), block.size()) || !file_.Flush()) {
    NoteWriteFailure(file_.LastError());
    return kStatusFailed;
  }
  return kStatusOk;
}

bool SpikeFileWriter::WriteRecord(int64_t timestamp, uint32_t word1, uint32_t word2, const FeatureWords& features,
                                  std::span<const int16_t> samples) {
  std::array<uint8_t, SpikeFileFormat::kSamplesOffset> fixed{};
  PutLittleEndian(fixed.data() + SpikeFileFormat::kTimestampOffset, static_cast<uint64_t>(timestamp),
                  sizeof(int64_t));
  PutLittleEndian(fixed.data() + SpikeFileFormat::kWord1Offset, word1, sizeof(uint32_t));
  PutLittleEndian(fixed.data() + SpikeFileFormat::kWord2Offset, word2, sizeof(uint32_t));
  for (std::size_t w = 0; w < features.size(); ++w) {
    PutLittleEndian(fixed.data() + SpikeFileFormat::kFeaturesOffset + sizeof(int32_t) * w,
                    static_cast<uint32_t>(features[w]), sizeof(int32_t));
  }
  if (!file_.Write(fixed.data(), fixed.size()) || !file_.Write(samples.data(), samples.size_bytes())) {
    NoteWriteFailure(file_.LastError());
    return false;
  }
  return true;
}

int32_t SpikeFileWriter::Close() {
  const int32_t error = file_.Close();
  if (error != 0) NoteWriteFailure(error);
  return failureReported_ ? kStatusFailed : kStatusOk;
}

void SpikeFileWriter::Discard() { file_.Discard(); }

void SpikeFileWriter::NoteWriteFailure(int error) {
  if (failureReported_) return;
  failureReported_ = true;
  // The file and the system's reason tell the user what to free or fix.
  if (path_.empty()) {
    ReportError(kWriteFailedMessage, error);
  } else {
    ReportFileError(kWriteFailedMessage, error, path_, error);
  }
}

std::string SpikeFileWriter::FormatSamplingFrequency(double hertz) {
  char buffer[128];
  // The exponent of the value rounded to 10 significant digits decides the form, so that a value
  // just below a power of ten that rounds up to it is written like that power.
  const auto scientific =
      std::to_chars(buffer, buffer + sizeof buffer, hertz, std::chars_format::scientific, kSignificantDigits - 1);
  std::string text(buffer, scientific.ptr);
  const std::size_t e = text.find('e');
  if (e == std::string::npos) return text;  // inf or nan: no digits to tidy
  int exponent = 0;
  std::from_chars(text.data() + e + 1 + (text[e + 1] == '+' ? 1 : 0), text.data() + text.size(), exponent);

  if (hertz > 0.0 && exponent >= kLowestFixedExponent && exponent <= kHighestFixedExponent) {
    const auto fixed = std::to_chars(buffer, buffer + sizeof buffer, hertz, std::chars_format::fixed,
                                     kSignificantDigits - 1 - exponent);
    std::string fixedText(buffer, fixed.ptr);
    StripTrailingFractionZeros(fixedText);
    return fixedText;
  }
  std::string mantissa = text.substr(0, e);
  StripTrailingFractionZeros(mantissa);
  return mantissa + text.substr(e);
}

}  // namespace skelvane
