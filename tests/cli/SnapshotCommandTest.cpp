// The snapshot command, run as a user would on a recording made by the synth command: the bitmap
// file it writes, what it prints, and how it refuses what it cannot do.
#include <atomic>
#include <cerrno>
#include <chrono>
#include <thread>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <png.h>
#include <iterator>
#include <set>
#include <vector>

#include "tests/cli/CliRunner.h"

namespace skelvane {
namespace {

constexpr int32_t kWidth = 240;
constexpr int32_t kHeight = 260;
constexpr std::size_t kPixelsAt = 54;  // 14-byte file header + 40-byte information header, no colour table

std::vector<uint8_t> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

uint32_t U32(const std::vector<uint8_t>& b, std::size_t at) {
  return uint32_t{b[at]} | uint32_t{b[at + 1]} << 8 | uint32_t{b[at + 2]} << 16 | uint32_t{b[at + 3]} << 24;
}

uint16_t U16(const std::vector<uint8_t>& b, std::size_t at) { return static_cast<uint16_t>(b[at] | b[at + 1] << 8); }

// The colour 0x00BBGGRR of a pixel, row counted from the top of the picture (the file stores the
// bottom row first, each pixel as B, G, R, X).
uint32_t ColourAt(const std::vector<uint8_t>& bmp, int32_t x, int32_t rowFromTop) {
  const std::size_t at = kPixelsAt + (static_cast<std::size_t>(kHeight - 1 - rowFromTop) * kWidth + x) * 4;
  return uint32_t{bmp[at + 2]} | uint32_t{bmp[at + 1]} << 8 | uint32_t{bmp[at]} << 16;
}

class SnapshotCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    const test::CliRun synth =
        test::RunCli({"synth", "--out", dir.File("rec"), "--channels", "2", "--seconds", "1", "--seed", "3"}, dir);
    ASSERT_EQ(synth.status, 0) << synth.err;
    first = dir.File("rec/TT1a.kcs");
    second = dir.File("rec/TT1b.kcs");
  }
  test::CliRun Snapshot(std::vector<std::string> extra) {
    std::vector<std::string> args = {"snapshot", first, second, "--width", std::to_string(kWidth), "--height",
                                     std::to_string(kHeight)};
    args.insert(args.end(), extra.begin(), extra.end());
    return test::RunCli(args, dir);
  }
  test::TempDir dir;
  std::string first;
  std::string second;
};

TEST_F(SnapshotCommand, WritesA32BitBitmapWithEachFilesTraceInItsOwnPlot) {
  const std::string out = dir.File("shot.bmp");
  const test::CliRun run = Snapshot({"-o", out});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out, out + " (240 x 260)\n");

  const std::vector<uint8_t> bmp = ReadAll(out);
  const uint32_t imageSize = kWidth * kHeight * 4;
  ASSERT_EQ(bmp.size(), kPixelsAt + imageSize);
  EXPECT_EQ(bmp[0], 'B');
  EXPECT_EQ(bmp[1], 'M');
  EXPECT_EQ(U32(bmp, 2), bmp.size());
  EXPECT_EQ(U32(bmp, 10), kPixelsAt);
  EXPECT_EQ(U32(bmp, 14), 40u);
  EXPECT_EQ(U32(bmp, 18), static_cast<uint32_t>(kWidth));
  EXPECT_EQ(U32(bmp, 22), static_cast<uint32_t>(kHeight));  // positive: bottom-up rows
  EXPECT_EQ(U16(bmp, 26), 1);
  EXPECT_EQ(U16(bmp, 28), 32);
  EXPECT_EQ(U32(bmp, 30), 0u);
  EXPECT_EQ(U32(bmp, 34), imageSize);
  EXPECT_EQ(U32(bmp, 46), 0u);  // no colour table

  // The first plot (rows 0..99 from the top) is drawn in the first colour handed out, "Red"; the
  // second (rows 103..202) in "Blue". Each trace covers the columns of the recorded second.
  std::set<int32_t> redColumns, blueColumns;
  for (int32_t row = 0; row < kHeight; ++row) {
    for (int32_t x = 0; x < kWidth; ++x) {
      const uint32_t colour = ColourAt(bmp, x, row);
      if (colour == 0x0000FF) {
        EXPECT_LT(row, 100) << "red outside the first plot at " << x << "," << row;
        redColumns.insert(x);
      } else if (colour == 0xFF0000) {
        EXPECT_GE(row, 103) << "blue outside the second plot at " << x << "," << row;
        EXPECT_LT(row, 203) << "blue outside the second plot at " << x << "," << row;
        blueColumns.insert(x);
      }
    }
  }
  // The recorded second lies in the middle third of the time range, which the data source manager
  // pads by a second either side: columns 40 + 200/3 .. 40 + 400/3 of the plot area right of the
  // 40-pixel data axis. Every column there holds a bar.
  for (const std::set<int32_t>* columns : {&redColumns, &blueColumns}) {
    ASSERT_FALSE(columns->empty());
    EXPECT_NEAR(*columns->begin(), 107, 4);
    EXPECT_NEAR(*columns->rbegin(), 173, 4);
    EXPECT_GE(columns->size(), 60u);
  }
}

TEST_F(SnapshotCommand, StartAndSpanChooseWhatIsShown) {
  ASSERT_EQ(Snapshot({"-o", dir.File("whole.bmp")}).status, 0);
  const test::CliRun zoomed = Snapshot({"-o", dir.File("zoomed.bmp"), "--start", "1200000", "--span", "20000"});
  ASSERT_EQ(zoomed.status, 0) << zoomed.err;
  const std::vector<uint8_t> whole = ReadAll(dir.File("whole.bmp"));
  const std::vector<uint8_t> part = ReadAll(dir.File("zoomed.bmp"));
  ASSERT_EQ(whole.size(), part.size());
  EXPECT_NE(whole, part);
  // 100 us per column inside the recording: the trace runs across the whole plot area (where it
  // leaves the zero line, which the threshold overlay draws over it).
  std::set<int32_t> redColumns;
  for (int32_t row = 0; row < 100; ++row) {
    for (int32_t x = 0; x < kWidth; ++x) {
      if (ColourAt(part, x, row) == 0x0000FF) redColumns.insert(x);
    }
  }
  ASSERT_FALSE(redColumns.empty());
  EXPECT_LT(*redColumns.begin(), 60);
  EXPECT_GT(*redColumns.rbegin(), 220);
}

TEST_F(SnapshotCommand, UnwritableOutputIsReportedAndFailsTheCommand) {
  const std::string out = dir.File("missing/shot.bmp");
  const test::CliRun run = Snapshot({"-o", out});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "SkelvaneV3: Unable to create() file to save .bmp...: " + out + ": " + std::strerror(ENOENT) + "\n");
  EXPECT_EQ(run.out, "");
  EXPECT_FALSE(std::filesystem::exists(out));
}

TEST_F(SnapshotCommand, AFileThatIsNoRecordingWritesNothing) {
  second = dir.Write("notes.txt", "just text, not a recording");
  const std::string out = dir.File("shot.bmp");
  const test::CliRun run = Snapshot({"-o", out});
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(run.err.ends_with("SkelvaneV3: snapshot: nothing written\n")) << run.err;
  EXPECT_FALSE(std::filesystem::exists(out));
}

// The picture must never take the place of a recording it shows, under whatever name.
TEST_F(SnapshotCommand, AnOutputThatIsOneOfTheInputsIsRefusedAndNothingIsWritten) {
  const std::vector<uint8_t> recording = ReadAll(second);
  std::filesystem::create_symlink(second, dir.File("view.bmp"));
  for (const std::string& output : {second, dir.File("view.bmp")}) {
    const test::CliRun run = Snapshot({"-o", output});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "SkelvaneV3: This output is one of the input files; nothing written: " + output + "\n");
    EXPECT_EQ(run.out, "");
    EXPECT_TRUE(ReadAll(second) == recording);
  }
  EXPECT_TRUE(std::filesystem::is_symlink(dir.File("view.bmp")));
}

// `snapshot ... -o typo/?.kcs`: the pattern matched another recording, which is no input. A picture
// never takes the place of a recording or a spike file, whatever its name; a FIFO is named as such,
// and an empty name is a usage error that says so.
TEST_F(SnapshotCommand, AnOutputThatIsARecordingASpikeFileAFifoOrNoNameIsRefused) {
  const std::string other = dir.File("typo/a.kcs");
  std::filesystem::create_directory(dir.File("typo"));
  std::filesystem::copy_file(first, other);
  const std::string spikeFile = dir.Write("typo/b.png", std::string("######## Kestrelon Data File Header\r\n") +
                                                           "-RecordSize  112\r\n\t-AlignmentPt  8\r\n");
  const std::vector<uint8_t> recording = ReadAll(other);
  const std::vector<uint8_t> spikes = ReadAll(spikeFile);
  test::CliRun run = test::RunCli({"snapshot", second, "--width", "50", "--height", "50", "-o", other}, dir);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "SkelvaneV3: Nothing written: this output is a recording (choose another name, or move the "
                     "recording away first): " + other + "\n");
  run = test::RunCli({"snapshot", second, "--width", "50", "--height", "50", "-o", spikeFile}, dir);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "SkelvaneV3: Nothing written: this output is a spike file (choose another name, or move the "
                     "spike file away first): " + spikeFile + "\n");
  EXPECT_TRUE(ReadAll(other) == recording);
  EXPECT_TRUE(ReadAll(spikeFile) == spikes);

  const std::string fifo = dir.File("fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  run = Snapshot({"-o", fifo});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "SkelvaneV3: Unable to create() file to save .bmp...: " + fifo +
                         ": not a regular file but a FIFO (named pipe)\n");
  run = test::RunCli({"snapshot", fifo, "--width", "50", "--height", "50", "-o", dir.File("x.bmp")}, dir);
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(run.err.starts_with("SkelvaneV3: Error opening file; microsoft error code:95: " + fifo +
                                  ": not a regular file but a FIFO (named pipe)\n"))
      << run.err;
  run = Snapshot({"-o", ""});
  EXPECT_GT(run.status, 100);
  EXPECT_EQ(run.err.substr(0, run.err.find('\n')), "--output: The output file name is empty");
  EXPECT_FALSE(std::filesystem::exists(dir.File("x.bmp")));
}

// A recording made wholly before time zero is drawn as the same recording made later: the plots are
// the same pixels (only the time axis's labels differ). A start outside the data is said.
TEST_F(SnapshotCommand, ARecordingBeforeZeroIsDrawnLikeAnyOtherAndAStartOutsideTheDataIsSaid) {
  std::vector<std::vector<uint8_t>> pictures;
  for (const char* start : {"-5000000", "100000000"}) {
    const std::string folder = dir.File(std::string("at") + start);
    ASSERT_EQ(test::RunCli({"synth", "--out", folder, "--channels", "1", "--seconds", "3", "--seed", "4", "--start",
                            start},
                           dir)
                  .status,
              0);
    const std::string out = folder + "/shot.bmp";
    const test::CliRun run = test::RunCli(
        {"snapshot", folder + "/TT1a.kcs", "--width", std::to_string(kWidth), "--height", std::to_string(kHeight), "-o", out},
        dir);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    pictures.push_back(ReadAll(out));
  }
  ASSERT_EQ(pictures[0].size(), pictures[1].size());
  // The plot (rows 0..99 from the top) holds the trace, in the same columns.
  int traced = 0;
  for (int32_t row = 0; row < 100; ++row) {
    for (int32_t x = 0; x < kWidth; ++x) {
      ASSERT_EQ(ColourAt(pictures[0], x, row), ColourAt(pictures[1], x, row)) << x << "," << row;
      traced += ColourAt(pictures[0], x, row) == 0x0000FF;
    }
  }
  EXPECT_GT(traced, 100);

  const test::CliRun after = test::RunCli({"snapshot", dir.File("at-5000000/TT1a.kcs"), "--width", "300", "--height",
                                           "50", "-o", dir.File("after.bmp"), "--start", "0", "--span", "1000000"},
                                          dir);
  ASSERT_EQ(after.status, 0) << after.err;
  EXPECT_EQ(after.err, "SkelvaneV3: snapshot: --start 0 us would show after the data (-6000000 to -1024000 us with its "
                       "margins); the picture starts at -2023999 us\n");
}

// Another program writes over a recording while it is drawn: the picture would show what the reads
// happened to see, so nothing is written and the command fails.
TEST_F(SnapshotCommand, ARecordingWrittenOverWhileItIsDrawnFailsTheCommand) {
  const std::vector<uint8_t> bytes = ReadAll(second);
  std::atomic<bool> stop{false};
  std::thread writer([&] {
    while (!stop) {
      std::fstream out(second, std::ios::in | std::ios::out | std::ios::binary);
      out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
      out.close();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  const test::CliRun run = Snapshot({"-o", dir.File("view.bmp")});
  stop = true;
  writer.join();
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("SkelvaneV3: Data file changed or was truncated while open: " + second + "\n"),
            std::string::npos)
      << run.err;
  EXPECT_TRUE(run.err.ends_with("SkelvaneV3: snapshot: nothing written\n")) << run.err;
  EXPECT_FALSE(std::filesystem::exists(dir.File("view.bmp")));
}

TEST_F(SnapshotCommand, SizesOutsideTheWindowLimitsAreRefused) {
  const std::string out = dir.File("shot.bmp");
  for (const char* width : {"0", "10001"}) {
    EXPECT_NE(test::RunCli({"snapshot", first, "--width", width, "--height", "100", "-o", out}, dir).status, 0);
  }
  EXPECT_FALSE(std::filesystem::exists(out));
}

// A .png name gets the same picture as a PNG, read back here with the PNG library's own reader.
TEST_F(SnapshotCommand, PngNameWritesTheSamePixelsAsTheBitmap) {
  const std::string bmpPath = dir.File("shot.bmp");
  const std::string pngPath = dir.File("shot.PNG");
  ASSERT_EQ(Snapshot({"-o", bmpPath}).status, 0);
  const test::CliRun run = Snapshot({"-o", pngPath});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, pngPath + " (240 x 260)\n");

  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  ASSERT_NE(png_image_begin_read_from_file(&image, pngPath.c_str()), 0) << image.message;
  ASSERT_EQ(image.width, static_cast<uint32_t>(kWidth));
  ASSERT_EQ(image.height, static_cast<uint32_t>(kHeight));
  image.format = PNG_FORMAT_RGB;
  std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(image));
  ASSERT_NE(png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr), 0) << image.message;
  const std::vector<uint8_t> bmp = ReadAll(bmpPath);
  std::set<uint32_t> colours;
  for (int32_t y = 0; y < kHeight; ++y) {
    for (int32_t x = 0; x < kWidth; ++x) {
      const std::size_t at = (static_cast<std::size_t>(y) * kWidth + x) * 3;
      const uint32_t colour = uint32_t{rgb[at]} | uint32_t{rgb[at + 1]} << 8 | uint32_t{rgb[at + 2]} << 16;
      ASSERT_EQ(colour, ColourAt(bmp, x, y)) << x << "," << y;
      colours.insert(colour);
    }
  }
  EXPECT_GT(colours.size(), 3u);  // traces, grid and labels, not a blank picture
}

// --show-spikes marks, on both traces of the group, the peak of every spike extract writes with the
// same options (a band filter among them): a white tick edged in black at the peak's column. Nothing
// else in the picture changes.
TEST_F(SnapshotCommand, ShowSpikesMarksTheSpikeFilesSpikesAndChangesNothingElse) {
  for (const char* filter : {"none", "spike"}) {
    SCOPED_TRACE(filter);
    const std::vector<std::string> detection = {"--channels", "2", "--threshold", "120", "--type", "both",
                                                "--filter", filter};
    std::vector<std::string> extract = {"extract", first, second, "--outdir", dir.Path(), "--quiet"};
    extract.insert(extract.end(), detection.begin(), detection.end());
    ASSERT_EQ(test::RunCli(extract, dir).status, 0);
    const std::vector<uint8_t> file = ReadAll(dir.File("SpikeFile_TT1a_TT1b.kst"));
    constexpr std::size_t kSpikeHeader = 16384;
    constexpr std::size_t kRecordSize = 48 + 2 * 32 * 2;
    constexpr int64_t kStart = 1'100'000;
    constexpr int64_t kSpan = 600'000;
    // Trace column c lands in canvas pixel 40 + c - 1, right of the 40-pixel data axis: the renderer
    // puts a line at x on the left of pixel x, as it does the trace's own columns.
    constexpr int32_t kFirstColumn = 39;
    constexpr int32_t kAxis = 40;
    constexpr double kPerColumn = static_cast<double>(kSpan) / (kWidth - kAxis);
    std::set<int32_t> spikeColumns;
    for (std::size_t at = kSpikeHeader; at + kRecordSize <= file.size(); at += kRecordSize) {
      const int64_t peak = static_cast<int64_t>(U32(file, at) | uint64_t{U32(file, at + 4)} << 32);
      if (peak >= kStart && peak < kStart + kSpan) spikeColumns.insert(kFirstColumn + static_cast<int32_t>((peak - kStart) / kPerColumn));
    }
    ASSERT_GE(spikeColumns.size(), 3u);

    const std::vector<std::string> view = {"--start", std::to_string(kStart), "--span", std::to_string(kSpan)};
    std::vector<std::string> plainArgs = {"-o", dir.File("plain.bmp"), "--filter", filter};
    plainArgs.insert(plainArgs.end(), view.begin(), view.end());
    std::vector<std::string> markedArgs = {"-o", dir.File("marked.bmp"), "--show-spikes"};
    markedArgs.insert(markedArgs.end(), view.begin(), view.end());
    markedArgs.insert(markedArgs.end(), detection.begin(), detection.end());
    ASSERT_EQ(Snapshot(plainArgs).status, 0);
    const test::CliRun marked = Snapshot(markedArgs);
    ASSERT_EQ(marked.status, 0) << marked.err;
    EXPECT_EQ(marked.err, "");
    const std::vector<uint8_t> plain = ReadAll(dir.File("plain.bmp"));
    const std::vector<uint8_t> ticked = ReadAll(dir.File("marked.bmp"));
    ASSERT_EQ(plain.size(), ticked.size());

    // Per plot (rows 0..99 and 103..202 from the top), the columns holding a white tick pixel.
    std::set<int32_t> tickColumns[2];
    for (int32_t row = 0; row < kHeight; ++row) {
      for (int32_t x = 0; x < kWidth; ++x) {
        const uint32_t before = ColourAt(plain, x, row);
        const uint32_t after = ColourAt(ticked, x, row);
        if (before == after) continue;
        ASSERT_TRUE(after == 0xFFFFFF || after == 0x000000) << "changed to " << std::hex << after << " at " << std::dec << x << "," << row;
        const bool nearSpike = spikeColumns.count(x) + spikeColumns.count(x - 1) + spikeColumns.count(x + 1) > 0;
        ASSERT_TRUE(nearSpike) << "changed away from every spike at " << x << "," << row;
        const int plot = row < 100 ? 0 : row >= 103 && row < 203 ? 1 : -1;
        ASSERT_GE(plot, 0) << "changed outside the plots at " << x << "," << row;
        if (after == 0xFFFFFF) tickColumns[plot].insert(x);
      }
    }
    EXPECT_EQ(tickColumns[0], spikeColumns);
    EXPECT_EQ(tickColumns[1], spikeColumns);
  }
}

TEST_F(SnapshotCommand, ShowSpikesWantsTheDetectionOptionsAndTheyWantIt) {
  const std::string out = dir.File("shot.bmp");
  EXPECT_GT(Snapshot({"-o", out, "--show-spikes", "--channels", "2"}).status, 100);
  EXPECT_GT(Snapshot({"-o", out, "--show-spikes", "--threshold", "50"}).status, 100);
  EXPECT_GT(Snapshot({"-o", out, "--channels", "2", "--threshold", "50"}).status, 100);
  EXPECT_FALSE(std::filesystem::exists(out));
}

// --filter draws the traces through the band, with or without --show-spikes; a band the recordings
// cannot take is refused by its field and the recording, and nothing is written.
TEST_F(SnapshotCommand, FilterDrawsTheTracesThroughTheBandAndRefusesWhatTheRecordingsCannotTake) {
  const auto shot = [&](const std::string& name, const std::string& filter) {
    const test::CliRun run = Snapshot({"-o", dir.File(name), "--filter", filter});
    EXPECT_EQ(run.status, 0) << run.err;
    return ReadAll(dir.File(name));
  };
  const std::vector<uint8_t> plain = shot("plain.bmp", "none");
  EXPECT_NE(shot("spike.bmp", "spike"), plain);
  EXPECT_NE(shot("lfp.bmp", "lfp"), shot("spike2.bmp", "spike"));
  const test::CliRun refused = Snapshot({"-o", dir.File("refused.bmp"), "--filter", "20000:"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("Filter low cut-off: 20000 Hz is not inside (0, 16000) Hz, above 0 and below half the "
                             "sampling rate: " + first),
            std::string::npos)
      << refused.err;
  EXPECT_FALSE(std::filesystem::exists(dir.File("refused.bmp")));
}

}  // namespace
}  // namespace skelvane
