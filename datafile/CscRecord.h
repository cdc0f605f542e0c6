#pragma once
// A read-only view of one CSC record inside a mapped file: timestamp, stored sampling frequency and
// 512 samples. Records sit at unaligned offsets, so every field is read with memcpy.

#include <cstdint>
#include <cstring>

namespace skelvane {

inline constexpr int32_t kSamplesPerRecord = 512;
inline constexpr int32_t kCscRecordSize = 1044;
inline constexpr int32_t kCscTimestampOffset = 0;
inline constexpr int32_t kCscFrequencyOffset = 12;
// The acquisition system's count of valid samples in the record; never more than it holds.
inline constexpr int32_t kCscValidSamplesOffset = 16;
inline constexpr int32_t kCscSamplesOffset = 20;

class CscRecord {
 public:
  explicit CscRecord(const uint8_t* bytes) : bytes_(bytes) {}

  /// Timestamp of the first sample, microseconds.
  int64_t Timestamp() const { return Read<int64_t>(kCscTimestampOffset); }
  /// Sampling frequency in hertz as the acquisition system stored it.
  uint32_t SamplingFrequency() const { return Read<uint32_t>(kCscFrequencyOffset); }
  /// Sample i (0..511) in A/D counts.
  int16_t Sample(int32_t i) const { return Read<int16_t>(kCscSamplesOffset + 2 * i); }
  /// Copies all 512 samples to `out`.
  void CopySamples(int16_t* out) const {
    std::memcpy(out, bytes_ + kCscSamplesOffset, sizeof(int16_t) * kSamplesPerRecord);
  }
  const uint8_t* Bytes() const { return bytes_; }

 private:
  template <typename T>
  T Read(int32_t offset) const {
    T value;
    std::memcpy(&value, bytes_ + offset, sizeof(T));
    return value;
  }
  const uint8_t* bytes_;
};

}  // namespace skelvane
