#pragma once
// What a plot's summary builder makes of a recording (where the summary came from and its bytes),
// and the record layout of a recording written by the synthetic generator: the kept-summary tests'
// common ground, for the recordings' own summaries and the filtered ones alike.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "datafile/CscRecord.h"
#include "datafile/IDataSourceManager.h"
#include "summary/SourceSummary.h"
#include "summary/SummaryBuilder.h"

namespace skelvane::test {

// The header the synthetic generator writes before the records.
constexpr int64_t kSynthHeaderBytes = 16'384;

inline RecordLayout SynthLayoutOf(const std::string& path) {
  RecordLayout layout;
  layout.path = path;
  layout.dataOffset = kSynthHeaderBytes;
  layout.recordSize = kCscRecordSize;
  layout.numRecords = (static_cast<int64_t>(std::filesystem::file_size(path)) - kSynthHeaderBytes) / kCscRecordSize;
  return layout;
}

inline std::vector<uint8_t> ImageOf(const SourceSummary& summary) {
  const uint8_t* image = summary.Storage().Data();
  return {image, image + summary.Storage().Size()};
}

struct MadeSummary {
  SummaryBuilder::Origin origin = SummaryBuilder::Origin::None;
  bool fromFile = false;
  std::vector<uint8_t> image;
};

// Runs `builder` to its end: nothing but the default when the build failed.
inline MadeSummary Summarise(SummaryBuilder& builder) {
  builder.Start();
  MadeSummary made;
  if (!builder.Wait()) return made;
  made.origin = builder.GetOrigin();
  made.fromFile = builder.Summary()->Storage().FromFile();
  made.image = ImageOf(*builder.Summary());
  return made;
}

}  // namespace skelvane::test
