#include "datafile/CreateReader.h"

#include <algorithm>

#include "datafile/FileTypeDetection.h"
#include "datafile/LegacyDatFile.h"
#include "datafile/LegacyHeader.h"
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
  char firstBytes[kLegacyProbeLength] = {};
  const int64_t count = std::max<int64_t>(file.Read(firstBytes, kLegacyProbeLength), 0);
  file.Seek(0);

  std::unique_ptr<DataFileReader> reader;
  if (LegacyHeader::HasBegin(firstBytes, count)) {
    reader = MakeReaderForType(kFileTypeLegacy);
  } else {
    int32_t type = kFileTypeUnknown;
    if (DetectFileType(file, type) != kStatusOk) return nullptr;
    reader = MakeReaderForType(type);
    if (!reader) return nullptr;
  }
  file.Close();
  if (reader->Open(path) != kStatusOk) return nullptr;
  return reader;
}

}  // namespace skelvane
