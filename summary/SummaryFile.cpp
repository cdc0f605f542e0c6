#include "summary/SummaryFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <xxhash.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <random>
#include <utility>
#include <vector>

#include "platform/AtomicFile.h"
#include "platform/File.h"
#include "platform/FileMapping.h"
#include "summary/HighPassStateCodec.h"
#include "summary/SourceSummary.h"
#include "summary/SummaryLayout.h"

namespace skelvane {
namespace {

using F = SummaryFile;
static_assert(F::kChangedAt + sizeof(int64_t) <= F::kFilterBytesAt, "the key's fields do not overlap");
static_assert(F::kFilterAt + SummaryKey::kLongestFilter <= F::kHeaderChecksumAt, "the key fits the header");
constexpr mode_t kFileMode = 0600;

using HeaderBytes = std::array<uint8_t, SummaryFile::kHeaderBytes>;

template <typename T>
void Put(HeaderBytes& header, std::size_t at, T value) {
  std::memcpy(header.data() + at, &value, sizeof value);
}
template <typename T>
T Get(const HeaderBytes& header, std::size_t at) {
  T value;
  std::memcpy(&value, header.data() + at, sizeof value);
  return value;
}

int64_t RoundUp(int64_t value, int64_t unit) { return (value + unit - 1) / unit * unit; }
int64_t BlockCount(int64_t imageBytes) { return RoundUp(imageBytes, F::kChecksumBlockBytes) / F::kChecksumBlockBytes; }

HeaderBytes EncodeHeader(const SummaryKey& key, int64_t imageBytes, int64_t checkpointBytes, uint64_t tableChecksum) {
  HeaderBytes header{};
  std::memcpy(header.data(), SummaryFile::kMagic, sizeof SummaryFile::kMagic);
  Put<uint32_t>(header, F::kVersionAt, SummaryFile::kVersion);
  Put<uint32_t>(header, F::kByteOrderAt, SummaryFile::kByteOrderMark);
  Put<int64_t>(header, F::kFileBytesAt, F::ImageStart(imageBytes) + imageBytes);
  Put<int64_t>(header, F::kImageStartAt, F::ImageStart(imageBytes));
  Put<int64_t>(header, F::kBlockBytesAt, SummaryFile::kChecksumBlockBytes);
  Put<uint64_t>(header, F::kTableChecksumAt, tableChecksum);
  Put<int64_t>(header, F::kRecordsAt, key.numRecords);
  Put<uint64_t>(header, F::kSizeAt, key.size);
  Put<int64_t>(header, F::kModifiedAt, key.modifiedNs);
  Put<uint64_t>(header, F::kInodeAt, key.inode);
  Put<uint64_t>(header, F::kDeviceAt, key.device);
  Put<int64_t>(header, F::kDataOffsetAt, key.dataOffset);
  Put<int32_t>(header, F::kRecordSizeAt, key.recordSize);
  Put<uint64_t>(header, F::kHeadHashAt, key.headHash);
  Put<uint64_t>(header, F::kLastHashAt, key.lastHash);
  Put<int64_t>(header, F::kChangedAt, key.changedNs);
  const std::size_t filterBytes = std::min(key.filter.size(), SummaryKey::kLongestFilter);
  Put<uint64_t>(header, F::kFilterBytesAt, filterBytes);
  std::memcpy(header.data() + F::kFilterAt, key.filter.data(), filterBytes);
  Put<int64_t>(header, F::kCheckpointBytesAt, checkpointBytes);
  Put<uint64_t>(header, F::kHeaderChecksumAt, F::HeaderChecksum(header.data()));
  return header;
}

// Writes all `count` bytes at `offset`; 0 or the errno.
int32_t WriteAllAt(int descriptor, const void* data, int64_t count, int64_t offset) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  while (count > 0) {
    const ssize_t written = ::pwrite(descriptor, bytes, static_cast<std::size_t>(std::min<int64_t>(count, 1 << 30)), offset);
    if (written < 0 && errno == EINTR) continue;
    if (written < 0) return errno;
    if (written == 0) return EIO;
    bytes += written;
    count -= written;
    offset += written;
  }
  return 0;
}

std::string TemporaryName(const std::string& name) {
  static std::mt19937_64 generator{std::random_device{}()};
  static std::mutex lock;
  uint64_t random = 0;
  {
    std::lock_guard guard(lock);
    random = generator();
  }
  char suffix[64];
  std::snprintf(suffix, sizeof suffix, ".%lld.%016llx", static_cast<long long>(::getpid()),
                static_cast<unsigned long long>(random));
  return std::string(SummaryFile::kTemporaryPrefix) + name + suffix + SummaryFile::kTemporarySuffix;
}

// A file being written for the name `name` in `folder` that no signal can leave behind: unnamed
// (O_TMPFILE) and linked in once whole; where the file system has no unnamed files, named, and listed
// for removal by the handlers of the signals that end the process.
class NewFile {
 public:
  NewFile(std::string folder, std::string name) : folder_(std::move(folder)), name_(std::move(name)) {}
  ~NewFile() { Abandon(); }
  NewFile(const NewFile&) = delete;
  NewFile& operator=(const NewFile&) = delete;

  // 0 or the errno of the failure.
  int32_t Create() {
    // Never a link planted in its place, never a file another process is writing.
    descriptor_ = ::open(folder_.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, kFileMode);
    if (descriptor_ >= 0) return 0;
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return errno;
    temporary_ = folder_ + "/" + TemporaryName(name_);
    descriptor_ = ::open(temporary_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kFileMode);
    if (descriptor_ < 0) {
      temporary_.clear();
      return errno;
    }
    pending_ = AtomicFile::AddPending(temporary_);
    return 0;
  }
  int Descriptor() const { return descriptor_; }
  // Gives the whole file its name, replacing an older file of it; 0 or the errno of the failure.
  // The descriptor stays open (and the caller closes it).
  int32_t Publish() {
    const std::string path = folder_ + "/" + name_;
    if (!temporary_.empty()) {
      if (::rename(temporary_.c_str(), path.c_str()) != 0) return errno;
      temporary_.clear();
      AtomicFile::ForgetPending(pending_);
      pending_ = -1;
      return 0;
    }
    const std::string self = "/proc/self/fd/" + std::to_string(descriptor_);
    const auto link = [&] { return ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW); };
    if (link() == 0) return 0;
    if (errno != EEXIST) return errno;
    // An older file of the name. Removed and replaced, a reader in between finds none and builds the
    // summary itself; a writer in between puts the same summary there, as good as this one.
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) return errno;
    return link() == 0 || errno == EEXIST ? 0 : errno;
  }
  // Gives up the descriptor to the caller.
  int Release() { return std::exchange(descriptor_, -1); }

 private:
  void Abandon() {
    if (descriptor_ >= 0) ::close(descriptor_);
    descriptor_ = -1;
    if (!temporary_.empty()) ::unlink(temporary_.c_str());
    AtomicFile::ForgetPending(pending_);
  }

  std::string folder_;
  std::string name_;
  int descriptor_ = -1;
  std::string temporary_;  // the named file's name, while it is not in place
  int32_t pending_ = -1;
};

}  // namespace

SummaryFile::SummaryFile() = default;

SummaryFile::~SummaryFile() {
  if (descriptor_ >= 0) ::close(descriptor_);
}

SummaryFile::Verdict SummaryFile::Fail(int32_t error) {
  error_ = error;
  return Verdict::Unreadable;
}

SummaryFile::Verdict SummaryFile::Open(const std::string& path) {
  if (descriptor_ >= 0) ::close(descriptor_);
  mapping_.reset();
  status_ = {};
  path_ = path;
  descriptor_ = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
  if (descriptor_ < 0) return errno == ENOENT ? Verdict::Missing : Fail(errno);
  // The one look at the file's status: the checks below, the note and the mapping all go by it.
  if (::fstat(descriptor_, &status_) != 0) return Fail(errno);
  if (!S_ISREG(status_.st_mode)) return Verdict::NotAFile;
  if (!Distrust(status_).empty()) return Verdict::Foreign;
  if (status_.st_size < kHeaderBytes) return Verdict::Damaged;  // no whole header (and nothing to map)
  // Mapped whole now: the header is read in place, and Load shows the image from the same mapping.
  mapping_ = std::make_unique<FileMapping>();
  if (const int32_t rc = mapping_->Map(descriptor_, static_cast<int64_t>(status_.st_size)); rc != 0) {
    mapping_.reset();
    return Fail(rc);
  }
  HeaderBytes header{};
  std::memcpy(header.data(), mapping_->Data(), kHeaderBytes);
  // Cut shorter since its status was taken, the lost part reads as zeros.
  if (mapping_->WasDamaged() || std::memcmp(header.data(), kMagic, sizeof kMagic) != 0) return Verdict::Damaged;
  if (Get<uint32_t>(header, kVersionAt) != kVersion || Get<uint32_t>(header, kByteOrderAt) != kByteOrderMark) {
    return Verdict::OtherVersion;
  }
  if (Get<uint64_t>(header, kHeaderChecksumAt) != HeaderChecksum(header.data())) return Verdict::Damaged;
  const auto records = Get<int64_t>(header, kRecordsAt);
  if (records < 0 || records > SummaryLayout::kMaxRecords ||
      Get<int64_t>(header, kBlockBytesAt) != kChecksumBlockBytes) {
    return Verdict::Damaged;
  }
  // Every size follows from the record count; the file must be exactly that long.
  checkpointBytes_ = Get<int64_t>(header, kCheckpointBytesAt);
  if (checkpointBytes_ != 0 && !HighPassStateCodec::Readable(checkpointBytes_)) return Verdict::Damaged;
  imageBytes_ = SummaryLayout(records, checkpointBytes_).TotalBytes();
  imageStart_ = ImageStart(imageBytes_);
  if (Get<int64_t>(header, kImageStartAt) != imageStart_ || Get<int64_t>(header, kFileBytesAt) != imageStart_ + imageBytes_ ||
      status_.st_size != imageStart_ + imageBytes_) {
    return Verdict::Damaged;
  }
  tableChecksum_ = Get<uint64_t>(header, kTableChecksumAt);
  key_ = SummaryKey{};
  key_.size = Get<uint64_t>(header, kSizeAt);
  key_.modifiedNs = Get<int64_t>(header, kModifiedAt);
  key_.changedNs = Get<int64_t>(header, kChangedAt);
  key_.inode = Get<uint64_t>(header, kInodeAt);
  key_.device = Get<uint64_t>(header, kDeviceAt);
  key_.dataOffset = Get<int64_t>(header, kDataOffsetAt);
  key_.recordSize = Get<int32_t>(header, kRecordSizeAt);
  key_.numRecords = records;
  key_.headHash = Get<uint64_t>(header, kHeadHashAt);
  key_.lastHash = Get<uint64_t>(header, kLastHashAt);
  const auto filterBytes = Get<uint64_t>(header, kFilterBytesAt);
  if (filterBytes > SummaryKey::kLongestFilter) return Verdict::Damaged;
  key_.filter.assign(reinterpret_cast<const char*>(header.data() + kFilterAt), filterBytes);
  return Verdict::Usable;
}

SummaryFile::Verdict SummaryFile::Load(SourceSummary& summary) {
  if (descriptor_ < 0) return Fail(EBADF);
  checkedWhole_ = !NoteMatches();
  if (checkedWhole_) {
    std::vector<uint64_t> table(static_cast<std::size_t>(BlockCount(imageBytes_)));
    const auto tableBytes = static_cast<int64_t>(table.size() * sizeof(uint64_t));
    int64_t got = File::ReadFullyAt(descriptor_, table.data(), tableBytes, kHeaderBytes);
    if (got < 0) return Fail(static_cast<int32_t>(-got));
    if (got < tableBytes || TableChecksum(table) != tableChecksum_) return Verdict::Damaged;
    // Read, not touched through the mapping: a stream of reads costs a fraction of the page faults.
    std::vector<uint8_t> block(static_cast<std::size_t>(std::min(kChecksumBlockBytes, imageBytes_)));
    for (std::size_t b = 0; b < table.size(); ++b) {
      const int64_t at = static_cast<int64_t>(b) * kChecksumBlockBytes;
      const int64_t want = std::min(kChecksumBlockBytes, imageBytes_ - at);
      got = File::ReadFullyAt(descriptor_, block.data(), want, imageStart_ + at);
      if (got < 0) return Fail(static_cast<int32_t>(-got));
      if (got < want || XXH3_64bits(block.data(), static_cast<std::size_t>(want)) != table[b]) return Verdict::Damaged;
    }
  }
  if (mapping_ == nullptr) {  // handed on by an earlier Load of the same open file
    mapping_ = std::make_unique<FileMapping>();
    if (const int32_t rc = mapping_->Map(descriptor_, static_cast<int64_t>(status_.st_size)); rc != 0) {
      mapping_.reset();
      return Fail(rc);
    }
  }
  SummaryStorage storage;
  if (const int32_t rc = storage.AdoptMapping(std::move(mapping_), imageStart_, imageBytes_); rc != 0) return Fail(rc);
  if (!summary.Attach(std::move(storage), key_.numRecords, checkpointBytes_)) return Verdict::Damaged;
  if (checkedWhole_) WriteNote();
  return Verdict::Usable;
}

void SummaryFile::Touch() {
  const std::string note = path_ + kCheckedSuffix;
  if (::utimensat(AT_FDCWD, note.c_str(), nullptr, AT_SYMLINK_NOFOLLOW) == 0) return;
  if (descriptor_ >= 0) ::futimens(descriptor_, nullptr);
}

std::string SummaryFile::Distrust(const struct stat& status) {
  // The user's own, or the system's (root may write anything anyway).
  if (status.st_uid != ::geteuid() && status.st_uid != 0) {
    return "belongs to another user (" + std::to_string(status.st_uid) + ")";
  }
  if ((status.st_mode & (S_IWGRP | S_IWOTH)) != 0) return "can be written by others than its owner";
  return {};
}

const std::string& SummaryFile::BootId() {
  // The kernel's id of this boot: a note from before a restart may describe a file whose last
  // blocks never reached the disk.
  static const std::string id = [] {
    std::string text(kBootIdBytes, '\0');
    const int descriptor = ::open("/proc/sys/kernel/random/boot_id", O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) return std::string();
    const int64_t got = File::ReadFullyAt(descriptor, text.data(), kBootIdBytes, 0);
    ::close(descriptor);
    return got > 0 ? text : std::string();
  }();
  return id;
}

std::string SummaryFile::NoteFor(const struct stat& status) {
  if (BootId().empty()) return {};
  const uint64_t fields[] = {static_cast<uint64_t>(status.st_dev), static_cast<uint64_t>(status.st_ino),
                             static_cast<uint64_t>(status.st_size), static_cast<uint64_t>(status.st_mtim.tv_sec),
                             static_cast<uint64_t>(status.st_mtim.tv_nsec), static_cast<uint64_t>(status.st_ctim.tv_sec),
                             static_cast<uint64_t>(status.st_ctim.tv_nsec)};
  std::string note(kCheckedMagic, sizeof kCheckedMagic);
  note += BootId();
  note.append(reinterpret_cast<const char*>(fields), sizeof fields);
  const uint64_t checksum = XXH3_64bits(note.data(), note.size());
  note.append(reinterpret_cast<const char*>(&checksum), sizeof checksum);
  return note;
}

bool SummaryFile::NoteMatches() const {
  const std::string expected = NoteFor(status_);
  if (expected.empty()) return false;
  const int descriptor = ::open((path_ + kCheckedSuffix).c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
  if (descriptor < 0) return false;
  struct stat status {};
  if (::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode) || !Distrust(status).empty()) {
    ::close(descriptor);
    return false;  // a note someone else could have written says nothing
  }
  // One byte more: a longer note is another note. One read: of a file this small, a read that comes
  // back short has met its end (ReadFullyAt would ask once more to hear the same).
  std::string note(expected.size() + 1, '\0');
  ssize_t got = 0;
  do {
    got = ::pread(descriptor, note.data(), note.size(), 0);
  } while (got < 0 && errno == EINTR);
  ::close(descriptor);
  return got == static_cast<int64_t>(expected.size()) && note.compare(0, expected.size(), expected) == 0;
}

void SummaryFile::WriteNote() const {
  const std::string note = NoteFor(status_);
  const std::size_t slash = path_.rfind('/');
  if (note.empty() || slash == std::string::npos) return;
  NewFile file(path_.substr(0, slash), path_.substr(slash + 1) + kCheckedSuffix);
  // A folder that cannot be written: the next load checks every block again.
  if (file.Create() != 0 || WriteAllAt(file.Descriptor(), note.data(), static_cast<int64_t>(note.size()), 0) != 0) return;
  file.Publish();
}

int32_t SummaryFile::Write(const std::string& folder, const std::string& name, const SummaryKey& key,
                           const SourceSummary& summary, SourceSummary& mapped) {
  const uint8_t* image = summary.Storage().Data();
  const int64_t imageBytes = summary.Storage().Size();
  const std::vector<uint64_t> table = BlockChecksums(image, imageBytes);
  const auto tableBytes = static_cast<int64_t>(table.size() * sizeof(uint64_t));
  const HeaderBytes header = EncodeHeader(key, imageBytes, summary.CheckpointBytes(), TableChecksum(table));

  NewFile file(folder, name);
  if (const int32_t rc = file.Create(); rc != 0) return rc;
  const int descriptor = file.Descriptor();
  int32_t rc = WriteAllAt(descriptor, header.data(), kHeaderBytes, 0);
  if (rc == 0) rc = WriteAllAt(descriptor, table.data(), tableBytes, kHeaderBytes);
  if (rc == 0 && imageBytes > 0) rc = WriteAllAt(descriptor, image, imageBytes, ImageStart(imageBytes));
  if (rc == 0 && ::ftruncate(descriptor, ImageStart(imageBytes) + imageBytes) != 0) rc = errno;
  // Not flushed to the disk: after a crash a file that lost blocks fails its checksums and is built
  // again, which costs less than waiting for the disk on every build.
  auto mapping = std::make_unique<FileMapping>();
  SummaryStorage storage;
  // Of the length just given to it: mapped without looking at its status.
  if (rc == 0) rc = mapping->Map(descriptor, ImageStart(imageBytes) + imageBytes);
  if (rc == 0) rc = storage.AdoptMapping(std::move(mapping), ImageStart(imageBytes), imageBytes);
  if (rc == 0) rc = file.Publish();
  if (rc != 0) return rc;
  // Written from the image itself: its blocks need no checking in this boot of the machine. The note
  // is of the file as it stands once named (a link changes its change time).
  SummaryFile written;
  written.path_ = folder + "/" + name;
  written.descriptor_ = file.Release();
  if (::fstat(written.descriptor_, &written.status_) == 0) written.WriteNote();
  mapped.Attach(std::move(storage), key.numRecords, summary.CheckpointBytes());
  return 0;
}

int64_t SummaryFile::ImageStart(int64_t imageBytes) {
  return RoundUp(kHeaderBytes + BlockCount(imageBytes) * static_cast<int64_t>(sizeof(uint64_t)), kImageAlignment);
}

std::vector<uint64_t> SummaryFile::BlockChecksums(const uint8_t* image, int64_t bytes) {
  std::vector<uint64_t> table(static_cast<std::size_t>(BlockCount(bytes)));
  for (std::size_t b = 0; b < table.size(); ++b) {
    const int64_t at = static_cast<int64_t>(b) * kChecksumBlockBytes;
    table[b] = XXH3_64bits(image + at, static_cast<std::size_t>(std::min(kChecksumBlockBytes, bytes - at)));
  }
  return table;
}

uint64_t SummaryFile::TableChecksum(const std::vector<uint64_t>& table) {
  return XXH3_64bits(table.data(), table.size() * sizeof(uint64_t));
}

uint64_t SummaryFile::HeaderChecksum(const uint8_t* header) { return XXH3_64bits(header, kHeaderChecksumAt); }

int64_t SummaryFile::TemporaryOwner(const std::string& name) {
  const std::size_t prefix = std::strlen(kTemporaryPrefix);
  const std::size_t suffix = std::strlen(kTemporarySuffix);
  if (name.size() <= prefix + suffix || name.compare(0, prefix, kTemporaryPrefix) != 0 ||
      name.compare(name.size() - suffix, suffix, kTemporarySuffix) != 0) {
    return -1;
  }
  // ".<name>.<pid>.<random>.tmp"
  const std::string stem = name.substr(0, name.size() - suffix);
  const std::size_t randomDot = stem.rfind('.');
  if (randomDot == std::string::npos || randomDot == 0) return -1;
  const std::size_t pidDot = stem.rfind('.', randomDot - 1);
  if (pidDot == std::string::npos) return -1;
  const std::string pid = stem.substr(pidDot + 1, randomDot - pidDot - 1);
  if (pid.empty() || pid.size() > 18 || pid.find_first_not_of("0123456789") != std::string::npos) return -1;
  return std::stoll(pid);
}

}  // namespace skelvane
