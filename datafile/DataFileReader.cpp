#include "datafile/DataFileReader.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "datafile/FileStart.h"
#include "datafile/FileTypeDetection.h"
#include "datafile/LegacyHeader.h"
#include "platform/ReportError.h"
#include "platform/StatusCodes.h"

namespace skelvane {
namespace {

// The most bytes any kind needs from the start of a record to read its timestamp.
constexpr int64_t kMaxTimestampBytes = 16;
constexpr int64_t kNanosecondsPerSecond = 1'000'000'000;

int64_t ModifiedNanoseconds(const struct stat& status) {
  return static_cast<int64_t>(status.st_mtim.tv_sec) * kNanosecondsPerSecond + status.st_mtim.tv_nsec;
}

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
  const int32_t openError = file_.Open(path, File::Mode::Read, /*sequential=*/true);
  if (openError != 0) {
    ReportFileError("Error opening file; Is the file/path name correct? Win Err:", openError, path, openError);
    return openError;
  }
  FileStart start;
  start.ReadFrom(file_);
  const int32_t rc = OpenLocked(path, start);
  // A reader that failed to open is closed again, so nothing can reach a half-made mapping.
  if (rc != kStatusOk) CloseLocked();
  return rc;
}

int32_t DataFileReader::Open(File&& file, const std::string& path, const FileStart& start) {
  std::lock_guard<std::mutex> guard(lock_);
  if (isOpen_) return kStatusAlreadyOpen;
  file_ = std::move(file);
  const int32_t rc = OpenLocked(path, start);
  if (rc != kStatusOk) CloseLocked();
  return rc;
}

int32_t DataFileReader::OpenLocked(const std::string& path, const FileStart& start) {
  isOpen_ = true;
  path_ = path;

  // One status gives both the length and the modification time that IsIntact compares with later.
  struct stat status {};
  if (::fstat(file_.Descriptor(), &status) != 0) return errno;
  int64_t length = status.st_size;

  int64_t headerSize = 0;
  if (!start.HasLegacyBegin()) {
    int32_t detected = kFileTypeUnknown;
    const int32_t detection = DetectFileType(file_, detected);
    if (detection != kStatusOk) {
      ReportFileError("Unable to calculate file type: Error Code - ", detection, path, 0);
    } else if (detected != typeCode_) {
      return kStatusWrongType;
    }

    hasFixedHeader_ = start.HasHeaderMarker();
    if (hasFixedHeader_) {
      if (start.Count() < static_cast<int64_t>(kFileHeaderSize)) {
        ReportFileError("Insufficient read length.  Likely corrupt header or invalid file.  Bytes read:", start.Count(),
                        path, start.Error());
        return kStatusNoData;
      }
      header_.Assign(start.Bytes(), kFileHeaderSize);
      headerSize = static_cast<int64_t>(kFileHeaderSize);
    }
  } else {
    // The search for the end marker reads on from just past the bytes it is given.
    const int64_t probed = start.LegacyProbeCount();
    if (file_.Seek(probed) < 0) return file_.LastError();
    const int32_t rc = LegacyHeader::FindEnd(file_, path, start.Bytes(), probed, headerSize);
    if (rc != kStatusOk) return rc;
    file_.Seek(headerSize);
  }
  // A legacy end marker right at the end of the file leaves no room for its trailing byte.
  headerSize = std::min(headerSize, length);
  length -= headerSize;

  const int64_t wholeRecords = length / recordSize_;
  // Capping the count would hide most of the file without a word: refuse it instead.
  if (wholeRecords > kMaxRecordCount) {
    ReportFileError("Too many records in file to open it; record count:", wholeRecords, path, 0);
    return kStatusCannotCreate;
  }
  numRecords_ = static_cast<uint32_t>(wholeRecords);
  if (length % recordSize_ != 0) {
    ReportFileError("Corrupt file - incomplete record encountered: Record size in bytes:", recordSize_, path, 0);
  }

  const int32_t mapError = mapping_.Map(file_.Descriptor());
  if (mapError != 0) return mapError;
  dataOffset_ = headerSize;
  openedLength_ = status.st_size;
  openedModified_ = ModifiedNanoseconds(status);
  recordBase_ = mapping_.Data() + headerSize;
  return kStatusOk;
}

int32_t DataFileReader::GetRecord(const uint8_t*& record, int64_t index) {
  std::lock_guard<std::mutex> guard(lock_);
  if (!isOpen_) {
    ReportError("Please open a file before attempting to get records.", 0);
    return kStatusNotOpen;
  }
  if (numRecords_ == 0) {
    ReportFileError(kEmptyFileMessage, 0, path_, 0);
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

int64_t DataFileReader::ReadRecordBytes(int64_t index, void* buffer, int64_t count) {
  if (!isOpen_ || index < 0 || index >= static_cast<int64_t>(numRecords_)) return -1;
  return file_.ReadAt(dataOffset_ + index * recordSize_, buffer, std::min<int64_t>(count, recordSize_));
}

int64_t DataFileReader::ReadSpanBytes(int64_t index, void* buffer, int64_t count) {
  if (!isOpen_ || index < 0 || index >= static_cast<int64_t>(numRecords_) || count < 0) return -1;
  return file_.ReadAt(dataOffset_ + index * recordSize_, buffer, count);
}

int32_t DataFileReader::ReadTimestamp(int64_t index, int64_t& timestamp) {
  if (index < 0 || index >= static_cast<int64_t>(numRecords_)) return kStatusNoData;
  uint8_t bytes[kMaxTimestampBytes] = {};
  // The legacy offset is a marker, not a position: its timestamp is the whole 4-byte record.
  const int64_t needed = std::min<int64_t>(recordSize_, int64_t{timestampOffset_} + int64_t{sizeof timestamp});
  if (needed > kMaxTimestampBytes) return kStatusNoData;
  const int64_t got = ReadRecordBytes(index, bytes, needed);
  if (got < 0) return file_.LastError() != 0 ? file_.LastError() : kStatusNoData;
  if (got < needed) return kStatusSourceChanged;
  timestamp = TimestampFromRecord(bytes);
  return kStatusOk;
}

bool DataFileReader::IsIntact() const {
  if (mapping_.WasDamaged()) return false;
  struct stat st {};
  if (::fstat(file_.Descriptor(), &st) != 0) return true;
  if (st.st_size < openedLength_) return false;
  return st.st_size > openedLength_ || ModifiedNanoseconds(st) == openedModified_;
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
