#pragma once
// A random Custom band for a recording sampled at `rate`: a low cut-off from `lowestFraction` of the
// rate up to a tenth of it, a high one from one and a half times that up to 0.45 of the rate, and one
// side or the other left open a third of the time each. Filter tests draw their custom bands here.

#include <optional>
#include <random>

#include "filter/FilterChoice.h"

namespace skelvane::test {

template <typename Random>
FilterChoice RandomCustomBand(Random& random, double rate, double lowestFraction) {
  const double low = rate * std::uniform_real_distribution<double>(lowestFraction, 0.1)(random);
  const double high = std::uniform_real_distribution<double>(low * 1.5, rate * 0.45)(random);
  const auto open = static_cast<int>(random() % 3);
  return FilterChoice::Custom(open == 1 ? std::nullopt : std::optional<double>(low),
                              open == 2 ? std::nullopt : std::optional<double>(high));
}

}  // namespace skelvane::test
