#include "filter/BoxcarStage.h"

#include <algorithm>
#include <utility>

#include "filter/DesignMath.h"
#include "platform/Saturating.h"

namespace skelvane {
namespace {

// A moving sum is divided by L as a multiplication by round(2^62 / L) and a rounding shift. With at
// most 2^31 fractional-point sample values per sum term and L below 2^31 the product fits in 128 bits,
// and a constant comes through every level exactly (the reciprocal's error stays below half a unit).
constexpr int32_t kReciprocalBits = 62;
constexpr __int128 kReciprocalHalf = static_cast<__int128>(1) << (kReciprocalBits - 1);
constexpr int64_t kFractionHalf = int64_t{1} << (BoxcarStage::kFractionBits - 1);

// Weights of x - B^3 and of 10 B^6 - 15 B^8 + 6 B^10, by power of B.
const std::vector<int32_t> kHighPassWeights = {1, 0, 0, -1};
const std::vector<int32_t> kLowPassWeights = {0, 0, 0, 0, 0, 0, 10, 0, -15, 0, 6};

int64_t Divide(int64_t sum, int64_t reciprocal) {
  return static_cast<int64_t>((static_cast<__int128>(sum) * reciprocal + kReciprocalHalf) >> kReciprocalBits);
}

}  // namespace

BoxcarStage::BoxcarStage(int64_t length, std::vector<int32_t> weights)
    : length_(length),
      weights_(std::move(weights)),
      reciprocal_(static_cast<int64_t>(((static_cast<__int128>(1) << kReciprocalBits) + length / 2) / length)) {}

BoxcarStage BoxcarStage::HighPass(int64_t length) { return BoxcarStage(length, kHighPassWeights); }

BoxcarStage BoxcarStage::LowPass(int64_t length) { return BoxcarStage(length, kLowPassWeights); }

double BoxcarStage::Gain(double cyclesPerSample) const {
  // One boxcar: the Dirichlet kernel sin(pi f L) / (L sin(pi f)), times the division's own gain.
  const double division = static_cast<double>(length_) * static_cast<double>(reciprocal_) /
                          static_cast<double>(static_cast<__int128>(1) << kReciprocalBits);
  const double half = cyclesPerSample / 2.0;
  const double denominator = static_cast<double>(length_) * DesignMath::SineOfTurns(half);
  const double boxcar =
      (denominator == 0.0 ? 1.0 : DesignMath::SineOfTurns(half * static_cast<double>(length_)) / denominator) * division;
  double gain = 0.0;
  double power = 1.0;
  for (const int32_t weight : weights_) {
    gain += weight * power;
    power *= boxcar;
  }
  return gain;
}

void BoxcarStage::Apply(const int16_t* in, int64_t count, int16_t* out, Workspace& work) const {
  const int64_t radius = length_ / 2;
  const int64_t half = HalfSupport();
  const int64_t total = count + 2 * half;
  work.level.resize(static_cast<std::size_t>(total));
  work.next.resize(static_cast<std::size_t>(total));
  work.sum.assign(static_cast<std::size_t>(count), 0);
  for (int64_t j = 0; j < total; ++j) work.level[static_cast<std::size_t>(j)] = int64_t{in[j]} * (int64_t{1} << kFractionBits);
  // Level d holds B^d of the input; its element j sits d x radius samples after the input's element j.
  int64_t levelCount = total;
  for (int32_t d = 0; d <= Depth(); ++d) {
    const int64_t* level = work.level.data();
    if (const int64_t weight = weights_[static_cast<std::size_t>(d)]; weight != 0) {
      const int64_t offset = half - d * radius;
      for (int64_t i = 0; i < count; ++i) work.sum[static_cast<std::size_t>(i)] += weight * level[offset + i];
    }
    if (d == Depth()) break;
    // The next level: a running sum over `length_` elements, exact whatever element it starts from.
    const int64_t nextCount = levelCount - 2 * radius;
    int64_t* next = work.next.data();
    int64_t sum = 0;
    for (int64_t m = 0; m < length_; ++m) sum += level[m];
    next[0] = Divide(sum, reciprocal_);
    for (int64_t j = 1; j < nextCount; ++j) {
      sum += level[j + length_ - 1] - level[j - 1];
      next[j] = Divide(sum, reciprocal_);
    }
    std::swap(work.level, work.next);
    levelCount = nextCount;
  }
  for (int64_t i = 0; i < count; ++i) {
    out[i] = ClampTo<int16_t>((work.sum[static_cast<std::size_t>(i)] + kFractionHalf) >> kFractionBits);
  }
}

}  // namespace skelvane
