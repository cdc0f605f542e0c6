#pragma once
// One source's records read front to back in large blocks, samples laid out contiguously record after
// record. The extraction run and the noise estimate read through it instead of the shared mapping;
// the file itself is read by a RecordReader.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "datafile/IDataSourceManager.h"
#include "datafile/RecordReader.h"
#include "extract/ChannelFilter.h"
#include "filter/FilterWorkspace.h"
#include "filter/QuietStretches.h"

namespace skelvane {

class RecordStream {
 public:
  /// Records read per block: about 1 MiB of file, where pread streams at the speed of the page cache.
  static constexpr int64_t kBlockRecords = 1004;
  /// Records filtered per block at least (more for a filter whose support spans many records).
  static constexpr int64_t kFilteredBlockRecords = 128;

  /// The memory a stream reads into. A caller that walks short stretches again and again (the
  /// detection preview), or one file after another (the run's threads), hands the same buffers from
  /// one stream to the next: fresh ones would cost their page faults and zeroing on every walk.
  struct Buffers {
    std::vector<uint8_t> raw;
    std::vector<int16_t> samples;
    std::vector<int64_t> times;
    std::vector<int16_t> rawSamples;  // with a filter: the records a block is filtered from
    std::vector<int64_t> rawTimes;
    FilterWorkspace work;
  };

  /// A stream over source `sourceId`. It reads the file with its own descriptor when the manager
  /// tells where the records lie, and through the manager's records otherwise. With `buffers`, it
  /// reads into their memory and gives it back when it ends.
  RecordStream(IDataSourceManager& sources, int32_t sourceId, Buffers* buffers = nullptr);
  ~RecordStream();
  RecordStream(const RecordStream&) = delete;
  RecordStream& operator=(const RecordStream&) = delete;

  /// Records the source holds.
  int64_t Count() const { return count_; }
  /// Reads at most `records` records at a time from now on (at least three: a block's worth), for a
  /// walk that needs only a short stretch; kBlockRecords at most.
  void SetReadAhead(int64_t records);
  /// Gives the samples of `filter` (which must outlive the stream) from now on instead of the raw
  /// ones: the values a whole-file pass gives, the records around each block read along for them.
  void SetFilter(const ChannelFilter* filter);
  /// With a filter whose outputs QuietStretches can judge, the filtered samples that provably stay
  /// strictly between -level and level are not worked out: they read as 0 until MakeExact asks for
  /// them. For a detector that only asks whether samples reach the level; 0 or less filters every
  /// sample. Called after SetFilter.
  void SetQuietLevel(int32_t level);
  /// Makes records first..last (inside 0..Count()-1) available; false when one cannot be read.
  bool Ensure(int64_t first, int64_t last);
  /// Makes samples [from, to) of record `index` (made available by Ensure) the filtered values, where
  /// SetQuietLevel left them 0; false when they cannot be filtered.
  bool MakeExact(int64_t index, int32_t from, int32_t to);
  /// Samples left 0 as quiet so far.
  int64_t LeftQuiet() const { return leftQuiet_; }
  /// Timestamp of a record made available by Ensure.
  int64_t Timestamp(int64_t index) const { return times_[static_cast<std::size_t>(index - base_)]; }
  /// The 512 samples of a record made available by Ensure; the samples of the records after it (as far
  /// as Ensure reached) follow directly.
  const int16_t* Samples(int64_t index) const;
  /// True once the file held fewer bytes than its records need: it shrank while open.
  bool FileShrank() const { return shrank_; }
  /// True when the records come from the file through the stream's own descriptor.
  bool ReadsFileDirectly() const { return direct_; }
  /// The source this stream reads.
  int32_t SourceId() const { return sourceId_; }

 private:
  bool Fill(int64_t first);
  int64_t Load(int64_t first, int64_t count, std::vector<int64_t>& times, std::vector<int16_t>& samples);
  int64_t LoadFromFile(int64_t first, int64_t count, std::vector<int64_t>& times, std::vector<int16_t>& samples);
  int64_t LoadFromManager(int64_t first, int64_t count, std::vector<int64_t>& times, std::vector<int16_t>& samples);

  IDataSourceManager& sources_;
  int32_t sourceId_;
  int64_t count_ = 0;
  RecordReader reader_;
  bool direct_ = false;           // reading the file with our own descriptor
  int64_t base_ = 0;              // first record held
  int64_t held_ = 0;              // records held from base_ on
  int64_t unreadable_ = -1;       // first record the manager could not give (-1: none yet)
  int64_t readAhead_ = kBlockRecords;  // records read at a time
  bool shrank_ = false;
  Buffers* lender_ = nullptr;     // where the buffers go back to
  std::vector<uint8_t> raw_;      // one block of records as the file holds them
  std::vector<int16_t> samples_;  // held records' samples, 512 each, back to back
  std::vector<int64_t> times_;    // held records' timestamps
  const ChannelFilter* filter_ = nullptr;
  // With a filter: the raw records a block is filtered from, and the filter's working memory.
  std::vector<int16_t> rawSamples_;
  std::vector<int64_t> rawTimes_;
  FilterWorkspace work_;
  // With a quiet level: which samples need no filtering, and what the held ones were filtered from.
  std::optional<QuietStretches> quiet_;
  int32_t quietLevel_ = 0;
  std::vector<uint8_t> exact_;                       // per QuietStretches::kChunk held samples: filtered
  std::vector<FilterDesign::OutputRange> wanted_;    // samples of the held records to filter
  ChannelFilter::Records filled_;                    // the raw records of the last block
  int64_t filledFirst_ = 0;                          // the first held record's place among them
  int64_t leftQuiet_ = 0;
};

}  // namespace skelvane
