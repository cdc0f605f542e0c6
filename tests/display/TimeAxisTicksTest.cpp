// The round tick steps of the seconds and clock axes: the step nearest the tick spacing, the clock's
// own steps (15 s, 30 min, hours, days), and tick times on the step from the origin.
#include <gtest/gtest.h>

#include <limits>
#include <vector>

#include "display/TimeAxisTicks.h"

namespace skelvane {
namespace {

using Kind = TimeAxisTicks::Kind;
constexpr int64_t kMs = 1'000;
constexpr int64_t kS = 1'000'000;
constexpr int64_t kMin = 60 * kS;
constexpr int64_t kH = 60 * kMin;
constexpr int64_t kDay = 24 * kH;
constexpr int64_t kLast = std::numeric_limits<int64_t>::max();  // 4 x ... + 3

struct StepCase {
  Kind kind;
  int64_t span;
  int32_t width;
  int64_t step;
};

TEST(TimeAxisTicks, StepIsTheRoundStepNearestTheTickSpacing) {
  const std::vector<StepCase> cases = {
      {Kind::Decimal, 10 * kS, 900, kS},         // 1.11 s wanted: 0 1 2 ... 10, not 0 1 3 4
      {Kind::Decimal, 10 * kS, 860, kS},         // the same view beside a data axis
      {Kind::Decimal, 30 * kS, 1000, 2 * kS},    // 3 s: nearer 2 (x1.5) than 5 (x1.67)
      {Kind::Decimal, 40 * kS, 1000, 5 * kS},    // 4 s: nearer 5 (x1.25) than 2 (x2)
      {Kind::Decimal, 150 * kS, 1000, 20 * kS},  // 15 s is no decimal step
      {Kind::Decimal, 2 * kS, 1000, 200 * kMs},
      {Kind::Decimal, 1000, 1000, 100},   // one microsecond per column
      {Kind::Decimal, 1000, 100'000, 1},  // finer than a microsecond: the smallest step
      {Kind::Clock, 150 * kS, 1000, 15 * kS},
      {Kind::Clock, 12 * kS, 1000, kS},
      {Kind::Clock, 1000 * kS, 1000, 2 * kMin},  // 100 s: nearer 2 min (x1.2) than 1 min (x1.67)
      {Kind::Clock, 3 * kH, 1000, 15 * kMin},    // 18 min
      {Kind::Clock, 6 * kH, 1000, 30 * kMin},    // 36 min
      {Kind::Clock, 24 * kH, 1000, 2 * kH},      // 2.4 h: nearer 2 h (x1.2) than 3 h (x1.25)
      {Kind::Clock, 30 * kDay, 900, 5 * kDay},   // 3.3 days
      {Kind::Clock, 2 * kS, 1000, 200 * kMs},    // below a second the clock steps are decimal
      {Kind::Decimal, 0, 1000, 1},               // nothing to measure: the smallest step
      {Kind::Clock, 10 * kS, 0, 1},
  };
  for (const StepCase& c : cases) {
    EXPECT_EQ(TimeAxisTicks::Step(c.kind, c.span, c.width, 100), c.step)
        << (c.kind == Kind::Clock ? "clock" : "decimal") << " span " << c.span << " width " << c.width;
  }
  // A span too long for any step gets the largest, which is still inside the 64-bit range.
  const int64_t largest = TimeAxisTicks::Step(Kind::Decimal, std::numeric_limits<int64_t>::max(), 1, 100);
  EXPECT_EQ(largest, 5'000'000'000'000'000'000);
  EXPECT_EQ(TimeAxisTicks::Next(Kind::Decimal, largest), largest);
}

TEST(TimeAxisTicks, NextStepsThroughTheClocksOwnSteps) {
  const std::vector<int64_t> clock = {500 * kMs, kS,       2 * kS,    5 * kS,    10 * kS,   15 * kS,  30 * kS, kMin,
                                      2 * kMin,  5 * kMin, 10 * kMin, 15 * kMin, 30 * kMin, kH,       2 * kH,  3 * kH,
                                      6 * kH,    12 * kH,  kDay,      2 * kDay,  5 * kDay,  10 * kDay};
  for (std::size_t i = 0; i + 1 < clock.size(); ++i)
    EXPECT_EQ(TimeAxisTicks::Next(Kind::Clock, clock[i]), clock[i + 1]);
  EXPECT_EQ(TimeAxisTicks::Next(Kind::Decimal, 5 * kS), 10 * kS);
  EXPECT_EQ(TimeAxisTicks::Next(Kind::Decimal, 10 * kS), 20 * kS);
  EXPECT_EQ(TimeAxisTicks::Next(Kind::Decimal, 3 * kS), 5 * kS);  // a step off the list goes to the next on it
}

TEST(TimeAxisTicks, TimesAreTheStepsMultiplesFromTheOriginInsideTheSpan) {
  struct TimesCase {
    int64_t start, span, origin, step;
    std::vector<int64_t> times;
  };
  const std::vector<TimesCase> cases = {
      {1'500'000, 5 * kS, 0, kS, {2 * kS, 3 * kS, 4 * kS, 5 * kS, 6 * kS}},
      {0, 3 * kS, 0, kS, {0, kS, 2 * kS}},              // the start is in, the end is not
      {-2'500'000, 3 * kS, 0, kS, {-2 * kS, -kS, 0}},   // before zero, rounded up
      {10, 100, 3, 25, {28, 53, 78, 103}},              // counted from the origin
      {kLast - 10, 100, 0, 4, {kLast - 7, kLast - 3}},  // none wraps past the range
      {0, 10, 0, 0, {}},
  };
  for (const TimesCase& c : cases) {
    EXPECT_EQ(TimeAxisTicks::Times(c.start, c.span, c.origin, c.step), c.times) << "start " << c.start;
  }
}

}  // namespace
}  // namespace skelvane
