#include "summary/HighPassStateCodec.h"

#include <array>
#include <cstring>

namespace skelvane {
namespace {

constexpr uint8_t kHeld = 1;
// The head's bytes.
constexpr int64_t kHeldAt = 0;
constexpr int64_t kSpacingAt = 1;
constexpr int64_t kFirstBitsAt = 2;
constexpr int64_t kSecondBitsAt = 3;
constexpr int64_t kThirdBitsAt = 4;
constexpr int32_t kMostBits = 64;
// The largest magnitude of a stored sample.
constexpr double kSampleBound = 32768.0;

// The fewest bits that hold every signed integer of magnitude up to `bound`.
int32_t BitsFor(double bound) {
  for (int32_t bits = 1; bits < kMostBits; ++bits) {
    if (bound < static_cast<double>(uint64_t{1} << (bits - 1))) return bits;
  }
  return kMostBits;
}

// A phase's three sums packed into whole bytes, the first from the lowest bit up: at most 16 (with
// the longest moving average they take 123 bits), read and written a 16-byte word at a time in a
// buffer with room for one more word.
constexpr int32_t kMostPhaseBits = 128;
constexpr int64_t kPhaseWordBytes = kMostPhaseBits / 8;
using Phases = std::array<uint8_t, SpacedHighPass::kMostSpacing * kPhaseWordBytes + kPhaseWordBytes>;
using Word = unsigned __int128;

int32_t PhaseBytes(int32_t firstBits, int32_t secondBits, int32_t thirdBits) {
  return (firstBits + secondBits + thirdBits + 7) / 8;
}

uint64_t LowBits(int64_t value, int32_t bits) {
  return bits == kMostBits ? static_cast<uint64_t>(value) : static_cast<uint64_t>(value) & ((uint64_t{1} << bits) - 1);
}

// The signed integer in the low `bits` bits of `word`.
int64_t Signed(Word word, int32_t bits) {
  const int32_t unused = kMostBits - bits;
  const auto value = static_cast<uint64_t>(word);
  return unused == 0 ? static_cast<int64_t>(value) : static_cast<int64_t>(value << unused) >> unused;
}

}  // namespace

HighPassStateCodec::HighPassStateCodec(const SpacedHighPass& highPass) : spacing_(highPass.Spacing()) {
  // With W the sum of the Length() values the moving average takes, the first sum is a second
  // difference of W, the second a first difference of W taken twice over, the third W taken three
  // times over: at most 4 L, 2 L^2 and L^3 times the largest sample.
  const auto length = static_cast<double>(highPass.Length());
  firstBits_ = BitsFor(4.0 * length * kSampleBound);
  secondBits_ = BitsFor(2.0 * length * length * kSampleBound);
  thirdBits_ = BitsFor(length * length * length * kSampleBound);
}

void HighPassStateCodec::Encode(const SpacedHighPass::Running& sums, uint8_t* slot) const {
  slot[kHeldAt] = kHeld;
  slot[kSpacingAt] = static_cast<uint8_t>(spacing_);
  slot[kFirstBitsAt] = static_cast<uint8_t>(firstBits_);
  slot[kSecondBitsAt] = static_cast<uint8_t>(secondBits_);
  slot[kThirdBitsAt] = static_cast<uint8_t>(thirdBits_);
  const int32_t phaseBytes = PhaseBytes(firstBits_, secondBits_, thirdBits_);
  Phases phases;
  for (std::size_t p = 0; p < static_cast<std::size_t>(spacing_); ++p) {
    // Exact integers below 2^53.
    const Word word = Word{LowBits(sums.first[p], firstBits_)} |
                      Word{LowBits(static_cast<int64_t>(sums.second[p]), secondBits_)} << firstBits_ |
                      Word{LowBits(static_cast<int64_t>(sums.third[p]), thirdBits_)} << (firstBits_ + secondBits_);
    std::memcpy(phases.data() + p * static_cast<std::size_t>(phaseBytes), &word, sizeof word);
  }
  std::memcpy(slot + kHeadBytes, phases.data(), static_cast<std::size_t>(spacing_ * phaseBytes));
}

bool HighPassStateCodec::Held(const uint8_t* slot, int64_t bytes) { return Readable(bytes) && slot[kHeldAt] == kHeld; }

bool HighPassStateCodec::Decode(const uint8_t* slot, int64_t bytes, SpacedHighPass::Running& sums) {
  if (!Readable(bytes) || slot[kHeldAt] != kHeld) return false;
  const int32_t spacing = slot[kSpacingAt];
  const int32_t firstBits = slot[kFirstBitsAt];
  const int32_t secondBits = slot[kSecondBitsAt];
  const int32_t thirdBits = slot[kThirdBitsAt];
  const auto fits = [](int32_t bits, int32_t most) { return bits >= 1 && bits <= most; };
  if (spacing < 1 || spacing > SpacedHighPass::kMostSpacing || !fits(firstBits, 32) || !fits(secondBits, kMostBits) ||
      !fits(thirdBits, kMostBits) || firstBits + secondBits + thirdBits > kMostPhaseBits ||
      kHeadBytes + spacing * PhaseBytes(firstBits, secondBits, thirdBits) > bytes) {
    return false;
  }
  const int32_t phaseBytes = PhaseBytes(firstBits, secondBits, thirdBits);
  Phases phases{};
  std::memcpy(phases.data(), slot + kHeadBytes, static_cast<std::size_t>(spacing * phaseBytes));
  sums = SpacedHighPass::Running{};
  for (std::size_t p = 0; p < static_cast<std::size_t>(spacing); ++p) {
    Word word = 0;
    std::memcpy(&word, phases.data() + p * static_cast<std::size_t>(phaseBytes), sizeof word);
    sums.first[p] = static_cast<int32_t>(Signed(word, firstBits));
    // A garbled file's may be past 2^53, and only give wrong pictures of it.
    sums.second[p] = static_cast<double>(Signed(word >> firstBits, secondBits));
    sums.third[p] = static_cast<double>(Signed(word >> (firstBits + secondBits), thirdBits));
  }
  return true;
}

}  // namespace skelvane
