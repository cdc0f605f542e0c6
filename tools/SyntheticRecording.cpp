#include "tools/SyntheticRecording.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <new>
#include <system_error>

#include "datafile/CscRecord.h"
#include "platform/File.h"
#include "platform/ReportError.h"
#include "platform/StatusCodes.h"
#include "tools/CscFileWriter.h"

namespace skelvane {
namespace {

constexpr const char* kFileExtension = ".kcs";
constexpr const char* kTruthSuffix = "_truth.csv";
constexpr const char* kTruthColumns = "peak_timestamp,unit,polarity\n";
constexpr int32_t kNumberedChannelDigits = 3;  // enough for every channel the generator makes

// Header values of a plausible acquisition set-up: a full scale of +-2047 counts over +-1 mV, so the
// spikes (a few hundred counts) fill a good part of a plot at the displayed scale.
constexpr const char* kAdBitVolts = "0.00000048852";
constexpr const char* kAdGain = "1";
constexpr const char* kAmpGain = "10000";
constexpr const char* kAmpLowCut = "600";
constexpr const char* kAmpHiCut = "6000";

std::string FormatNumber(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.10g", value);
  return text;
}

int32_t WriteTruth(const std::string& path, const std::vector<SynthSpike>& spikes) {
  std::string text = kTruthColumns;
  for (const SynthSpike& s : spikes) {
    text += std::to_string(s.peakTimestamp) + ',' + std::to_string(s.unit) + ',' + std::to_string(s.polarity) + '\n';
  }
  File file;
  if (const int32_t rc = file.Open(path, File::Mode::CreateWrite); rc != 0) return rc;
  if (!file.Write(text.data(), static_cast<int64_t>(text.size()))) return file.LastError() != 0 ? file.LastError() : EIO;
  return file.Close();
}

std::string ChannelHeader(const SynthOptions& options, int32_t channel) {
  if (!options.writeHeader) return {};
  return CscFileWriter::MakeHeader({
      {"-SamplingFrequency", FormatNumber(options.samplingHz)},
      {"-ADMaxValue", std::to_string(SyntheticSignal::kFullScale)},
      {"-ADBitVolts", kAdBitVolts},
      {"-ADChannel", std::to_string(channel)},
      {"-ADGain", kAdGain},
      {"-AmpGain", kAmpGain},
      {"-AmpLowCut", kAmpLowCut},
      {"-AmpHiCut", kAmpHiCut},
  });
}

// Generates a recording whose signal has been planned.
int32_t WriteRecording(const SynthOptions& options, SyntheticSignal& signal, SynthResult& result) {
  const std::string outDir = options.outDir.empty() ? std::string(".") : options.outDir;
  std::error_code ec;
  std::filesystem::create_directories(outDir, ec);
  if (ec) {
    ReportError("Unable to create the output folder for the synthetic recording; error code:", ec.value());
    return ec.value();
  }

  SynthResult made;
  made.spikes = signal.Spikes();
  for (int32_t c = 0; c < options.channels; ++c) {
    const std::string path = outDir + "/" + SyntheticRecording::ChannelFileName(options.prefix, c, options.channels);
    const auto fill = [&signal, c](int64_t first, std::span<CscRecordData> batch) { signal.Fill(c, first, batch); };
    if (const int32_t rc = CscFileWriter::WriteStreamed(path, ChannelHeader(options, c), signal.RecordCount(c), fill,
                                                        static_cast<std::size_t>(options.trailingPartialBytes));
        rc != 0) {
      ReportError("Unable to write synthetic recording file; error code:", rc);
      return rc;
    }
    made.paths.push_back(path);
  }

  made.truthCsvPath = outDir + "/" + options.prefix + kTruthSuffix;
  if (const int32_t rc = WriteTruth(made.truthCsvPath, made.spikes); rc != 0) {
    ReportError("Unable to write synthetic recording truth file; error code:", rc);
    return rc;
  }
  result = std::move(made);
  return kStatusOk;
}

}  // namespace

std::string SyntheticRecording::ChannelFileName(const std::string& prefix, int32_t channel, int32_t channels) {
  if (channels <= kMaxLetteredChannels) return prefix + static_cast<char>('a' + channel) + kFileExtension;
  char number[16];
  std::snprintf(number, sizeof number, "%0*d", kNumberedChannelDigits, channel);
  return prefix + number + kFileExtension;
}

int32_t SyntheticRecording::Generate(const SynthOptions& options, SynthResult& result) {
  // Only the timeline's timestamps and spikes are held whole; samples are made a batch at a time.
  try {
    SyntheticSignal signal;
    if (const int32_t rc = signal.Plan(options); rc != kStatusOk) return rc;
    return WriteRecording(options, signal, result);
  } catch (const std::bad_alloc&) {
    const int64_t samples =
        static_cast<int64_t>(options.seconds * options.samplingHz / kSamplesPerRecord) * kSamplesPerRecord;
    ReportError("Not enough memory for the synthetic recording; samples per channel:", samples);
    return ENOMEM;
  }
}

}  // namespace skelvane
