#pragma once
// Finds the record of one data source for a time by a binary search over record timestamps read
// with pread, so opening reads two records and a lookup O(log n). Owned per source by the manager.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

namespace skelvane {

class DataFileReader;

class RecordTimeSearch {
 public:
  /// A search over the records of an open reader, which must outlive it.
  explicit RecordTimeSearch(DataFileReader& reader);

  /// Reads the first and the last record's timestamps; 0 or the reader's read error.
  int32_t Open();
  /// Timestamp of record 0 (as read by Open).
  int64_t FirstTimestamp() const { return first_; }
  /// Timestamp of the last record (as read by Open).
  int64_t LastTimestamp() const { return last_; }

  /// Sets `index` to the last record stamped at or before `time`, or to -1 when `time` is not after
  /// the first record's timestamp; a time at or after the last record's timestamp gives the last
  /// record. Exact on files whose timestamps never decrease; elsewhere it still gives a record
  /// stamped at or before `time` (or -1). 0, or the reader's read error. Thread-safe.
  int32_t Find(int64_t time, int64_t& index);

 private:
  struct CachedStamp {
    int64_t index = -1;
    int64_t timestamp = 0;
  };
  // Probes repeat: the first steps of every search and the neighbours of the last answer. The table
  // is made at the first search, so opening a source touches none of its fresh memory.
  static constexpr std::size_t kCacheSize = 256;

  int32_t Probe(int64_t index, int64_t& timestamp);

  DataFileReader& reader_;
  int64_t numRecords_ = 0;
  int64_t first_ = 0;
  int64_t last_ = 0;
  std::mutex lock_;
  std::unique_ptr<CachedStamp[]> cache_;
  int64_t lastAnswer_ = -1;
};

}  // namespace skelvane
