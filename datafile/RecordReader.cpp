#include "datafile/RecordReader.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "datafile/CscRecord.h"
#include "platform/BatchRead.h"
#include "platform/StatusCodes.h"

namespace skelvane {
namespace {

// Reads `count` bytes at `offset`, `got` of them there; 0, kStatusSourceChanged at an early end of
// file, or an errno.
int32_t ReadAt(int fd, uint8_t* buffer, int64_t count, int64_t offset, int64_t& got) {
  got = File::ReadFullyAt(fd, buffer, count, offset);
  if (got < 0) {
    const auto error = static_cast<int32_t>(-got);
    got = 0;
    return error;
  }
  return got < count ? kStatusSourceChanged : kStatusOk;
}

}  // namespace

int32_t RecordReader::Open(const RecordLayout& layout, bool sequential) {
  if (layout.recordSize < kCscRecordSize || layout.dataOffset < 0) return EINVAL;
  layout_ = layout;
  return file_.Open(layout.path, File::Mode::Read, sequential);
}

int32_t RecordReader::Read(int64_t first, int64_t count, std::vector<uint8_t>& buffer) const {
  int64_t whole = 0;
  return ReadAvailable(first, count, buffer, whole);
}

int32_t RecordReader::ReadAvailable(int64_t first, int64_t count, std::vector<uint8_t>& buffer,
                                    int64_t& whole) const {
  whole = 0;
  if (first < 0 || count < 0 || first + count > layout_.numRecords) return kStatusNoData;
  buffer.resize(static_cast<std::size_t>(count * layout_.recordSize));
  return ReadInto(first, count, buffer.data(), whole);
}

int32_t RecordReader::ReadInto(int64_t first, int64_t count, uint8_t* out, int64_t& whole) const {
  whole = 0;
  if (first < 0 || count < 0 || first + count > layout_.numRecords) return kStatusNoData;
  int64_t got = 0;
  const int32_t rc = ReadAt(file_.Descriptor(), out, count * layout_.recordSize,
                            layout_.dataOffset + first * layout_.recordSize, got);
  whole = got / layout_.recordSize;
  return rc;
}

int32_t RecordReader::ReadBytes(int64_t record, int64_t offset, int64_t count, uint8_t* out) const {
  if (!HoldsBytes(record, offset, count)) return kStatusNoData;
  int64_t got = 0;
  return ReadAt(file_.Descriptor(), out, count, layout_.dataOffset + record * layout_.recordSize + offset, got);
}

int32_t RecordReader::ReadRanges(std::span<const ByteRange> ranges) const {
  std::vector<BatchRead::Request> requests;
  requests.reserve(ranges.size());
  for (const ByteRange& range : ranges) {
    if (!HoldsBytes(range.record, range.offset, range.count)) return kStatusNoData;
    requests.push_back({layout_.dataOffset + range.record * layout_.recordSize + range.offset, range.count, range.out});
  }
  return BatchRead::ReadAll(file_.Descriptor(), requests);
}

bool RecordReader::HoldsBytes(int64_t record, int64_t offset, int64_t count) const {
  return record >= 0 && record < layout_.numRecords && offset >= 0 && count >= 0 &&
         count <= (layout_.numRecords - record) * layout_.recordSize - offset;
}

int32_t RecordReader::ReadTimestamp(int64_t record, int64_t& timestamp) const {
  if (record < 0 || record >= layout_.numRecords) return kStatusNoData;
  uint8_t bytes[sizeof(int64_t)];
  int64_t got = 0;
  const int32_t rc = ReadAt(file_.Descriptor(), bytes, sizeof bytes,
                            layout_.dataOffset + record * layout_.recordSize + kCscTimestampOffset, got);
  if (rc == kStatusOk) std::memcpy(&timestamp, bytes, sizeof timestamp);
  return rc;
}

}  // namespace skelvane
