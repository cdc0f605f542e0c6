#pragma once
// What a kept summary was made from: the recording's file (device and inode: every name of one file
// is one recording), its size, modification and change times, where its records lie, hashes of its
// header with the first record and of its last record, and the filter its samples went through; and
// the path it was opened by, for messages. Taken by SummaryBuilder before a build; SummaryFile stores
// it and SummaryCache compares it.

#include <cstdint>
#include <string>

namespace skelvane {

class FilterDesign;
class RecordReader;
struct RecordLayout;

struct SummaryKey {
  std::string path;         // absolute, links not followed; not part of the key
  uint64_t size = 0;        // bytes of the file
  int64_t modifiedNs = 0;   // modification time, nanoseconds since the epoch
  int64_t changedNs = 0;    // change time (moves with any write, whatever the modification time says)
  uint64_t inode = 0;
  uint64_t device = 0;
  int64_t dataOffset = 0;   // where record 0 starts
  int32_t recordSize = 0;
  int64_t numRecords = 0;   // records summarised
  uint64_t headHash = 0;    // the bytes before record 0, then record 0
  uint64_t lastHash = 0;    // the last record summarised (0 without records)
  std::string filter;       // empty for the samples as recorded, else FilterIdentity's text

  /// The longest filter identity a key holds (a kept file has room for no more).
  static constexpr std::size_t kLongestFilter = 240;

  /// The key of the recording of `layout` as its file stands now, through `reader` (open on it).
  /// 0, kStatusSourceChanged when the file holds fewer records than the layout says, or an errno.
  static int32_t Of(const RecordLayout& layout, const RecordReader& reader, SummaryKey& key);
  /// The hash of one record as the key keeps it; 0 or as RecordReader::Read.
  static int32_t HashRecord(const RecordReader& reader, int64_t record, uint64_t& hash);
  /// What a summary of samples filtered through `design`, gaps judged by `sampleInterval`
  /// (microseconds per sample), depends on besides the recording: the band's key (its cut-offs and
  /// the generation of the design rules), the rate designed for and the sample interval's exact bits.
  static std::string FilterIdentity(const FilterDesign& design, double sampleInterval);
  /// The absolute form of `path`, with "." and ".." folded but links left as they are.
  static std::string AbsolutePath(const std::string& path);

  /// True when `now` is the same recording with whole records appended since this key was taken:
  /// the same file and layout, no shorter, and the header and first record hash the same; never for a
  /// filtered summary (records appended change the filtered samples before them). Whether
  /// this key's last record is still the same is for the caller to check (SummaryCache reads it).
  bool MayHaveGrownInto(const SummaryKey& now) const;

  /// The same file in the same state: every field but the path.
  bool operator==(const SummaryKey& other) const;
};

}  // namespace skelvane
