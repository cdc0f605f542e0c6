#pragma once
// Finds threshold or slope crossings in blocks of one channel group, cuts a window around each peak
// and appends it as a spike record to the spike file it owns. Driven by the extraction run.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "extract/SourceHeaderInfo.h"

namespace skelvane {

class SpikeExtractor {
 public:
  SpikeExtractor();
  virtual ~SpikeExtractor();
  SpikeExtractor(const SpikeExtractor&) = delete;
  SpikeExtractor& operator=(const SpikeExtractor&) = delete;

  /// Checks and stores the run's parameters (AlignmentPt is 1-based); 0, or -1 after a report.
  int32_t SetExtractionParameters(int32_t extractionType, int32_t extractionMode, int32_t threshVal,
                                  int32_t numSpikePoints, int32_t alignmentPt, int32_t numChannels);
  /// Stores the two per-file header values written by WriteSpikeFileHeader.
  void SetHeaderValues(const std::string& samplingFrequency, int32_t adMaxValue);

  /// Creates (truncates) the spike file; 0, or -1 after the plain "Error opening file; ..." message.
  int32_t OpenSpikeFile(const std::string& path);
  /// Writes the 16384-byte text header at the start of the file; 0, or -1 when the write failed.
  int32_t WriteSpikeFileHeader(const std::string& path, const std::vector<SourceHeaderInfo>& sources);
  /// Flushes buffered records and closes the file; 0, or -1 when data could not be written.
  int32_t CloseSpikeFile();
  /// True once a header or record write of the open file failed (reported once); the run then
  /// closes the file and goes on with the next group.
  bool HasWriteError() const;

  /// Scans one block (one sample sequence per channel, all as long as `timestamps`) and stores every
  /// spike found; 0, or -1 (also the normal end of a block).
  int32_t DetectSpikes(std::span<const uint64_t> timestamps, const std::vector<std::span<const int16_t>>& channels,
                       int32_t start, int32_t searchEnd, int32_t windowLow, int32_t windowHigh);

  /// The sampling frequency as header text: 10 significant digits, fixed point when sensible.
  static std::string FormatSamplingFrequency(double hertz);

  int32_t GetRecordSize() const;
  int32_t GetNumSpikePoints() const;
  int32_t GetAlignmentIndex() const;
  int32_t GetNumChannels() const;
  /// Number of spike records written to the current file.
  int64_t GetSpikeCount() const;

 private:
  struct State;
  State* state_;  // owned; keeps the scanning fields and the buffered output file together
};

}  // namespace skelvane
