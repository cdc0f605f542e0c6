#include "datafile/FileTypeDetection.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>

#include "datafile/FileHeader.h"
#include "datafile/FileKind.h"
#include "platform/File.h"
#include "platform/PathHelpers.h"
#include "platform/StatusCodes.h"

namespace skelvane {
namespace {

constexpr std::size_t kExtensionLength = 3;
constexpr std::string_view kDatExtension = "dat";
// Successive increasing timestamps that settle the content probe before the end of the file.
constexpr int32_t kConclusiveSteps = 99;
// A probe that reaches the end of the file needs more increasing steps than this.
constexpr int32_t kTooFewSteps = 4;

// Record layouts in the order the content probe tries them; the first whose timestamps increase wins.
constexpr int32_t kProbeOrder[] = {kFileTypeTetrode, kFileTypeStereotrode, kFileTypeSingleElectrode, kFileTypeCsc,
                                   kFileTypeKev,     kFileTypeKvt,         kFileTypeTimestamp};

bool ReadTimestamp(File& file, int64_t& timestamp) {
  uint8_t bytes[sizeof(int64_t)];
  if (file.Read(bytes, sizeof bytes) != static_cast<int64_t>(sizeof bytes)) return false;
  std::memcpy(&timestamp, bytes, sizeof timestamp);  // little-endian on every target we build for
  return true;
}

}  // namespace

bool HasHeaderMarker(File& file) {
  char bytes[kHeaderMarker.size()] = {};
  bool found = false;
  if (file.Seek(0) == 0) {
    const int64_t n = file.Read(bytes, static_cast<int64_t>(sizeof bytes));
    found = n == static_cast<int64_t>(sizeof bytes) && std::string_view(bytes, sizeof bytes) == kHeaderMarker;
  }
  file.Seek(0);
  return found;
}

bool TimestampsIncrease(File& file, int32_t recordSize, int32_t timestampOffset, int64_t start) {
  if (recordSize < static_cast<int32_t>(sizeof(int64_t))) return false;
  if (file.Seek(start + timestampOffset) < 0) return false;
  int64_t previous = 0;
  if (!ReadTimestamp(file, previous)) return false;

  int32_t steps = 0;
  for (;;) {
    if (file.Seek(recordSize - static_cast<int64_t>(sizeof(int64_t)), File::Origin::Current) < 0) break;
    int64_t current = 0;
    if (!ReadTimestamp(file, current)) break;
    if (current <= previous) return false;
    previous = current;
    if (++steps == kConclusiveSteps) {
      file.Seek(0);
      return true;
    }
  }
  if (steps <= kTooFewSteps) return false;
  file.Seek(0);
  return true;
}

int32_t DetectTypeByContent(File& file) {
  const int64_t start = file.Position();
  if (start >= 0) {
    for (const int32_t code : kProbeOrder) {
      const FileKind kind = FileKindOf(code);
      if (TimestampsIncrease(file, kind.recordSize, kind.timestampOffset, start)) return code;
    }
  }
  file.Seek(0);
  return kFileTypeUnknown;
}

int32_t DetectFileType(File& file, int32_t& type) {
  std::string name = FileNameOf(file.Path());
  std::transform(name.begin(), name.end(), name.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  const std::string extension = name.size() > kExtensionLength ? name.substr(name.size() - kExtensionLength) : name;

  for (const FileKind& kind : kFileKinds) {
    if (extension == kind.extension) {
      type = kind.typeCode;
      return kStatusOk;
    }
  }
  if (extension != kDatExtension) return kStatusFailed;

  // A ".dat" file may be any kind: a record size that alone divides the data length decides.
  int64_t length = file.Length();
  if (length < 0) {
    type = kFileTypeUnknown;
    return kStatusFailed;
  }
  int64_t headerSize = 0;
  if (HasHeaderMarker(file)) {
    length -= static_cast<int64_t>(kFileHeaderSize);
    headerSize = static_cast<int64_t>(kFileHeaderSize);
  }
  int32_t fits = 0;
  int32_t fitting = kFileTypeUnknown;
  if (length >= 0) {
    for (const FileKind& kind : kFileKinds) {
      if (length % kind.recordSize == 0) {
        ++fits;
        fitting = kind.typeCode;
      }
    }
  }
  if (fits == 1) {
    type = fitting;
    return kStatusOk;
  }

  file.Seek(headerSize);
  type = DetectTypeByContent(file);
  return type != kFileTypeUnknown ? kStatusOk : kStatusFailed;
}

}  // namespace skelvane
