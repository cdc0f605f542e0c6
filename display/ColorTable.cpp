#include "display/ColorTable.h"


namespace skelvane {
namespace {

struct NamedColour {
  const char* name;
  uint32_t value;  // 0x00BBGGRR
};

struct FamilyDefinition {
  const char* name;
  std::vector<NamedColour> colours;
};

// Family order and the order within each family fix the rotation and every colour's index.
// "Black" is stored as 2 so that it differs from the background the canvas clears to.
const std::array<FamilyDefinition, ColorTable::kFamilyCount>& Definitions() {
  static const std::array<FamilyDefinition, ColorTable::kFamilyCount> definitions = {{
      {"Reds",
       {{"Red", 0x0000FF},
        {"Dark Magenta", 0x8B008B},
        {"Maroon", 0x000080},
        {"Tomato", 0x4763FF},
        {"Magenta", 0xFF00FF},
        {"Crimson", 0x3C14DC},
        {"Firebrick", 0x2222B2},
        {"Dark Red", 0x00008B},
        {"Indian Red", 0x5C5CCD}}},
      {"Blues",
       {{"Blue", 0xFF0000},
        {"Aqua", 0xFFFF00},
        {"Dark Blue", 0x8B0000},
        {"Aquamarine", 0xD4FF7F},
        {"Azure", 0xFFFFF0},
        {"Dodger Blue", 0xFF901E},
        {"Alice Blue", 0xFFF8F0},
        {"Deep Sky Blue", 0xFFBF00},
        {"Cyan", 0xFFFF00},
        {"Dark Cyan", 0x8B8B00},
        {"Medium Slate Blue", 0xEE687B},
        {"Midnight Blue", 0x701919},
        {"Sky Blue", 0xEBCE87},
        {"Royal Blue", 0xE16941},
        {"Medium Aquamarine", 0xAACD66},
        {"Navy", 0x800000}}},
      {"Yellows",
       {{"Yellow", 0x00FFFF},
        {"Light Yellow", 0xE0FFFF},
        {"Yellow Green", 0x32CD9A},
        {"Gold", 0x00D7FF},
        {"Light Goldenrod Yellow", 0xD2FAFA},
        {"Goldenrod", 0x20A5DA},
        {"Lemon Chiffon", 0xCDFAFF},
        {"Dark Goldenrod", 0x0B86B8},
        {"Pale Goldenrod", 0xAAE8EE}}},
      {"Purples",
       {{"Purple", 0x800080},
        {"Plum", 0xDDA0DD},
        {"Medium Purple", 0xDB7093},
        {"Medium Violet Red", 0x8515C7},
        {"Lavender", 0xFAE6E6},
        {"Indigo", 0x82004B},
        {"Pale Violet Red", 0x9370DB},
        {"Dark Violet", 0xD30094},
        {"Violet", 0xEE82EE},
        {"Lavender Blush", 0xF5F0FF}}},
      {"Oranges",
       {{"Orange", 0x00A5FF}, {"Dark Orange", 0x008CFF}, {"Orange Red", 0x0045FF}, {"Papaya Whip", 0xD5EFFF}}},
      {"Greens",
       {{"Green", 0x008000},
        {"Medium Sea Green", 0x71B33C},
        {"Olive", 0x008080},
        {"Lime", 0x00FF00},
        {"Olive Drab", 0x238E6B},
        {"Green Yellow", 0x2FFFAD},
        {"Lawn Green", 0x00FC7C},
        {"Dark Green", 0x006400},
        {"Dark Olive Green", 0x2F6B55},
        {"Light Green", 0x90EE90},
        {"Forest Green", 0x228B22},
        {"Lime Green", 0x32CD32}}},
      {"Whites",
       {{"White", 0xFFFFFF},
        {"Khaki", 0x8CE6F0},
        {"Antique White", 0xD7EBFA},
        {"Ghost White", 0xFFF8F8},
        {"White Smoke", 0xF5F5F5},
        {"Ivory", 0xF0FFFF},
        {"Floral White", 0xF0FAFF}}},
      {"Browns",
       {{"Brown", 0x2A2AA5},
        {"Chocolate", 0x1E69D2},
        {"saddlebrown", 0x13458B},
        {"rosybrown", 0x8F8FBC},
        {"sandybrown", 0x60A4F4}}},
      {"Greys",
       {{"Gray", 0x808080},
        {"Dark Slate Gray", 0x4F4F2F},
        {"Light Slate Gray", 0x998877},
        {"Silver", 0xC0C0C0},
        {"Dim Gray", 0x696969},
        {"Light Gray", 0xD3D3D3},
        {"Slate Gray", 0x908070},
        {"Dark Gray", 0xA9A9A9}}},
      {"Black", {{"Black", 0x000002}}},
  }};
  return definitions;
}

}  // namespace

ColorTable::ColorTable() {
  int32_t count = 0;
  for (std::size_t f = 0; f < families_.size(); ++f) {
    const FamilyDefinition& definition = Definitions()[f];
    Family& family = families_[f];
    family.name = definition.name;
    for (const NamedColour& colour : definition.colours) {
      family.colours.push_back(colour.value);
      family.colourNames.emplace_back(colour.name);
    }
    count += static_cast<int32_t>(family.colours.size());
  }
  totalCount_ = count;
  availableCount_ = count;
}

ColorTable::~ColorTable() = default;

int32_t ColorTable::GetNumColors(int32_t& count) const {
  count = totalCount_;
  return 0;
}

void ColorTable::ResetCycle() {
  handedOut_ = 0;
  for (Family& family : families_) family.handedOut = 0;
}

int32_t ColorTable::GetNextColor(uint32_t& colour) {
  // The candidate counter runs on across walks, so the colour handed out is the one at position
  // handedOut_ in the endless walk over the families that still have colours left.
  int32_t candidate = 0;
  for (;;) {
    bool anyEligible = false;
    for (int32_t f = 0; f < kFamilyCount; ++f) {
      Family& family = families_[f];
      if (f == excludedFamily_ || family.handedOut == static_cast<int32_t>(family.colours.size())) continue;
      anyEligible = true;
      if (candidate == handedOut_) {
        colour = family.colours[family.handedOut];
        ++family.handedOut;
        ++handedOut_;
        if (handedOut_ >= totalCount_) ResetCycle();
        return 0;
      }
      ++candidate;
    }
    // A cycle is over when every allowed colour is out. Changing the exclusion in mid-cycle can
    // leave the counts out of step: the count may already be past the allowed number while
    // colours are left (the walk goes on to them), so an empty walk also ends the cycle rather
    // than spinning.
    if (handedOut_ == availableCount_ || !anyEligible) {
      ResetCycle();
      candidate = 0;
    }
  }
}

bool ColorTable::Locate(uint32_t colour, int32_t& family, int32_t& position) const {
  for (int32_t f = 0; f < kFamilyCount; ++f) {
    const std::vector<uint32_t>& colours = families_[f].colours;
    for (std::size_t i = 0; i < colours.size(); ++i) {
      if (colours[i] == colour) {
        family = f;
        position = static_cast<int32_t>(i);
        return true;
      }
    }
  }
  return false;
}

int32_t ColorTable::ExcludeFamilyOf(uint32_t colour) {
  int32_t family = 0;
  int32_t position = 0;
  if (!Locate(colour, family, position)) return 0;
  if (excludedFamily_ != kNoFamily) {
    availableCount_ += static_cast<int32_t>(families_[excludedFamily_].colours.size());
  }
  excludedFamily_ = family;
  availableCount_ -= static_cast<int32_t>(families_[family].colours.size());
  return 0;
}

int32_t ColorTable::GetColorName(uint32_t colour, std::string& name) const {
  int32_t family = 0;
  int32_t position = 0;
  if (!Locate(colour, family, position)) return -1;
  name = families_[family].colourNames[position];
  return 0;
}

int32_t ColorTable::FindColorByName(std::string_view name, uint32_t& colour) const {
  for (const Family& family : families_) {
    for (std::size_t i = 0; i < family.colourNames.size(); ++i) {
      if (family.colourNames[i] == name) {
        colour = family.colours[i];
        return 0;
      }
    }
  }
  return -1;
}

int32_t ColorTable::GetNextColorInFamily(uint32_t colour, uint32_t& next) const {
  int32_t family = 0;
  int32_t position = 0;
  if (!Locate(colour, family, position)) return -1;
  const std::vector<uint32_t>& colours = families_[family].colours;
  next = colours[(static_cast<std::size_t>(position) + 1) % colours.size()];
  return 0;
}

int32_t ColorTable::GetColorByIndex(int32_t index, uint32_t& colour) const {
  if (index < 0 || index >= totalCount_) return 0;
  for (const Family& family : families_) {
    const auto size = static_cast<int32_t>(family.colours.size());
    if (index < size) {
      colour = family.colours[index];
      return 0;
    }
    index -= size;
  }
  return 0;
}

int32_t ColorTable::GetColorNameByIndex(int32_t index, std::string& name) const {
  if (index < 0 || index >= totalCount_) return -1;
  for (const Family& family : families_) {
    const auto size = static_cast<int32_t>(family.colourNames.size());
    if (index < size) {
      name = family.colourNames[index];
      return 0;
    }
    index -= size;
  }
  return -1;
}

}  // namespace skelvane
