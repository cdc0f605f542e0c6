// The spikes command run as a user would: its JSON against the records of spike files the extract
// command wrote from a synthetic recording, read independently here; its table for files with no
// or one spike; refused files; names that are not UTF-8; and the figure files --plot writes.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>

#include "tests/cli/CliRunner.h"
#include "tests/extract/SpikeFileContents.h"
#include "tests/spikes/MadeSpikeFile.h"

namespace skelvane {
namespace {

using Json = nlohmann::json;

constexpr int kAlignmentIndex = 7;  // the extraction's default alignment point, 8

// One extraction of each group size from a 4-channel synthetic recording, shared by the tests.
class SpikesCommandTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new test::TempDir;
    const test::CliRun synth = test::RunCli({"synth", "--out", dir_->File("rec"), "--channels", "4", "--seconds", "20",
                                             "--seed", "5", "--spike-rate", "15"},
                                            *dir_);
    ASSERT_EQ(synth.status, 0) << synth.err;
    std::vector<std::string> recordings;
    for (const char c : {'a', 'b', 'c', 'd'}) recordings.push_back(dir_->File(std::string("rec/TT1") + c + ".kcs"));
    for (const std::string channels : {"1", "2", "4"}) {
      std::filesystem::create_directory(dir_->File("out" + channels));
      std::vector<std::string> args = {"extract"};
      args.insert(args.end(), recordings.begin(), recordings.end());
      args.insert(args.end(), {"--channels", channels, "--threshold", "90", "--type", "both", "--outdir",
                               dir_->File("out" + channels), "--quiet"});
      const test::CliRun run = test::RunCli(args, *dir_);
      ASSERT_EQ(run.status, 0) << run.err;
    }
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir_->Path())) {
      const std::string extension = entry.path().extension().string();
      if (extension == ".kse" || extension == ".kst" || extension == ".ktt") files_.push_back(entry.path().string());
    }
    std::sort(files_.begin(), files_.end());
    tetrode_ = dir_->File("out4/SpikeFile_TT1a_TT1b_TT1c_TT1d.ktt");
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }

  test::CliRun Spikes(std::vector<std::string> args) {
    args.insert(args.begin(), "spikes");
    return test::RunCli(args, *dir_);
  }

  static test::TempDir* dir_;
  static std::vector<std::string> files_;
  static std::string tetrode_;
};

test::TempDir* SpikesCommandTest::dir_ = nullptr;
std::vector<std::string> SpikesCommandTest::files_;
std::string SpikesCommandTest::tetrode_;

// The numbers after "-ThreshVal" in the header, read here without the reader.
std::vector<int> ThresholdsIn(const std::string& header) {
  const std::size_t line = header.find("\t-ThreshVal");
  std::istringstream values(header.substr(line + 11, header.find("\r\n", line) - line - 11));
  std::vector<int> numbers;
  for (int n = 0; values >> n;) numbers.push_back(n);
  return numbers;
}

TEST_F(SpikesCommandTest, JsonFieldsAgreeWithTheRecordsReadIndependently) {
  ASSERT_EQ(files_.size(), 7u);  // four single electrodes, two stereotrodes, one tetrode
  std::vector<std::string> args = files_;
  args.push_back("--json");
  const test::CliRun run = Spikes(args);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  const Json all = Json::parse(run.out);
  ASSERT_EQ(all.size(), files_.size());
  for (std::size_t f = 0; f < files_.size(); ++f) {
    const Json& got = all[f];
    const std::string& path = files_[f];
    const int channels = path.ends_with(".ktt") ? 4 : path.ends_with(".kst") ? 2 : 1;
    const test::SpikeFileContents file = test::ReadSpikeFile(path, 32, channels);
    ASSERT_TRUE(file.WholeRecords);
    const auto& spikes = file.Spikes;
    ASSERT_GT(spikes.size(), 100u) << path;
    EXPECT_EQ(got["path"], path);
    EXPECT_EQ(got["channels"], channels);
    EXPECT_EQ(got["count"], spikes.size());
    EXPECT_EQ(got["first_us"], spikes.front().Timestamp);
    EXPECT_EQ(got["last_us"], spikes.back().Timestamp);
    const double seconds = static_cast<double>(spikes.back().Timestamp - spikes.front().Timestamp) / 1e6;
    EXPECT_DOUBLE_EQ(got["rate_hz"].get<double>(), static_cast<double>(spikes.size()) / seconds);
    std::size_t shortIntervals = 0;
    for (std::size_t i = 1; i < spikes.size(); ++i)
      shortIntervals += spikes[i].Timestamp - spikes[i - 1].Timestamp < 2000;
    EXPECT_DOUBLE_EQ(got["isi_under_2ms_percent"].get<double>(),
                     100.0 * static_cast<double>(shortIntervals) / static_cast<double>(spikes.size() - 1));
    for (int c = 0; c < channels; ++c) {
      std::vector<int> peaks;
      for (const auto& s : spikes) peaks.push_back(s.Samples[kAlignmentIndex * channels + c]);
      std::sort(peaks.begin(), peaks.end());
      EXPECT_EQ(got["amplitude_min"][c], peaks.front()) << path << " channel " << c;
      EXPECT_EQ(got["amplitude_max"][c], peaks.back()) << path << " channel " << c;
      EXPECT_EQ(got["amplitude_median"][c].get<double>(),
                (peaks[(peaks.size() - 1) / 2] + peaks[peaks.size() / 2]) / 2.0);
    }
    EXPECT_EQ(got["amplitude_min"].size(), static_cast<std::size_t>(channels));
    EXPECT_EQ(got["threshold"].get<std::vector<int>>(), ThresholdsIn(file.Header));
    EXPECT_EQ(got["threshold"].get<std::vector<int>>(), std::vector<int>(static_cast<std::size_t>(channels), 90));
    EXPECT_EQ(got["alignment_pt"], kAlignmentIndex + 1);
  }
}

TEST_F(SpikesCommandTest, TableAndJsonSayWhenThereIsNoRateOrInterval) {
  const std::string none = dir_->Write("none.kse", test::MadeSpikeFile(test::MadeHeaderText(1), {}));
  const auto spikes = test::RandomSpikes(2, 1, 8);
  const std::string one = dir_->Write("one.kst", test::MadeSpikeFile(test::MadeHeaderText(2), spikes));
  const test::CliRun table = Spikes({none, one});
  ASSERT_EQ(table.status, 0) << table.err;
  const std::string noneTable = none + "\n" +
                                "  channels:              1\n"
                                "  spikes:                0\n"
                                "  first spike:           none (no spikes)\n"
                                "  last spike:            none (no spikes)\n"
                                "  rate:                  none (no spikes)\n"
                                "  alignment point:       8\n"
                                "  threshold:             50\n"
                                "  peak amplitude:        none (no spikes)\n"
                                "  intervals under 2 ms:  none (no spikes)\n";
  EXPECT_EQ(table.out.substr(0, noneTable.size()), noneTable);
  const std::string t = std::to_string(spikes[0].timestamp);
  EXPECT_NE(table.out.find("  first spike:           " + t + " us\n  last spike:            " + t +
                           " us\n  rate:                  none (one spike)\n"),
            std::string::npos)
      << table.out;
  EXPECT_NE(table.out.find("  intervals under 2 ms:  none (one spike)\n"), std::string::npos) << table.out;

  const test::CliRun json = Spikes({none, one, "--json"});
  ASSERT_EQ(json.status, 0) << json.err;
  const Json all = Json::parse(json.out);
  for (const char* key : {"first_us", "last_us", "rate_hz", "amplitude_median", "amplitude_min", "amplitude_max",
                          "isi_under_2ms_percent"}) {
    EXPECT_TRUE(all[0][key].is_null()) << key;
  }
  EXPECT_TRUE(all[1]["rate_hz"].is_null());
  EXPECT_TRUE(all[1]["isi_under_2ms_percent"].is_null());
  EXPECT_EQ(all[1]["first_us"], spikes[0].timestamp);
  EXPECT_EQ(all[1]["amplitude_max"], (std::vector<int>{spikes[0].samples[14], spikes[0].samples[15]}));
}

TEST_F(SpikesCommandTest, RefusedFilesAreReportedAndTheOthersStillShown) {
  const std::string empty = dir_->Write("empty.ktt", "");
  const std::string recording = dir_->File("rec/TT1a.kcs");
  std::string cutBytes = test::MadeSpikeFile(test::MadeHeaderText(1), test::RandomSpikes(1, 3, 2));
  cutBytes.resize(cutBytes.size() - 12);
  const std::string cut = dir_->Write("cut.kse", cutBytes);
  const test::CliRun run = Spikes({empty, tetrode_, recording, cut, "--json"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "SkelvaneV3: Not a spike file, it is empty: " + empty + "\n" +
                         "SkelvaneV3: Not a spike file but a CSC recording: " + recording + "\n" +
                         "SkelvaneV3: Spike file cut short, read up to its last whole record; bytes after it: 100: " +
                         cut + "\n");
  const Json all = Json::parse(run.out);
  ASSERT_EQ(all.size(), 2u);
  EXPECT_EQ(all[0]["path"], tetrode_);
  EXPECT_EQ(all[1]["count"], 2);

  // A file cut short is read, not refused: the status stays 0.
  EXPECT_EQ(Spikes({cut}).status, 0);
}

TEST_F(SpikesCommandTest, NamesThatAreNotUtf8StillGiveValidJson) {
  const std::string odd = dir_->File("odd\xff\xfe.ktt");
  std::filesystem::copy_file(tetrode_, odd, std::filesystem::copy_options::overwrite_existing);
  const test::CliRun run = Spikes({odd, "--json"});
  ASSERT_EQ(run.status, 0) << run.err;
  const Json all = Json::parse(run.out);
  EXPECT_EQ(all[0]["path"], dir_->File("odd\xef\xbf\xbd\xef\xbf\xbd.ktt"));
}

uint32_t BigEndian32(const std::string& b, std::size_t at) {
  return uint32_t{static_cast<uint8_t>(b[at])} << 24 | uint32_t{static_cast<uint8_t>(b[at + 1])} << 16 |
         uint32_t{static_cast<uint8_t>(b[at + 2])} << 8 | uint32_t{static_cast<uint8_t>(b[at + 3])};
}

TEST_F(SpikesCommandTest, PlotWritesOneFigureOfTheAskedSizePerFile) {
  const std::string png = dir_->File("fig.png");
  const test::CliRun one = Spikes({tetrode_, "--plot", png, "--width", "640", "--height", "480", "--max", "50"});
  ASSERT_EQ(one.status, 0) << one.err;
  const std::string bytes = test::ReadWholeFile(png);
  ASSERT_GT(bytes.size(), 24u);
  EXPECT_EQ(bytes.substr(1, 3), "PNG");
  EXPECT_EQ(BigEndian32(bytes, 16), 640u);
  EXPECT_EQ(BigEndian32(bytes, 20), 480u);
  EXPECT_NE(one.out.find("  figure:                " + png + " (50 of "), std::string::npos) << one.out;

  const std::string stereo = dir_->File("out2/SpikeFile_TT1a_TT1b.kst");
  const test::CliRun two = Spikes({tetrode_, stereo, "--plot", dir_->File("fig.bmp"), "--json"});
  ASSERT_EQ(two.status, 0) << two.err;
  const Json all = Json::parse(two.out);
  for (int i = 0; i < 2; ++i) {
    const std::string path = dir_->File("fig-" + std::to_string(i + 1) + ".bmp");
    EXPECT_EQ(all[i]["figure"], path);
    EXPECT_EQ(all[i]["figure_spikes"], std::min<int64_t>(1000, all[i]["count"].get<int64_t>()));
    const std::string bmp = test::ReadWholeFile(path);
    ASSERT_GT(bmp.size(), 26u);
    EXPECT_EQ(test::LittleEndianAt(bmp, 18, 4), 1400u);
    EXPECT_EQ(test::LittleEndianAt(bmp, 22, 4), 1000u);
  }
}

TEST_F(SpikesCommandTest, AFigureNamedLikeOneOfTheSpikeFilesIsRefused) {
  const std::string before = test::ReadWholeFile(tetrode_);
  const test::CliRun run = Spikes({tetrode_, "--plot", tetrode_});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("This output is one of the input files; nothing written: " + tetrode_), std::string::npos)
      << run.err;
  EXPECT_TRUE(test::ReadWholeFile(tetrode_) == before);
}

// `spikes --plot typo/*.kse` with two spike files there: the shell hands the first as the figure's
// name. It is no input, but it is a spike file: refused, left as it was, and the command fails.
TEST_F(SpikesCommandTest, AFigureOverAnotherSpikeFileOrARecordingIsRefused) {
  test::TempDir typo;
  const std::string first = typo.File("SpikeFile_TT1a.kse");
  std::filesystem::copy_file(dir_->File("out1/SpikeFile_TT1a.kse"), first);
  std::filesystem::copy_file(dir_->File("out1/SpikeFile_TT1b.kse"), typo.File("SpikeFile_TT1b.kse"));
  const std::string recording = typo.File("view.png");
  std::filesystem::copy_file(dir_->File("rec/TT1c.kcs"), recording);
  const std::string spikesBefore = test::ReadWholeFile(first);
  const std::string recordingBefore = test::ReadWholeFile(recording);
  const test::CliRun run = Spikes({"--plot", first, typo.File("SpikeFile_TT1b.kse")});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "SkelvaneV3: Nothing written: this output is a spike file (choose another name, or move the "
                     "spike file away first): " + first + "\n");
  const test::CliRun overRecording = Spikes({tetrode_, "--plot", recording});
  EXPECT_EQ(overRecording.status, 1);
  EXPECT_EQ(overRecording.err, "SkelvaneV3: Nothing written: this output is a recording (choose another name, or "
                               "move the recording away first): " + recording + "\n");
  EXPECT_TRUE(test::ReadWholeFile(first) == spikesBefore);
  EXPECT_TRUE(test::ReadWholeFile(recording) == recordingBefore);
}

// Spikes before time zero (a recording that starts at -5 s), times going back and times at the ends
// of the 64-bit range are read as the signed times they are, in the table and in the JSON.
TEST_F(SpikesCommandTest, TimesBeforeZeroAndGoingBackAreSaidAsSuch) {
  auto spikes = test::RandomSpikes(1, 4, 9);
  const std::vector<int64_t> times = {-5'000'000, -4'000'000, -4'500'000, -3'000'000};
  for (std::size_t i = 0; i < spikes.size(); ++i) spikes[i].timestamp = times[i];
  const std::string path = dir_->Write("before.kse", test::MadeSpikeFile(test::MadeHeaderText(1), spikes));
  const test::CliRun table = Spikes({path});
  ASSERT_EQ(table.status, 0) << table.err;
  EXPECT_NE(table.out.find("  first spike:           -5000000 us\n"
                           "  last spike:            -3000000 us\n"
                           "  times going back:      1 of 3 intervals (the file is not in time order)\n"
                           "  rate:                  2.000 Hz\n"),
            std::string::npos)
      << table.out;
  const test::CliRun json = Spikes({path, "--json"});
  ASSERT_EQ(json.status, 0) << json.err;
  const Json all = Json::parse(json.out);
  EXPECT_EQ(all[0]["first_us"], -5'000'000);
  EXPECT_EQ(all[0]["last_us"], -3'000'000);
  EXPECT_EQ(all[0]["rate_hz"], 2.0);
  EXPECT_EQ(all[0]["intervals_going_back"], 1);
}

TEST_F(SpikesCommandTest, FigureOptionsWithoutAFigureAndBadSizesAreUsageErrors) {
  EXPECT_GT(Spikes({tetrode_, "--max", "10"}).status, 100);
  EXPECT_GT(Spikes({tetrode_, "--plot", dir_->File("x.png"), "--width", "0"}).status, 100);
  // The figure's bounds are said with their limits, and an empty name is no figure.
  const test::CliRun tooMany = Spikes({tetrode_, "--plot", dir_->File("x.png"), "--max", "100001"});
  EXPECT_GT(tooMany.status, 100);
  EXPECT_EQ(tooMany.err.substr(0, tooMany.err.find('\n')), "--max: Value 100001 not in range 1 to 100000");
  const test::CliRun emptyName = Spikes({tetrode_, "--plot", ""});
  EXPECT_GT(emptyName.status, 100);
  EXPECT_EQ(emptyName.err.substr(0, emptyName.err.find('\n')), "--plot: The output file name is empty");
  EXPECT_GT(Spikes({}).status, 100);
  EXPECT_FALSE(std::filesystem::exists(dir_->File("x.png")));
  const test::CliRun help = Spikes({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("Exit status: 0 when every output was written"), std::string::npos);
}

}  // namespace
}  // namespace skelvane
