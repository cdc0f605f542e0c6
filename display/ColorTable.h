#pragma once
// The fixed table of 81 named colours in 10 hue families, handing out plot colours in a rotation
// over the families. The canvas holds one as its plot colour allocator; each CSC plot draws from it.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace skelvane {

class ColorTable {
 public:
  /// Number of colours in the table.
  static constexpr int32_t kTotalColors = 81;
  /// Number of hue families.
  static constexpr int32_t kFamilyCount = 10;
  /// Excluded-family index meaning that no family is excluded.
  static constexpr int32_t kNoFamily = -1;

  /// Builds the table; nothing is excluded and the rotation starts at "Red".
  ColorTable();
  virtual ~ColorTable();

  /// Gives the total number of colours (81); returns 0.
  int32_t GetNumColors(int32_t& count) const;
  /// Hands out the next colour of the rotation over the non-excluded families; returns 0.
  int32_t GetNextColor(uint32_t& colour);
  /// Excludes from the rotation the first family holding `colour`; an unknown value changes nothing. Returns 0.
  int32_t ExcludeFamilyOf(uint32_t colour);
  /// Name of the first entry with that value; 0, or -1 when no entry has it.
  int32_t GetColorName(uint32_t colour, std::string& name) const;
  /// Value of the first entry whose name equals `name` exactly (case-sensitive); 0, or -1 when none.
  int32_t FindColorByName(std::string_view name, uint32_t& colour) const;
  /// The colour after the first entry with that value within its family, wrapping; 0, or -1 when unknown.
  int32_t GetNextColorInFamily(uint32_t colour, uint32_t& next) const;
  /// The colour at `index` (0..80); outside that range `colour` is left unchanged. Returns 0.
  int32_t GetColorByIndex(int32_t index, uint32_t& colour) const;
  /// The name of the colour at `index`; 0, or -1 outside 0..80.
  int32_t GetColorNameByIndex(int32_t index, std::string& name) const;

 private:
  struct Family {
    std::string name;
    std::vector<uint32_t> colours;
    std::vector<std::string> colourNames;
    int32_t handedOut = 0;  // colours of this family given out in the current cycle
  };

  void ResetCycle();
  // Finds the first entry with `colour` in index order; false when none.
  bool Locate(uint32_t colour, int32_t& family, int32_t& position) const;

  std::array<Family, kFamilyCount> families_;
  int32_t handedOut_ = 0;
  int32_t availableCount_ = kTotalColors;
  int32_t excludedFamily_ = kNoFamily;
  int32_t totalCount_ = kTotalColors;
};

}  // namespace skelvane
