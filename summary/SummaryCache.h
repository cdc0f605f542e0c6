#pragma once
// The folder of kept summaries, one file per recording path, shared by every process of the user:
// $XDG_CACHE_HOME/skelvane (~/.cache/skelvane), created 0700, held under a size cap by evicting the
// least recently used files. A kept summary that does not match its recording is ignored; one that
// cannot be written leaves the summary in memory. Used by SummaryBuilder; the window and the
// snapshot command switch it on or off.

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <set>
#include <string>

namespace skelvane {

class RecordReader;
class SourceSummary;
struct SummaryKey;

class SummaryCache {
 public:
  using NoticeSink = std::function<void(const std::string& text)>;

  /// The folder's name inside the user's cache folder.
  static constexpr const char* kFolderName = "skelvane";
  /// Kept summaries are named by a hash of the recording's path and end with this.
  static constexpr const char* kFileSuffix = ".sum";
  /// The cap: the smaller of this and kCapPercent of the cache's file system, unless kCapVariable says.
  static constexpr int64_t kMostBytes = 20'000'000'000;
  static constexpr int64_t kCapPercent = 10;
  static constexpr const char* kCapVariable = "SKELVANE_CACHE_MAX";
  /// A temporary file of a process that is gone, or this old, is left from a write that was cut off.
  static constexpr int64_t kOrphanSeconds = 24 * 3600;
  /// Notices, at most one per cache folder and process.
  static constexpr const char* kUnwritableNotice = "Summaries stay in memory, the summary cache cannot be written:";
  static constexpr const char* kRebuiltNotice = "A kept summary was damaged or of another version and is built again:";

  /// What Find found.
  enum class Found {
    Kept,   // the summary of exactly this recording
    Grown,  // the summary of its first records, to be extended
    None    // nothing usable
  };

  /// The process's cache.
  static SummaryCache& Instance();

  /// Whether summaries are looked for and kept on disk (on unless switched off).
  bool Enabled() const { return enabled_.load(); }
  /// Switches keeping summaries on disk on or off for the builds that start from now on.
  void SetEnabled(bool on) { enabled_.store(on); }
  /// Where notices go (ShowMessage when none is set); called on the thread that finds the problem.
  void SetNoticeSink(NoticeSink sink);

  /// "$XDG_CACHE_HOME/skelvane", or "$HOME/.cache/skelvane" when the variable is unset, empty or not
  /// an absolute path; empty when no home folder is known either.
  static std::string Folder();
  /// The cap in bytes for a cache in `folder` (see kMostBytes); kCapVariable may give bytes or
  /// K, M, G or T (powers of 1024).
  static int64_t CapBytes(const std::string& folder);
  /// The name of the kept summary of the recording at `absolutePath`.
  static std::string FileNameFor(const std::string& absolutePath);

  /// Looks for the kept summary of `key` (read through `reader`, open on the recording) and maps it
  /// into `summary` when it is Kept or Grown (every checksum checked first).
  Found Find(const SummaryKey& key, const RecordReader& reader, SourceSummary& summary);
  /// Writes `summary` of `key` to the folder (then evicts down to the cap) and replaces it by the kept
  /// file's mapping; false, with a notice, when it could not be kept (it stays as it was).
  bool Keep(const SummaryKey& key, SourceSummary& summary);

 private:
  SummaryCache() = default;
  void Notice(const std::string& folder, const std::string& text);
  static int32_t MakeFolder(const std::string& folder);
  static void Evict(const std::string& folder, const std::string& keep, int64_t cap);

  std::atomic<bool> enabled_{true};
  std::mutex mutex_;
  NoticeSink sink_;
  std::set<std::string> noticed_;  // folders that had their notice
  std::set<std::string> swept_;    // folders evicted down to the cap since the process started
};

}  // namespace skelvane
