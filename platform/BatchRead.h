#pragma once
// Many reads at scattered offsets of one descriptor handed to the kernel together (io_uring), not a
// system call each: on these virtual machines a call costs about a microsecond before it copies a
// byte, and settling a frame's bar ends reads thousands of pieces of a kilobyte. Where the kernel
// refuses the ring (too old, or a sandbox that forbids it) the reads go one pread at a time, with
// the same results.

#include <cstdint>
#include <span>

namespace skelvane {

class BatchRead {
 public:
  struct Request {
    int64_t offset;
    int64_t count;
    uint8_t* buffer;
  };
  /// Reads every request in full, retrying interrupted and short reads: 0; kStatusSourceChanged
  /// when the file ended before a request's last byte; or the errno of a failed read. Every read
  /// has finished, one way or the other, when this returns. Safe on several threads at once.
  static int32_t ReadAll(int descriptor, std::span<const Request> requests);
  /// True when reads go through the ring (false after the kernel refused one), for the benches.
  static bool UsesRing();
  /// Turns the ring off for the rest of the process (tests compare both ways).
  static void DisableRing();
};

}  // namespace skelvane
