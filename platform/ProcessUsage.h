#pragma once
// What this process has used so far: processor time over all its threads and page faults, and how
// long ago it started. The window's frame timing reads it around each frame, the latency log for the
// first picture after start.

#include <cstdint>

namespace skelvane {

struct ProcessUsage {
  double cpuSeconds = 0.0;  // user and system time of every thread of the process
  int64_t minorFaults = 0;  // pages mapped without a read from the disk
  int64_t majorFaults = 0;  // pages that had to be read
  double threadCpuSeconds = 0.0;  // user and system time of the calling thread alone

  /// The process's usage now.
  static ProcessUsage Now();
  /// Seconds since the process started (exec), at the kernel's tick resolution; negative when unknown.
  static double SecondsSinceStart();

  /// Usage from `earlier` to this one.
  ProcessUsage Since(const ProcessUsage& earlier) const {
    return {cpuSeconds - earlier.cpuSeconds, minorFaults - earlier.minorFaults, majorFaults - earlier.majorFaults,
            threadCpuSeconds - earlier.threadCpuSeconds};
  }
};

}  // namespace skelvane
