#pragma once
// Finds threshold or slope crossings in blocks of one channel group, cuts a window around each peak
// and appends it as a spike record to the spike file it writes through its SpikeFileWriter. Driven by
// the extraction run and the detection preview.

#include <array>
#include <cstdint>
#include <ctime>
#include <functional>
#include <limits>
#include <span>
#include <string>
#include <vector>

#include "extract/BlockTimeline.h"
#include "spikes/SourceHeaderInfo.h"
#include "spikes/SpikeFileWriter.h"

namespace skelvane {

class SpikeExtractor {
 public:
  /// Extraction types and modes, as chosen in the extraction dialog and drawn by the plots.
  static constexpr int32_t kTypePositive = 0;
  static constexpr int32_t kTypeNegative = 1;
  static constexpr int32_t kTypeBoth = 2;
  static constexpr int32_t kModeThreshold = 0;
  static constexpr int32_t kModeSlope = 1;
  /// Where the last stored window ended before any was stored: every window may follow it.
  static constexpr int64_t kNoWindowYet = std::numeric_limits<int64_t>::min();

  /// A spike as the detector stores it: the peak's time (the record's timestamp) and the time of the
  /// first sample of its window.
  struct StoredSpike {
    int64_t peak = 0;
    int64_t windowStart = 0;
  };

  /// No parameters yet and no file open.
  SpikeExtractor();
  /// Closes a spike file still open (reporting a failed flush).
  virtual ~SpikeExtractor();
  SpikeExtractor(const SpikeExtractor&) = delete;
  SpikeExtractor& operator=(const SpikeExtractor&) = delete;

  /// Checks and stores the run's parameters (AlignmentPt is 1-based); 0, or -1 after a report.
  int32_t SetExtractionParameters(int32_t extractionType, int32_t extractionMode, int32_t threshVal,
                                  int32_t numSpikePoints, int32_t alignmentPt, int32_t numChannels);
  /// Stores the two per-file header values written by WriteSpikeFileHeader.
  void SetHeaderValues(const std::string& samplingFrequency, int32_t adMaxValue);
  /// The header line naming the band filter the samples went through (without its line end), written
  /// before the header's closing line; empty writes none.
  void SetFilterLine(const std::string& line);

  /// Starts the spike file, which replaces a file of that name when closed; 0, or -1 after the message
  /// "Error opening file; Is the file/path name correct?" with the path and the system's reason.
  int32_t OpenSpikeFile(const std::string& path);
  /// Writes the 16384-byte text header at the start of the file; 0, or -1 when the write failed.
  int32_t WriteSpikeFileHeader(const std::string& path, const std::vector<SourceHeaderInfo>& sources);
  /// Flushes buffered records and closes the file; 0, or -1 when data could not be written.
  int32_t CloseSpikeFile();
  /// Drops the file being written (cancelled, or its data went bad); an earlier file of that name stays.
  void DiscardSpikeFile();
  /// Forgets where the last stored window ended: the recording starts over (its timestamps went back),
  /// so windows before that time are new samples, not the same ones seen again.
  void StartNewSegment();
  /// True once a header or record write of the open file failed (reported once); the run then
  /// closes the file and goes on with the next group.
  bool HasWriteError() const;
  /// Appends every spike stored from now on to `spikes` instead of writing it (the detection preview
  /// shows what a run would write); null writes to the file again.
  void CollectSpikesInto(std::vector<StoredSpike>* spikes);
  /// Called with a window's first sample and its length before its samples are written: a walk that
  /// left samples it knew to be quiet unfiltered makes them exact there. false fails the spike.
  void SetWindowPreparer(std::function<bool(int64_t first, int64_t count)> prepare);

  /// Scans one block (one sample sequence per channel, all as long as `timestamps`) and stores every
  /// spike found; 0, or -1 (also the normal end of a block).
  int32_t DetectSpikes(std::span<const int64_t> timestamps, const std::vector<std::span<const int16_t>>& channels,
                       int32_t start, int32_t searchEnd, int32_t windowLow, int32_t windowHigh);
  /// The same over a block whose sample times are worked out only where a window needs them.
  int32_t DetectSpikes(const BlockTimeline& timeline, const std::vector<std::span<const int16_t>>& channels,
                       int32_t start, int32_t searchEnd, int32_t windowLow, int32_t windowHigh);

  /// Bytes per spike record for the current parameters.
  int32_t GetRecordSize() const;
  /// Samples per channel in a spike window.
  int32_t GetNumSpikePoints() const;
  /// 0-based position of the peak inside the window.
  int32_t GetAlignmentIndex() const;
  /// Channels per group.
  int32_t GetNumChannels() const;
  /// Number of spike records written to the current file.
  int64_t GetSpikeCount() const;

  /// Replaces the UTC clock read for the header's time line (tests pin it to a known instant).
  void SetClock(std::function<std::time_t()> clock);

 private:
  int32_t DetectInBlock(int64_t length, const std::vector<std::span<const int16_t>>& channels, int32_t start,
                        int32_t searchEnd, int32_t windowLow, int32_t windowHigh);
  int64_t TimeAt(int64_t index) const {
    return Timeline != nullptr ? Timeline->At(index) : Timestamps[static_cast<std::size_t>(index)];
  }
  bool IsOverThreshold(int32_t sample, int32_t nextSample);
  int32_t WaitForRearm();
  int32_t FindCrossing();
  template <int32_t Mode, int32_t Type>
  int64_t FirstCrossing(int32_t& channel);
  int32_t GetSpikePeak();
  bool IsWindowStorable() const;
  int32_t StoreSpike(int64_t timestamp);
  int32_t SpikeStored();

  SpikeFileWriter OutputFile;
  int32_t CurrentIndex = 0;
  int32_t SearchEnd = 0;
  int32_t WindowLow = 0;
  int32_t WindowHigh = 0;
  int64_t LastWindowEnd = kNoWindowYet;
  int32_t CrossingChannel = 0;
  int32_t NumChannels = 0;
  int32_t ExtractionType = kTypePositive;
  int32_t ExtractionMode = kModeThreshold;
  int32_t ThreshVal = 0;
  int32_t NumSpikePoints = 0;
  int32_t AlignmentIndex = 8;
  int32_t SpikeType = 0;
  int32_t RecordSize = 0;
  std::string SamplingFrequency;
  std::string FilterLine;
  int32_t ADMaxValue = 0;
  uint32_t RecordWord1 = 0;
  uint32_t RecordWord2 = 0;
  SpikeFileWriter::FeatureWords FeatureWords{};

  std::vector<int64_t> NextLoud;  // per channel, where the quiet-stretch scan found it may cross

  // The block being scanned. `ScanLast` and `PeakLast` are the last indices whose next sample
  // lies inside the block, so no test ever reads past its end.
  std::span<const int64_t> Timestamps;
  const BlockTimeline* Timeline = nullptr;  // when set, the block's times come from it
  const std::vector<std::span<const int16_t>>* Channels = nullptr;
  int64_t ScanLast = -1;
  int64_t PeakLast = -1;

  std::vector<StoredSpike>* Collected = nullptr;  // when set, stored spikes go here, not to the file
  std::function<bool(int64_t, int64_t)> PrepareWindow;
  std::vector<int16_t> Window;  // the samples of one spike record, reused for every spike
  int64_t SpikeCount = 0;
  bool BlockMismatchReported = false;
};

}  // namespace skelvane
