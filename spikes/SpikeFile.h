#pragma once
// Reads a spike file as the extraction writes it (.kse, .kst, .ktt, or .dat for other channel
// counts): checks the header and the size at Open, then reads records in blocks with pread, never
// the whole file at once. Used by `skelvane-cli spikes`, the statistics, the figure and the panel.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/File.h"
#include "spikes/SpikeFileFormat.h"
#include "spikes/SpikeFileHeader.h"
#include "spikes/SpikeRecords.h"

namespace skelvane {

class SpikeFile {
 public:
  /// Size of the text header before the first record.
  static constexpr int64_t kHeaderSize = SpikeFileFormat::kHeaderSize;
  /// Bytes a block read asks for at most (whole records of it).
  static constexpr int64_t kReadBlockBytes = int64_t{1} << 20;
  /// Most channels a record may hold: far more than any group the extraction forms, few enough that
  /// the per-channel tallies of a pass stay small whatever a header states.
  static constexpr int32_t kMaxChannels = 64;

  /// Visits one block: the index of its first spike in the file and its records.
  using BlockVisitor = std::function<bool(int64_t first, const SpikeRecords& records)>;

  /// A reader with no file open.
  SpikeFile() = default;
  SpikeFile(const SpikeFile&) = delete;
  SpikeFile& operator=(const SpikeFile&) = delete;

  /// Opens `path` and checks it is a spike file whose header, record size and name agree. 0 (also for
  /// a file whose last record is cut short: reported, and read up to its last whole record); otherwise
  /// kStatusWrongType, kStatusNoData or an errno after a message that names the file and the fault.
  int32_t Open(const std::string& path);
  /// Closes the file.
  void Close();
  /// True between a successful Open and Close.
  bool IsOpen() const { return file_.IsOpen(); }

  /// The path given to Open.
  const std::string& Path() const { return path_; }
  /// The parsed text header.
  const SpikeFileHeader& Header() const { return header_; }
  /// Channels per record, from the header's record size.
  int32_t NumChannels() const { return channels_; }
  /// Bytes per record.
  int32_t RecordSize() const { return recordSize_; }
  /// Whole records in the file.
  int64_t NumSpikes() const { return numSpikes_; }
  /// Bytes after the last whole record (a file cut short); 0 for a sound file.
  int64_t TrailingBytes() const { return trailingBytes_; }
  /// The header's 1-based alignment point: the window point at the spike's timestamp.
  int32_t AlignmentPt() const { return alignmentPt_; }
  /// The same as a 0-based point index.
  int32_t AlignmentIndex() const { return alignmentPt_ - 1; }
  /// The header's threshold per channel (nullopt where a value is not a number).
  const std::vector<std::optional<int64_t>>& Thresholds() const { return thresholds_; }

  /// Reads spikes [first, first + count) into `buffer` and points `records` at them; 0, kStatusNoData
  /// for a range outside the file, or after a report kStatusSourceChanged (the file shrank) or an errno.
  int32_t Read(int64_t first, int64_t count, std::vector<uint8_t>& buffer, SpikeRecords& records) const;
  /// The timestamp of spike `index`; 0 or as Read.
  int32_t ReadTimestamp(int64_t index, int64_t& timestamp) const;
  /// Visits spikes [first, end) in blocks of at most kReadBlockBytes, in file order, until `visit`
  /// answers false; 0 or as Read.
  int32_t ForEachBlock(int64_t first, int64_t end, const BlockVisitor& visit) const;
  /// The index of the first spike stamped at or after `time`, for a file in time order as the
  /// extraction writes it (NumSpikes() when none is); found by bisection, a few reads.
  int64_t FirstAtOrAfter(int64_t time) const;

  /// Channels a record of `recordSize` bytes holds; 0 when no whole number of channels fits it,
  /// kMaxChannels + 1 for any number above kMaxChannels.
  static int32_t ChannelsForRecordSize(int64_t recordSize);
  /// Channels the file extension of `path` stands for (1, 2, 4); 0 for ".dat" or any other name.
  static int32_t ChannelsForExtension(const std::string& path);
  /// True when `path` is meant as a spike file rather than a recording: named like one, or (a ".dat"
  /// or any other name but a recording's) with a header that gives a record size and an alignment
  /// point. Open then says whether it is a sound one.
  static bool IsMeantAsSpikeFile(const std::string& path);
  /// True when a file's first bytes (its header, or as much of it as there is) begin with the header
  /// marker and give a record size and an alignment point, as a spike file's do and a recording's never.
  static bool HeaderMarksSpikeFile(std::string_view firstBytes);

 private:
  int32_t Refuse(int32_t status, const std::string& message, int errorNumber = 0);
  int32_t CheckHeader(const std::string& extension);

  File file_;
  std::string path_;
  SpikeFileHeader header_;
  int32_t channels_ = 0;
  int32_t recordSize_ = 0;
  int64_t numSpikes_ = 0;
  int64_t trailingBytes_ = 0;
  int32_t alignmentPt_ = 0;
  std::vector<std::optional<int64_t>> thresholds_;
};

}  // namespace skelvane
