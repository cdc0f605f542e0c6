#include "datafile/CreateReader.h"

#include <utility>

#include "datafile/FileStart.h"
#include "datafile/FileTypeDetection.h"
#include "datafile/LegacyDatFile.h"
#include "datafile/RecordFile.h"
#include "platform/File.h"
#include "platform/StatusCodes.h"

namespace skelvane {
std::unique_ptr<DataFileReader> MakeReaderForType(int32_t typeCode) {
  switch (typeCode) {
    case kFileTypeSingleElectrode: return std::make_unique<SingleElectrodeFile>();
    case kFileTypeStereotrode: return std::make_unique<StereotrodeFile>();
    case kFileTypeTimestamp: return std::make_unique<TimestampFile>();
    case kFileTypeTetrode: return std::make_unique<TetrodeFile>();
    case kFileTypeCsc: return std::make_unique<CscFile>();
    case kFileTypeKev: return std::make_unique<KevFile>();
    case kFileTypeKvt: return std::make_unique<KvtFile>();
    case kFileTypeLegacy: return std::make_unique<LegacyDatFile>();
    default: return nullptr;
  }
}

std::unique_ptr<DataFileReader> CreateReader(File& file, const std::string& path) {
  FileStart start;
  start.ReadFrom(file);

  std::unique_ptr<DataFileReader> reader;
  if (start.HasLegacyBegin()) {
    reader = MakeReaderForType(kFileTypeLegacy);
  } else {
    int32_t type = kFileTypeUnknown;
    if (DetectFileType(file, type) != kStatusOk) return nullptr;
    reader = MakeReaderForType(type);
    if (!reader) return nullptr;
  }
  if (reader->Open(std::move(file), path, start) != kStatusOk) return nullptr;
  return reader;
}

}  // namespace skelvane
