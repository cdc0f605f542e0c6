#include "summary/SummaryCache.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <xxhash.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <utility>
#include <vector>

#include "datafile/RecordReader.h"
#include "platform/ReportError.h"
#include "summary/SourceSummary.h"
#include "summary/SummaryFile.h"
#include "summary/SummaryKey.h"

namespace skelvane {
namespace {

constexpr mode_t kFolderMode = 0700;
constexpr const char* kDefaultCacheHome = "/.cache";

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// Bytes from "123", "64K", "500M", "20G" or "1T"; -1 when the text is none of those.
int64_t ParseBytes(const char* text) {
  char* end = nullptr;
  errno = 0;
  const long long value = std::strtoll(text, &end, 10);
  if (errno != 0 || end == text || value < 0) return -1;
  int32_t shift = 0;
  switch (*end) {
    case '\0': break;
    case 'k': case 'K': shift = 10; ++end; break;
    case 'm': case 'M': shift = 20; ++end; break;
    case 'g': case 'G': shift = 30; ++end; break;
    case 't': case 'T': shift = 40; ++end; break;
    default: return -1;
  }
  if (*end != '\0' || value > (INT64_MAX >> shift)) return -1;
  return static_cast<int64_t>(value) << shift;
}

}  // namespace

SummaryCache& SummaryCache::Instance() {
  static SummaryCache cache;
  return cache;
}

void SummaryCache::SetNoticeSink(NoticeSink sink) {
  std::lock_guard lock(mutex_);
  sink_ = std::move(sink);
}

void SummaryCache::Notice(const char* kind, const std::string& subject, const std::string& text) {
  NoticeSink sink;
  {
    std::lock_guard lock(mutex_);
    if (!noticed_.insert(std::string(kind) + '\n' + subject).second) return;
    sink = sink_;
  }
  if (sink) {
    sink(text);
  } else {
    ShowMessage(text);
  }
}

std::string SummaryCache::Folder() {
  const char* cacheHome = std::getenv("XDG_CACHE_HOME");
  if (cacheHome != nullptr && cacheHome[0] == '/') return std::string(cacheHome) + "/" + kFolderName;
  std::string home;
  if (const char* variable = std::getenv("HOME"); variable != nullptr && variable[0] != '\0') {
    home = variable;
  } else if (const passwd* entry = ::getpwuid(::getuid()); entry != nullptr && entry->pw_dir != nullptr) {
    home = entry->pw_dir;
  }
  if (home.empty()) return {};
  return home + kDefaultCacheHome + "/" + kFolderName;
}

int64_t SummaryCache::CapBytes(const std::string& folder, bool* refused) {
  if (const char* text = std::getenv(kCapVariable); text != nullptr && text[0] != '\0') {
    if (const int64_t bytes = ParseBytes(text); bytes >= 0) return bytes;
    if (refused != nullptr) *refused = true;
  }
  struct statvfs volume {};
  if (::statvfs(folder.c_str(), &volume) != 0) return kMostBytes;
  const auto size = static_cast<int64_t>(volume.f_blocks) * static_cast<int64_t>(volume.f_frsize);
  return std::min(kMostBytes, size / 100 * kCapPercent);
}

std::string SummaryCache::FileNameFor(uint64_t device, uint64_t inode, const std::string& filter) {
  const uint64_t file[] = {device, inode};
  // The samples as recorded keep the names they always had.
  const XXH128_hash_t hash =
      filter.empty() ? XXH3_128bits(file, sizeof file)
                     : XXH3_128bits_withSeed(filter.data(), filter.size(), XXH3_64bits(file, sizeof file));
  char name[40];
  std::snprintf(name, sizeof name, "%016llx%016llx", static_cast<unsigned long long>(hash.high64),
                static_cast<unsigned long long>(hash.low64));
  return name + std::string(kFileSuffix);
}

int32_t SummaryCache::MakeFolder(const std::string& folder) {
  // Each missing folder on the way is made private, as the user's cache folder itself should be.
  for (std::size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
    const std::string part = folder.substr(0, slash);
    struct stat existing {};
    // A folder that is there may still refuse a mkdir with another error than EEXIST (read-only media).
    if (::mkdir(part.c_str(), kFolderMode) != 0 && errno != EEXIST) {
      const int error = errno;
      if (::stat(part.c_str(), &existing) != 0) return error;
    }
    if (slash == std::string::npos) break;
  }
  struct stat status {};
  if (::stat(folder.c_str(), &status) != 0) return errno;
  return S_ISDIR(status.st_mode) ? 0 : ENOTDIR;
}

int64_t SummaryCache::Cap(const std::string& folder) {
  bool refused = false;
  const int64_t cap = CapBytes(folder, &refused);
  if (refused) {
    const std::string setting = std::string(kCapVariable) + "=" + std::getenv(kCapVariable);
    Notice(kCapNotice, setting, std::string(kCapNotice) + " " + setting);
  }
  return cap;
}

bool SummaryCache::Trusted(const std::string& folder) {
  struct stat status {};
  if (::stat(folder.c_str(), &status) != 0) return true;  // not there yet: made private when first kept
  const std::string fault = SummaryFile::Distrust(status);
  if (fault.empty()) return true;
  Notice(kDistrustedNotice, folder, std::string(kDistrustedNotice) + " " + folder + ": " + fault);
  return false;
}

void SummaryCache::ReportCutShort(const std::string& path) {
  Notice(kCutShortNotice, path, std::string(kCutShortNotice) + " " + path);
  // The build that follows finds the file cut short: that is the same news.
  std::lock_guard lock(mutex_);
  noticed_.insert(std::string(kRebuiltNotice) + '\n' + Folder());
}

SummaryCache::Found SummaryCache::Find(const SummaryKey& key, const RecordReader& reader, SourceSummary& summary,
                                       bool mayTidy) {
  const std::string folder = Folder();
  if (folder.empty()) return Found::None;
  if (!Trusted(folder) || key.filter.size() > SummaryKey::kLongestFilter) return Found::Blocked;
  // Once per process, the folder is brought under the cap and rid of what writes cut off left behind.
  bool first = false;
  if (mayTidy) {
    std::lock_guard lock(mutex_);
    first = swept_.insert(folder).second;
  }
  if (first) Evict(folder, {}, Cap(folder));
  const std::string path = folder + "/" + FileNameFor(key.device, key.inode, key.filter);
  SummaryFile file;
  SummaryFile::Verdict verdict = file.Open(path);
  // The name holds the filter: a file under it kept for another filter (or none) was put there by
  // something other than this cache.
  if (verdict == SummaryFile::Verdict::Usable && file.Key().filter != key.filter) {
    verdict = SummaryFile::Verdict::Damaged;
  }
  if (verdict == SummaryFile::Verdict::Usable) {
    const SummaryKey& kept = file.Key();
    Found found = Found::None;
    if (kept == key) {
      found = Found::Kept;
    } else if (kept.MayHaveGrownInto(key)) {
      // The record that was last must still be there as it was: then only records were appended.
      uint64_t hash = 0;
      if (SummaryKey::HashRecord(reader, kept.numRecords - 1, hash) == 0 && hash == kept.lastHash) found = Found::Grown;
    }
    if (found == Found::None) return Found::None;  // another recording now: built again, silently
    verdict = file.Load(summary);
    if (verdict == SummaryFile::Verdict::Usable) {
      file.Touch();
      return found;
    }
  }
  switch (verdict) {
    case SummaryFile::Verdict::Damaged:
    case SummaryFile::Verdict::OtherVersion:
      Notice(kRebuiltNotice, folder, FormatFileReport(kRebuiltNotice, 0, path, 0));
      return Found::None;
    case SummaryFile::Verdict::NotAFile:
      Notice(kNotAFileNotice, path, FormatFileReport(kNotAFileNotice, 0, path, 0));
      return Found::Blocked;
    case SummaryFile::Verdict::Foreign: {
      const std::string fault = SummaryFile::Distrust(file.Status());
      Notice(kDistrustedNotice, path, std::string(kDistrustedNotice) + " " + path + (fault.empty() ? "" : ": " + fault));
      return Found::Blocked;
    }
    default:
      return Found::None;
  }
}

bool SummaryCache::Keep(const SummaryKey& key, SourceSummary& summary) {
  const std::string folder = Folder();
  if (folder.empty()) return false;
  int32_t rc = MakeFolder(folder);
  if (rc == 0 && !Trusted(folder)) return false;
  const std::string name = FileNameFor(key.device, key.inode, key.filter);
  SourceSummary mapped;
  if (rc == 0) rc = SummaryFile::Write(folder, name, key, summary, mapped);
  if (rc != 0) {
    Notice(kUnwritableNotice, folder, FormatFileReport(kUnwritableNotice, 0, folder, rc));
    return false;
  }
  summary = std::move(mapped);
  Evict(folder, name, Cap(folder));
  return true;
}

void SummaryCache::Evict(const std::string& folder, const std::string& keep, int64_t cap) {
  constexpr int64_t kNanoseconds = 1'000'000'000;
  struct Kept {
    int64_t used = -1;  // last write or use, nanoseconds: of the file or of its note
    int64_t bytes = 0;  // of both
    bool summary = false;
  };
  std::map<std::string, Kept> files;  // by the kept file's name
  DIR* directory = ::opendir(folder.c_str());
  if (directory == nullptr) return;
  const int descriptor = ::dirfd(directory);
  const int64_t now = static_cast<int64_t>(std::time(nullptr));
  const std::string noteSuffix = std::string(kFileSuffix) + SummaryFile::kCheckedSuffix;
  while (const dirent* entry = ::readdir(directory)) {
    const std::string name = entry->d_name;
    struct stat status {};
    if (::fstatat(descriptor, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(status.st_mode)) continue;
    if (const int64_t owner = SummaryFile::TemporaryOwner(name); owner > 0) {
      const bool gone = ::kill(static_cast<pid_t>(owner), 0) != 0 && errno == ESRCH;
      if (gone || now - status.st_mtim.tv_sec > kOrphanSeconds) ::unlinkat(descriptor, name.c_str(), 0);
      continue;
    }
    const bool note = EndsWith(name, noteSuffix);
    if (!note && !EndsWith(name, kFileSuffix)) continue;
    Kept& kept = files[note ? name.substr(0, name.size() - std::strlen(SummaryFile::kCheckedSuffix)) : name];
    kept.used = std::max<int64_t>(kept.used, status.st_mtim.tv_sec * kNanoseconds + status.st_mtim.tv_nsec);
    kept.bytes += status.st_size;
    kept.summary = kept.summary || !note;
  }
  int64_t total = 0;
  std::vector<std::pair<int64_t, std::string>> byUse;
  for (const auto& [name, kept] : files) {
    if (!kept.summary) {
      ::unlinkat(descriptor, (name + SummaryFile::kCheckedSuffix).c_str(), 0);  // the note of a file gone
      continue;
    }
    total += kept.bytes;
    byUse.emplace_back(kept.used, name);
  }
  std::sort(byUse.begin(), byUse.end());
  for (const auto& [used, name] : byUse) {
    if (total <= cap) break;
    if (name == keep) continue;
    ::unlinkat(descriptor, (name + SummaryFile::kCheckedSuffix).c_str(), 0);
    if (::unlinkat(descriptor, name.c_str(), 0) == 0) total -= files[name].bytes;
  }
  ::closedir(directory);
}

}  // namespace skelvane
