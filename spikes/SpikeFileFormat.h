#pragma once
// The layout of a spike file, in one place for its writer and its readers: a zero-padded text header
// of fixed size, then records of a timestamp, two words, eight feature words and the window's samples,
// the file named by its channel count. Used by SpikeFileWriter, SpikeFile, SpikeRecords and the run.

#include <array>
#include <cstdint>
#include <string_view>

namespace skelvane {

class SpikeFileFormat {
 public:
  /// Bytes of the text header before the first record; the text is followed by zeros up to it.
  static constexpr int32_t kHeaderSize = 16384;

  /// Byte offsets inside a record (all values little-endian).
  static constexpr int32_t kTimestampOffset = 0;  // uint64: the peak sample's time, microseconds
  static constexpr int32_t kWord1Offset = 8;      // uint32
  static constexpr int32_t kWord2Offset = 12;     // uint32
  static constexpr int32_t kFeaturesOffset = 16;  // kFeatureCount x int32
  static constexpr int32_t kFeatureCount = 8;
  /// The samples start here, point-major and channel-minor (point 0 of every channel, then point 1 ...):
  /// everything before them is the same for every record size.
  static constexpr int32_t kSamplesOffset = 48;
  /// Bytes of one sample.
  static constexpr int32_t kSampleBytes = 2;
  /// Samples per channel in every record the extraction writes (its window length cannot be changed),
  /// which is what readers take a record to hold.
  static constexpr int32_t kPoints = 32;

  /// Bytes of a record of `points` samples on each of `channels` channels (64-bit: any parameters fit).
  static constexpr int64_t RecordSize(int64_t points, int64_t channels) {
    return kSamplesOffset + kSampleBytes * points * channels;
  }

  /// The extensions that name a spike file's channel count; every other count is written as ".dat".
  struct Extension {
    std::string_view text;
    int32_t channels;
  };
  static constexpr std::array<Extension, 3> kExtensions{{{".kse", 1}, {".kst", 2}, {".ktt", 4}}};
  static constexpr std::string_view kOtherExtension = ".dat";

  /// The extension of a spike file of `channels` channels.
  static constexpr std::string_view ExtensionFor(int32_t channels) {
    for (const Extension& known : kExtensions) {
      if (known.channels == channels) return known.text;
    }
    return kOtherExtension;
  }
  /// The channels an extension (lower case, with its dot) stands for; 0 for ".dat" or any other.
  static constexpr int32_t ChannelsForExtension(std::string_view extension) {
    for (const Extension& known : kExtensions) {
      if (known.text == extension) return known.channels;
    }
    return 0;
  }

  /// Header keys; the per-source ones are copied from the data files' headers under the same name.
  static constexpr std::string_view kRecordSizeKey = "-RecordSize";
  static constexpr std::string_view kADChannelKey = "-ADChannel";
  static constexpr std::string_view kADGainKey = "-ADGain";
  static constexpr std::string_view kAmpGainKey = "-AmpGain";
  static constexpr std::string_view kAmpLowCutKey = "-AmpLowCut";
  static constexpr std::string_view kAmpHiCutKey = "-AmpHiCut";
  static constexpr std::string_view kSamplingFrequencyKey = "-SamplingFrequency";
  static constexpr std::string_view kADBitVoltsKey = "-ADBitVolts";
  static constexpr std::string_view kADMaxValueKey = "-ADMaxValue";
  static constexpr std::string_view kAlignmentKey = "-AlignmentPt";
  static constexpr std::string_view kThresholdKey = "-ThreshVal";
  /// The line that names each data file of the group, in channel order.
  static constexpr std::string_view kCreatedFromPrefix = "## Created From File: ";
};

}  // namespace skelvane
