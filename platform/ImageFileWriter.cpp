#include "platform/ImageFileWriter.h"

#include "platform/AtomicFile.h"
#include "platform/ReportError.h"
#include "platform/StatusCodes.h"

namespace skelvane {

int32_t ImageFileWriter::WriteWhole(const std::string& path, std::span<const uint8_t> bytes,
                                    const Messages& messages) {
  AtomicFile file;
  if (const int32_t rc = file.Open(path); rc != 0) {
    ReportFileError(messages.createFailed, 0, path, rc);
    return rc;
  }
  file.Write(bytes.data(), static_cast<int64_t>(bytes.size()));
  if (const int32_t rc = file.Commit(); rc != 0) {
    ReportFileError(messages.writeFailed, 0, path, rc);
    return rc;
  }
  return kStatusOk;
}

}  // namespace skelvane
