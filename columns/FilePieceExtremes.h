#pragma once
// The exact extremes of pieces of records read from the recording's file: the pieces are read a
// batch at a time, only their own samples, pieces close together in one read (a read costs about a
// microsecond on these machines, a few kilobytes more cost less), the reads handed to the kernel
// together, and each piece's extremes taken with vector instructions. Used by CscPlot and
// SummaryColumns for the bar ends a summary only bounds.

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "columns/PieceExtremes.h"
#include "datafile/RecordReader.h"

namespace skelvane {

class FilePieceExtremes final : public PieceExtremes {
 public:
  /// Pieces at most this many bytes apart in the file are read in one go.
  static constexpr int64_t kJoinBytes = 8192;

  /// Reads through `reader`, which must stay open while this is used.
  explicit FilePieceExtremes(const RecordReader& reader) : reader_(reader) {}

  int32_t Find(std::span<const Piece> pieces, std::span<Extremes> extremes) override;
  /// Reads made so far.
  int64_t Reads() const { return reads_; }

 private:
  // Bytes [begin, end) of the file's records (counted from record 0), read to `offset` in the buffer.
  struct Range {
    int64_t begin;
    int64_t end;
    std::size_t offset;
  };

  const RecordReader& reader_;
  std::vector<std::size_t> order_;  // the pieces by where they lie in the file
  std::vector<Range> ranges_;
  std::vector<RecordReader::ByteRange> byteRanges_;
  std::unique_ptr<uint8_t[]> buffer_;  // left uninitialised: every byte used is read into it first
  std::size_t bufferSize_ = 0;
  int64_t reads_ = 0;
};

}  // namespace skelvane
