// The bands' response as the issue states it, measured by feeding sines through the filter as it is
// applied (not from the design's own formula), at the defaults, for custom bands and at other rates,
// the images of interpolated low-passes included; the design's refusals by their exact words.
#include "filter/FilterDesign.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "filter/DesignMath.h"
#include "filter/SegmentFilter.h"

namespace skelvane {
namespace {

constexpr double kAmplitude = 10000.0;
constexpr double kTwoPi = 2.0 * DesignMath::kPi;

FilterDesign Designed(const std::string& band, double rate) {
  std::string refusal;
  const auto chosen = FilterChoice::Parse(band, refusal);
  EXPECT_TRUE(chosen.has_value()) << refusal;
  const auto design = FilterDesign::For(*chosen, rate, refusal);
  EXPECT_TRUE(design.has_value()) << refusal;
  return *design;
}

// The gain in dB of a sine at `hz` through `design`: a segment long enough for twenty periods and
// the support on both sides, filtered, and the sine fitted (by least squares) to its middle.
double MeasuredDb(const FilterDesign& design, double hz) {
  const double rate = design.RateHz();
  const int64_t half = design.HalfSupport();
  const auto fitted = std::max<int64_t>(static_cast<int64_t>(20.0 * rate / hz), 4096);
  const int64_t count = fitted + 4 * half;
  std::vector<int16_t> in(static_cast<std::size_t>(count));
  for (int64_t n = 0; n < count; ++n) in[n] = static_cast<int16_t>(std::lround(kAmplitude * std::sin(kTwoPi * hz * n / rate + 0.3)));
  std::vector<int16_t> out(static_cast<std::size_t>(fitted));
  FilterWorkspace work;
  bool shortSegment = false;
  const SegmentFilter::Stretch stretch{in.data(), count, true, true};
  EXPECT_EQ(SegmentFilter::Filter(design, stretch, 2 * half, 2 * half + fitted, out.data(), work, shortSegment), 0);
  double ss = 0, sc = 0, cc = 0, ys = 0, yc = 0;
  for (int64_t n = 0; n < fitted; ++n) {
    const double phase = kTwoPi * hz * static_cast<double>(n + 2 * half) / rate;
    const double s = std::sin(phase);
    const double c = std::cos(phase);
    ss += s * s;
    sc += s * c;
    cc += c * c;
    ys += out[n] * s;
    yc += out[n] * c;
  }
  const double det = ss * cc - sc * sc;
  const double a = (ys * cc - yc * sc) / det;
  const double b = (yc * ss - ys * sc) / det;
  return 20.0 * std::log10(std::hypot(a, b) / kAmplitude);
}

void ExpectFlat(const FilterDesign& design, const std::vector<double>& frequencies) {
  for (const double hz : frequencies) {
    const double db = MeasuredDb(design, hz);
    EXPECT_LE(std::fabs(db), 0.5) << hz << " Hz through " << design.Choice().Description();
    EXPECT_NEAR(db, DesignMath::Decibels(std::fabs(design.Gain(hz))), 0.02) << hz << " Hz";
  }
}

void ExpectStopped(const FilterDesign& design, const std::vector<double>& frequencies) {
  for (const double hz : frequencies) {
    EXPECT_LE(MeasuredDb(design, hz), -30.0) << hz << " Hz through " << design.Choice().Description();
  }
}

// Where an interpolated low-pass (taps M samples apart) has images of its pass band: around every
// multiple of the rate over M, from its own stop band (10/3 of the high cut-off) on.
std::vector<double> Images(const FilterDesign& design) {
  std::vector<double> frequencies;
  const double high = *design.Choice().HighHz();
  const double step = design.RateHz() / design.Fir()->Spacing();
  for (double centre = step; centre <= design.RateHz() / 2.0; centre += step) {
    for (const double offset : {-1.0, -2.0 / 3.0, 0.0, 2.0 / 3.0, 1.0}) {
      const double hz = centre + offset * high;
      if (hz >= high * 10.0 / 3.0 && hz <= design.RateHz() / 2.0) frequencies.push_back(hz);
    }
  }
  return frequencies;
}

TEST(FilterDesignTest, TheBandsPassAndStopWhatTheyPromiseAtTheDefaultRate) {
  const FilterDesign spike = Designed("spike", 32000.0);
  ExpectFlat(spike, {1000.0, 1500.0, 2200.0, 3000.0, 4000.0, 4600.0, 5000.0});
  ExpectStopped(spike, {10.0, 50.0, 100.0, 150.0});
  const FilterDesign lfp = Designed("lfp", 32000.0);
  ExpectFlat(lfp, {3.0, 8.0, 30.0, 100.0, 160.0, 200.0});
  ExpectStopped(lfp, {1000.0, 1300.0, 2500.0, 6000.0, 15000.0});
  ASSERT_GT(lfp.Fir()->Spacing(), 1) << "the LFP Band's low-pass is interpolated";
  ExpectStopped(lfp, Images(lfp));
}

TEST(FilterDesignTest, EveryCutOffIsTheHalfAmplitudePointAtAnyRate) {
  struct Case {
    const char* band;
    double rate;
  };
  for (const Case& c : {Case{"spike", 24000.0}, Case{"spike", 48000.0}, Case{"300:3000", 30000.0},
                        Case{"lfp", 20000.0}, Case{"0.5:", 32000.0}, Case{":100", 2000.0}, Case{"2:40", 32000.0}}) {
    const FilterDesign design = Designed(c.band, c.rate);
    const FilterChoice& chosen = design.Choice();
    for (const auto& cutOff : {chosen.LowHz(), chosen.HighHz()}) {
      if (cutOff) {
        EXPECT_NEAR(MeasuredDb(design, *cutOff), -6.02, 0.1) << *cutOff << " Hz of " << c.band << " at " << c.rate;
      }
    }
    const double middle = std::sqrt(chosen.LowHz().value_or(1.0) * chosen.HighHz().value_or(c.rate / 4.0));
    EXPECT_LE(std::fabs(MeasuredDb(design, middle)), 0.5) << middle << " Hz of " << c.band << " at " << c.rate;
    if (design.Fir() && design.Fir()->Spacing() > 1) ExpectStopped(design, Images(design));
  }
}

TEST(FilterDesignTest, CutOffsOutsideTheRateAreRefusedNamingTheField) {
  const auto refusal = [](const FilterChoice& chosen, double rate) {
    std::string text;
    EXPECT_FALSE(FilterDesign::For(chosen, rate, text).has_value());
    return text;
  };
  EXPECT_EQ(refusal(FilterChoice::Spike(), 8000.0),
            "Filter high cut-off: 6000 Hz is not inside (0, 4000) Hz, above 0 and below half the sampling rate");
  EXPECT_EQ(refusal(FilterChoice::Custom(5000.0, std::nullopt), 10000.4),
            "Filter low cut-off: 5000 Hz is not inside (0, 5000) Hz, above 0 and below half the sampling rate");
  EXPECT_EQ(refusal(FilterChoice::Custom(0.001, std::nullopt), 32000.0),
            "Filter low cut-off: 0.001 Hz is below 0.0168 Hz, the lowest a filter reaches at 32000 Hz");
  EXPECT_EQ(refusal(FilterChoice::Custom(std::nullopt, 0.01), 32000.0),
            "Filter high cut-off: 0.01 Hz is below 0.0676 Hz, the lowest a filter reaches at 32000 Hz");
  EXPECT_EQ(refusal(FilterChoice::Custom(300.0, 200.0), 32000.0),
            "Filter low cut-off: 300 Hz is not below the high cut-off, 200 Hz");
  EXPECT_EQ(refusal(FilterChoice::Lfp(), 0.0), "Filter: the recording's sampling rate is unknown, so no filter can be made for it");
  std::string text;
  EXPECT_TRUE(FilterDesign::For(FilterChoice::Custom(0.0168, std::nullopt), 32000.0, text).has_value()) << text;
  EXPECT_TRUE(FilterDesign::For(FilterChoice::Custom(std::nullopt, 0.0676), 32000.0, text).has_value()) << text;
  EXPECT_TRUE(FilterDesign::For(FilterChoice(), 0.0, text).has_value()) << "None needs no rate";
}

// A digest of what a design computes with: the FIR's taps and scale and the parts' supports.
uint64_t Digest(const FilterDesign& design) {
  uint64_t hash = 1469598103934665603ull;
  const auto mix = [&](int64_t value) { hash = (hash ^ static_cast<uint64_t>(value)) * 1099511628211ull; };
  if (design.Fir()) {
    for (const int16_t tap : design.Fir()->Taps()) mix(tap);
    mix(design.Fir()->Shift());
    if (design.Fir()->Spacing() > 1) mix(design.Fir()->Spacing());
  }
  mix(design.HalfSupport());
  return hash;
}

TEST(FilterDesignTest, TheDesignGenerationNamesTheseCoefficients) {
  // Filtered results are kept under keys that carry FilterChoice::kDesignGeneration. Any change to what a
  // band computes must raise it, and then set these digests anew.
  EXPECT_EQ(FilterChoice::kDesignGeneration, 2);
  EXPECT_EQ(Digest(Designed("spike", 32000.0)), 0x52e2a390bfe6872dull);
  EXPECT_EQ(Digest(Designed("lfp", 32000.0)), 0xdc91b6f0f38d5545ull);
  EXPECT_EQ(Digest(Designed("300:3000", 30000.0)), 0xabeb6fe7c47d4355ull);
  EXPECT_EQ(Digest(Designed(":300", 32000.0)), 0xdcd516f0f3ffd165ull);
}

// A band started ahead is the design every later asker gets, made once however many ask while it is
// being made, and a refusal comes back in For's words. Rates no other test uses, so that nothing
// in this process has made these designs before.
TEST(FilterDesignTest, ABandPreparedAheadIsMadeOnceAndHandedToEveryAsker) {
  const FilterChoice band = FilterChoice::Custom(450.0, 4500.0);
  const double rate = 27183.4;
  EXPECT_FALSE(FilterDesign::Known(band, rate));
  const int64_t before = FilterDesign::DesignsMade();
  FilterDesign::Prepare(band, rate);
  EXPECT_TRUE(FilterDesign::Known(band, 27182.6)) << "kept by the rate it is designed for";
  FilterDesign::Prepare(band, rate);  // already under way: nothing more
  std::vector<std::optional<FilterDesign>> got(4);
  std::vector<std::thread> askers;
  for (std::optional<FilterDesign>& design : got) {
    askers.emplace_back([&design, &band, rate] {
      std::string refusal;
      design = FilterDesign::Shared(band, rate, refusal);
    });
  }
  for (std::thread& asker : askers) asker.join();
  EXPECT_EQ(FilterDesign::DesignsMade(), before + 1);
  const FilterDesign alone = Designed("450:4500", rate);
  for (const std::optional<FilterDesign>& design : got) {
    ASSERT_TRUE(design.has_value());
    EXPECT_EQ(Digest(*design), Digest(alone));
    EXPECT_EQ(design->Structure(), alone.Structure());
  }

  const FilterChoice tooHigh = FilterChoice::Custom(std::nullopt, 15000.0);
  FilterDesign::Prepare(tooHigh, 27183.0);
  std::string refusal;
  EXPECT_FALSE(FilterDesign::Shared(tooHigh, 27183.0, refusal).has_value());
  EXPECT_EQ(refusal, "Filter high cut-off: 15000 Hz is not inside (0, 13591.5) Hz, above 0 and below half the sampling rate");
}

// The designs take their sines several at a time: every one the same bits as one at a time, so that a
// machine with AVX2 and one without design the same coefficients.
TEST(FilterDesignTest, SinesTakenTogetherAreTheBitsOfSinesTakenAlone) {
  std::mt19937_64 random(5);
  std::vector<double> turns = {0.0, -0.0, 0.25, -0.25, 0.5, -0.5, 0.75, 1.0, 1e-300, 123456.789, -3.2e5};
  std::uniform_real_distribution<double> near(-1.0, 1.0);
  std::uniform_real_distribution<double> far(-5e4, 5e4);
  for (int32_t i = 0; i < 4000; ++i) turns.push_back(i % 2 == 0 ? near(random) : far(random));
  for (const int64_t count : {int64_t{1}, int64_t{3}, int64_t{4}, int64_t{7}, static_cast<int64_t>(turns.size())}) {
    std::vector<double> sines(static_cast<std::size_t>(count));
    std::vector<double> cosines(static_cast<std::size_t>(count));
    std::vector<double> sincs(static_cast<std::size_t>(count));
    DesignMath::SinesOfTurns(turns.data(), sines.data(), count);
    DesignMath::CosinesOfTurns(turns.data(), cosines.data(), count);
    DesignMath::Sincs(turns.data(), sincs.data(), count);
    for (std::size_t i = 0; i < static_cast<std::size_t>(count); ++i) {
      ASSERT_EQ(std::bit_cast<uint64_t>(sines[i]), std::bit_cast<uint64_t>(DesignMath::SineOfTurns(turns[i]))) << turns[i];
      ASSERT_EQ(std::bit_cast<uint64_t>(cosines[i]), std::bit_cast<uint64_t>(DesignMath::CosineOfTurns(turns[i]))) << turns[i];
      ASSERT_EQ(std::bit_cast<uint64_t>(sincs[i]), std::bit_cast<uint64_t>(DesignMath::Sinc(turns[i]))) << turns[i];
    }
  }
}

}  // namespace
}  // namespace skelvane
