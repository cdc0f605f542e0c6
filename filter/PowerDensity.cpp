#include "filter/PowerDensity.h"

#include <kiss_fftr.h>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace skelvane {
namespace {

// Segments overlap by half: with Hann windows every sample then weighs alike in the average.
constexpr int64_t kStepDivisor = 2;

}  // namespace

void PowerDensity::FftFree::operator()(kiss_fftr_state* state) const { kiss_fftr_free(state); }

int64_t PowerDensity::SegmentsIn(int64_t count, int64_t length) {
  if (length <= 0 || count < length) return 0;
  return (count - length) / (length / kStepDivisor) + 1;
}

std::optional<int64_t> PowerDensity::SegmentLengthFor(std::span<const int64_t> stretchLengths) {
  const int64_t longest = stretchLengths.empty() ? 0 : *std::max_element(stretchLengths.begin(), stretchLengths.end());
  if (longest < kShortestSegment) return std::nullopt;
  int64_t fits = kShortestSegment;
  while (fits * 2 <= std::min(longest, kLongestSegment)) fits *= 2;
  for (int64_t length = fits; length >= kShortestSegment; length /= 2) {
    int64_t segments = 0;
    for (const int64_t count : stretchLengths) segments += SegmentsIn(count, length);
    if (segments >= kSegmentsWanted) return length;
  }
  return fits;
}

PowerDensity::PowerDensity(int64_t segmentLength, double samplingHz)
    : length_(segmentLength),
      rate_(samplingHz),
      fft_(kiss_fftr_alloc(static_cast<int>(segmentLength), 0, nullptr, nullptr)),
      window_(static_cast<std::size_t>(segmentLength)),
      input_(static_cast<std::size_t>(segmentLength)),
      spectrum_(static_cast<std::size_t>(segmentLength + 2)),
      sum_(static_cast<std::size_t>(segmentLength / 2 + 1)) {
  // The periodic Hann window: its shifted copies at half the length sum to a constant.
  for (int64_t i = 0; i < length_; ++i) {
    const double w = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * static_cast<double>(i) / static_cast<double>(length_));
    window_[static_cast<std::size_t>(i)] = static_cast<float>(w);
    windowPower_ += static_cast<double>(window_[static_cast<std::size_t>(i)]) * window_[static_cast<std::size_t>(i)];
  }
}

PowerDensity::~PowerDensity() = default;

void PowerDensity::Clear() {
  std::fill(sum_.begin(), sum_.end(), 0.0);
  segments_ = 0;
}

double PowerDensity::BinHz() const { return rate_ / static_cast<double>(length_); }

void PowerDensity::AddStretch(const int16_t* samples, int64_t count) {
  const int64_t segments = SegmentsIn(count, length_);
  auto* out = reinterpret_cast<kiss_fft_cpx*>(spectrum_.data());
  for (int64_t s = 0; s < segments; ++s) {
    const int16_t* segment = samples + s * (length_ / kStepDivisor);
    // Each segment's own mean goes, so that an offset or a wave far slower than the segment does not
    // leak from the lowest bins into the rest.
    int64_t total = 0;
    for (int64_t i = 0; i < length_; ++i) total += segment[i];
    const double mean = static_cast<double>(total) / static_cast<double>(length_);
    for (int64_t i = 0; i < length_; ++i) {
      input_[static_cast<std::size_t>(i)] =
          static_cast<float>((static_cast<double>(segment[i]) - mean) * window_[static_cast<std::size_t>(i)]);
    }
    kiss_fftr(fft_.get(), input_.data(), out);
    for (std::size_t k = 0; k < sum_.size(); ++k) {
      const double re = out[k].r;
      const double im = out[k].i;
      sum_[k] += re * re + im * im;
    }
  }
  segments_ += segments;
}

std::vector<double> PowerDensity::Density() const {
  if (segments_ == 0) return {};
  std::vector<double> density(sum_.size());
  // One-sided: every bin but 0 and the last (half the rate) holds its negative frequency's power too.
  const double scale = 1.0 / (rate_ * windowPower_ * static_cast<double>(segments_));
  for (std::size_t k = 0; k < sum_.size(); ++k) {
    const bool unpaired = k == 0 || k + 1 == sum_.size();
    density[k] = sum_[k] * scale * (unpaired ? 1.0 : 2.0);
  }
  return density;
}

std::vector<double> PowerDensity::Decibels(const std::vector<double>& density) {
  std::vector<double> db(density.size());
  for (std::size_t k = 0; k < density.size(); ++k) {
    db[k] = density[k] > 0.0 ? std::max(kFloorDb, 10.0 * std::log10(density[k])) : kFloorDb;
  }
  return db;
}

}  // namespace skelvane
