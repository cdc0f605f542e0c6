#include "datafile/LegacyHeader.h"

#include <cstring>

#include "platform/File.h"
#include "platform/ReportError.h"
#include "platform/StatusCodes.h"

namespace skelvane {
namespace {

// While searching for the end marker the window keeps its last bytes, so a marker split between two
// reads is still found, and refills the rest from the file.
constexpr int64_t kWindowOverlap = 20;
constexpr int64_t kWindowRefill = kLegacyProbeLength - kWindowOverlap;
// The end marker is followed by one more header byte (the line break) before the first record.
constexpr int64_t kLegacyEndTrailer = 1;

}  // namespace

bool LegacyHeader::HasBegin(const char* firstBytes, int64_t count) {
  if (count <= 0) return false;
  const std::string_view text(firstBytes, static_cast<std::size_t>(count));
  return text.substr(0, text.find('\0')).find(kLegacyBeginMarker) != std::string_view::npos;
}

int32_t LegacyHeader::FindEnd(File& file, const std::string& path, const char* firstBytes, int64_t firstCount,
                              int64_t& headerSize) {
  char window[kLegacyProbeLength];
  std::memcpy(window, firstBytes, static_cast<std::size_t>(firstCount));
  int64_t valid = firstCount;
  int64_t consumed = 0;
  for (;;) {
    const std::string_view text(window, static_cast<std::size_t>(valid));
    const std::size_t at = text.find(kLegacyEndMarker);
    if (at != std::string_view::npos) {
      headerSize = consumed + static_cast<int64_t>(at + kLegacyEndMarker.size()) + kLegacyEndTrailer;
      return kStatusOk;
    }
    // A window that could not be filled means the file has ended.
    if (valid < kLegacyProbeLength) break;
    std::memmove(window, window + kWindowRefill, kWindowOverlap);
    const int64_t got = file.Read(window + kWindowOverlap, kWindowRefill);
    if (got < 0) {
      ReportFileError("Error reading legacy header; error code:", file.LastError(), path, file.LastError());
      return file.LastError();
    }
    consumed += kWindowRefill;
    valid = kWindowOverlap + got;
    if (got == 0) break;
  }
  ReportFileError("Corrupt legacy header - no %%ENDHEADER before the end of the file.  Bytes searched:",
                  consumed + valid, path, 0);
  return kStatusNoData;
}

}  // namespace skelvane
