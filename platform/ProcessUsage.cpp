#include "platform/ProcessUsage.h"

#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

namespace skelvane {
namespace {

// The field of /proc/self/stat holding the start time in clock ticks after boot, counted from 1.
constexpr int kStartTimeField = 22;

double Seconds(const timespec& time) { return static_cast<double>(time.tv_sec) + 1e-9 * static_cast<double>(time.tv_nsec); }

}  // namespace

ProcessUsage ProcessUsage::Now() {
  ProcessUsage usage;
  timespec cpu{};
  if (clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu) == 0) usage.cpuSeconds = Seconds(cpu);
  if (clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu) == 0) usage.threadCpuSeconds = Seconds(cpu);
  rusage counts{};
  if (getrusage(RUSAGE_SELF, &counts) == 0) {
    usage.minorFaults = counts.ru_minflt;
    usage.majorFaults = counts.ru_majflt;
  }
  return usage;
}

double ProcessUsage::SecondsSinceStart() {
  std::ifstream in("/proc/self/stat");
  std::string line;
  if (!std::getline(in, line)) return -1.0;
  // The command name (field 2) is in parentheses and may hold spaces: count fields after its end.
  const std::size_t end = line.rfind(')');
  if (end == std::string::npos) return -1.0;
  std::istringstream fields(line.substr(end + 1));
  std::string field;
  for (int index = 3; index <= kStartTimeField && fields >> field; ++index) {
    if (index < kStartTimeField) continue;
    const long ticks = sysconf(_SC_CLK_TCK);
    timespec now{};
    if (ticks <= 0 || clock_gettime(CLOCK_BOOTTIME, &now) != 0) return -1.0;
    return Seconds(now) - std::stod(field) / static_cast<double>(ticks);
  }
  return -1.0;
}

}  // namespace skelvane
