#include "extract/ExtractionSummary.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "platform/BufferedFileWriter.h"
#include "platform/ReportError.h"
#include "platform/StatusCodes.h"
#include "platform/Utf8Text.h"

namespace skelvane {
namespace {

constexpr const char* kWriteFailedMessage = "Error writing extraction summary";
constexpr const char* kCsvHeader = "spike_file,inputs,threshold,noise_level,spikes,recorded_seconds,outcome";

std::string Number(double value, const char* format) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (const char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

}  // namespace

ExtractionSummary::Form ExtractionSummary::FormFor(const std::string& path) {
  const std::size_t dot = path.find_last_of('.');
  const std::size_t slash = path.find_last_of('/');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return Form::Unknown;
  std::string extension = path.substr(dot);
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (extension == ".csv") return Form::Csv;
  if (extension == ".json") return Form::Json;
  return Form::Unknown;
}

const char* ExtractionSummary::OutcomeText(ExtractionRun::Outcome outcome) {
  switch (outcome) {
    case ExtractionRun::Outcome::Written: return "written";
    case ExtractionRun::Outcome::WriteFailed: return "write failed";
    case ExtractionRun::Outcome::Cancelled: return "cancelled";
    case ExtractionRun::Outcome::SourceChanged: return "data file changed";
    case ExtractionRun::Outcome::TimeStandsStill: return "timestamps never increase";
    case ExtractionRun::Outcome::NotCreated: return "could not be created";
    case ExtractionRun::Outcome::Refused: return "a recording has its name";
    case ExtractionRun::Outcome::NameTaken: return "an earlier group wrote its name";
  }
  return "";
}

std::string ExtractionSummary::Csv(const std::vector<ExtractionRun::WrittenFile>& files) {
  std::string text = std::string(kCsvHeader) + "\n";
  for (const auto& file : files) {
    std::string inputs;
    for (const std::string& input : file.inputs) inputs += (inputs.empty() ? "" : ";") + input;
    text += CsvField(file.path) + "," + CsvField(inputs) + "," + std::to_string(file.threshold) + "," +
            Number(file.noiseLevel, "%.3f") + "," + std::to_string(file.spikeCount) + "," +
            Number(file.recordedSeconds, "%.6f") + "," + OutcomeText(file.outcome) + "\n";
  }
  return text;
}

std::string ExtractionSummary::Json(const std::vector<ExtractionRun::WrittenFile>& files) {
  std::string text = "[";
  for (std::size_t i = 0; i < files.size(); ++i) {
    const auto& file = files[i];
    std::string inputs;
    for (const std::string& input : file.inputs) inputs += (inputs.empty() ? "" : ", ") + Utf8Text::JsonQuoted(input);
    text += i == 0 ? "\n" : ",\n";
    text += "  {\"spike_file\": " + Utf8Text::JsonQuoted(file.path) + ", \"inputs\": [" + inputs +
            "], \"threshold\": " + std::to_string(file.threshold) + ", \"noise_level\": " +
            Number(file.noiseLevel, "%.3f") + ", \"spikes\": " + std::to_string(file.spikeCount) +
            ", \"recorded_seconds\": " + Number(file.recordedSeconds, "%.6f") + ", \"outcome\": " +
            Utf8Text::JsonQuoted(OutcomeText(file.outcome)) + "}";
  }
  return text + (files.empty() ? "]\n" : "\n]\n");
}

int32_t ExtractionSummary::Write(const std::string& path, const std::vector<ExtractionRun::WrittenFile>& files) {
  const std::string text = FormFor(path) == Form::Json ? Json(files) : Csv(files);
  BufferedFileWriter writer;
  int error = writer.Open(path);
  if (error == 0 && !writer.Write(text.data(), text.size())) error = writer.LastError();
  if (error == 0) error = writer.Close();
  if (error != 0) {
    writer.Discard();
    ReportFileError(kWriteFailedMessage, 0, path, error);
    return kStatusFailed;
  }
  return kStatusOk;
}

}  // namespace skelvane
