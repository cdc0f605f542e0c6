#include "platform/ReportError.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <mutex>
#include <utility>

#include "platform/File.h"

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

// What stands at `path` when an open was refused because it is no regular file: the system's own words
// ("Operation not supported") would not say what is wrong with it.
std::string NotRegularFileText(const std::string& path, int errorNumber) {
  struct stat status {};
  if (::stat(path.c_str(), &status) == 0) {
    const char* kind = S_ISFIFO(status.st_mode)   ? "a FIFO (named pipe)"
                       : S_ISCHR(status.st_mode)  ? "a character device"
                       : S_ISBLK(status.st_mode)  ? "a block device"
                       : S_ISSOCK(status.st_mode) ? "a socket"
                                                  : nullptr;
    if (kind != nullptr) return std::string("not a regular file but ") + kind;
  }
  char reason[256];
  return ::strerror_r(errorNumber, reason, sizeof reason);
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
  if (errorNumber == kErrorNotRegularFile) {
    text += ": " + NotRegularFileText(std::string(path), errorNumber);
  } else if (errorNumber > 0) {
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
