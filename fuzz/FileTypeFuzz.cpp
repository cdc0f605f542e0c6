// Fuzzes type detection and the readers: the first byte picks the file's extension, the rest is
// its content. Every record of whatever reader is made gets its timestamp read.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "datafile/CreateReader.h"
#include "datafile/FileTypeDetection.h"
#include "platform/File.h"
#include "platform/ReportError.h"

namespace {
const char* const kExtensions[] = {".kcs", ".dat", ".kse", ".kst", ".ktt", ".kts", ".kev", ".kvt", ".txt"};
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  static const std::string folder = [] {
    std::string pattern = "/tmp/skelvane-fuzz-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    skelvane::SetReportSink([](const std::string&) {});
    return pattern;
  }();
  const std::string path = folder + "/input" + kExtensions[data[0] % std::size(kExtensions)];
  {
    skelvane::File out;
    if (out.Open(path, skelvane::File::Mode::CreateWrite) != 0) std::abort();
    out.Write(data + 1, static_cast<int64_t>(size - 1));
  }
  skelvane::File file;
  if (file.Open(path, skelvane::File::Mode::Read) != 0) std::abort();
  int32_t type = 0;
  skelvane::DetectFileType(file, type);
  file.Seek(0);
  auto reader = skelvane::CreateReader(file, path);
  if (reader) {
    int64_t sum = 0;
    for (int64_t k = 0; k < static_cast<int64_t>(reader->GetNumRecords()); ++k) {
      int64_t timestamp = 0;
      if (reader->GetTimestamp(timestamp, k) != 0) __builtin_trap();
      sum += timestamp;
    }
    (void)sum;
  }
  return 0;
}
