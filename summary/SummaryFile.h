#pragma once
// A kept summary on disk: a 4 KiB header (magic, version, byte order, the summary's key and sizes,
// its own checksum), a table of one checksum per 1 MiB of the image, then the image itself, page
// aligned, so it is mapped read-only and read in place. Written to an unnamed file linked into place
// once whole (where the file system has no unnamed files, a named one renamed, which the handlers of
// the signals that end the process remove), so it appears whole or not at all and nothing is left
// behind. Beside it, a note that this very file (inode, size, times) had every block checked since
// the machine started: a file untouched since is mapped without reading it all again. Used by
// SummaryCache; the fuzz target reads arbitrary bytes with it.

#include <sys/stat.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "summary/SummaryKey.h"

namespace skelvane {

class FileMapping;
class SourceSummary;

class SummaryFile {
 public:
  /// What a kept file turned out to be.
  enum class Verdict {
    Usable,        // whole, every checksum right
    Missing,       // no file of that name
    Unreadable,    // could not be opened or read (the errno is in Error())
    OtherVersion,  // written by another version of the format or on a machine of another byte order
    Damaged,       // cut short, lengthened, garbled or failing a checksum
    NotAFile,      // a folder, pipe or device in its place
    Foreign        // another user's, or writable by others than its owner: not to be trusted
  };

  static constexpr char kMagic[8] = {'S', 'K', 'V', 'S', 'U', 'M', 'M', '\x1a'};
  static constexpr uint32_t kVersion = 2;
  static constexpr uint32_t kByteOrderMark = 0x01020304;
  static constexpr int64_t kHeaderBytes = 4096;
  static constexpr int64_t kChecksumBlockBytes = int64_t{1} << 20;
  static constexpr int64_t kImageAlignment = 4096;
  /// Where each header field lies (the 8-byte magic at 0).
  static constexpr std::size_t kVersionAt = 8;
  static constexpr std::size_t kByteOrderAt = 12;
  static constexpr std::size_t kFileBytesAt = 16;
  static constexpr std::size_t kImageStartAt = 24;
  static constexpr std::size_t kBlockBytesAt = 32;
  static constexpr std::size_t kTableChecksumAt = 40;
  static constexpr std::size_t kRecordsAt = 48;
  static constexpr std::size_t kSizeAt = 56;
  static constexpr std::size_t kModifiedAt = 64;
  static constexpr std::size_t kInodeAt = 72;
  static constexpr std::size_t kDeviceAt = 80;
  static constexpr std::size_t kDataOffsetAt = 88;
  static constexpr std::size_t kRecordSizeAt = 96;
  static constexpr std::size_t kHeadHashAt = 104;
  static constexpr std::size_t kLastHashAt = 112;
  static constexpr std::size_t kChangedAt = 120;
  /// The filter's identity (SummaryKey::filter): its length, then its bytes; zeros for a summary of
  /// the samples as recorded, so those files read as they always did.
  static constexpr std::size_t kFilterBytesAt = 128;
  static constexpr std::size_t kFilterAt = 136;
  /// Bytes of each kept filter state in the image (SourceSummary::CheckpointBytes); zero in a file
  /// that keeps none.
  static constexpr std::size_t kCheckpointBytesAt = 384;
  static constexpr std::size_t kHeaderChecksumAt = kHeaderBytes - sizeof(uint64_t);
  /// The note beside a kept file is named after it with this suffix.
  static constexpr const char* kCheckedSuffix = ".checked";
  static constexpr char kCheckedMagic[8] = {'S', 'K', 'V', 'C', 'H', 'K', 'D', '\x1a'};
  /// Names of temporary files start with this and end with kTemporarySuffix.
  static constexpr const char* kTemporaryPrefix = ".";
  static constexpr const char* kTemporarySuffix = ".tmp";

  SummaryFile();
  ~SummaryFile();
  SummaryFile(const SummaryFile&) = delete;
  SummaryFile& operator=(const SummaryFile&) = delete;

  /// Opens the kept file at `path` (a link is refused), looks at its status once, maps it whole and
  /// checks its header against it: magic, version, checksum, sizes. Usable (the key is then in
  /// Key()), or why not.
  Verdict Open(const std::string& path);
  /// The key the open file was written for.
  const SummaryKey& Key() const { return key_; }
  /// The status Open found the file in (for a Foreign file, whose it is and who may write it).
  const struct stat& Status() const { return status_; }
  /// Shows the open file's image read-only in `summary`, every block checked against its checksum
  /// unless the note says they were since the machine started and the file is as Open found it
  /// (then the note is written): Usable, Damaged or Unreadable (then `summary` is left as it was).
  Verdict Load(SourceSummary& summary);
  /// Whether the last Load read every block.
  bool CheckedWhole() const { return checkedWhole_; }
  /// Marks the open file as used now (its note, else the file): the least recently used go first.
  void Touch();
  /// The errno behind the last Unreadable verdict.
  int32_t Error() const { return error_; }
  /// Why a file or folder with this status may not be trusted with summaries (another user's, or
  /// writable by others than its owner), or empty: the secure shell's rule for its own folders.
  static std::string Distrust(const struct stat& status);

  /// Writes `summary` and its `key` to a new file in `folder` and renames it to `name` once whole;
  /// then shows the written file, mapped read-only, in `mapped`. 0 or the errno of the failure;
  /// nothing is left behind on failure.
  static int32_t Write(const std::string& folder, const std::string& name, const SummaryKey& key,
                       const SourceSummary& summary, SourceSummary& mapped);
  /// Where the image of a summary of `imageBytes` starts: on the first page after the header and
  /// the checksum table.
  static int64_t ImageStart(int64_t imageBytes);
  /// Checksums: of each block of an image, of the table of them, of a header's first bytes.
  static std::vector<uint64_t> BlockChecksums(const uint8_t* image, int64_t bytes);
  static uint64_t TableChecksum(const std::vector<uint64_t>& table);
  static uint64_t HeaderChecksum(const uint8_t* header);
  /// The process id in a temporary file name of Write, or -1 when `name` is not one.
  static int64_t TemporaryOwner(const std::string& name);

 private:
  Verdict Fail(int32_t error);
  /// Whether the note beside the open file describes it as Open found it, in this boot of the machine.
  bool NoteMatches() const;
  /// The id of this boot of the machine (empty when unknown: then no note is trusted).
  static const std::string& BootId();
  static constexpr int64_t kBootIdBytes = 36;
  /// Writes the note for the open file as Open found it, replacing an older one.
  void WriteNote() const;
  /// The note's bytes for a file of `status`; empty when this boot of the machine is unknown.
  static std::string NoteFor(const struct stat& status);

  std::string path_;
  bool checkedWhole_ = false;
  int descriptor_ = -1;
  struct stat status_ {};               // as Open found the file
  std::unique_ptr<FileMapping> mapping_;  // the whole file, from Open until Load hands it on
  SummaryKey key_;
  int64_t imageStart_ = 0;
  int64_t imageBytes_ = 0;
  int64_t checkpointBytes_ = 0;  // of each kept filter state in the image
  uint64_t tableChecksum_ = 0;
  int32_t error_ = 0;
};

}  // namespace skelvane
