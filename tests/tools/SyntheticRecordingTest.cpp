#include "tools/SyntheticRecording.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <sstream>
#include <sys/resource.h>
#include <unistd.h>

#include "datafile/CscRecord.h"
#include "datafile/DataSourceManager.h"
#include "datafile/FileHeader.h"
#include "platform/StatusCodes.h"
#include "tests/support/CapturedReports.h"
#include "tests/support/TempDir.h"

namespace skelvane {
namespace {

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class SyntheticRecordingTest : public ::testing::Test {
 protected:
  SynthOptions Options(double seconds = 1.0) {
    SynthOptions o;
    o.outDir = dir_.Path();
    o.prefix = "TT9";
    o.seconds = seconds;
    return o;
  }
  std::vector<int64_t> TimestampsOf(const std::string& path) {
    DataSourceManager manager;
    EXPECT_EQ(manager.OpenSource(path), kStatusOk) << path;
    std::vector<int64_t> out;
    for (int64_t k = 0; k < manager.GetNumRecords(0); ++k) {
      const uint8_t* record = nullptr;
      EXPECT_EQ(manager.GetRecord(k, 0, record), kStatusOk);
      out.push_back(CscRecord(record).Timestamp());
    }
    return out;
  }
  std::vector<int16_t> SamplesOf(const std::string& path) {
    DataSourceManager manager;
    EXPECT_EQ(manager.OpenSource(path), kStatusOk) << path;
    std::vector<int16_t> samples;
    for (int64_t k = 0; k < manager.GetNumRecords(0); ++k) {
      const uint8_t* record = nullptr;
      EXPECT_EQ(manager.GetRecord(k, 0, record), kStatusOk);
      for (int32_t i = 0; i < kSamplesPerRecord; ++i) samples.push_back(CscRecord(record).Sample(i));
    }
    return samples;
  }
  test::TempDir dir_;
};

TEST_F(SyntheticRecordingTest, OneFilePerChannelWithTheAcquisitionHeader) {
  SynthOptions options = Options();
  options.channels = 3;
  SynthResult result;
  ASSERT_EQ(SyntheticRecording::Generate(options, result), kStatusOk);
  ASSERT_EQ(result.paths, (std::vector<std::string>{dir_.File("TT9a.kcs"), dir_.File("TT9b.kcs"), dir_.File("TT9c.kcs")}));
  EXPECT_EQ(result.truthCsvPath, dir_.File("TT9_truth.csv"));
  for (int32_t c = 0; c < 3; ++c) {
    DataSourceManager manager;
    ASSERT_EQ(manager.OpenSource(result.paths[static_cast<std::size_t>(c)]), kStatusOk);
    EXPECT_EQ(manager.GetNumRecords(0), 62);  // whole records in one second at 32 kHz
    const char* header = nullptr;
    ASSERT_EQ(manager.GetHeader(0, header), kStatusOk);
    EXPECT_EQ(std::string(header, kHeaderMarker.size()), kHeaderMarker);
    std::string value;
    ASSERT_EQ(manager.GetHeaderValue(0, "-ADChannel", value), kStatusOk);
    EXPECT_EQ(value, std::to_string(c));
    ASSERT_EQ(manager.GetHeaderValue(0, "-SamplingFrequency", value), kStatusOk);
    EXPECT_EQ(value, "32000");
    ASSERT_EQ(manager.GetHeaderValue(0, "-ADMaxValue", value), kStatusOk);
    EXPECT_TRUE(value == "32767" || value == "2047");
    for (const char* key : {"-ADBitVolts", "-ADGain", "-AmpGain", "-AmpLowCut", "-AmpHiCut"}) {
      EXPECT_EQ(manager.GetHeaderValue(0, key, value), kStatusOk) << key;
      EXPECT_GT(std::strtod(value.c_str(), nullptr), 0.0) << key;
    }
    const uint8_t* record = nullptr;
    ASSERT_EQ(manager.GetRecord(61, 0, record), kStatusOk);
    EXPECT_EQ(CscRecord(record).SamplingFrequency(), 32000u);
    EXPECT_EQ(CscRecord(record).Timestamp(), 1'000'000 + 61 * 16'000);
  }
}

// Up to 26 channels keep their letters; more are numbered from 000, so file names sort in channel
// order either way.
TEST_F(SyntheticRecordingTest, ChannelsBeyondTheAlphabetAreNumberedInNameOrder) {
  struct Case {
    int32_t channels;
    std::string first, tenth, last;
  };
  for (const Case& c : {Case{26, "TT9a.kcs", "TT9j.kcs", "TT9z.kcs"},
                        Case{27, "TT9000.kcs", "TT9009.kcs", "TT9026.kcs"},
                        Case{128, "TT9000.kcs", "TT9009.kcs", "TT9127.kcs"}}) {
    const int32_t channels = c.channels;
    SynthOptions options = Options(0.02);  // one record
    options.outDir = dir_.File(std::to_string(channels));
    options.channels = channels;
    SynthResult result;
    ASSERT_EQ(SyntheticRecording::Generate(options, result), kStatusOk) << channels;
    ASSERT_EQ(result.paths.size(), static_cast<std::size_t>(channels));
    EXPECT_TRUE(std::is_sorted(result.paths.begin(), result.paths.end())) << channels;
    EXPECT_EQ(result.paths[0], options.outDir + "/" + c.first);
    EXPECT_EQ(result.paths[9], options.outDir + "/" + c.tenth);
    EXPECT_EQ(result.paths.back(), options.outDir + "/" + c.last);
    DataSourceManager manager;
    ASSERT_EQ(manager.OpenSource(result.paths.back()), kStatusOk);
    std::string value;
    ASSERT_EQ(manager.GetHeaderValue(0, "-ADChannel", value), kStatusOk);
    EXPECT_EQ(value, std::to_string(channels - 1));
  }
}

TEST_F(SyntheticRecordingTest, NonIntegerRecordPeriodIsAccumulatedAndRounded) {
  SynthOptions options = Options();
  options.channels = 1;
  options.samplingHz = 30000.0;
  options.startTimestamp = 0;
  SynthResult result;
  ASSERT_EQ(SyntheticRecording::Generate(options, result), kStatusOk);
  const std::vector<int64_t> stamps = TimestampsOf(result.paths[0]);
  ASSERT_EQ(stamps.size(), 58u);  // 30000 / 512 = 58.6
  for (std::size_t k = 0; k < stamps.size(); ++k) {
    EXPECT_EQ(stamps[k], std::llround(static_cast<double>(k) * 512.0 * 1e6 / 30000.0)) << k;
  }
  EXPECT_EQ(stamps[3] - stamps[2], 17067);  // neither always 17066 nor always 17067
  EXPECT_EQ(stamps[3], 51200);
}

TEST_F(SyntheticRecordingTest, GapsDelayEveryLaterRecord) {
  SynthOptions options = Options();
  options.channels = 2;
  options.gaps = {{10, 250'000}, {20, 1'000}};
  SynthResult result;
  ASSERT_EQ(SyntheticRecording::Generate(options, result), kStatusOk);
  for (const std::string& path : result.paths) {
    const std::vector<int64_t> stamps = TimestampsOf(path);
    for (std::size_t k = 1; k < stamps.size(); ++k) {
      const int64_t extra = k == 11 ? 250'000 : k == 21 ? 1'000 : 0;
      EXPECT_EQ(stamps[k] - stamps[k - 1], 16'000 + extra) << k;
    }
  }
}

TEST_F(SyntheticRecordingTest, LateChannelAndShortTailsDropRecordsButKeepTheirSamples) {
  SynthOptions full = Options();
  full.outDir = dir_.File("full");
  SynthResult fullResult;
  ASSERT_EQ(SyntheticRecording::Generate(full, fullResult), kStatusOk);

  SynthOptions cut = Options();
  cut.lateChannel = 1;
  cut.lateRecords = 5;
  cut.missingTailRecords = {0, 0, 3};
  SynthResult result;
  ASSERT_EQ(SyntheticRecording::Generate(cut, result), kStatusOk);
  EXPECT_EQ(TimestampsOf(result.paths[0]).size(), 62u);
  EXPECT_EQ(TimestampsOf(result.paths[1]).size(), 57u);
  EXPECT_EQ(TimestampsOf(result.paths[2]).size(), 59u);
  EXPECT_EQ(TimestampsOf(result.paths[3]).size(), 62u);
  EXPECT_EQ(TimestampsOf(result.paths[1]).front(), TimestampsOf(result.paths[0])[5]);

  // The late channel's first record is the full run's sixth, byte for byte.
  const std::string lateBytes = ReadWholeFile(result.paths[1]);
  const std::string fullBytes = ReadWholeFile(fullResult.paths[1]);
  EXPECT_EQ(lateBytes.substr(kFileHeaderSize, 1044), fullBytes.substr(kFileHeaderSize + 5 * 1044, 1044));
  EXPECT_EQ(ReadWholeFile(result.paths[2]), ReadWholeFile(fullResult.paths[2]).substr(0, kFileHeaderSize + 59 * 1044));
}

TEST_F(SyntheticRecordingTest, PartialRecordAndNoHeader) {
  SynthOptions options = Options();
  options.channels = 1;
  options.writeHeader = false;
  options.trailingPartialBytes = 100;
  SynthResult result;
  ASSERT_EQ(SyntheticRecording::Generate(options, result), kStatusOk);
  EXPECT_EQ(std::filesystem::file_size(result.paths[0]), 62u * 1044u + 100u);
  test::CapturedReports reports;
  DataSourceManager manager;
  ASSERT_EQ(manager.OpenSource(result.paths[0]), kStatusOk);
  EXPECT_EQ(reports.Texts(),
            std::vector<std::string>{"Corrupt file - incomplete record encountered: Record size in bytes:1044: " +
                                     result.paths[0]});
  EXPECT_EQ(manager.GetNumRecords(0), 62);
  std::string value;
  EXPECT_EQ(manager.GetHeaderValue(0, "-ADChannel", value), kStatusNoData);
}

TEST_F(SyntheticRecordingTest, SameSeedGivesTheSameBytesAndAnotherSeedOthers) {
  SynthOptions a = Options();
  a.outDir = dir_.File("a");
  SynthOptions b = a;
  b.outDir = dir_.File("b");
  SynthOptions c = a;
  c.outDir = dir_.File("c");
  c.seed = 2;
  SynthResult ra;
  SynthResult rb;
  SynthResult rc;
  ASSERT_EQ(SyntheticRecording::Generate(a, ra), kStatusOk);
  ASSERT_EQ(SyntheticRecording::Generate(b, rb), kStatusOk);
  ASSERT_EQ(SyntheticRecording::Generate(c, rc), kStatusOk);
  for (std::size_t i = 0; i < ra.paths.size(); ++i) {
    EXPECT_EQ(ReadWholeFile(ra.paths[i]), ReadWholeFile(rb.paths[i]));
    EXPECT_NE(ReadWholeFile(ra.paths[i]), ReadWholeFile(rc.paths[i]));
  }
  EXPECT_EQ(ReadWholeFile(ra.truthCsvPath), ReadWholeFile(rb.truthCsvPath));
  // Channels carry independent noise.
  EXPECT_NE(ReadWholeFile(ra.paths[0]).substr(kFileHeaderSize), ReadWholeFile(ra.paths[1]).substr(kFileHeaderSize));
}

TEST_F(SyntheticRecordingTest, TruthSpikesAreSpacedAndSitOnPeaksOfEveryChannel) {
  SynthOptions options = Options(20.0);
  SynthResult result;
  ASSERT_EQ(SyntheticRecording::Generate(options, result), kStatusOk);
  const std::vector<SynthSpike>& spikes = result.spikes;
  // 3 units at 8 Hz for 20 s, less those too close to another.
  ASSERT_GT(spikes.size(), 300u);
  ASSERT_LT(spikes.size(), 520u);
  int32_t perPolarity[2] = {};
  std::vector<int32_t> perUnit(3, 0);
  for (std::size_t i = 0; i < spikes.size(); ++i) {
    if (i > 0) {
      ASSERT_GE(spikes[i].peakTimestamp - spikes[i - 1].peakTimestamp, 2000) << i;
    }
    ASSERT_TRUE(spikes[i].polarity == 1 || spikes[i].polarity == -1);
    ++perPolarity[spikes[i].polarity > 0 ? 1 : 0];
    ASSERT_GE(spikes[i].unit, 0);
    ASSERT_LT(spikes[i].unit, 3);
    ++perUnit[static_cast<std::size_t>(spikes[i].unit)];
  }
  EXPECT_GT(perPolarity[0], 0);
  EXPECT_GT(perPolarity[1], 0);
  for (const int32_t n : perUnit) EXPECT_GT(n, 60);

  // The truth file lists the same spikes.
  std::istringstream csv(ReadWholeFile(result.truthCsvPath));
  std::string line;
  std::getline(csv, line);
  EXPECT_EQ(line, "peak_timestamp,unit,polarity");
  std::size_t rows = 0;
  while (std::getline(csv, line)) {
    const SynthSpike& s = spikes[rows++];
    EXPECT_EQ(line, std::to_string(s.peakTimestamp) + "," + std::to_string(s.unit) + "," + std::to_string(s.polarity));
  }
  EXPECT_EQ(rows, spikes.size());

  // Without noise, the sample at each truth time is the extreme of its neighbourhood on every
  // channel, with the spike's sign; the noise level does not move the spikes.
  SynthOptions quiet = options;
  quiet.outDir = dir_.File("quiet");
  quiet.noiseCounts = 0.0;
  SynthResult quietResult;
  ASSERT_EQ(SyntheticRecording::Generate(quiet, quietResult), kStatusOk);
  ASSERT_EQ(quietResult.spikes.size(), spikes.size());
  for (std::size_t i = 0; i < spikes.size(); ++i) {
    ASSERT_EQ(quietResult.spikes[i].peakTimestamp, spikes[i].peakTimestamp);
  }
  for (const std::string& path : quietResult.paths) {
    const std::vector<int16_t> samples = SamplesOf(path);
    for (const SynthSpike& s : spikes) {
      const auto at = static_cast<std::size_t>(std::llround((s.peakTimestamp - 1'000'000) / 31.25));
      ASSERT_LT(at + 8, samples.size());
      for (std::size_t j = at - 8; j <= at + 8; ++j) {
        // Rounding to counts may make a neighbour equal, never larger.
        if (j != at) {
          ASSERT_LE(std::abs(int32_t{samples[j]}), std::abs(int32_t{samples[at]})) << path << " " << j;
        }
      }
      EXPECT_EQ(samples[at] > 0 ? 1 : -1, s.polarity) << path << " " << s.peakTimestamp;
      EXPECT_GT(std::abs(int32_t{samples[at]}), 100) << path << " " << s.peakTimestamp;
    }
  }

  // Away from spikes only the noise remains, at the requested level.
  for (const std::string& path : result.paths) {
    const std::vector<int16_t> samples = SamplesOf(path);
    std::vector<bool> nearSpike(samples.size(), false);
    for (const SynthSpike& s : spikes) {
      const auto at = static_cast<std::size_t>(std::llround((s.peakTimestamp - 1'000'000) / 31.25));
      for (std::size_t j = at - 32; j <= at + 64 && j < samples.size(); ++j) nearSpike[j] = true;
    }
    double sum = 0.0;
    double squares = 0.0;
    std::size_t n = 0;
    for (std::size_t j = 0; j < samples.size(); ++j) {
      if (nearSpike[j]) continue;
      sum += samples[j];
      squares += static_cast<double>(samples[j]) * samples[j];
      ++n;
    }
    ASSERT_GT(n, samples.size() / 2);
    EXPECT_NEAR(sum / n, 0.0, 0.5);
    EXPECT_NEAR(std::sqrt(squares / n), options.noiseCounts, 1.0);
  }
}

TEST_F(SyntheticRecordingTest, NoUnitsMeansNoSpikes) {
  SynthOptions options = Options();
  options.units = 0;
  SynthResult result;
  ASSERT_EQ(SyntheticRecording::Generate(options, result), kStatusOk);
  EXPECT_TRUE(result.spikes.empty());
  EXPECT_EQ(ReadWholeFile(result.truthCsvPath), "peak_timestamp,unit,polarity\n");
}

TEST_F(SyntheticRecordingTest, OptionsThatMakeNoRecordingAreReported) {
  const auto refused = [](SynthOptions options, const std::string& why) {
    test::CapturedReports reports;
    SynthResult result;
    EXPECT_EQ(SyntheticRecording::Generate(options, result), kStatusFailed) << why;
    EXPECT_EQ(reports.Texts(), std::vector<std::string>{"Invalid synthetic recording options: " + why});
    EXPECT_TRUE(result.paths.empty());
  };
  SynthOptions o = Options();
  o.channels = 0;
  refused(o, "channels must be 1 to 128");
  o.channels = 129;
  refused(o, "channels must be 1 to 128");
  o = Options(0.01);
  refused(o, "too short for one record");
  o = Options();
  o.lateChannel = 4;
  refused(o, "late channel out of range");
  o = Options();
  o.trailingPartialBytes = 1044;
  refused(o, "partial record must be 0 to 1043 bytes");
  o = Options();
  o.missingTailRecords = {0, 0, 0, 0, 1};
  refused(o, "missing tail given for a channel that does not exist");
  o = Options();
  o.samplingHz = 0.0;
  refused(o, "sampling rate out of range");
  // Spikes are drawn one by one: an absurd rate would keep the generator drawing for hours.
  o = Options();
  o.spikeRateHz = 1000.5;
  refused(o, "spike rate must be 0 to 1000 Hz");
  o.spikeRateHz = -1.0;
  refused(o, "spike rate must be 0 to 1000 Hz");
  o = Options();
  o.oscillation = {16'000.5, 100.0};  // above half the sampling rate
  refused(o, "oscillation frequency must be 0 to half the sampling rate");
  o.oscillation = {-1.0, 100.0};
  refused(o, "oscillation frequency must be 0 to half the sampling rate");
  o.oscillation = {3.0, -600.0};
  refused(o, "oscillation amplitude must not be negative");
  EXPECT_TRUE(std::filesystem::is_empty(dir_.Path()));
}

TEST_F(SyntheticRecordingTest, HighestSpikeRateIsAccepted) {
  SynthOptions options = Options();
  options.channels = 1;
  options.spikeRateHz = 1000.0;
  SynthResult result;
  ASSERT_EQ(SyntheticRecording::Generate(options, result), kStatusOk);
  // No two spikes closer than 2 ms: at most 500 in one second, however fast the units fire.
  EXPECT_GT(result.spikes.size(), 400u);
  EXPECT_LE(result.spikes.size(), 500u);
}

// Caps this process's address space a little above what it uses now, for the life of the object,
// so that a large allocation fails at once instead of taking the machine's memory.
class AddressSpaceLimit {
 public:
  explicit AddressSpaceLimit(rlim_t headroom) {
    ::getrlimit(RLIMIT_AS, &saved_);
    std::ifstream statm("/proc/self/statm");
    unsigned long pages = 0;
    statm >> pages;
    rlimit lowered = saved_;
    lowered.rlim_cur = static_cast<rlim_t>(pages) * static_cast<rlim_t>(::sysconf(_SC_PAGESIZE)) + headroom;
    ok_ = pages > 0 && ::setrlimit(RLIMIT_AS, &lowered) == 0;
  }
  ~AddressSpaceLimit() { ::setrlimit(RLIMIT_AS, &saved_); }
  bool Ok() const { return ok_; }

 private:
  rlimit saved_{};
  bool ok_ = false;
};

// Samples are made and written a batch at a time: a channel whose samples alone would need more
// memory than the process may have is still written whole; a timeline whose record times do not fit
// is reported, not a crash.
TEST_F(SyntheticRecordingTest, SamplesAreStreamedAndATimelineTooLargeForMemoryIsReported) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the address sanitizer needs more address space than the limit leaves";
#endif
  SynthOptions streamed = Options(600.0);  // 19.2 million samples, 77 MB as floats: more than the limit
  streamed.channels = 1;
  SynthOptions huge = Options(200'000.0);  // 12.5 million record times alone need 100 MB
  huge.channels = 1;
  huge.units = 0;
  SynthResult result;
  SynthResult none;
  int32_t streamedRc = -1;
  int32_t hugeRc = 0;
  test::CapturedReports reports;
  {
    AddressSpaceLimit limit(64u << 20);
    ASSERT_TRUE(limit.Ok());
    streamedRc = SyntheticRecording::Generate(streamed, result);
    hugeRc = SyntheticRecording::Generate(huge, none);
  }
  EXPECT_EQ(streamedRc, 0);
  ASSERT_EQ(result.paths.size(), 1u);
  EXPECT_EQ(std::filesystem::file_size(result.paths[0]), kFileHeaderSize + 37'500u * kCscRecordSize);
  EXPECT_EQ(hugeRc, ENOMEM);
  EXPECT_EQ(reports.Texts(), std::vector<std::string>{
                                 "Not enough memory for the synthetic recording; samples per channel:6400000000"});
  EXPECT_TRUE(none.paths.empty());
}

TEST_F(SyntheticRecordingTest, UnusableOutputFolderGivesTheErrno) {
  test::CapturedReports reports;
  SynthOptions options = Options();
  std::ofstream(dir_.File("plain")) << "x";
  options.outDir = dir_.File("plain/sub");
  SynthResult result;
  EXPECT_EQ(SyntheticRecording::Generate(options, result), ENOTDIR);
  EXPECT_EQ(reports.Texts(), std::vector<std::string>{
                                 "Unable to create the output folder for the synthetic recording; error code:" +
                                 std::to_string(ENOTDIR)});
}

}  // namespace
}  // namespace skelvane
