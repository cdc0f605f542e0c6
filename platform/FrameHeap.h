#pragma once
// Keeps the buffers a frame builds and drops (columns, vertices, masks, records read) in the heap
// from one frame to the next instead of handing them back to the system, and gives the heap its
// pages before the first frame that needs them. Set once at start by the viewer and by the display
// benches that time what it does.

#include <cstddef>
#include <vector>

namespace skelvane {

class FrameHeap {
 public:
  /// What the heap is warmed by: about what the frames of a full window keep beyond a frame of an
  /// empty one, the records each plot keeps for its next read included (up to about 1.5 MB a plot
  /// for the bars drawn from records, at 16 plots).
  static constexpr std::size_t kWarmBytes = std::size_t{48} << 20;

  /// Blocks up to a few tens of megabytes come from the heap, and the heap keeps as much free.
  static void KeepFrameBuffers();
  /// Takes `bytes` from the calling thread's heap in blocks whose pages are not yet in place: they
  /// cost nothing until written. Hand them to WarmAndGiveBack, on any thread. None before
  /// KeepFrameBuffers: the heap would not keep them.
  static std::vector<void*> TakeCold(std::size_t bytes = kWarmBytes);
  /// Writes every page of `blocks`, from the program and from the kernel, and hands them back to the
  /// heap they came from, which keeps them with their pages for the frames to come (KeepFrameBuffers)
  /// and hands them to every thread.
  static void WarmAndGiveBack(std::vector<void*> blocks);
  /// Both on the calling thread.
  static void Warm(std::size_t bytes = kWarmBytes) { WarmAndGiveBack(TakeCold(bytes)); }
};

}  // namespace skelvane
