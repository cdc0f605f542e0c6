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

// A slot's sums, packed from the lowest bit of each byte up, in a buffer with room to read and
// write whole words anywhere in it.
constexpr int64_t kMostSumBytes = HighPassStateCodec::kMostSlotBytes - HighPassStateCodec::kHeadBytes;
struct Packed {
  std::array<uint8_t, kMostSumBytes + 2 * sizeof(uint64_t)> bytes{};
  int64_t at = 0;  // bits written or read

  // Appends `value`'s low `bits` bits.
  void Put(int64_t value, int32_t bits) {
    const uint64_t low = bits == kMostBits ? static_cast<uint64_t>(value) : static_cast<uint64_t>(value) & ((uint64_t{1} << bits) - 1);
    const auto offset = static_cast<int32_t>(at & 7);
    uint8_t* word = bytes.data() + (at >> 3);
    uint64_t head = 0;
    std::memcpy(&head, word, sizeof head);
    head |= low << offset;
    std::memcpy(word, &head, sizeof head);
    if (offset + bits > kMostBits) word[sizeof head] = static_cast<uint8_t>(word[sizeof head] | (low >> (kMostBits - offset)));
    at += bits;
  }
  // The signed integer of the next `bits` bits.
  int64_t Get(int32_t bits) {
    const auto offset = static_cast<int32_t>(at & 7);
    const uint8_t* word = bytes.data() + (at >> 3);
    uint64_t value = 0;
    std::memcpy(&value, word, sizeof value);
    value >>= offset;
    if (offset + bits > kMostBits) value |= uint64_t{word[sizeof value]} << (kMostBits - offset);
    at += bits;
    const int32_t unused = kMostBits - bits;
    return unused == 0 ? static_cast<int64_t>(value) : static_cast<int64_t>(value << unused) >> unused;
  }
};

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
  Packed packed;
  for (std::size_t p = 0; p < static_cast<std::size_t>(spacing_); ++p) {
    packed.Put(sums.first[p], firstBits_);
    // Exact integers below 2^53.
    packed.Put(static_cast<int64_t>(sums.second[p]), secondBits_);
    packed.Put(static_cast<int64_t>(sums.third[p]), thirdBits_);
  }
  std::memcpy(slot + kHeadBytes, packed.bytes.data(), static_cast<std::size_t>(SlotBytes() - kHeadBytes));
}

bool HighPassStateCodec::Decode(const uint8_t* slot, int64_t bytes, SpacedHighPass::Running& sums) {
  if (!Readable(bytes) || slot[kHeldAt] != kHeld) return false;
  const int32_t spacing = slot[kSpacingAt];
  const int32_t firstBits = slot[kFirstBitsAt];
  const int32_t secondBits = slot[kSecondBitsAt];
  const int32_t thirdBits = slot[kThirdBitsAt];
  const auto fits = [](int32_t bits, int32_t most) { return bits >= 1 && bits <= most; };
  if (spacing < 1 || spacing > SpacedHighPass::kMostSpacing || !fits(firstBits, 32) || !fits(secondBits, kMostBits) ||
      !fits(thirdBits, kMostBits) || kHeadBytes + (spacing * (firstBits + secondBits + thirdBits) + 7) / 8 > bytes) {
    return false;
  }
  Packed packed;
  std::memcpy(packed.bytes.data(), slot + kHeadBytes, static_cast<std::size_t>(bytes - kHeadBytes));
  sums = SpacedHighPass::Running{};
  for (std::size_t p = 0; p < static_cast<std::size_t>(spacing); ++p) {
    sums.first[p] = static_cast<int32_t>(packed.Get(firstBits));
    // A garbled file's may be past 2^53, and only give wrong pictures of it.
    sums.second[p] = static_cast<double>(packed.Get(secondBits));
    sums.third[p] = static_cast<double>(packed.Get(thirdBits));
  }
  return true;
}

}  // namespace skelvane
