#include "spikes/SpikeFile.h"

#include <algorithm>
#include <string_view>

#include "datafile/FileHeader.h"
#include "platform/PathHelpers.h"
#include "platform/ReportError.h"
#include "platform/StatusCodes.h"

namespace skelvane {
namespace {

constexpr const char* kOpenFailedMessage = "Error opening spike file:";
constexpr const char* kEmptyMessage = "Not a spike file, it is empty:";
constexpr const char* kCscMessage = "Not a spike file but a CSC recording:";
constexpr const char* kNoMarkerMessage = "Not a spike file, it has no Kestrelon header:";
constexpr const char* kShortHeaderMessage =
    "Not a spike file, it ends inside its 16384-byte header; file size in bytes: ";  // + the size
constexpr const char* kNoRecordSizeMessage = "Not a spike file, its header has no -RecordSize:";
constexpr const char* kBadRecordSizeMessage = "Spike record size is not 48 + 64 bytes per channel; RecordSize = ";
constexpr const char* kTooManyChannelsMessage = "Spike record size gives more than 64 channels; RecordSize = ";
constexpr const char* kRecordSizeWordMessage = "Spike file header's -RecordSize is not a number:";
constexpr const char* kNoAlignmentMessage = "Spike file header has no -AlignmentPt:";
constexpr const char* kBadAlignmentMessage = "Alignment point outside the 32-point spike window; AlignmentPt = ";
constexpr const char* kAlignmentWordMessage = "Spike file header's -AlignmentPt is not a number:";
constexpr const char* kCutShortMessage = "Spike file cut short, read up to its last whole record; bytes after it: ";
constexpr const char* kReadFailedMessage = "Error reading spike file:";
constexpr const char* kChangedMessage = "Spike file changed or was truncated while open:";

// The extension of a recording, which shares the header marker with spike files.
constexpr std::string_view kCscExtension = ".kcs";

std::string LowerExtension(const std::string& path) {
  const std::string name = FileNameOf(path);
  const std::size_t dot = name.rfind('.');
  std::string extension = dot == std::string::npos ? std::string() : name.substr(dot);
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c); });
  return extension;
}

}  // namespace

int32_t SpikeFile::ChannelsForRecordSize(int64_t recordSize) {
  if (recordSize <= SpikeFileFormat::kSamplesOffset) return 0;
  const int64_t perChannel = SpikeRecords::RecordSizeFor(1) - SpikeFileFormat::kSamplesOffset;
  const int64_t sampleBytes = recordSize - SpikeFileFormat::kSamplesOffset;
  if (sampleBytes % perChannel != 0) return 0;
  // Checked before dividing into an int32: a header may state any size.
  if (sampleBytes / perChannel > kMaxChannels) return kMaxChannels + 1;
  return static_cast<int32_t>(sampleBytes / perChannel);
}

int32_t SpikeFile::ChannelsForExtension(const std::string& path) {
  return SpikeFileFormat::ChannelsForExtension(LowerExtension(path));
}

bool SpikeFile::IsMeantAsSpikeFile(const std::string& path) {
  if (ChannelsForExtension(path) != 0) return true;
  if (LowerExtension(path) == kCscExtension) return false;
  File file;
  if (file.Open(path, File::Mode::Read, true) != 0) return false;
  std::string bytes(static_cast<std::size_t>(kHeaderSize), '\0');
  const int64_t got = File::ReadFullyAt(file.Descriptor(), bytes.data(), kHeaderSize, 0);
  if (got <= 0) return false;
  bytes.resize(static_cast<std::size_t>(got));
  return HeaderMarksSpikeFile(bytes);
}

bool SpikeFile::HeaderMarksSpikeFile(std::string_view firstBytes) {
  if (!firstBytes.starts_with(kHeaderMarker)) return false;
  const SpikeFileHeader header(firstBytes);
  return header.Values(SpikeFileFormat::kRecordSizeKey).has_value() && header.Values(SpikeFileFormat::kAlignmentKey).has_value();
}

int32_t SpikeFile::Refuse(int32_t status, const std::string& message, int errorNumber) {
  ReportFileError(message, 0, path_, errorNumber);
  Close();
  return status;
}

int32_t SpikeFile::Open(const std::string& path) {
  Close();
  path_ = path;
  if (const int32_t rc = file_.Open(path, File::Mode::Read, true); rc != 0) {
    return Refuse(rc, kOpenFailedMessage, rc);
  }
  const int64_t length = file_.Length();
  if (length < 0) return Refuse(file_.LastError(), kReadFailedMessage, file_.LastError());
  if (length == 0) return Refuse(kStatusNoData, kEmptyMessage);
  const std::string extension = LowerExtension(path);
  if (extension == kCscExtension) return Refuse(kStatusWrongType, kCscMessage);

  std::string bytes(static_cast<std::size_t>(std::min(length, kHeaderSize)), '\0');
  const int64_t got = File::ReadFullyAt(file_.Descriptor(), bytes.data(), static_cast<int64_t>(bytes.size()), 0);
  if (got < 0) return Refuse(static_cast<int32_t>(-got), kReadFailedMessage, static_cast<int>(-got));
  bytes.resize(static_cast<std::size_t>(got));
  if (!std::string_view(bytes).starts_with(kHeaderMarker)) return Refuse(kStatusWrongType, kNoMarkerMessage);
  if (length < kHeaderSize) return Refuse(kStatusNoData, kShortHeaderMessage + std::to_string(length));
  header_ = SpikeFileHeader(bytes);

  if (const int32_t rc = CheckHeader(extension); rc != kStatusOk) return rc;
  numSpikes_ = (length - kHeaderSize) / recordSize_;
  trailingBytes_ = (length - kHeaderSize) % recordSize_;
  // The whole records are sound: a file cut short loses only its last, partial one.
  if (trailingBytes_ != 0) ReportFileError(kCutShortMessage + std::to_string(trailingBytes_), 0, path_, 0);
  return kStatusOk;
}

int32_t SpikeFile::CheckHeader(const std::string& extension) {
  // Numbers go into the text itself: a 0 would be left out as a report's number.
  const auto recordSize = header_.IntegerValue(SpikeFileFormat::kRecordSizeKey);
  if (!header_.Values(SpikeFileFormat::kRecordSizeKey)) return Refuse(kStatusWrongType, kNoRecordSizeMessage);
  if (!recordSize) return Refuse(kStatusWrongType, kRecordSizeWordMessage);
  if (ChannelsForRecordSize(*recordSize) == 0) {
    return Refuse(kStatusWrongType, kBadRecordSizeMessage + std::to_string(*recordSize));
  }
  if (ChannelsForRecordSize(*recordSize) > kMaxChannels) {
    return Refuse(kStatusWrongType, kTooManyChannelsMessage + std::to_string(*recordSize));
  }
  recordSize_ = static_cast<int32_t>(*recordSize);
  channels_ = ChannelsForRecordSize(*recordSize);

  const int32_t named = ChannelsForExtension(path_);
  if (named != 0 && named != channels_) {
    const std::string message = "Spike record size does not match the file's extension: a " + extension +
                                " file holds " + std::to_string(named) + " channels (RecordSize " +
                                std::to_string(SpikeRecords::RecordSizeFor(named)) +
                                "); RecordSize = " + std::to_string(recordSize_);
    return Refuse(kStatusWrongType, message);
  }
  // Each channel came from one data file, and the header names them all.
  const std::size_t sources = header_.SourceFiles().size();
  if (sources != 0 && sources != static_cast<std::size_t>(channels_)) {
    const std::string message = "Spike record size does not match the header: it names " + std::to_string(sources) +
                                " data files; RecordSize = " + std::to_string(recordSize_);
    return Refuse(kStatusWrongType, message);
  }

  const auto alignment = header_.IntegerValue(SpikeFileFormat::kAlignmentKey);
  if (!header_.Values(SpikeFileFormat::kAlignmentKey)) return Refuse(kStatusWrongType, kNoAlignmentMessage);
  if (!alignment) return Refuse(kStatusWrongType, kAlignmentWordMessage);
  if (*alignment < 1 || *alignment > SpikeFileFormat::kPoints) {
    return Refuse(kStatusWrongType, kBadAlignmentMessage + std::to_string(*alignment));
  }
  alignmentPt_ = static_cast<int32_t>(*alignment);
  thresholds_ = header_.IntegerValues(SpikeFileFormat::kThresholdKey);
  return kStatusOk;
}

void SpikeFile::Close() {
  file_.Close();
  header_ = SpikeFileHeader();
  channels_ = 0;
  recordSize_ = 0;
  numSpikes_ = 0;
  trailingBytes_ = 0;
  alignmentPt_ = 0;
  thresholds_.clear();
}

int32_t SpikeFile::Read(int64_t first, int64_t count, std::vector<uint8_t>& buffer, SpikeRecords& records) const {
  if (!IsOpen() || first < 0 || count < 0 || first > numSpikes_ || count > numSpikes_ - first) return kStatusNoData;
  const int64_t bytes = count * recordSize_;
  buffer.resize(static_cast<std::size_t>(bytes));
  const int64_t got = File::ReadFullyAt(file_.Descriptor(), buffer.data(), bytes, kHeaderSize + first * recordSize_);
  if (got < 0) {
    ReportFileError(kReadFailedMessage, 0, path_, static_cast<int>(-got));
    return static_cast<int32_t>(-got);
  }
  if (got < bytes) {
    ReportFileError(kChangedMessage, 0, path_, 0);
    return kStatusSourceChanged;
  }
  records = SpikeRecords(buffer.data(), count, channels_);
  return kStatusOk;
}

int32_t SpikeFile::ReadTimestamp(int64_t index, int64_t& timestamp) const {
  std::vector<uint8_t> buffer;
  SpikeRecords records;
  if (const int32_t rc = Read(index, 1, buffer, records); rc != kStatusOk) return rc;
  timestamp = records.Timestamp(0);
  return kStatusOk;
}

int32_t SpikeFile::ForEachBlock(int64_t first, int64_t end, const BlockVisitor& visit) const {
  if (!IsOpen() || first < 0 || end > numSpikes_ || first > end) return kStatusNoData;
  const int64_t perBlock = std::max<int64_t>(1, kReadBlockBytes / recordSize_);
  std::vector<uint8_t> buffer;
  SpikeRecords records;
  for (int64_t at = first; at < end; at += perBlock) {
    if (const int32_t rc = Read(at, std::min(perBlock, end - at), buffer, records); rc != kStatusOk) return rc;
    if (!visit(at, records)) break;
  }
  return kStatusOk;
}

int64_t SpikeFile::FirstAtOrAfter(int64_t time) const {
  int64_t low = 0;
  int64_t high = numSpikes_;
  while (low < high) {
    const int64_t middle = low + (high - low) / 2;
    int64_t stamp = 0;
    if (ReadTimestamp(middle, stamp) != kStatusOk) return numSpikes_;
    if (stamp < time) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  return low;
}

}  // namespace skelvane
