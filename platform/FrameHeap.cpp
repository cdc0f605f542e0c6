#include "platform/FrameHeap.h"

#include <malloc.h>

namespace skelvane {
namespace {

// Every frame builds and drops buffers of a few megabytes. The allocator's defaults hand such blocks
// back to the system and map them afresh next time, and on these virtual machines a fault per page of
// a new mapping costs more than the frame's own work on it: blocks up to this size come from the
// heap, and the heap keeps up to the second figure free for the next frame.
constexpr int kLargestHeapBlock = 32 << 20;
constexpr int kHeapKeptFree = 64 << 20;

}  // namespace

void FrameHeap::KeepFrameBuffers() {
  mallopt(M_MMAP_THRESHOLD, kLargestHeapBlock);
  mallopt(M_TRIM_THRESHOLD, kHeapKeptFree);
}

}  // namespace skelvane
