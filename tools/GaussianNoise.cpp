#include "tools/GaussianNoise.h"

#include <cmath>
#include <numbers>

namespace skelvane {
namespace {
// The top 53 bits of a draw fill a double's mantissa exactly.
constexpr int kMantissaShift = 11;
constexpr double kTwoToMinus53 = 1.0 / 9007199254740992.0;
}  // namespace

double GaussianNoise::Uniform() { return static_cast<double>(engine_() >> kMantissaShift) * kTwoToMinus53; }

double GaussianNoise::Gaussian() {
  if (hasSpare_) {
    hasSpare_ = false;
    return spare_;
  }
  // 1 - Uniform() lies in (0, 1], so the logarithm is finite.
  const double radius = std::sqrt(-2.0 * std::log(1.0 - Uniform()));
  const double angle = 2.0 * std::numbers::pi * Uniform();
  spare_ = radius * std::sin(angle);
  hasSpare_ = true;
  return radius * std::cos(angle);
}

double GaussianNoise::Exponential(double mean) { return -mean * std::log(1.0 - Uniform()); }

uint64_t GaussianNoise::Below(uint64_t bound) {
  if (bound == 0) return 0;
  return static_cast<uint64_t>(Uniform() * static_cast<double>(bound)) % bound;
}

uint64_t GaussianNoise::MixSeed(uint64_t seed, uint64_t stream) {
  uint64_t z = seed + (stream + 1) * 0x9E3779B97F4A7C15ull;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

}  // namespace skelvane
