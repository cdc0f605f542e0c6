#pragma once
// Choices a fuzz target makes beyond the file itself (times to look up, sizes, parameters), drawn
// from a generator seeded by the input's bytes so that every input replays the same way.

#include <cstddef>
#include <cstdint>

namespace skelvane::fuzz {

class FuzzChoices {
 public:
  /// Seeds the generator with a hash of the whole input.
  FuzzChoices(const uint8_t* data, std::size_t size) {
    uint64_t hash = 1469598103934665603ull;  // FNV-1a
    for (std::size_t i = 0; i < size; ++i) hash = (hash ^ data[i]) * 1099511628211ull;
    state_ = hash;
  }
  /// The next 64 random bits (splitmix64).
  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  /// A number in [low, high] (high >= low), spread evenly enough for choosing.
  int64_t Between(int64_t low, int64_t high) {
    const uint64_t range = static_cast<uint64_t>(high) - static_cast<uint64_t>(low) + 1;
    return static_cast<int64_t>(static_cast<uint64_t>(low) + (range == 0 ? Next() : Next() % range));
  }
  /// Any 64-bit value.
  int64_t Any() { return static_cast<int64_t>(Next()); }

 private:
  uint64_t state_ = 0;
};

}  // namespace skelvane::fuzz
