#include "platform/ReportError.h"

#include <cstdio>
#include <cstring>
#include <utility>

namespace skelvane {
namespace {

void WriteToStderr(const std::string& text) {
  std::fprintf(stderr, "%s: %s\n", kMessageCaption, text.c_str());
}

ReportSink& CurrentSink() {
  static ReportSink sink = WriteToStderr;
  return sink;
}

}  // namespace

std::string FormatReport(std::string_view message, int64_t number) {
  std::string text(message.substr(0, kMaxReportLength));
  if (number != 0) text += std::to_string(number);
  return text;
}

void ReportError(std::string_view message, int64_t number) {
  const std::string text = FormatReport(message, number);
  if (CurrentSink()) CurrentSink()(text);
}

std::string FormatFileReport(std::string_view message, int64_t number, std::string_view path, int errorNumber) {
  std::string text = FormatReport(message, number);
  text += ": ";
  text += path;
  if (errorNumber > 0) {
    text += ": ";
    text += std::strerror(errorNumber);
  }
  return text;
}

void ReportFileError(std::string_view message, int64_t number, std::string_view path, int errorNumber) {
  const std::string text = FormatFileReport(message, number, path, errorNumber);
  if (CurrentSink()) CurrentSink()(text);
}

void ShowMessage(std::string_view message) { ReportError(message, 0); }

ReportSink SetReportSink(ReportSink sink) {
  ReportSink previous = std::move(CurrentSink());
  CurrentSink() = sink ? std::move(sink) : ReportSink(WriteToStderr);
  return previous;
}

}  // namespace skelvane
