#include "display/ColorTable.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace skelvane {
namespace {

constexpr uint32_t kBlackValue = 0x000002;
constexpr uint32_t kUnknownValue = 0xCCCCCC;

std::string NameOf(const ColorTable& table, uint32_t colour) {
  std::string name;
  EXPECT_EQ(table.GetColorName(colour, name), 0) << std::hex << colour;
  return name;
}

// The names of the next `count` colours handed out.
std::vector<std::string> NextNames(ColorTable& table, int count) {
  std::vector<std::string> names;
  for (int i = 0; i < count; ++i) {
    uint32_t colour = 0xDEADBEEF;
    EXPECT_EQ(table.GetNextColor(colour), 0);
    names.push_back(NameOf(table, colour));
  }
  return names;
}

// The family index of every colour, from the table's own index order and family sizes.
const std::vector<int>& FamilySizes() {
  static const std::vector<int> sizes = {9, 16, 9, 10, 4, 12, 7, 5, 8, 1};
  return sizes;
}

int FamilyOfIndex(int index) {
  for (int family = 0; family < static_cast<int>(FamilySizes().size()); ++family) {
    if (index < FamilySizes()[family]) return family;
    index -= FamilySizes()[family];
  }
  return -1;
}

// The position of each name in the table (the first when a value repeats does not matter here:
// names are unique).
std::map<std::string, int> IndexByName(const ColorTable& table) {
  std::map<std::string, int> indexes;
  for (int i = 0; i < ColorTable::kTotalColors; ++i) {
    std::string name;
    EXPECT_EQ(table.GetColorNameByIndex(i, name), 0);
    indexes[name] = i;
  }
  return indexes;
}

TEST(ColorTable, HoldsEightyOneColoursInTenFamilies) {
  ColorTable table;
  int32_t count = 0;
  EXPECT_EQ(table.GetNumColors(count), 0);
  EXPECT_EQ(count, 81);
  int total = 0;
  for (int size : FamilySizes()) total += size;
  EXPECT_EQ(total, 81);
  EXPECT_EQ(IndexByName(table).size(), 81u);  // every name distinct
}

TEST(ColorTable, IndexLookupsFollowTheFamilyOrder) {
  ColorTable table;
  const std::vector<std::pair<int, std::string>> expected = {
      {0, "Red"},       {8, "Indian Red"}, {9, "Blue"},   {17, "Cyan"},         {24, "Navy"},
      {25, "Yellow"},   {34, "Purple"},    {44, "Orange"}, {47, "Papaya Whip"}, {48, "Green"},
      {60, "White"},    {67, "Brown"},     {69, "saddlebrown"}, {72, "Gray"},   {79, "Dark Gray"},
      {80, "Black"}};
  for (const auto& [index, name] : expected) {
    std::string found;
    EXPECT_EQ(table.GetColorNameByIndex(index, found), 0);
    EXPECT_EQ(found, name) << index;
  }
  uint32_t colour = 0;
  EXPECT_EQ(table.GetColorByIndex(80, colour), 0);
  EXPECT_EQ(colour, kBlackValue);
  EXPECT_EQ(table.GetColorByIndex(3, colour), 0);
  EXPECT_EQ(colour, 0x4763FFu);  // Tomato: red 255, green 99, blue 71
  EXPECT_EQ(table.GetColorByIndex(70, colour), 0);
  EXPECT_EQ(colour, 0x8F8FBCu);  // rosybrown
}

TEST(ColorTable, IndexOutsideTheTableLeavesTheOutputUnchanged) {
  ColorTable table;
  uint32_t colour = 0x123456;
  EXPECT_EQ(table.GetColorByIndex(81, colour), 0);
  EXPECT_EQ(colour, 0x123456u);
  EXPECT_EQ(table.GetColorByIndex(-1, colour), 0);
  EXPECT_EQ(colour, 0x123456u);
  std::string name = "unchanged";
  EXPECT_EQ(table.GetColorNameByIndex(81, name), -1);
  EXPECT_EQ(table.GetColorNameByIndex(-1, name), -1);
  EXPECT_EQ(name, "unchanged");
}

TEST(ColorTable, RotationWithBlackExcludedVisitsEveryOtherColourOnceThenRestarts) {
  ColorTable table;
  EXPECT_EQ(table.ExcludeFamilyOf(kBlackValue), 0);
  EXPECT_EQ(table.ExcludeFamilyOf(kUnknownValue), 0);  // no family holds it: Black stays excluded
  const std::vector<std::string> names = NextNames(table, 81);
  const std::vector<std::string> firstTen(names.begin(), names.begin() + 10);
  EXPECT_EQ(firstTen, (std::vector<std::string>{"Red", "Blue", "Yellow", "Purple", "Orange", "Green", "White",
                                                "Brown", "Gray", "Dark Magenta"}));
  // Cyan has Aqua's value, so it is named "Aqua" here: 80 colours, 79 distinct names.
  const std::set<std::string> cycle(names.begin(), names.begin() + 80);
  EXPECT_EQ(cycle.size(), 79u);
  EXPECT_EQ(std::count(names.begin(), names.begin() + 80, "Aqua"), 2);
  EXPECT_EQ(cycle.count("Black"), 0u);
  EXPECT_EQ(names[80], "Red");
}

TEST(ColorTable, RotationWithoutExclusionGivesBlackTenthAndCyclesAfterEightyOne) {
  ColorTable table;
  const std::vector<std::string> names = NextNames(table, 82);
  EXPECT_EQ(names[9], "Black");
  // Aqua and Cyan share a value, so name lookups see Aqua twice; count distinct table positions.
  EXPECT_EQ(std::count(names.begin(), names.begin() + 81, "Aqua"), 2);
  EXPECT_EQ(std::set<std::string>(names.begin(), names.begin() + 81).size(), 80u);
  EXPECT_EQ(names[81], "Red");
}

TEST(ColorTable, RotationPositionCountsOnlyFamiliesWithColoursLeft) {
  // After Black's only colour is out, the 11th position falls on the second family of the
  // remaining nine: the walk counts positions, it does not restart at the first family.
  ColorTable table;
  const std::vector<std::string> names = NextNames(table, 11);
  EXPECT_EQ(names[10], "Aqua");
}

TEST(ColorTable, UsedUpOrangesDropOutOfLaterRounds) {
  ColorTable table;
  table.ExcludeFamilyOf(kBlackValue);
  const std::map<std::string, int> index = IndexByName(table);
  const std::vector<std::string> names = NextNames(table, 80);
  // Nine families per round: the fourth orange is the fifth colour of the fourth round.
  EXPECT_EQ(names[31], "Papaya Whip");
  // With eight families left, position 32 of the walk starts a round at Reds again; that round
  // takes each remaining family's next colour in family order, without an orange.
  const std::vector<std::string> nextRound(names.begin() + 32, names.begin() + 40);
  EXPECT_EQ(nextRound, (std::vector<std::string>{"Magenta", "Azure", "Light Goldenrod Yellow", "Lavender", "Lime",
                                                 "Ghost White", "rosybrown", "Silver"}));
  for (std::size_t i = 32; i < names.size(); ++i) EXPECT_NE(FamilyOfIndex(index.at(names[i])), 4) << names[i];
}

TEST(ColorTable, ExcludingAnotherFamilyReplacesTheFirstExclusion) {
  ColorTable table;
  table.ExcludeFamilyOf(kBlackValue);
  table.ExcludeFamilyOf(0x00A5FF);  // Orange: Oranges excluded, Black allowed again
  const std::vector<std::string> names = NextNames(table, 78);
  EXPECT_EQ(names[4], "Green");
  EXPECT_EQ(names[8], "Black");
  for (const char* orange : {"Orange", "Dark Orange", "Orange Red", "Papaya Whip"}) {
    EXPECT_EQ(std::count(names.begin(), names.end(), orange), 0) << orange;
  }
  EXPECT_EQ(names[76], "Navy");  // the last colour left: Blues is the longest family
  EXPECT_EQ(names[77], "Red");   // a cycle of 81 - 4 colours
}

TEST(ColorTable, ChangingTheExclusionInMidCycleNeverStallsTheRotation) {
  // Reds handed out before Reds are excluded leave the cycle count ahead of what the remaining
  // families can give; the rotation must restart instead of searching for ever.
  ColorTable table;
  NextNames(table, 20);
  table.ExcludeFamilyOf(0x0000FF);
  const std::vector<std::string> names = NextNames(table, 200);
  const std::map<std::string, int> index = IndexByName(table);
  for (const std::string& name : names) EXPECT_NE(FamilyOfIndex(index.at(name)), 0) << name;
}

TEST(ColorTable, ExclusionBelowTheCycleCountStillHandsOutTheColoursLeftBeforeRestarting) {
  // Excluding Blues late in a cycle leaves fewer allowed colours than have been counted out; the
  // allowed colours not yet handed out must still come before the rotation restarts at "Red".
  constexpr int kHandedOutBefore = 75;
  ColorTable table;
  std::vector<uint32_t> cycle;
  for (int i = 0; i < kHandedOutBefore; ++i) {
    uint32_t colour = 0;
    table.GetNextColor(colour);
    cycle.push_back(colour);
  }
  std::vector<uint32_t> allowed;
  for (int i = 0; i < ColorTable::kTotalColors; ++i) {
    uint32_t colour = 0;
    table.GetColorByIndex(i, colour);
    if (FamilyOfIndex(i) != 1) allowed.push_back(colour);
  }
  std::erase_if(cycle, [&](uint32_t c) { return std::find(allowed.begin(), allowed.end(), c) == allowed.end(); });
  const std::size_t left = allowed.size() - cycle.size();
  ASSERT_GT(left, 0u);
  table.ExcludeFamilyOf(0xFF0000);  // Blue
  for (std::size_t i = 0; i < left; ++i) {
    uint32_t colour = 0;
    table.GetNextColor(colour);
    cycle.push_back(colour);
  }
  std::sort(cycle.begin(), cycle.end());
  std::sort(allowed.begin(), allowed.end());
  EXPECT_EQ(cycle, allowed);
  const std::vector<std::string> next = NextNames(table, 2);
  EXPECT_EQ(next, (std::vector<std::string>{"Red", "Yellow"}));
}

TEST(ColorTable, ColourNameIsThatOfTheFirstEntryWithTheValue) {
  ColorTable table;
  EXPECT_EQ(NameOf(table, 0xFFFF00), "Aqua");
  EXPECT_EQ(NameOf(table, kBlackValue), "Black");
  std::string name = "unchanged";
  EXPECT_EQ(table.GetColorName(0x000000, name), -1);  // black is stored as 2, not 0
  EXPECT_EQ(table.GetColorName(kUnknownValue, name), -1);
  EXPECT_EQ(name, "unchanged");
}

TEST(ColorTable, FindColorByNameMatchesExactlyAndCaseSensitively) {
  ColorTable table;
  uint32_t colour = 7;
  EXPECT_EQ(table.FindColorByName("Red", colour), 0);
  EXPECT_EQ(colour, 0x0000FFu);
  EXPECT_EQ(table.FindColorByName("Cyan", colour), 0);
  EXPECT_EQ(colour, 0xFFFF00u);
  EXPECT_EQ(table.FindColorByName("sandybrown", colour), 0);
  EXPECT_EQ(colour, 0x60A4F4u);
  colour = 7;
  EXPECT_EQ(table.FindColorByName("red", colour), -1);
  EXPECT_EQ(table.FindColorByName("Sandy Brown", colour), -1);
  EXPECT_EQ(table.FindColorByName("Red ", colour), -1);
  EXPECT_EQ(table.FindColorByName("", colour), -1);
  EXPECT_EQ(colour, 7u);
}

TEST(ColorTable, NextColourInFamilyFollowsTheFirstMatchAndWraps) {
  ColorTable table;
  uint32_t next = 0;
  EXPECT_EQ(table.GetNextColorInFamily(0xFFFF00, next), 0);
  EXPECT_EQ(NameOf(table, next), "Dark Blue");
  EXPECT_EQ(table.GetNextColorInFamily(0x800000, next), 0);  // Navy, the last blue
  EXPECT_EQ(NameOf(table, next), "Blue");
  EXPECT_EQ(table.GetNextColorInFamily(kBlackValue, next), 0);  // a family of one wraps to itself
  EXPECT_EQ(next, kBlackValue);
  next = 5;
  EXPECT_EQ(table.GetNextColorInFamily(kUnknownValue, next), -1);
  EXPECT_EQ(next, 5u);
}

}  // namespace
}  // namespace skelvane
