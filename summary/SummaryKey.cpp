#include "summary/SummaryKey.h"

#include <sys/stat.h>
#include <xxhash.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "datafile/IDataSourceManager.h"
#include "datafile/RecordReader.h"
#include "filter/FilterDesign.h"
#include "filter/SpacedHighPassResume.h"
#include "platform/File.h"
#include "platform/StatusCodes.h"
#include "summary/HighPassStateCodec.h"
#include "summary/SummaryLayout.h"

namespace skelvane {
namespace {

constexpr int64_t kNanosecondsPerSecond = 1'000'000'000;
constexpr int64_t kLongestHeader = 1 << 20;  // a key is not worth reading more than this before record 0

}  // namespace

std::string SummaryKey::AbsolutePath(const std::string& path) {
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(path, error);
  return error ? path : absolute.lexically_normal().string();
}

std::string SummaryKey::FilterIdentity(const FilterDesign& design, double sampleInterval) {
  // The interval judges where a gap restarts the filter; its bits, not a rounded decimal, tell one
  // judgement from another.
  uint64_t intervalBits = 0;
  std::memcpy(&intervalBits, &sampleInterval, sizeof intervalBits);
  char tail[64];
  std::snprintf(tail, sizeof tail, "@%s/%016llx", FilterChoice::FormatHz(design.RateHz()).c_str(),
                static_cast<unsigned long long>(intervalBits));
  // A summary that keeps its high-pass's states is another file than one of the same band without.
  if (SpacedHighPassResume::Fits(design)) {
    return design.Choice().Key() + tail + "/s" + std::to_string(SummaryLayout::kCheckpointRecords) +
           HighPassStateCodec::kKeyTag;
  }
  return design.Choice().Key() + tail;
}

int32_t SummaryKey::HashRecord(const RecordReader& reader, int64_t record, uint64_t& hash) {
  std::vector<uint8_t> bytes;
  if (const int32_t rc = reader.Read(record, 1, bytes); rc != kStatusOk) return rc;
  hash = XXH3_64bits(bytes.data(), bytes.size());
  return kStatusOk;
}

int32_t SummaryKey::Of(const RecordLayout& layout, const RecordReader& reader, SummaryKey& key) {
  if (layout.dataOffset < 0 || layout.dataOffset > kLongestHeader || layout.numRecords < 0) return EINVAL;
  // The status and the header of the very file the reader reads, through its descriptor: the status
  // as the reader found it when it opened the file (a change since moves the times on, and the key
  // then no longer matches the next one taken).
  if (!reader.IsOpen()) return EBADF;
  const struct stat& status = reader.Status();
  key = SummaryKey{};
  key.path = AbsolutePath(layout.path);
  key.size = static_cast<uint64_t>(status.st_size);
  key.modifiedNs = static_cast<int64_t>(status.st_mtim.tv_sec) * kNanosecondsPerSecond + status.st_mtim.tv_nsec;
  key.changedNs = static_cast<int64_t>(status.st_ctim.tv_sec) * kNanosecondsPerSecond + status.st_ctim.tv_nsec;
  key.inode = static_cast<uint64_t>(status.st_ino);
  key.device = static_cast<uint64_t>(status.st_dev);
  key.dataOffset = layout.dataOffset;
  key.recordSize = layout.recordSize;
  key.numRecords = layout.numRecords;

  // The header and record 0 right after it in one read, where the reader's records start there.
  const bool withFirst = layout.numRecords > 0 && reader.NumRecords() > 0 && reader.DataOffset() == layout.dataOffset;
  const int64_t firstBytes = withFirst ? reader.RecordSize() : 0;
  std::vector<uint8_t> head(static_cast<std::size_t>(layout.dataOffset + firstBytes));
  const int64_t got = File::ReadFullyAt(reader.Descriptor(), head.data(), static_cast<int64_t>(head.size()), 0);
  if (got < 0) return static_cast<int32_t>(-got);
  if (got < static_cast<int64_t>(head.size())) return kStatusSourceChanged;
  key.headHash = XXH3_64bits(head.data(), static_cast<std::size_t>(layout.dataOffset));
  if (layout.numRecords == 0) return kStatusOk;
  uint64_t first = 0;
  if (withFirst) {
    first = XXH3_64bits(head.data() + layout.dataOffset, static_cast<std::size_t>(firstBytes));
  } else if (const int32_t rc = HashRecord(reader, 0, first); rc != kStatusOk) {
    return rc;
  }
  key.headHash = XXH3_64bits_withSeed(&first, sizeof first, key.headHash);
  // A single record is its own last.
  if (withFirst && layout.numRecords == 1) {
    key.lastHash = first;
    return kStatusOk;
  }
  return HashRecord(reader, layout.numRecords - 1, key.lastHash);
}

bool SummaryKey::operator==(const SummaryKey& other) const {
  return size == other.size && modifiedNs == other.modifiedNs && changedNs == other.changedNs &&
         inode == other.inode && device == other.device && dataOffset == other.dataOffset &&
         recordSize == other.recordSize && numRecords == other.numRecords && headHash == other.headHash &&
         lastHash == other.lastHash && filter == other.filter;
}

bool SummaryKey::MayHaveGrownInto(const SummaryKey& now) const {
  // A file of the same size grew only when it is untouched since (the reader of the earlier key
  // counted fewer records); one rewritten in place keeps its size and changes its change time,
  // whatever its modification time was set back to.
  const bool grew =
      size < now.size || (size == now.size && modifiedNs == now.modifiedNs && changedNs == now.changedNs);
  return filter.empty() && now.filter.empty() && inode == now.inode && device == now.device && dataOffset == now.dataOffset &&
         recordSize == now.recordSize && headHash == now.headHash && numRecords > 0 &&
         numRecords <= now.numRecords && grew && !(*this == now);
}

}  // namespace skelvane
