#include "platform/ReportError.h"

#include <cstdio>
#include <cstring>
#include <mutex>
#include <utility>

namespace skelvane {
namespace {

void WriteToStderr(const std::string& text) {
  // One call per line: stdio locks the stream for its duration, so the line stays whole.
  std::fprintf(stderr, "%s: %s\n", kMessageCaption, text.c_str());
}

ReportSink& CurrentSink() {
  static ReportSink sink = WriteToStderr;
  return sink;
}

// Extraction workers report from their own threads: one report at a time reaches the sink, so lines
// never interleave and a sink that collects texts needs no lock of its own. Recursive, because a sink
// may itself report (or swap the sink) while it runs.
std::recursive_mutex& SinkMutex() {
  static std::recursive_mutex mutex;
  return mutex;
}

void Deliver(const std::string& text) {
  const std::lock_guard<std::recursive_mutex> lock(SinkMutex());
  if (CurrentSink()) CurrentSink()(text);
}

}  // namespace

std::string FormatReport(std::string_view message, int64_t number) {
  std::string text(message.substr(0, kMaxReportLength));
  if (number != 0) text += std::to_string(number);
  return text;
}

void ReportError(std::string_view message, int64_t number) {
  Deliver(FormatReport(message, number));
}

std::string FormatFileReport(std::string_view message, int64_t number, std::string_view path, int errorNumber) {
  std::string text = FormatReport(message, number);
  // A message that ends on its own colon (and no number) takes the path after a space.
  text += !text.empty() && text.back() == ':' ? " " : ": ";
  text += path;
  if (errorNumber > 0) {
    text += ": ";
    // strerror may share one buffer between threads; the reentrant form fills ours (GNU: returns the text).
    char reason[256];
    text += ::strerror_r(errorNumber, reason, sizeof reason);
  }
  return text;
}

void ReportFileError(std::string_view message, int64_t number, std::string_view path, int errorNumber) {
  Deliver(FormatFileReport(message, number, path, errorNumber));
}

void ShowMessage(std::string_view message) { ReportError(message, 0); }

ReportSink SetReportSink(ReportSink sink) {
  const std::lock_guard<std::recursive_mutex> lock(SinkMutex());
  ReportSink previous = std::move(CurrentSink());
  CurrentSink() = sink ? std::move(sink) : ReportSink(WriteToStderr);
  return previous;
}

}  // namespace skelvane
