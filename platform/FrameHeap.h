#pragma once
// Keeps the buffers a frame builds and drops (columns, vertices, masks, records read) in the heap
// from one frame to the next instead of handing them back to the system. Set once at start by the
// viewer and by the display benches that time what it does.

namespace skelvane {

class FrameHeap {
 public:
  /// Blocks up to a few tens of megabytes come from the heap, and the heap keeps as much free.
  static void KeepFrameBuffers();
};

}  // namespace skelvane
