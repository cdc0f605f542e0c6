#include "platform/FrameHeap.h"

#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>

namespace skelvane {
namespace {

// Every frame builds and drops buffers of a few megabytes. The allocator's defaults hand such blocks
// back to the system and map them afresh next time, and on these virtual machines a fault per page of
// a new mapping costs more than the frame's own work on it: blocks up to this size come from the
// heap, and the heap keeps up to the second figure free for the next frame.
constexpr int kLargestHeapBlock = 32 << 20;
constexpr int kHeapKeptFree = 64 << 20;
// The heap is warmed in blocks well below the largest it hands out.
constexpr std::size_t kWarmBlock = std::size_t{4} << 20;
static_assert(FrameHeap::kWarmBytes < static_cast<std::size_t>(kHeapKeptFree), "the heap keeps what it is warmed by");

std::atomic<bool> keeping{false};  // KeepFrameBuffers was called

}  // namespace

void FrameHeap::KeepFrameBuffers() {
  mallopt(M_MMAP_THRESHOLD, kLargestHeapBlock);
  mallopt(M_TRIM_THRESHOLD, kHeapKeptFree);
  // One heap for every thread: the helpers that read a frame's records get their buffers from the
  // pages warmed here, not from a heap of their own that no one warmed.
  mallopt(M_ARENA_MAX, 1);
  keeping = true;
}

std::vector<void*> FrameHeap::TakeCold(std::size_t bytes) {
  std::vector<void*> blocks;
  // A heap left to the allocator's defaults would hand blocks this large straight back to the system.
  if (!keeping) return blocks;
  for (std::size_t taken = 0; taken < bytes; taken += kWarmBlock) {
    void* block = std::malloc(kWarmBlock);
    if (block == nullptr) break;
    blocks.push_back(block);
  }
  return blocks;
}

// A fresh process's first frames took a page fault for every page of their buffers: the first frame
// after opening 16 recordings over 3,000, half its time. Each page is written here once, by a plain
// store: asking the kernel to put the pages in place (MADV_POPULATE_WRITE) spares the faults but not
// the cost of the first store to each page on these virtual machines, which the frame then paid.
// On these machines the kernel's own first write to a page costs apart from the program's: a
// 4 MiB pread into pages only the program had written took 5.5-7.6 ms, 0.5 ms once the kernel had
// written them too. The records a frame reads land in these pages, so the kernel writes each of them
// once as well, reading zeros into it.
void FrameHeap::WarmAndGiveBack(std::vector<void*> blocks) {
  const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  for (void* block : blocks) {
    auto* bytes = static_cast<volatile uint8_t*>(block);
    for (std::size_t at = 0; at < kWarmBlock; at += page) bytes[at] = 0;
  }
  const int zeros = open("/dev/zero", O_RDONLY | O_CLOEXEC);
  for (void* block : blocks) {
    auto* bytes = static_cast<uint8_t*>(block);
    for (std::size_t at = 0; zeros >= 0 && at < kWarmBlock;) {
      const ssize_t got = read(zeros, bytes + at, kWarmBlock - at);
      if (got <= 0) break;  // the stores above have put the pages in place all the same
      at += static_cast<std::size_t>(got);
    }
  }
  if (zeros >= 0) close(zeros);
  for (void* block : blocks) std::free(block);
}

}  // namespace skelvane
