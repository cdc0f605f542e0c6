#pragma once
// Writes one spike file at a time: opens it (it replaces a file of that name only once closed whole),
// writes its text header, appends records, and reports the first failed write once, naming the file.
// The detector (SpikeExtractor) writes every spike file through it.

#include <array>
#include <cstdint>
#include <ctime>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "platform/BufferedFileWriter.h"
#include "spikes/SourceHeaderInfo.h"
#include "spikes/SpikeFileFormat.h"

namespace skelvane {

class SpikeFileWriter {
 public:
  /// The values of a run that the header states once (the per-source ones come as SourceHeaderInfo).
  struct HeaderValues {
    int32_t recordSize = 0;
    std::string samplingFrequency;  // as FormatSamplingFrequency writes it
    int32_t adMaxValue = 0;
    int32_t alignmentPt = 0;        // 1-based
    std::string filterLine{};       // the line naming the band filter, without its end; empty: none
  };
  using FeatureWords = std::array<int32_t, SpikeFileFormat::kFeatureCount>;

  /// No file open.
  SpikeFileWriter() = default;
  /// Closes a file still open (reporting a failed flush).
  ~SpikeFileWriter();
  SpikeFileWriter(const SpikeFileWriter&) = delete;
  SpikeFileWriter& operator=(const SpikeFileWriter&) = delete;

  /// Starts the file at `path` (closing one still open); 0, or -1 after the message "Error opening
  /// file; Is the file/path name correct?" with the path and the system's reason.
  int32_t Open(const std::string& path);
  /// Writes the 16384-byte header naming the file `path`, its values and its sources (the text is cut
  /// to the block, which always ends in a zero byte); 0, or -1 when the write failed.
  int32_t WriteHeader(const std::string& path, const HeaderValues& values,
                      const std::vector<SourceHeaderInfo>& sources);
  /// Appends one record; false once a write of this file has failed.
  bool WriteRecord(int64_t timestamp, uint32_t word1, uint32_t word2, const FeatureWords& features,
                   std::span<const int16_t> samples);
  /// Flushes and closes the file, which then replaces any of its name; 0, or -1 when data could not be
  /// written (nothing of it is then left).
  int32_t Close();
  /// Drops the file being written; an earlier file of that name stays.
  void Discard();

  /// True while a file is open.
  bool IsOpen() const { return file_.IsOpen(); }
  /// True once a header or record write of the open file failed (reported once).
  bool HasWriteError() const { return failureReported_ || file_.LastError() != 0; }
  /// Replaces the UTC clock read for the header's time line (tests pin it to a known instant).
  void SetClock(std::function<std::time_t()> clock) { clock_ = std::move(clock); }

  /// The sampling frequency as header text: 10 significant digits, fixed point when sensible.
  static std::string FormatSamplingFrequency(double hertz);

 private:
  std::string HeaderText(const std::string& path, const HeaderValues& values,
                         const std::vector<SourceHeaderInfo>& sources) const;
  void NoteWriteFailure(int error);

  BufferedFileWriter file_;
  std::string path_;  // the file's final name, for messages
  bool failureReported_ = false;
  std::function<std::time_t()> clock_;
};

}  // namespace skelvane
