// The spike file as its writer makes it: the header's lines, its time line and its cut to the block,
// the sampling frequency's text, the message for a file that cannot be made, and records laid out as
// the readers expect them (against a byte-by-byte reference, with every word set).
#include "spikes/SpikeFileWriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <ostream>
#include <string>
#include <vector>

#include "spikes/SpikeFile.h"
#include "tests/extract/SpikeFileContents.h"
#include "tests/spikes/MadeSpikeFile.h"
#include "tests/support/CapturedReports.h"
#include "tests/support/TempDir.h"

namespace skelvane {
namespace {

constexpr std::size_t kHeaderSize = 16384;

SourceHeaderInfo Source(const std::string& name, int channel) {
  SourceHeaderInfo info;
  info.ThreshVal = 50;
  info.ADChannel = std::to_string(channel);
  info.ADGain = "1";
  info.AmpGain = "20000";
  info.AmpLowCut = "600";
  info.AmpHiCut = "6000";
  info.ADBitVolts = "0.00000001" + std::to_string(channel);
  info.FileName = "/data/" + name + ".kcs";
  return info;
}

class SpikeFileWriterTest : public ::testing::Test {
 protected:
  test::TempDir dir_;
  SpikeFileWriter writer_;
};

// ---------------------------------------------------------------------------------------------
// Header

TEST_F(SpikeFileWriterTest, AMissingSourceValueLeavesTheTwoBlanks) {
  const std::string path = dir_.File("SpikeFile_x.kse");
  ASSERT_EQ(writer_.Open(path), 0);
  SourceHeaderInfo source;  // every header value absent
  source.ThreshVal = -12;
  source.FileName = "x";
  ASSERT_EQ(writer_.WriteHeader(path, {112, "0.5", -4, 8}, {source}), 0);
  ASSERT_EQ(writer_.Close(), 0);

  const std::string header = test::ReadWholeFile(path);
  for (const char* line : {"\r\n-RecordSize  112\r\n", "\r\n\t-ADChannel  \r\n", "\r\n\t-AmpGain  \r\n",
                           "\r\n\t-ADBitVolts  \r\n", "\r\n\t-SamplingFrequency  0.5\r\n", "\r\n\t-ADMaxValue  -4\r\n",
                           "\r\n\t-AlignmentPt  8\r\n", "\r\n\t-ThreshVal  -12\r\n\r\n"}) {
    EXPECT_NE(header.find(line), std::string::npos) << line;
  }
}

TEST_F(SpikeFileWriterTest, TimeLineShowsTheCurrentUtcTime) {
  const std::string path = dir_.File("t.kse");
  ASSERT_EQ(writer_.Open(path), 0);
  const std::time_t before = std::time(nullptr);
  ASSERT_EQ(writer_.WriteHeader(path, {112, "32000.", 2047, 8}, {}), 0);
  const std::time_t after = std::time(nullptr);
  ASSERT_EQ(writer_.Close(), 0);

  const auto lineFor = [](std::time_t t) {
    std::tm utc{};
    ::gmtime_r(&t, &utc);
    char text[80];
    std::snprintf(text, sizeof text, "## Time Opened: (m/d/y): %02d/%02d/%02d At Time %02d:%02d:%02d\r\n",
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_year % 100, utc.tm_hour, utc.tm_min, utc.tm_sec);
    return std::string(text);
  };
  const std::string header = test::ReadWholeFile(path);
  EXPECT_TRUE(header.find(lineFor(before)) != std::string::npos || header.find(lineFor(after)) != std::string::npos)
      << header.substr(0, 300);
}

TEST_F(SpikeFileWriterTest, OverlongHeaderTextIsCutToTheBlock) {
  const std::string path = dir_.File("long.ktt");
  ASSERT_EQ(writer_.Open(path), 0);
  std::vector<SourceHeaderInfo> sources;
  for (int k = 0; k < 4; ++k) {
    SourceHeaderInfo source = Source(std::string(3500, static_cast<char>('a' + k)), k);
    source.ADGain = std::string(3000, 'g');
    sources.push_back(source);
  }
  ASSERT_EQ(writer_.WriteHeader(path, {304, "32000.", 2047, 8}, sources), 0);
  ASSERT_EQ(writer_.Close(), 0);

  const std::string bytes = test::ReadWholeFile(path);
  ASSERT_EQ(bytes.size(), kHeaderSize);
  EXPECT_EQ(bytes.back(), '\0');  // a zero-terminated reading stops inside the block
  EXPECT_EQ(bytes.rfind("######## Kestrelon Data File Header\r\n", 0), 0u);
  // The four names fit; the gains of four sources (12000 bytes) no longer do.
  EXPECT_NE(bytes.find("## Created From File: /data/" + std::string(3500, 'd') + ".kcs\r\n"), std::string::npos);
  EXPECT_EQ(bytes.find("\t-AlignmentPt"), std::string::npos);
}

// ---------------------------------------------------------------------------------------------
// Sampling frequency text

struct FrequencyText {
  double Hertz;
  const char* Text;
};

void PrintTo(const FrequencyText& value, std::ostream* out) { *out << value.Text; }

class SamplingFrequencyText : public ::testing::TestWithParam<FrequencyText> {};

TEST_P(SamplingFrequencyText, TenSignificantDigits) {
  EXPECT_EQ(SpikeFileWriter::FormatSamplingFrequency(GetParam().Hertz), GetParam().Text);
}

INSTANTIATE_TEST_SUITE_P(
    FixedAndExponentForms, SamplingFrequencyText,
    ::testing::Values(FrequencyText{32000.0, "32000."}, FrequencyText{0.5, "0.5"},
                      FrequencyText{31999.99999, "31999.99999"},    // exactly ten digits
                      FrequencyText{31999.999999, "32000."},        // the eleventh rounds up
                      FrequencyText{32556.0 / 3.0, "10852."},      // 10852.000000 after rounding
                      FrequencyText{1000.0 / 3.0, "333.3333333"}, FrequencyText{2.0 / 3.0, "0.6666666667"},
                      FrequencyText{0.1, "0.1"}, FrequencyText{0.099999999999, "0.1"},
                      FrequencyText{1234567890.4, "1234567890."},  // ten digits before the point
                      FrequencyText{9999999999.7, "1.e+10"},       // rounds to eleven digits
                      FrequencyText{12345678901.0, "1.23456789e+10"}, FrequencyText{0.05, "5.e-02"},
                      FrequencyText{1.5e-05, "1.5e-05"}, FrequencyText{0.0, "0.e+00"},
                      FrequencyText{1.0e12, "1.e+12"}, FrequencyText{-32000.0, "-3.2e+04"},
                      FrequencyText{6.02214076e23, "6.02214076e+23"}));

// ---------------------------------------------------------------------------------------------
// Opening and records

// The message the user knows, then which file and why, so the user knows what to fix.
TEST_F(SpikeFileWriterTest, OpenFailureNamesTheFileAndTheReason) {
  test::CapturedReports reports;
  EXPECT_EQ(writer_.Open(dir_.File("missing/SpikeFile_a.kse")), -1);
  EXPECT_EQ(writer_.Open(dir_.Path()), -1);  // a directory
  const std::string message = "Error opening file; Is the file/path name correct?: ";
  EXPECT_EQ(reports.Texts(),
            (std::vector<std::string>{message + dir_.File("missing/SpikeFile_a.kse") + ": " + std::strerror(ENOENT),
                                      message + dir_.Path() + ": " + std::strerror(EISDIR)}));
}

TEST_F(SpikeFileWriterTest, RecordsAreLaidOutAsTheReadersTakeThem) {
  for (const int channels : {1, 2, 4, 3}) {
    const std::vector<test::MadeSpike> spikes = test::RandomSpikes(channels, 300, 17 + channels);
    const std::string path =
        dir_.File("SpikeFile_" + std::to_string(channels) + std::string(SpikeFileFormat::ExtensionFor(channels)));
    const int32_t recordSize = static_cast<int32_t>(SpikeFileFormat::RecordSize(SpikeFileFormat::kPoints, channels));
    ASSERT_EQ(writer_.Open(path), 0);
    ASSERT_EQ(writer_.WriteHeader(path, {recordSize, "32000.", 32767, 8}, std::vector<SourceHeaderInfo>(channels)), 0);
    std::string expected;
    for (const test::MadeSpike& spike : spikes) {
      SpikeFileWriter::FeatureWords features{};
      std::copy(spike.features.begin(), spike.features.end(), features.begin());
      ASSERT_TRUE(writer_.WriteRecord(static_cast<int64_t>(spike.timestamp), spike.word1, spike.word2, features,
                                      spike.samples));
      test::AppendRecord(spike, expected);
    }
    ASSERT_EQ(writer_.Close(), 0);

    const std::string bytes = test::ReadWholeFile(path);
    ASSERT_EQ(bytes.size(), kHeaderSize + expected.size()) << channels;
    EXPECT_TRUE(bytes.compare(kHeaderSize, std::string::npos, expected) == 0) << channels;
    // The reader takes the writer's header for what it is.
    SpikeFile file;
    ASSERT_EQ(file.Open(path), 0) << channels;
    EXPECT_EQ(file.NumChannels(), channels);
    EXPECT_EQ(file.NumSpikes(), static_cast<int64_t>(spikes.size()));
  }
}

}  // namespace
}  // namespace skelvane
