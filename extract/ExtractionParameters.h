#pragma once
// The parameters of every extraction run: detection mode and polarity, threshold, channels per group,
// window shape, band filter and output folder. Owned by ExtractionRun, edited by SpikeExtractPropsDlg.

#include <cstdint>
#include <string>

#include "filter/FilterChoice.h"
#include "spikes/SpikeFileFormat.h"

namespace skelvane {

/// Detection by amplitude or by the difference of neighbouring samples.
inline constexpr int32_t kExtractionModeThreshold = 0;
inline constexpr int32_t kExtractionModeSlope = 1;
/// Which side of the threshold counts as a crossing.
inline constexpr int32_t kExtractionTypePositive = 0;
inline constexpr int32_t kExtractionTypeNegative = 1;
inline constexpr int32_t kExtractionTypeBoth = 2;

/// Values every program start begins with.
inline constexpr int32_t kDefaultNumChannels = 1;
inline constexpr int32_t kDefaultAlignmentPt = 8;
inline constexpr int32_t kDefaultNumSpikePoints = SpikeFileFormat::kPoints;

class ExtractionParameters {
 public:
  /// A plain record: nothing to release.
  virtual ~ExtractionParameters();

  int32_t ExtractionMode = kExtractionModeThreshold;
  int32_t ExtractionType = kExtractionTypePositive;
  double Threshold = 0.0;  // A/D counts (slope: counts per sample); the run truncates it toward zero
  int32_t NumChannels = kDefaultNumChannels;
  int32_t AlignmentPt = kDefaultAlignmentPt;  // 1-based position of the peak inside a spike window
  int32_t NumSpikePoints = kDefaultNumSpikePoints;
  std::string OutputDirectory;  // empty: beside the first data file of each group
  double NoiseThresholdFactor = 0.0;  // above 0: each group's threshold is this many times its noise level
  FilterChoice Filter;  // the band the samples are filtered to before detection; None: as recorded

  /// The threshold as the detector takes it: truncated toward zero and held inside the int32 range.
  int32_t TruncatedThreshold() const;
};

}  // namespace skelvane
