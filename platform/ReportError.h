#pragma once
// The one way failures reach the user: a modal box captioned "SkelvaneV3" in the window, a line on
// stderr in the command-line tool, a captured list in tests. Every subsystem reports through it.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace skelvane {

/// Caption of every message box the program shows.
inline constexpr const char* kMessageCaption = "SkelvaneV3";

/// Longest message text kept before the number is appended.
inline constexpr std::size_t kMaxReportLength = 479;

/// Receives each finished report text.
using ReportSink = std::function<void(const std::string& text)>;

/// Builds the text of a report: the message cut to 479 characters, then the number in decimal when
/// it is not zero (callers end their messages with their own separator).
std::string FormatReport(std::string_view message, int64_t number);

/// Reports a failure through the current sink. Callable from any thread: reports reach the sink one
/// at a time, in the order they were made.
void ReportError(std::string_view message, int64_t number);

/// Reports a failure on a file: the text ReportError would show, then ": " (just a space after a
/// message that ends on a colon and shows no number) and the path, then, when
/// `errorNumber` is an errno (positive), ": " and the system's words for it, as in
/// "Error opening file; microsoft error code:13: /data/x.kcs: Permission denied" (for
/// kErrorNotRegularFile, what the path is instead: "not a regular file but a FIFO (named pipe)").
void ReportFileError(std::string_view message, int64_t number, std::string_view path, int errorNumber);

/// The text ReportFileError shows (for callers that collect messages instead of showing them).
std::string FormatFileReport(std::string_view message, int64_t number, std::string_view path, int errorNumber);

/// Shows a plain message (no number) through the same sink.
void ShowMessage(std::string_view message);

/// Replaces the sink and returns the previous one. The default writes one line to stderr.
ReportSink SetReportSink(ReportSink sink);

}  // namespace skelvane
