#pragma once
// A run of spike records as they lie in a read buffer, decoded field by field on demand (nothing is
// copied). Handed out by SpikeFile; read by the statistics, the drawn subset and the panel.

#include <cstdint>
#include <cstring>

#include "spikes/SpikeFileFormat.h"

namespace skelvane {

class SpikeRecords {
 public:
  /// An empty run.
  SpikeRecords() = default;
  /// `count` records of `channels` channels each, back to back from `bytes`.
  SpikeRecords(const uint8_t* bytes, int64_t count, int32_t channels)
      : bytes_(bytes), count_(count), channels_(channels), recordSize_(RecordSizeFor(channels)) {}

  /// Bytes of one record of `channels` channels of SpikeFileFormat::kPoints samples.
  static constexpr int32_t RecordSizeFor(int32_t channels) {
    return static_cast<int32_t>(SpikeFileFormat::RecordSize(SpikeFileFormat::kPoints, channels));
  }

  /// Number of records in the run.
  int64_t Count() const { return count_; }
  /// Channels per record.
  int32_t Channels() const { return channels_; }
  /// The raw bytes of record `i`.
  const uint8_t* Record(int64_t i) const { return bytes_ + i * recordSize_; }
  /// Timestamp of record `i` in microseconds (the peak's sample time). Times are signed, as the
  /// recordings' are: the 64-bit field holds a time before zero in two's complement.
  int64_t Timestamp(int64_t i) const { return Read<int64_t>(i, SpikeFileFormat::kTimestampOffset); }
  /// The first of the two words after the timestamp.
  uint32_t Word1(int64_t i) const { return Read<uint32_t>(i, SpikeFileFormat::kWord1Offset); }
  /// The second of the two words after the timestamp.
  uint32_t Word2(int64_t i) const { return Read<uint32_t>(i, SpikeFileFormat::kWord2Offset); }
  /// Feature word `w` (0..7) of record `i`.
  int32_t Feature(int64_t i, int32_t w) const {
    return Read<int32_t>(i, SpikeFileFormat::kFeaturesOffset + static_cast<int32_t>(sizeof(int32_t)) * w);
  }
  /// Sample `point` (0..31) of `channel` in record `i`, in A/D counts (stored point-major).
  int16_t Sample(int64_t i, int32_t point, int32_t channel) const {
    return Read<int16_t>(i, SpikeFileFormat::kSamplesOffset + SpikeFileFormat::kSampleBytes * (point * channels_ + channel));
  }

 private:
  // Records are little-endian, as is every machine we build for; memcpy keeps unaligned reads legal.
  template <typename T>
  T Read(int64_t i, int32_t offset) const {
    T value;
    std::memcpy(&value, Record(i) + offset, sizeof value);
    return value;
  }

  const uint8_t* bytes_ = nullptr;
  int64_t count_ = 0;
  int32_t channels_ = 0;
  int32_t recordSize_ = 0;
};

}  // namespace skelvane
