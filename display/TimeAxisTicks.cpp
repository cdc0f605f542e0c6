#include "display/TimeAxisTicks.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace skelvane {
namespace {

constexpr int64_t kSecond = 1'000'000;
constexpr int64_t kMinute = 60 * kSecond;
constexpr int64_t kHour = 60 * kMinute;
constexpr int64_t kDay = 24 * kHour;
// No view needs more ticks than a canvas has columns; this bounds a careless caller.
constexpr std::size_t kMaxTicks = 100'000;

// 1, 2, 5 x 10^k times `unit`, from `unit` until the next would pass the 64-bit range.
void AddDecades(int64_t unit, int64_t below, std::vector<int64_t>& steps) {
  constexpr int64_t kMantissas[] = {1, 2, 5};
  for (int64_t power = unit; power < below; power *= 10) {
    for (const int64_t m : kMantissas) {
      if (power <= std::numeric_limits<int64_t>::max() / m && power * m < below) steps.push_back(power * m);
    }
    if (power > std::numeric_limits<int64_t>::max() / 10) break;
  }
}

const std::vector<int64_t>& Steps(TimeAxisTicks::Kind kind) {
  static const std::vector<int64_t> decimal = [] {
    std::vector<int64_t> steps;
    AddDecades(1, std::numeric_limits<int64_t>::max(), steps);
    return steps;
  }();
  static const std::vector<int64_t> clock = [] {
    std::vector<int64_t> steps;
    AddDecades(1, kSecond, steps);
    for (const int64_t s : {1, 2, 5, 10, 15, 30}) steps.push_back(s * kSecond);
    for (const int64_t m : {1, 2, 5, 10, 15, 30}) steps.push_back(m * kMinute);
    for (const int64_t h : {1, 2, 3, 6, 12}) steps.push_back(h * kHour);
    AddDecades(kDay, std::numeric_limits<int64_t>::max(), steps);
    return steps;
  }();
  return kind == TimeAxisTicks::Kind::Clock ? clock : decimal;
}

}  // namespace

int64_t TimeAxisTicks::Step(Kind kind, int64_t span, int32_t width, int32_t spacing) {
  const std::vector<int64_t>& steps = Steps(kind);
  if (span <= 0 || width <= 0 || spacing <= 0) return steps.front();
  const double wanted = static_cast<double>(span) / width * spacing;
  const auto above = std::lower_bound(steps.begin(), steps.end(), wanted,
                                      [](int64_t step, double value) { return static_cast<double>(step) < value; });
  if (above == steps.begin()) return steps.front();
  if (above == steps.end()) return steps.back();
  // Nearer by ratio: the pixels between ticks stray as far above the spacing as below it.
  const auto below = above - 1;
  return wanted / static_cast<double>(*below) < static_cast<double>(*above) / wanted ? *below : *above;
}

int64_t TimeAxisTicks::Next(Kind kind, int64_t step) {
  const std::vector<int64_t>& steps = Steps(kind);
  const auto after = std::upper_bound(steps.begin(), steps.end(), step);
  return after == steps.end() ? step : *after;
}

std::vector<int64_t> TimeAxisTicks::Times(int64_t start, int64_t span, int64_t origin, int64_t step) {
  std::vector<int64_t> times;
  if (step <= 0 || span <= 0) return times;
  // In 128 bits: origin and start may lie anywhere in the 64-bit range.
  const __int128 offset = static_cast<__int128>(start) - origin;
  __int128 multiple = offset / step;
  if (multiple * step < offset) ++multiple;  // rounded up, for offsets below zero too
  const __int128 end = std::min<__int128>(static_cast<__int128>(start) + span,
                                          static_cast<__int128>(std::numeric_limits<int64_t>::max()) + 1);
  for (__int128 t = origin + multiple * step; t < end && times.size() < kMaxTicks; t += step) {
    times.push_back(static_cast<int64_t>(t));
  }
  return times;
}

}  // namespace skelvane
