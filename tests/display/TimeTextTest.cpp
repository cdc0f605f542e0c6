// Times as text: seconds and clock labels read back to the time they stand for, rounded to their
// decimals; neighbouring ticks never share a label and round ticks state their own time; Go To Time
// reads back what the labels and the status bar write, and says what is wrong with anything else.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "display/PlotCanvas.h"
#include "display/TimeText.h"
#include "display/TimeAxisTicks.h"
#include "display/ViewState.h"
#include "columns/TimeColumns.h"

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

TEST(TimeText, SecondsAndClockReadBackToTheTimeTruncatedToTheirDecimals) {
  std::mt19937_64 random(11);
  std::uniform_int_distribution<int64_t> times(-400'000'000'000, 400'000'000'000);
  for (int i = 0; i < 20000; ++i) {
    const int64_t time = i < 3 ? (i - 1) * 999'999 : times(random) >> (i % 30);
    const int32_t wanted = i % 7;
    const int64_t unit = Pow10(6 - wanted);
    // Nearest, halves away from zero (in long double, a route of its own).
    const int64_t rounded = static_cast<int64_t>(std::llroundl(static_cast<long double>(time) / unit)) * unit;

    int32_t decimals = -1;
    const std::string seconds = TimeText::Seconds(time, wanted);
    EXPECT_EQ(ParseSeconds(seconds, decimals), rounded) << seconds << " for " << time;
    EXPECT_EQ(decimals, wanted) << seconds;

    const std::string clock = TimeText::Clock(time, wanted);
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

TEST(TimeText, DecimalsAreTheFewestThatResolveTheTickStep) {
  for (int64_t step = 1; step < 100'000'000; step = step * 3 + 1) {
    const int32_t d = TimeText::DecimalsForStep(step);
    ASSERT_GE(d, 0);
    ASSERT_LE(d, 6);
    EXPECT_TRUE(d == 6 || Pow10(6 - d) <= step) << step;       // enough to tell ticks apart
    EXPECT_TRUE(d == 0 || Pow10(7 - d) > step) << step;        // and no more
  }
}

TEST(TimeText, NeighbouringSecondsAndClockLabelsDiffer) {
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

// Reads "[-]h:mm:ss[.digits]" back into microseconds.
int64_t ParseClock(const std::string& text) {
  const bool negative = text[0] == '-';
  int hours = 0, minutes = 0;
  char rest[32] = {};
  if (std::sscanf(text.c_str() + (negative ? 1 : 0), "%d:%2d:%31s", &hours, &minutes, rest) != 3) return -1;
  int32_t decimals = 0;
  const int64_t magnitude = (int64_t{hours} * 3600 + minutes * 60) * 1'000'000 + ParseSeconds(rest, decimals);
  return negative ? -magnitude : magnitude;
}

TEST(TimeText, SecondsAndClockTicksLieOnRoundTimesAndEachLabelStatesItsTicksTime) {
  ViewState view;
  PlotCanvas canvas(view, nullptr, nullptr, nullptr);
  std::mt19937_64 random(23);
  const auto textWidth = [](std::string_view text) { return static_cast<int32_t>(7 * text.size()); };
  for (IPlotCanvas::TimeLabelStyle style : {IPlotCanvas::TimeLabelStyle::Seconds, IPlotCanvas::TimeLabelStyle::Clock}) {
    canvas.SetTimeLabelStyle(style);
    const bool clock = style == IPlotCanvas::TimeLabelStyle::Clock;
    for (int i = 0; i < 300; ++i) {
      const int32_t width = 600 + static_cast<int32_t>(random() % 1800);
      const int64_t span = width + static_cast<int64_t>(random() >> (20 + random() % 40));
      const int64_t start = static_cast<int64_t>(random() % 100'000'000'000) - 1'000'000;
      view.DataStart = start - static_cast<int64_t>(random() % 100'000'000);
      const int32_t x0 = static_cast<int32_t>(random() % 50);
      const auto layout = canvas.LayoutTimeAxis(width, x0, start, span, textWidth);
      const std::string where = "span " + std::to_string(span) + " width " + std::to_string(width);
      ASSERT_GE(layout.ticks.size(), 2u) << where;
      // Every label is drawn (the step was widened until they fit) and no two touch.
      ASSERT_EQ(layout.labels.size(), layout.ticks.size()) << where;
      std::vector<int64_t> times;
      for (std::size_t k = 0; k < layout.labels.size(); ++k) {
        const auto& label = layout.labels[k];
        if (k > 0) {
          EXPECT_GT(label.x, layout.labels[k - 1].x + layout.labels[k - 1].width + 5) << where;
        }
        int32_t decimals = 0;
        // Both count from the recordings' first record: here, with no recording, the range's start.
        const int64_t time = (clock ? ParseClock(label.text) : ParseSeconds(label.text, decimals)) + view.DataStart;
        int32_t pixel = -1;
        ASSERT_EQ(TimeColumns::PixelForTime(time, start, width, span, pixel), 0) << label.text << " " << where;
        EXPECT_EQ(layout.ticks[k].x, x0 + pixel) << label.text << " " << where;
        EXPECT_EQ(label.x + label.width / 2, x0 + pixel) << label.text;
        times.push_back(time - view.DataStart);
      }
      // Evenly spaced on a multiple of the step: 1, 2 or 5 x 10^k, or a clock's 15 s, 30 s, ... hours.
      const int64_t step = times[1] - times[0];
      for (std::size_t k = 0; k < times.size(); ++k) {
        EXPECT_EQ(times[k] % step, 0) << where;
        if (k > 0) {
          EXPECT_EQ(times[k] - times[k - 1], step) << where;
        }
      }
      EXPECT_TRUE(TimeAxisTicks::Next(clock ? TimeAxisTicks::Kind::Clock : TimeAxisTicks::Kind::Decimal, step - 1) ==
                  step) << step << " is no round step; " << where;
    }
  }
}

TEST(TimeText, GoToTimeReadsSecondsClockTimesAndRawMicroseconds) {
  constexpr int64_t kStart = 5'000'000'000;
  struct Case {
    const char* text;
    int64_t time;
  };
  const std::vector<Case> cases = {
      {"100.5", kStart + 100'500'000},      {" 100.5 s ", kStart + 100'500'000}, {"0", kStart},
      {".25", kStart + 250'000},            {"7.", kStart + 7'000'000},          {"0:01:40", kStart + 100'000'000},
      {"1:40", kStart + 100'000'000},       {"2:03:04.000005", kStart + 7'384'000'005},
      {"-1.5", kStart - 1'500'000},         {"123456789us", 123'456'789},         {"123456789 us", 123'456'789},
      {"-20us", -20},                       {"100:00:00", kStart + 360'000'000'000},
  };
  for (const Case& c : cases) {
    std::string error = "stale";
    const std::optional<int64_t> time = TimeText::Parse(c.text, kStart, error);
    ASSERT_TRUE(time.has_value()) << c.text << ": " << error;
    EXPECT_EQ(*time, c.time) << c.text;
    EXPECT_EQ(error, "");
  }
  const std::string forms =
      ". Type seconds from the start of the recording (100.5), h:mm:ss from its start (0:01:40) or a timestamp in "
      "microseconds (123456789us).";
  const std::vector<std::pair<const char*, std::string>> faults = {
      {"", "Not a time: \"\"" + forms},
      {"abc", "Not a time: \"abc\"" + forms},
      {"1:2:3:4", "Not a time: \"1:2:3:4\"" + forms},
      {"1.5us", "Not a time: \"1.5us\"" + forms},
      {"1.1234567", "Times go to the microsecond: at most 6 decimals of a second, not \"1.1234567\"."},
      {"0:61:00", "Minutes and seconds of a clock time run from 0 to 59: \"0:61:00\"."},
      {"1:60", "Minutes and seconds of a clock time run from 0 to 59: \"1:60\"."},
      {"99999999999999999999", "Too far from the recording to be a time: \"99999999999999999999\"."},
      {"9300000000000", "Too far from the recording to be a time: \"9300000000000\"."},
  };
  for (const auto& [text, message] : faults) {
    std::string error;
    EXPECT_FALSE(TimeText::Parse(text, kStart, error).has_value()) << text;
    EXPECT_EQ(error, message);
  }
}

TEST(TimeText, GoToTimeReadsBackEverySecondsAndClockText) {
  std::mt19937_64 random(3);
  for (int i = 0; i < 5000; ++i) {
    const int64_t start = static_cast<int64_t>(random() % 4'000'000'000'000) - 2'000'000'000'000;
    const int64_t offset = static_cast<int64_t>(random() >> (24 + i % 30)) * (i % 3 == 0 ? -1 : 1);
    std::string error;
    EXPECT_EQ(TimeText::Parse(TimeText::Seconds(offset, 6), start, error), start + offset) << error;
    EXPECT_EQ(TimeText::Parse(TimeText::Clock(offset, 6), start, error), start + offset) << error;
    EXPECT_EQ(TimeText::Parse(std::to_string(start + offset) + "us", start, error), start + offset) << error;
    const std::string shortest = TimeText::Seconds(offset, TimeText::ExactDecimals(offset));
    EXPECT_EQ(TimeText::Parse(shortest, start, error), start + offset) << shortest;
  }
}

TEST(TimeText, ClampedMessageSaysWhereTheViewWentInstead) {
  EXPECT_EQ(TimeText::ClampedMessage(1'000 + 3'600'000'000, 1'000 + 62'500'000, 1'000),
            "1:00:00 is after the end of the recording: going to 0:01:02.5 instead.");
  EXPECT_EQ(TimeText::ClampedMessage(-4'000'000, 0, 0),
            "-0:00:04 is before the start of the recording: going to 0:00:00 instead.");
}

}  // namespace
}  // namespace skelvane
