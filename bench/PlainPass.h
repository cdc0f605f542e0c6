#pragma once
// The baseline of every summary-build figure: the same files read the same way (pread, 1 MiB at a
// time) on the same worker threads, every sample summed. Used by CanvasRedrawBench and SummaryCacheBench.

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <vector>

#include "datafile/CscRecord.h"
#include "datafile/IDataSourceManager.h"
#include "platform/File.h"
#include "summary/SummaryWorkerPool.h"

namespace skelvane::bench {

/// Sum of every sample of the records of `layout`, read in 1 MiB blocks.
inline int64_t SumFile(const RecordLayout& layout) {
  File file;
  if (file.Open(layout.path, File::Mode::Read, true) != 0) return 0;
  const int64_t perRead = (1 << 20) / layout.recordSize;
  std::vector<uint8_t> buffer(static_cast<std::size_t>(perRead * layout.recordSize));
  int64_t sum = 0;
  for (int64_t first = 0; first < layout.numRecords; first += perRead) {
    const int64_t count = std::min(perRead, layout.numRecords - first);
    const ssize_t got = ::pread(file.Descriptor(), buffer.data(), static_cast<std::size_t>(count * layout.recordSize),
                                layout.dataOffset + first * layout.recordSize);
    if (got != count * layout.recordSize) return sum;
    for (int64_t r = 0; r < count; ++r) {
      int16_t samples[kSamplesPerRecord];
      std::memcpy(samples, buffer.data() + r * layout.recordSize + kCscSamplesOffset, sizeof samples);
      for (const int16_t v : samples) sum += v;
    }
  }
  return sum;
}

/// SumFile of every layout, one task per file on the summary worker pool; the total of the sums.
inline int64_t SumFilesOnWorkers(const std::vector<RecordLayout>& layouts) {
  std::atomic<int64_t> total{0};
  std::atomic<int32_t> left{static_cast<int32_t>(layouts.size())};
  std::mutex mutex;
  std::condition_variable done;
  for (const RecordLayout& layout : layouts) {
    SummaryWorkerPool::Instance().Submit([&, layout] {
      total += SumFile(layout);
      std::lock_guard lock(mutex);
      if (--left == 0) done.notify_all();
    });
  }
  std::unique_lock lock(mutex);
  done.wait(lock, [&] { return left.load() == 0; });
  return total.load();
}

}  // namespace skelvane::bench
