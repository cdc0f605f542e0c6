// The filter as the user names it: what parses, the refusals by their exact words (each naming its
// field), and the texts headers, keys and spike files carry.
#include "filter/FilterChoice.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace skelvane {
namespace {

std::string RefusalOf(const std::string& text) {
  std::string refusal;
  EXPECT_FALSE(FilterChoice::Parse(text, refusal).has_value()) << text;
  return refusal;
}

TEST(FilterChoiceTest, BandsParseAndReadBackFromTheirText) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"none", "None"},
      {"Spike", "Spike Band 600-6000 Hz"},
      {" lfp ", "LFP Band 1-300 Hz"},
      {"300:3000", "Custom 300-3000 Hz"},
      {"0.5:", "Custom above 0.5 Hz"},
      {":1e3", "Custom below 1000 Hz"},
      {"+250 : 7500.25", "Custom 250-7500.25 Hz"},
  };
  for (const auto& [text, description] : cases) {
    std::string refusal;
    const auto chosen = FilterChoice::Parse(text, refusal);
    ASSERT_TRUE(chosen.has_value()) << text << ": " << refusal;
    EXPECT_EQ(chosen->Description(), description);
    const auto again = FilterChoice::Parse(chosen->Text(), refusal);
    ASSERT_TRUE(again.has_value()) << chosen->Text();
    EXPECT_EQ(*again, *chosen);
  }
}

TEST(FilterChoiceTest, RefusalsNameTheField) {
  EXPECT_EQ(RefusalOf("band"), "Filter: \"band\" is none of none, spike, lfp, LO:HI, LO: or :HI (cut-offs in Hz)");
  EXPECT_EQ(RefusalOf("1:2:3"), "Filter: \"1:2:3\" is none of none, spike, lfp, LO:HI, LO: or :HI (cut-offs in Hz)");
  EXPECT_EQ(RefusalOf(" : "), "Filter: give a low cut-off, a high cut-off or both (LO:HI, LO: or :HI)");
  EXPECT_EQ(RefusalOf("abc:300"), "Filter low cut-off: \"abc\" is not a number of hertz");
  EXPECT_EQ(RefusalOf("300:6k"), "Filter high cut-off: \"6k\" is not a number of hertz");
  EXPECT_EQ(RefusalOf("nan:300"), "Filter low cut-off: \"nan\" is not a number of hertz");
  EXPECT_EQ(RefusalOf(":inf"), "Filter high cut-off: \"inf\" is not a number of hertz");
  EXPECT_EQ(RefusalOf("-5:300"), "Filter low cut-off: -5 Hz is not above 0 Hz");
  EXPECT_EQ(RefusalOf(":0"), "Filter high cut-off: 0 Hz is not above 0 Hz");
  EXPECT_EQ(RefusalOf("6000:300"), "Filter low cut-off: 6000 Hz is not below the high cut-off, 300 Hz");
  EXPECT_EQ(RefusalOf("300:300"), "Filter low cut-off: 300 Hz is not below the high cut-off, 300 Hz");
}

TEST(FilterChoiceTest, KeysAndHeaderLinesTellEveryBandApart) {
  EXPECT_EQ(FilterChoice().Key(), "none");
  EXPECT_EQ(FilterChoice::Spike().Key(), "spike:600:6000:d" + std::to_string(FilterChoice::kDesignGeneration));
  EXPECT_EQ(FilterChoice::Custom(600.0, 6000.0).Key(), "custom:600:6000:d" + std::to_string(FilterChoice::kDesignGeneration));
  EXPECT_EQ(FilterChoice::Custom(std::nullopt, 300.0).Key(), "custom::300:d" + std::to_string(FilterChoice::kDesignGeneration));
  EXPECT_EQ(FilterChoice::Spike().HeaderLine(), "\t-Filter  spike 600 6000");
  EXPECT_EQ(FilterChoice::Lfp().HeaderLine(), "\t-Filter  lfp 1 300");
  EXPECT_EQ(FilterChoice::Custom(300.0, std::nullopt).HeaderLine(), "\t-Filter  custom 300 open");
  EXPECT_EQ(FilterChoice::Custom(std::nullopt, std::nullopt), FilterChoice());
}

}  // namespace
}  // namespace skelvane
