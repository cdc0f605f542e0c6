#include "display/CscPlotProperties.h"

#include <bit>
#include <cstring>

#include "platform/File.h"
#include "platform/ReportError.h"
#include "platform/StatusCodes.h"

namespace skelvane {
namespace {

static_assert(std::endian::native == std::endian::little, "the properties record is stored in host byte order");

constexpr int64_t kFieldSize = 4;

}  // namespace

int32_t CscPlotProperties::Read(File& file) {
  // Fields read before a short one keep their new values, as the record is read field by field.
  for (void* field : {static_cast<void*>(&traceColour), static_cast<void*>(&drawTrace),
                      static_cast<void*>(&drawPoints), static_cast<void*>(&traceLineWidth),
                      static_cast<void*>(&pointSize)}) {
    uint8_t bytes[kFieldSize];
    const int64_t got = file.Read(bytes, kFieldSize);
    if (got < 0) {
      ReportError("Error Reading In CSC Plot Properties From File, Error = ", file.LastError());
      return file.LastError();
    }
    if (got < kFieldSize) {
      ReportError("Error Reading In CSC Plot Properties From File", 0);
      return kStatusFailed;
    }
    std::memcpy(field, bytes, kFieldSize);
  }
  return kStatusOk;
}

int32_t CscPlotProperties::Write(File& file) const {
  uint8_t record[kRecordSize];
  std::memcpy(record + 0, &traceColour, kFieldSize);
  std::memcpy(record + 4, &drawTrace, kFieldSize);
  std::memcpy(record + 8, &drawPoints, kFieldSize);
  std::memcpy(record + 12, &traceLineWidth, kFieldSize);
  std::memcpy(record + 16, &pointSize, kFieldSize);
  if (!file.Write(record, kRecordSize)) {
    ReportError("Error Writing CSC Plot Properties To File, Error = ", file.LastError());
    return file.LastError();
  }
  return kStatusOk;
}

}  // namespace skelvane
