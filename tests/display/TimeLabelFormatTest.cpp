// Time axis labels in seconds and as a clock: every text read back gives the time it stands for,
// rounded to its decimals, and neighbouring ticks never share a label.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <random>
#include <set>
#include <string>

#include "display/PlotCanvas.h"
#include "display/ViewState.h"

namespace skelvane {
namespace {

int64_t Pow10(int32_t n) {
  int64_t value = 1;
  while (n-- > 0) value *= 10;
  return value;
}

// Reads "[-]digits[.digits]" back into microseconds, exactly.
int64_t ParseSeconds(const std::string& text, int32_t& decimals) {
  const bool negative = !text.empty() && text[0] == '-';
  const std::size_t dot = text.find('.');
  const std::string whole = text.substr(negative ? 1 : 0, dot == std::string::npos ? std::string::npos : dot - (negative ? 1 : 0));
  const std::string fraction = dot == std::string::npos ? "" : text.substr(dot + 1);
  decimals = static_cast<int32_t>(fraction.size());
  int64_t value = std::stoll(whole) * 1'000'000 + (fraction.empty() ? 0 : std::stoll(fraction) * Pow10(6 - decimals));
  return negative ? -value : value;
}

TEST(TimeLabelFormat, SecondsAndClockReadBackToTheTimeTruncatedToTheirDecimals) {
  std::mt19937_64 random(11);
  std::uniform_int_distribution<int64_t> times(-400'000'000'000, 400'000'000'000);
  for (int i = 0; i < 20000; ++i) {
    const int64_t time = i < 3 ? (i - 1) * 999'999 : times(random) >> (i % 30);
    const int32_t wanted = i % 7;
    const int64_t unit = Pow10(6 - wanted);
    // Nearest, halves away from zero (in long double, a route of its own).
    const int64_t rounded = static_cast<int64_t>(std::llroundl(static_cast<long double>(time) / unit)) * unit;

    int32_t decimals = -1;
    const std::string seconds = PlotCanvas::FormatSeconds(time, wanted);
    EXPECT_EQ(ParseSeconds(seconds, decimals), rounded) << seconds << " for " << time;
    EXPECT_EQ(decimals, wanted) << seconds;

    const std::string clock = PlotCanvas::FormatClock(time, wanted);
    const bool negative = clock[0] == '-';
    int hours = 0, minutes = 0;
    char rest[32] = {};
    ASSERT_EQ(std::sscanf(clock.c_str() + (negative ? 1 : 0), "%d:%2d:%31s", &hours, &minutes, rest), 3) << clock;
    EXPECT_LT(minutes, 60) << clock;
    const std::string secondsPart = rest;
    EXPECT_EQ(secondsPart.find('.') == std::string::npos ? secondsPart.size() : secondsPart.find('.'), 2u) << clock;
    const int64_t withinMinute = ParseSeconds(secondsPart, decimals);
    EXPECT_LT(withinMinute, 60'000'000) << clock;
    const int64_t magnitude = (int64_t{hours} * 3600 + minutes * 60) * 1'000'000 + withinMinute;
    EXPECT_EQ(negative ? -magnitude : magnitude, rounded) << clock << " for " << time;
    EXPECT_EQ(negative, rounded < 0) << clock;
    EXPECT_EQ(seconds[0] == '-', rounded < 0) << seconds;
  }
}

TEST(TimeLabelFormat, DecimalsAreTheFewestThatResolveTheTickStep) {
  for (int64_t step = 1; step < 100'000'000; step = step * 3 + 1) {
    const int32_t d = PlotCanvas::DecimalsForStep(step);
    ASSERT_GE(d, 0);
    ASSERT_LE(d, 6);
    EXPECT_TRUE(d == 6 || Pow10(6 - d) <= step) << step;       // enough to tell ticks apart
    EXPECT_TRUE(d == 0 || Pow10(7 - d) > step) << step;        // and no more
  }
}

TEST(TimeLabelFormat, NeighbouringSecondsAndClockLabelsDiffer) {
  ViewState view;
  PlotCanvas canvas(view, nullptr, nullptr, nullptr);
  std::mt19937_64 random(5);
  for (IPlotCanvas::TimeLabelStyle style : {IPlotCanvas::TimeLabelStyle::Seconds, IPlotCanvas::TimeLabelStyle::Clock}) {
    canvas.SetTimeLabelStyle(style);
    for (int i = 0; i < 300; ++i) {
      const int32_t width = 200 + static_cast<int32_t>(random() % 1800);
      const int64_t span = width + static_cast<int64_t>(random() % 4'000'000'000);
      const int64_t start = static_cast<int64_t>(random() % 10'000'000'000);
      view.DataStart = start - static_cast<int64_t>(random() % 1'000'000);
      const auto layout = canvas.LayoutTimeAxis(width, 0, start, span, [](std::string_view) { return 1; });
      std::set<std::string> texts;
      for (const auto& label : layout.labels) texts.insert(label.text);
      EXPECT_EQ(texts.size(), layout.labels.size()) << "span " << span << " width " << width;
    }
  }
}

}  // namespace
}  // namespace skelvane
