#pragma once
// The band filter of one channel of an extraction, designed for the rate extraction measures for that
// channel, with the sample interval its gaps are judged by. ExtractionRun designs one per channel;
// the record streams of its walk, its noise estimate and the detection preview filter through it, so
// that every one of them sees the values a pass over the whole file gives.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "datafile/ChannelSource.h"
#include "filter/FilterChoice.h"
#include "filter/FilterDesign.h"
#include "filter/FilterWorkspace.h"

namespace skelvane {

class ChannelFilter {
 public:
  ChannelFilter(FilterDesign design, double sampleInterval);

  /// `chosen` designed for every one of `channels`: empty for None. nullopt, with `refusal` naming the
  /// field and the recording, when a channel's rate cannot take it.
  static std::optional<std::vector<ChannelFilter>> ForChannels(const FilterChoice& chosen,
                                                               const std::vector<ChannelSource>& channels,
                                                               std::string& refusal);

  const FilterDesign& Design() const { return design_; }
  /// Records needed on each side of a run of records to filter it.
  int64_t ContextRecords() const;

  /// The raw records of a stretch of the recording, as read.
  struct Records {
    const int64_t* times = nullptr;
    const int16_t* samples = nullptr;  // 512 per record
    int64_t count = 0;
    bool startsFile = false;  // the first record is the recording's first
    bool endsFile = false;    // the last record is the recording's last (or the last that could be read)
  };
  /// Writes the filtered samples of records [first, end) of `records` to `out`: cut into segments at
  /// every gap, each filtered as a whole-file pass filters it. The records must hold ContextRecords()
  /// on each side of the run, unless they start or end the file. false when they do not. With `only`
  /// (ascending ranges of `out`) the samples outside them may be left as they were.
  bool Filter(const Records& records, int64_t first, int64_t end, int16_t* out, FilterWorkspace& work,
              std::span<const FilterDesign::OutputRange> only = {}) const;

 private:
  FilterDesign design_;
  double sampleInterval_;
};

}  // namespace skelvane
