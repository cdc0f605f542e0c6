// Bar ends read from the recording's file: any batch of pieces (unordered, repeated, close together
// or far apart, at the records' first and last samples) has exactly the extremes of a scan of the same
// samples, pieces close together are read in one call, and a piece past the records or in a part of
// the file cut off since it was opened says so instead of giving numbers.
#include "columns/FilePieceExtremes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <vector>

#include "datafile/CscRecord.h"
#include "datafile/IDataSourceManager.h"
#include "datafile/RecordReader.h"
#include "platform/StatusCodes.h"
#include "tests/support/TempDir.h"
#include "tools/CscFileWriter.h"

namespace skelvane {
namespace {

constexpr int64_t kHeaderBytes = 16384;
constexpr int64_t kRecords = 3000;

TEST(FilePieceExtremesTest, BatchesHaveTheScannedExtremesCloseOnesShareAReadAndLostOnesSaySo) {
  std::mt19937 random(11);
  auto uniform = [&](int64_t low, int64_t high) { return std::uniform_int_distribution<int64_t>(low, high)(random); };
  std::vector<CscRecordData> records(kRecords);
  for (int64_t r = 0; r < kRecords; ++r) {
    records[static_cast<std::size_t>(r)].timestamp = 1'000'000 + r * 16'000;
    for (int32_t i = 0; i < kSamplesPerRecord; ++i) {
      // Full-scale noise, ramps and flat stretches: extremes anywhere in a piece, at its ends, or none.
      const int64_t kind = r % 3;
      const int64_t v = kind == 0 ? uniform(-32768, 32767) : kind == 1 ? (r * 7 + i * 13) % 4001 - 2000 : -5;
      records[static_cast<std::size_t>(r)].samples[static_cast<std::size_t>(i)] = static_cast<int16_t>(v);
    }
  }
  const test::TempDir dir;
  const std::string path = dir.File("pieces.kcs");
  ASSERT_EQ(CscFileWriter::Write(path, CscFileWriter::MakeHeader({}), records), 0);
  RecordReader reader;
  ASSERT_EQ(reader.Open(RecordLayout{path, kHeaderBytes, kCscRecordSize, kRecords}), 0);
  FilePieceExtremes source(reader);

  for (int32_t batch = 0; batch < 200; ++batch) {
    // Clustered batches (a zoomed-in view's bar ends) or scattered ones (a whole recording's).
    const bool clustered = batch % 2 == 0;
    const int64_t around = uniform(0, kRecords - 1);
    std::vector<PieceExtremes::Piece> pieces;
    for (int64_t n = uniform(1, 60); n > 0; --n) {
      const int64_t record = clustered ? std::clamp<int64_t>(around + uniform(-6, 6), 0, kRecords - 1) : uniform(0, kRecords - 1);
      const auto first = static_cast<int16_t>(uniform(0, 3) == 0 ? 0 : uniform(0, kSamplesPerRecord - 1));
      const auto last = static_cast<int16_t>(uniform(0, 3) == 0 ? kSamplesPerRecord - 1 : uniform(first, kSamplesPerRecord - 1));
      pieces.push_back({record, first, last});
      if (uniform(0, 9) == 0) pieces.push_back(pieces.back());
    }
    std::vector<PieceExtremes::Extremes> found(pieces.size());
    const int64_t readsBefore = source.Reads();
    ASSERT_EQ(source.Find(pieces, found), kStatusOk) << "batch " << batch;
    for (std::size_t p = 0; p < pieces.size(); ++p) {
      const auto& samples = records[static_cast<std::size_t>(pieces[p].record)].samples;
      const auto [low, high] = std::minmax_element(samples.begin() + pieces[p].first, samples.begin() + pieces[p].last + 1);
      EXPECT_EQ(found[p].low, *low) << "batch " << batch << " piece " << p;
      EXPECT_EQ(found[p].high, *high) << "batch " << batch << " piece " << p;
    }
    // Pieces within a few records of each other lie closer than the joining distance: one read.
    if (clustered) {
      EXPECT_EQ(source.Reads() - readsBefore, 1) << "batch " << batch;
    }
  }

  std::vector<PieceExtremes::Extremes> found(1);
  const std::vector<PieceExtremes::Piece> pastTheEnd{{kRecords, 0, 10}};
  EXPECT_EQ(source.Find(pastTheEnd, found), kStatusNoData);
  // The file cut short after it was opened: the lost records are not read as numbers.
  std::filesystem::resize_file(path, static_cast<std::uintmax_t>(kHeaderBytes + (kRecords / 2) * kCscRecordSize));
  const std::vector<PieceExtremes::Piece> lost{{kRecords - 10, 0, 100}};
  EXPECT_EQ(source.Find(lost, found), kStatusSourceChanged);
  const std::vector<PieceExtremes::Piece> kept{{10, 5, 100}};
  ASSERT_EQ(source.Find(kept, found), kStatusOk);
  const auto& samples = records[10].samples;
  EXPECT_EQ(found[0].low, *std::min_element(samples.begin() + 5, samples.begin() + 101));
}

}  // namespace
}  // namespace skelvane
