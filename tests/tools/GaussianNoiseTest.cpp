#include "tools/GaussianNoise.h"

#include <cmath>
#include <gtest/gtest.h>

namespace skelvane {
namespace {

TEST(GaussianNoise, SameSeedSameSequenceOtherSeedOtherSequence) {
  GaussianNoise a(99);
  GaussianNoise b(99);
  GaussianNoise c(100);
  int differences = 0;
  for (int i = 0; i < 1000; ++i) {
    const double x = a.Gaussian();
    ASSERT_EQ(x, b.Gaussian());
    if (x != c.Gaussian()) ++differences;
  }
  EXPECT_EQ(differences, 1000);
}

TEST(GaussianNoise, MomentsAreThoseOfAStandardNormal) {
  GaussianNoise noise(1);
  constexpr int kCount = 200000;
  double sum = 0.0;
  double squares = 0.0;
  int beyondTwo = 0;
  for (int i = 0; i < kCount; ++i) {
    const double x = noise.Gaussian();
    sum += x;
    squares += x * x;
    if (std::abs(x) > 2.0) ++beyondTwo;
  }
  const double mean = sum / kCount;
  EXPECT_NEAR(mean, 0.0, 0.01);
  EXPECT_NEAR(squares / kCount - mean * mean, 1.0, 0.02);
  EXPECT_NEAR(static_cast<double>(beyondTwo) / kCount, 0.0455, 0.003);  // the normal tail beyond 2 sigma
}

TEST(GaussianNoise, UniformStaysInItsRangeAndBelowCoversItsBound) {
  GaussianNoise noise(3);
  int seen[5] = {};
  for (int i = 0; i < 10000; ++i) {
    const double u = noise.Uniform();
    ASSERT_GE(u, 0.0);
    ASSERT_LT(u, 1.0);
    const uint64_t k = noise.Below(5);
    ASSERT_LT(k, 5u);
    ++seen[k];
  }
  for (const int n : seen) EXPECT_GT(n, 1800);
  EXPECT_EQ(noise.Below(0), 0u);
}

}  // namespace
}  // namespace skelvane
