#pragma once
// A band filter drawn from the fuzzer's input for the targets that filter: none, the two bands, or a
// custom high-pass whose cut-off makes it one FIR or a boxcar stage by turns.

#include <optional>

#include "filter/FilterChoice.h"
#include "fuzz/FuzzChoices.h"

namespace skelvane::fuzz {

inline FilterChoice ChosenFilter(FuzzChoices& choose) {
  switch (choose.Between(0, 3)) {
    case 1:
      return FilterChoice::Spike();
    case 2:
      return FilterChoice::Lfp();
    case 3:
      return FilterChoice::Custom(static_cast<double>(choose.Between(1, 2000)), std::nullopt);
    default:
      return FilterChoice();
  }
}

}  // namespace skelvane::fuzz
