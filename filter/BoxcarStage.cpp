#include "filter/BoxcarStage.h"

#include <algorithm>
#include <utility>

#include "filter/CircularSums.h"
#include "filter/DesignMath.h"
#include "platform/Saturating.h"

namespace skelvane {
namespace {

// A moving sum is divided by L as a multiplication by M = round(2^41 / L) and a rounding shift. A sum
// holds L values of at most 2^21 (16-bit samples with 6 fractional bits), so with L at most 2^20 the
// product stays below 2^63; and L M differs from 2^41 by at most L/2, so a constant's sum comes out as
// the constant again, exactly (the error, at most 2^21 L/2 <= 2^40, is below half of 2^41).
constexpr int32_t kReciprocalBits = 41;
constexpr int64_t kReciprocalHalf = int64_t{1} << (kReciprocalBits - 1);
constexpr int64_t kFractionHalf = int64_t{1} << (BoxcarStage::kFractionBits - 1);
// Samples taken through all levels at a time once the levels are whole (each level's ring must hold a
// block more than its window and the output's reach).
constexpr int64_t kBlock = 2048;

// Weights of x - B^3 and of 10 B^6 - 15 B^8 + 6 B^10, by power of B.
const std::vector<int32_t> kHighPassWeights = {1, 0, 0, -1};
const std::vector<int32_t> kLowPassWeights = {0, 0, 0, 0, 0, 0, 10, 0, -15, 0, 6};

int64_t Divide(int64_t sum, int64_t reciprocal) { return (sum * reciprocal + kReciprocalHalf) >> kReciprocalBits; }

}  // namespace

BoxcarStage::BoxcarStage(int64_t length, std::vector<int32_t> weights)
    : length_(length),
      weights_(std::move(weights)),
      reciprocal_(((int64_t{1} << kReciprocalBits) + length / 2) / length) {}

BoxcarStage BoxcarStage::HighPass(int64_t length) { return BoxcarStage(length, kHighPassWeights); }

BoxcarStage BoxcarStage::LowPass(int64_t length) { return BoxcarStage(length, kLowPassWeights); }

double BoxcarStage::Gain(double cyclesPerSample) const {
  // One boxcar: the Dirichlet kernel sin(pi f L) / (L sin(pi f)), times the division's own gain.
  const double division = static_cast<double>(length_) * static_cast<double>(reciprocal_) /
                          static_cast<double>(int64_t{1} << kReciprocalBits);
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
  const int32_t depth = Depth();
  const int64_t half = HalfSupport();
  // One pass over the input: as sample q arrives, level d's running sum moves on to the window that
  // ends at level d-1's newest value (at q - (d-1) x radius) and gives level d's value `radius` before
  // that. Each level keeps its recent values in a ring long enough for its window and for the output,
  // which weighs level d at q - depth x radius.
  int64_t ring = 1;
  while (ring < std::max<int64_t>(length_ + 1, half + 1) + kBlock) ring *= 2;
  const int64_t mask = ring - 1;
  work.level.assign(static_cast<std::size_t>(ring * (depth + 1)), 0);
  work.sum.assign(static_cast<std::size_t>(depth + 1), 0);
  int64_t* rings = work.level.data();
  int64_t* sums = work.sum.data();
  std::vector<std::pair<int64_t*, int64_t>> weighed;  // each weighed level's ring and weight
  for (int32_t d = 0; d <= depth; ++d) {
    if (weights_[static_cast<std::size_t>(d)] != 0) weighed.emplace_back(rings + d * ring, weights_[static_cast<std::size_t>(d)]);
  }
  const int64_t total = count + 2 * half;
  // The output at q - half, once the deepest level has a value there (from q = 2 x half on).
  const auto emit = [&](int64_t q) {
    const int64_t position = q - half;
    int64_t sum = 0;
    for (const auto& [levelRing, weight] : weighed) sum += weight * levelRing[position & mask];
    out[position - half] = ClampTo<int16_t>((sum + kFractionHalf) >> kFractionBits);
  };
  // Level d-1's first value stands at (d-1) x radius. Until every window is whole and has a value to
  // drop (q > 2 x half), each level starts once the one before it has values and gives values once its
  // window spans a boxcar.
  const int64_t warm = std::min(total, 2 * half + 1);
  for (int64_t q = 0; q < warm; ++q) {
    rings[q & mask] = int64_t{in[q]} * (int64_t{1} << kFractionBits);
    for (int32_t d = 1; d <= depth; ++d) {
      const int64_t first = (d - 1) * radius;
      const int64_t newest = q - first;
      if (newest < first) break;
      const int64_t* below = rings + (d - 1) * ring;
      sums[d] += below[newest & mask];
      if (newest - length_ >= first) sums[d] -= below[(newest - length_) & mask];
      if (newest < first + length_ - 1) break;
      rings[d * ring + ((newest - radius) & mask)] = Divide(sums[d], reciprocal_);
    }
    if (q == 2 * half) emit(q);
  }
  // Then a block of samples at a time, level by level, each level's loop free of tests.
  for (int64_t start = warm; start < total; start += kBlock) {
    const int64_t end = std::min(total, start + kBlock);
    for (int64_t q = start; q < end; ++q) rings[q & mask] = int64_t{in[q]} * (int64_t{1} << kFractionBits);
    for (int32_t d = 1; d <= depth; ++d) {
      const int64_t* below = rings + (d - 1) * ring;
      int64_t* level = rings + d * ring;
      int64_t sum = sums[d];
      for (int64_t newest = start - (d - 1) * radius; newest < end - (d - 1) * radius; ++newest) {
        sum += below[newest & mask] - below[(newest - length_) & mask];
        level[(newest - radius) & mask] = Divide(sum, reciprocal_);
      }
      sums[d] = sum;
    }
    for (int64_t q = start; q < end; ++q) emit(q);
  }
}

void BoxcarStage::ApplyPeriodic(const int16_t* in, int64_t period, int16_t* out, Workspace& work,
                                CircularSums& circular) const {
  // Level by level as Apply takes them: the same exact window sums, divided alike, then weighed (in
  // the layout of the circular sums, which for neighbouring values is the samples' own order).
  for (std::vector<int64_t>& buffer : work.periodic) {
    if (buffer.size() < static_cast<std::size_t>(period)) buffer.resize(static_cast<std::size_t>(period));
  }
  int64_t* level = work.periodic[0].data();
  int64_t* sums = work.periodic[1].data();
  int64_t* weighed = work.periodic[2].data();
  circular.Prepare(period, 1);
  for (int64_t k = 0; k < period; ++k) {
    level[k] = int64_t{in[circular.Position(k)]} * (int64_t{1} << kFractionBits);
    weighed[k] = weights_[0] * level[k];
  }
  for (int32_t d = 1; d <= Depth(); ++d) {
    circular.Centred(level, length_, sums);
    const int64_t weight = weights_[static_cast<std::size_t>(d)];
    for (int64_t k = 0; k < period; ++k) {
      level[k] = Divide(sums[k], reciprocal_);
      weighed[k] += weight * level[k];
    }
  }
  for (int64_t k = 0; k < period; ++k) {
    out[circular.Position(k)] = ClampTo<int16_t>((weighed[k] + kFractionHalf) >> kFractionBits);
  }
}

}  // namespace skelvane
