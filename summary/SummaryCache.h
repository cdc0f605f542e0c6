#pragma once
// The folder of kept summaries, one file per recording file (all its names share it) and filter it is
// viewed through (none, or a band designed for its rate), shared by every process of the user:
// $XDG_CACHE_HOME/skelvane (~/.cache/skelvane), created 0700, held under a size cap by evicting the
// least recently used files. Used only while the folder and its files are the user's own and no one
// else may write them (as the secure shell treats its folders); a kept summary that does not match its
// recording is ignored; one that cannot be written leaves the summary in memory. Used by
// SummaryBuilder; the window and the snapshot command switch it on or off.

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
  /// Kept summaries are named by a hash of the recording's device and inode (and the filter's
  /// identity, for a filtered one) and end with this.
  static constexpr const char* kFileSuffix = ".sum";
  /// The cap: the smaller of this and kCapPercent of the cache's file system, unless kCapVariable says.
  static constexpr int64_t kMostBytes = 20'000'000'000;
  static constexpr int64_t kCapPercent = 10;
  static constexpr const char* kCapVariable = "SKELVANE_CACHE_MAX";
  /// A temporary file of a process that is gone, or this old, is left from a write that was cut off.
  static constexpr int64_t kOrphanSeconds = 24 * 3600;
  /// Notices, each followed by the folder or file it is about (and the fault): at most one of a
  /// kind per cache folder and process (per file or recording for the last three).
  static constexpr const char* kUnwritableNotice = "Summaries stay in memory, the summary cache cannot be written:";
  static constexpr const char* kRebuiltNotice = "A kept summary was damaged or of another version and is built again:";
  static constexpr const char* kDistrustedNotice = "Summaries stay in memory, the summary cache is not safe to use:";
  static constexpr const char* kNotAFileNotice =
      "A kept summary's name is taken by something that is not a file; its summary stays in memory:";
  static constexpr const char* kCutShortNotice =
      "A kept summary was cut short while in use and is built again; the trace waits for it:";
  /// Said once per process, followed by the variable and its value, for a cap that is no size.
  static constexpr const char* kCapNotice =
      "The summary cache keeps its usual cap, this is no number of bytes (digits, or digits and K, M, G or T):";

  /// What Find found.
  enum class Found {
    Kept,    // the summary of exactly this recording
    Grown,   // the summary of its first records, to be extended
    None,    // nothing usable: the summary is to be built and kept
    Blocked  // nothing usable, and none may be kept (its name is taken, the folder is not safe)
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
  /// K, M, G or T (powers of 1024). A variable that says neither is passed over (and `refused` set).
  static int64_t CapBytes(const std::string& folder, bool* refused = nullptr);
  /// The name of the kept summary of the recording file `inode` on `device`, of its samples as
  /// recorded or, with a `filter` identity (SummaryKey::FilterIdentity), filtered.
  static std::string FileNameFor(uint64_t device, uint64_t inode, const std::string& filter = {});

  /// Looks for the kept summary of `key` (read through `reader`, open on the recording) and maps it
  /// into `summary` when it is Kept or Grown (every checksum checked first). The first look in a folder
  /// brings it under its cap, unless `mayTidy` is false: that look leaves it for the next.
  Found Find(const SummaryKey& key, const RecordReader& reader, SourceSummary& summary, bool mayTidy = true);
  /// Writes `summary` of `key` to the folder (then evicts down to the cap) and replaces it by the kept
  /// file's mapping; false, with a notice, when it could not be kept (it stays as it was).
  bool Keep(const SummaryKey& key, SourceSummary& summary);
  /// Says (once per recording) that the kept summary of the recording at `path` was cut short while
  /// it was mapped, so what was read from it is thrown away and it is built again.
  void ReportCutShort(const std::string& path);

 private:
  SummaryCache() = default;
  // Passes `text` on unless a notice of the same `kind` about `subject` has been passed on already.
  void Notice(const char* kind, const std::string& subject, const std::string& text);
  int64_t Cap(const std::string& folder);
  // The folder's fault when it is there but not safe to use (noticed), else true.
  bool Trusted(const std::string& folder);
  static int32_t MakeFolder(const std::string& folder);
  static void Evict(const std::string& folder, const std::string& keep, int64_t cap);

  std::atomic<bool> enabled_{true};
  std::mutex mutex_;
  NoticeSink sink_;
  std::set<std::string> noticed_;  // kinds and subjects of the notices passed on
  std::set<std::string> swept_;    // folders evicted down to the cap since the process started
};

}  // namespace skelvane
