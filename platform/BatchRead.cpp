#include "platform/BatchRead.h"

#include <liburing.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <string_view>
#include <thread>

#include "platform/File.h"
#include "platform/ScratchPool.h"
#include "platform/StatusCodes.h"

namespace skelvane {
namespace {

// Fewer requests than this go one pread at a time: a ring saves nothing on one or two.
constexpr std::size_t kFewestForRing = 3;
// Requests in flight at once (the ring's submission queue).
constexpr unsigned kRingEntries = 256;

// SKELVANE_READ_RING=0 reads one pread at a time from the start, to measure what the ring saves (or
// should a kernel's ring misbehave).
bool RingWanted() {
  const char* wanted = std::getenv("SKELVANE_READ_RING");
  return wanted == nullptr || std::string_view(wanted) != "0";
}

std::atomic<bool> gRingRefused{!RingWanted()};

struct Ring {
  io_uring ring{};
  bool ready = false;
  Ring() {
    ready = io_uring_queue_init(kRingEntries, &ring, 0) == 0;
    if (!ready) gRingRefused.store(true, std::memory_order_relaxed);
  }
  ~Ring() {
    if (ready) io_uring_queue_exit(&ring);
  }
  Ring(const Ring&) = delete;
  Ring& operator=(const Ring&) = delete;
};

// One ring per thread reading at once, kept between calls (making one costs a tenth of a millisecond,
// and holds a descriptor and some 30 KB): as many as the machine runs threads.
ScratchPool<Ring>& Rings() {
  static ScratchPool<Ring> rings(std::clamp(std::thread::hardware_concurrency(), 4u, 64u));
  return rings;
}

// The rest of a request from byte `done` on, by pread: 0, kStatusSourceChanged or an errno.
int32_t ReadRest(int descriptor, const BatchRead::Request& request, int64_t done) {
  const int64_t rest = request.count - done;
  if (rest <= 0) return kStatusOk;
  const int64_t got = File::ReadFullyAt(descriptor, request.buffer + done, rest, request.offset + done);
  if (got < 0) return static_cast<int32_t>(-got);
  return got < rest ? kStatusSourceChanged : kStatusOk;
}

int32_t ReadOneByOne(int descriptor, std::span<const BatchRead::Request> requests) {
  for (const BatchRead::Request& request : requests) {
    if (const int32_t rc = ReadRest(descriptor, request, 0); rc != kStatusOk) return rc;
  }
  return kStatusOk;
}

}  // namespace

int32_t BatchRead::ReadAll(int descriptor, std::span<const Request> requests) {
  if (requests.size() < kFewestForRing || gRingRefused.load(std::memory_order_relaxed)) {
    return ReadOneByOne(descriptor, requests);
  }
  ScratchPool<Ring>::Lease lease = Rings().Take();
  io_uring& ring = lease->ring;
  int32_t result = kStatusOk;
  for (std::size_t first = 0; first < requests.size();) {
    if (!lease->ready) return ReadOneByOne(descriptor, requests.subspan(first));
    // Queue as many as the ring holds and wait for every one the kernel took before the next lot:
    // no read may still be writing into a buffer once this returns.
    std::size_t queued = 0;
    for (; first + queued < requests.size(); ++queued) {
      io_uring_sqe* entry = io_uring_get_sqe(&ring);
      if (entry == nullptr) break;
      const Request& request = requests[first + queued];
      // A request longer than one read takes is finished by hand, as a short read is.
      const auto count = static_cast<unsigned>(std::min<int64_t>(request.count, int64_t{1} << 30));
      io_uring_prep_read(entry, descriptor, request.buffer, count, static_cast<uint64_t>(request.offset));
      io_uring_sqe_set_data64(entry, first + queued);
    }
    // Reads of pages in the page cache complete within the submission; the rest are waited for
    // below, one by one, so that a kernel that took only some of them is not waited on for all.
    int submitted = 0;
    do {
      submitted = io_uring_submit(&ring);
    } while (submitted == -EINTR);
    auto taken = static_cast<std::size_t>(std::max(submitted, 0));
    for (std::size_t waiting = taken; waiting > 0;) {
      io_uring_cqe* completion = nullptr;
      const int rc = io_uring_wait_cqe(&ring, &completion);
      if (rc == -EINTR || rc == -EAGAIN) continue;
      if (rc < 0) {
        // The ring itself failed (its memory or descriptor, not a read): nothing more goes to it.
        lease->ready = false;
        gRingRefused.store(true, std::memory_order_relaxed);
        return -rc;
      }
      const auto index = static_cast<std::size_t>(io_uring_cqe_get_data64(completion));
      const int res = completion->res;
      io_uring_cqe_seen(&ring, completion);
      --waiting;
      if (result != kStatusOk || index >= requests.size()) continue;
      const Request& request = requests[index];
      if (res >= 0) {
        result = ReadRest(descriptor, request, std::min<int64_t>(res, request.count));
      } else if (res == -EINTR || res == -EAGAIN) {
        result = ReadRest(descriptor, request, 0);
      } else {
        result = -res;
      }
    }
    if (result != kStatusOk) return result;
    if (taken < queued) {
      // The kernel took only some (or refused the ring): the rest are read by hand, and the entries
      // it left queued never go to it, for this ring is not used again.
      lease->ready = false;
      gRingRefused.store(true, std::memory_order_relaxed);
      if (result = ReadOneByOne(descriptor, requests.subspan(first + taken, queued - taken)); result != kStatusOk) {
        return result;
      }
    }
    first += queued;
  }
  return result;
}

bool BatchRead::UsesRing() { return !gRingRefused.load(std::memory_order_relaxed); }

void BatchRead::DisableRing() { gRingRefused.store(true, std::memory_order_relaxed); }

}  // namespace skelvane
