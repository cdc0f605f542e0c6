#pragma once
// Reproducible random numbers for the synthetic recordings: the same seed gives the same sequence on
// every standard library (its own uniform mapping and Box-Muller, no library distributions).

#include <cstdint>
#include <random>

namespace skelvane {

class GaussianNoise {
 public:
  /// A generator whose sequence depends only on `seed`.
  explicit GaussianNoise(uint64_t seed) : engine_(seed) {}

  /// A uniform number in [0, 1).
  double Uniform();
  /// A standard normal number (mean 0, standard deviation 1).
  double Gaussian();
  /// An exponentially distributed number with the given mean.
  double Exponential(double mean);
  /// A uniform integer in [0, bound); 0 when bound is 0.
  uint64_t Below(uint64_t bound);

  /// Mixes a seed and a stream number into an independent seed (splitmix64).
  static uint64_t MixSeed(uint64_t seed, uint64_t stream);

 private:
  std::mt19937_64 engine_;
  double spare_ = 0.0;
  bool hasSpare_ = false;
};

}  // namespace skelvane
