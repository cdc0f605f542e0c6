#pragma once
// The bytes of one kept state of a spaced high-pass's running sums in a filtered summary: a slot of
// fixed size per state, each sum in as few bits as its bound for the high-pass's length needs (a
// phase's three sums in whole bytes), and a head that says whether the slot is held and how wide its
// sums are. SourceSummary writes the slots on the pass that builds the summary and reads them back
// for the bar ends resumed from them.

#include <cstdint>

#include "filter/SpacedHighPass.h"

namespace skelvane {

class HighPassStateCodec {
 public:
  /// Bytes of a slot's head: held, spacing, and the bits of each phase's first, second and third sum.
  static constexpr int64_t kHeadBytes = 5;
  /// The largest slot: every phase of the widest spacing in 16 bytes.
  static constexpr int64_t kMostSlotBytes = kHeadBytes + SpacedHighPass::kMostSpacing * 16;

  /// Tells summaries whose states are laid out so from those of earlier layouts, in their keys.
  static constexpr const char* kKeyTag = "w";

  /// The codec of the sums of `highPass`.
  explicit HighPassStateCodec(const SpacedHighPass& highPass);

  /// Bytes of one of its slots.
  int64_t SlotBytes() const { return kHeadBytes + spacing_ * ((firstBits_ + secondBits_ + thirdBits_ + 7) / 8); }
  /// Writes `sums` (its phases below the spacing) into `slot`, held.
  void Encode(const SpacedHighPass::Running& sums, uint8_t* slot) const;

  /// Whether slots of `bytes` can be read at all (a kept file's size that is not is damaged).
  static bool Readable(int64_t bytes) { return bytes > kHeadBytes && bytes <= kMostSlotBytes; }
  /// Reads the slot of `bytes` at `slot` into `sums` (phases from the spacing on 0); false when it is
  /// not held, or its head does not fit its size (a garbled file's).
  static bool Decode(const uint8_t* slot, int64_t bytes, SpacedHighPass::Running& sums);
  /// Whether the slot of `bytes` at `slot` is held (Decode may still refuse a garbled one).
  static bool Held(const uint8_t* slot, int64_t bytes);

 private:
  int32_t spacing_;
  int32_t firstBits_;
  int32_t secondBits_;
  int32_t thirdBits_;
};

}  // namespace skelvane
