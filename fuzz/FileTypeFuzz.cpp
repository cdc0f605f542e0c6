// Fuzzes type detection and the readers: the first byte picks the file's extension, the rest is
// its content. Every record of whatever reader is made gets its timestamp read.
#include <cstddef>
#include <cstdint>
#include <string>

#include "datafile/CreateReader.h"
#include "datafile/FileTypeDetection.h"
#include "fuzz/FuzzScratch.h"
#include "platform/File.h"

namespace {
const char* const kExtensions[] = {".kcs", ".dat", ".kse", ".kst", ".ktt", ".kts", ".kev", ".kvt", ".txt"};
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string path = skelvane::fuzz::FuzzScratch::WriteFile(
      std::string("input") + kExtensions[data[0] % std::size(kExtensions)], data + 1, size - 1);
  skelvane::File file;
  if (file.Open(path, skelvane::File::Mode::Read) != 0) std::abort();
  int32_t type = 0;
  skelvane::DetectFileType(file, type);
  file.Seek(0);
  auto reader = skelvane::CreateReader(file, path);
  if (reader) {
    uint64_t sum = 0;  // only keeps the reads; unsigned, so it may wrap
    for (int64_t k = 0; k < static_cast<int64_t>(reader->GetNumRecords()); ++k) {
      int64_t timestamp = 0;
      if (reader->GetTimestamp(timestamp, k) != 0) __builtin_trap();
      sum += static_cast<uint64_t>(timestamp);
    }
    (void)sum;
  }
  return 0;
}
