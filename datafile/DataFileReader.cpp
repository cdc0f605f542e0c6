#include "datafile/DataFileReader.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <string_view>

#include "datafile/FileTypeDetection.h"
#include "datafile/LegacyDatFile.h"
#include "platform/ReportError.h"
#include "platform/StatusCodes.h"

namespace skelvane {
namespace {

// While searching for the legacy end marker the window keeps its last bytes, so a marker split
// between two reads is still found, and refills the rest from the file.
constexpr int64_t kWindowOverlap = 20;
constexpr int64_t kWindowRefill = kLegacyProbeLength - kWindowOverlap;
// The end marker is followed by one more header byte (the line break) before the first record.
constexpr int64_t kLegacyEndTrailer = 1;

}  // namespace

DataFileReader::DataFileReader(const FileKind& kind) {
  recordSize_ = kind.recordSize;
  typeCode_ = kind.typeCode;
  timestampOffset_ = kind.timestampOffset;
}

DataFileReader::~DataFileReader() {
  std::lock_guard<std::mutex> guard(lock_);
  CloseLocked();
}

void DataFileReader::CloseLocked() {
  mapping_.Unmap();
  file_.Close();
  recordBase_ = nullptr;
  numRecords_ = 0;
  isOpen_ = false;
}

int32_t DataFileReader::Open(const std::string& path) {
  std::lock_guard<std::mutex> guard(lock_);
  if (isOpen_) return kStatusAlreadyOpen;
  const int32_t rc = OpenLocked(path);
  // A reader that failed to open is closed again, so nothing can reach a half-made mapping.
  if (rc != kStatusOk) CloseLocked();
  return rc;
}

int32_t DataFileReader::OpenLocked(const std::string& path) {
  const int32_t openError = file_.Open(path, File::Mode::Read, /*sequential=*/true);
  if (openError != 0) {
    ReportError("Error opening file; Is the file/path name correct? Win Err:", openError);
    return openError;
  }
  isOpen_ = true;
  path_ = path;

  int64_t length = file_.Length();
  if (length < 0) return file_.LastError();
  char firstBytes[kLegacyProbeLength] = {};
  const int64_t firstCount = std::max<int64_t>(file_.Read(firstBytes, kLegacyProbeLength), 0);

  int64_t headerSize = 0;
  if (!LegacyDatFile::HasLegacyBegin(firstBytes, firstCount)) {
    int32_t detected = kFileTypeUnknown;
    const int32_t detection = DetectFileType(file_, detected);
    if (detection != kStatusOk) {
      ReportError("Unable to calculate file type: Error Code - ", detection);
    } else if (detected != typeCode_) {
      return kStatusWrongType;
    }

    file_.Seek(0);
    hasFixedHeader_ = HasHeaderMarker(file_);
    if (hasFixedHeader_) {
      file_.Seek(0);
      const int64_t got = std::max<int64_t>(file_.Read(header_.Data(), kFileHeaderSize), 0);
      if (got < static_cast<int64_t>(kFileHeaderSize)) {
        ReportError("Insufficient read length.  Likely corrupt header or invalid file.  Bytes read:", got);
        return kStatusNoData;
      }
      headerSize = static_cast<int64_t>(kFileHeaderSize);
    }
  } else {
    const int32_t rc = FindLegacyHeaderEnd(firstBytes, firstCount, headerSize);
    if (rc != kStatusOk) return rc;
    file_.Seek(headerSize);
  }
  // A legacy end marker right at the end of the file leaves no room for its trailing byte.
  headerSize = std::min(headerSize, length);
  length -= headerSize;

  const int64_t wholeRecords = length / recordSize_;
  numRecords_ = static_cast<uint32_t>(std::min<int64_t>(wholeRecords, std::numeric_limits<uint32_t>::max()));
  if (length % recordSize_ != 0) {
    ReportError("Corrupt file - incomplete record encountered: Record size in bytes:", recordSize_);
  }

  const int32_t mapError = mapping_.Map(file_.Descriptor());
  if (mapError != 0) return mapError;
  recordBase_ = mapping_.Data() + headerSize;
  return kStatusOk;
}

int32_t DataFileReader::FindLegacyHeaderEnd(const char* firstBytes, int64_t firstCount, int64_t& headerSize) {
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
    const int64_t got = file_.Read(window + kWindowOverlap, kWindowRefill);
    if (got < 0) {
      ReportError("Error reading legacy header; error code:", file_.LastError());
      return file_.LastError();
    }
    consumed += kWindowRefill;
    valid = kWindowOverlap + got;
    if (got == 0) break;
  }
  ReportError("Corrupt legacy header - no %%ENDHEADER before the end of the file.  Bytes searched:",
              consumed + valid);
  return kStatusNoData;
}

int32_t DataFileReader::GetRecord(const uint8_t*& record, int64_t index) {
  std::lock_guard<std::mutex> guard(lock_);
  if (!isOpen_) {
    ReportError("Please open a file before attempting to get records.", 0);
    return kStatusNotOpen;
  }
  if (numRecords_ == 0) {
    ReportError("Empty File.  NumRecs = 0.", 0);
    return kStatusNoData;
  }
  // Out-of-range pointers would point outside the mapping; the manager checks first, this is the
  // last line of defence for direct callers.
  if (index < 0 || index >= static_cast<int64_t>(numRecords_)) {
    ReportError("Attempting to request record past end of file; record index = ", index);
    return kStatusNoData;
  }
  record = recordBase_ + index * recordSize_;
  return kStatusOk;
}

int32_t DataFileReader::GetTimestamp(int64_t& timestamp, int64_t index) {
  const uint8_t* record = nullptr;
  const int32_t rc = GetRecord(record, index);
  if (rc != kStatusOk) return rc;
  timestamp = TimestampFromRecord(record);
  return kStatusOk;
}

int64_t DataFileReader::TimestampFromRecord(const uint8_t* record) const {
  if (record == nullptr) return -1;
  int64_t timestamp;
  std::memcpy(&timestamp, record + timestampOffset_, sizeof timestamp);
  return timestamp;
}

int32_t DataFileReader::GetHeaderValue(const std::string& key, std::string& value) {
  return header_.GetHeaderValue(key, value);
}

}  // namespace skelvane
