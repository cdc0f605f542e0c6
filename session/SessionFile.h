#pragma once
// The session file (.skvs): a versioned JSON document holding a Session, read field by field so that a
// value out of range costs only itself, and written whole or not at all, never through a link and never
// over a recording or a spike file. Used by the window's session commands and the CLI's --session.

#include <cstdint>
#include <string>
#include <vector>

#include "session/Session.h"

namespace skelvane {

class SessionFile {
 public:
  /// The format's name in the document and the version this program writes and reads.
  static constexpr const char* kFormatName = "skelvane-session";
  static constexpr int32_t kVersion = 1;
  /// The extension sessions are known by.
  static constexpr const char* kExtension = ".skvs";
  /// Larger files are refused unread: no session of a real archive comes near it.
  static constexpr int64_t kMaxBytes = int64_t{256} << 20;

  /// Reported (ReportFileError) with the session's path; nothing of it is restored.
  static constexpr const char* kUnreadableMessage = "This session could not be read:";
  static constexpr const char* kNotJsonMessage = "This session is not JSON; nothing was restored:";
  static constexpr const char* kNotSessionMessage = "This file is not a session; nothing was restored:";
  /// Heads the one message that lists, a line each, what of a session could not be restored.
  static constexpr const char* kPartlyRestoredMessage = "This session was not restored in full:";

  enum class Outcome { Read, Unreadable, NotJson, NotSession };

  /// Reads `path` into `session`. Fields out of range or of the wrong kind keep their defaults and
  /// add a line to `problems` (as does a newer version, whose additions are left out). For an outcome
  /// other than Read it has reported why (naming the file) and `session` is untouched.
  static Outcome Read(const std::string& path, Session& session, std::vector<std::string>& problems);
  /// Writes `session` to `path` whole (a temporary file renamed over it); 0, or -1 after a report.
  /// A recording or spike file at `path` is refused.
  static int32_t Write(const std::string& path, const Session& session);
  /// The document `session` is written as (two-space indents, a line end at the end).
  static std::string Text(const Session& session);
  /// Reads a document's text as Read does, without a file (for tests and fuzzing).
  static Outcome Parse(const std::string& text, Session& session, std::vector<std::string>& problems);

  /// Reports the problems Read and the restore found, as one message naming the file; nothing when
  /// there are none.
  static void ReportProblems(const std::string& path, const std::vector<std::string>& problems);
  /// True for a name ending in .skvs (any case).
  static bool HasSessionSuffix(const std::string& path);
};

}  // namespace skelvane
