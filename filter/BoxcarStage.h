#pragma once
// A filter made of cascaded centred moving averages (boxcars) of one odd length L: a polynomial in the
// boxcar B with small integer weights, as x - B^3 x (a high-pass whose support is far too long for a
// direct FIR) or 10 B^6 - 15 B^8 + 6 B^10 (a flat, steep low-pass: the smoothstep of B^2). Each
// moving average is an exact running sum in 64 bits divided by L in fixed point, so the stage costs
// the same few operations per sample whatever L, and any start reaches the same values.
// FilterDesign holds one for a band's edge below the reach of its FIR.

#include <cstdint>
#include <vector>

namespace skelvane {

class CircularSums;

class BoxcarStage {
 public:
  /// Fractional bits the moving averages carry between one another.
  static constexpr int32_t kFractionBits = 6;
  /// Longest boxcar: with it every product below stays inside 64 bits.
  static constexpr int64_t kLongestLength = int64_t{1} << 20;

  /// x - B^3 x with boxcars of `length` samples (odd, at most kLongestLength).
  static BoxcarStage HighPass(int64_t length);
  /// 10 B^6 - 15 B^8 + 6 B^10 with boxcars of `length` samples (odd, at most kLongestLength).
  static BoxcarStage LowPass(int64_t length);

  /// Samples in one boxcar.
  int64_t Length() const { return length_; }
  /// Boxcars in the longest cascade.
  int32_t Depth() const { return static_cast<int32_t>(weights_.size()) - 1; }
  /// Samples on each side of an output that it depends on.
  int64_t HalfSupport() const { return Depth() * (length_ / 2); }
  /// Amplitude response at `cyclesPerSample` (0 to 0.5), the fixed-point division by L included.
  double Gain(double cyclesPerSample) const;

  /// Working memory of Apply (a ring of recent values per boxcar level, about two boxcars long,
  /// and the running sums), kept by the caller so that repeated calls reuse it.
  struct Workspace {
    std::vector<int64_t> level;
    std::vector<int64_t> sum;
    std::vector<int64_t> periodic[3];  // ApplyPeriodic's levels, sums and weighed total over one period
  };
  /// out[i] = the filtered sample centred on in[i + HalfSupport()], for i in [0, count): the input
  /// holds count + 2 x HalfSupport() samples. Results beyond 16 bits saturate.
  void Apply(const int16_t* in, int64_t count, int16_t* out, Workspace& work) const;
  /// out[c] = the filtered sample centred on in[c], for c in [0, period), of the input that repeats
  /// in[0, period) for ever both ways: the values Apply gives over the repeated input, at a cost of a
  /// few passes over one period whatever the length of the boxcars.
  void ApplyPeriodic(const int16_t* in, int64_t period, int16_t* out, Workspace& work, CircularSums& circular) const;

 private:
  BoxcarStage(int64_t length, std::vector<int32_t> weights);

  int64_t length_;
  std::vector<int32_t> weights_;  // weight of B^j at index j
  int64_t reciprocal_;            // round(2^41 / L)
};

}  // namespace skelvane
