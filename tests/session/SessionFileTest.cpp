// The session file: every field survives writing and reading (a property over random sessions), and
// bad sessions are refused or restored in part with one message naming the file, by its exact text.
#include "session/SessionFile.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "tests/support/CapturedReports.h"
#include "tests/support/TempDir.h"
#include "tools/SyntheticRecording.h"

namespace skelvane {
namespace {

// A session with every field away from its default, texts with the characters JSON escapes.
Session RandomSession(std::mt19937_64& random) {
  const auto pick = [&random](int64_t low, int64_t high) {
    return std::uniform_int_distribution<int64_t>(low, high)(random);
  };
  const char* texts[] = {"", "onset", "say \"here\", then\nthere", "tab\there \\ back", "µV drift 1:02:00"};
  Session s;
  for (int64_t i = pick(0, 5); i > 0; --i) {
    Session::Recording r;
    r.path = pick(0, 1) ? "sub dir/TT" + std::to_string(i) + ".kcs" : "/data/x/CH" + std::to_string(i) + ".kcs";
    r.height = static_cast<int32_t>(pick(50, 5000));
    r.gain = std::ldexp(1.0, static_cast<int>(pick(-6, 8)));
    r.colour = static_cast<uint32_t>(pick(0, 0xFFFFFF));
    r.filter = pick(0, 1) ? "spike" : "300:3000";
    s.recordings.push_back(r);
  }
  s.view = {pick(INT64_MIN / 2, INT64_MAX / 2), pick(1, INT64_MAX / 2), static_cast<int32_t>(-pick(0, 9000)),
            static_cast<int32_t>(pick(1, 10000)), static_cast<int32_t>(pick(1, 10000))};
  s.timeAxis = static_cast<IPlotCanvas::TimeLabelStyle>(pick(0, 2));
  s.dataAxisInMicrovolts = pick(0, 1) == 1;
  s.scaleBars = pick(0, 1) == 1;
  if (pick(0, 1)) s.cursorA = pick(INT64_MIN, INT64_MAX);
  if (pick(0, 1)) s.cursorB = pick(INT64_MIN, INT64_MAX);
  s.extraction.ExtractionMode = static_cast<int32_t>(pick(0, 1));
  s.extraction.ExtractionType = static_cast<int32_t>(pick(0, 2));
  s.extraction.Threshold = static_cast<double>(pick(-500, 500)) / 4.0;
  s.extraction.NoiseThresholdFactor = static_cast<double>(pick(0, 40)) / 8.0;
  s.extraction.NumChannels = std::array<int32_t, 3>{1, 2, 4}[static_cast<std::size_t>(pick(0, 2))];
  s.extraction.NumSpikePoints = static_cast<int32_t>(pick(8, 32));
  s.extraction.AlignmentPt = static_cast<int32_t>(pick(1, s.extraction.NumSpikePoints));
  s.extraction.OutputDirectory = pick(0, 1) ? "spikes out" : "";
  s.extraction.Filter = pick(0, 1) ? FilterChoice::Lfp() : FilterChoice::Custom(std::nullopt, 3000.0);
  for (int64_t i = pick(0, 6); i > 0; --i) {
    s.markers.push_back({pick(INT64_MIN, INT64_MAX), pick(0, 1) ? "TT2" : "", texts[pick(0, 4)]});
  }
  s.markersPanel = pick(0, 1) == 1;
  if (pick(0, 1)) s.spikeFilePanels = {"out/SpikeFile_TT1.ntt", "/abs/x.kse"};
  return s;
}

void ExpectSame(const Session& a, const Session& b) {
  ASSERT_EQ(a.recordings.size(), b.recordings.size());
  for (std::size_t i = 0; i < a.recordings.size(); ++i) {
    EXPECT_EQ(a.recordings[i].path, b.recordings[i].path);
    EXPECT_EQ(a.recordings[i].height, b.recordings[i].height);
    EXPECT_EQ(a.recordings[i].gain, b.recordings[i].gain);
    EXPECT_EQ(a.recordings[i].colour, b.recordings[i].colour);
    EXPECT_EQ(a.recordings[i].filter, b.recordings[i].filter);
  }
  EXPECT_EQ(a.view.start, b.view.start);
  EXPECT_EQ(a.view.span, b.view.span);
  EXPECT_EQ(a.view.scrollTop, b.view.scrollTop);
  EXPECT_EQ(a.view.canvasWidth, b.view.canvasWidth);
  EXPECT_EQ(a.view.canvasHeight, b.view.canvasHeight);
  EXPECT_EQ(a.timeAxis, b.timeAxis);
  EXPECT_EQ(a.dataAxisInMicrovolts, b.dataAxisInMicrovolts);
  EXPECT_EQ(a.scaleBars, b.scaleBars);
  EXPECT_EQ(a.cursorA, b.cursorA);
  EXPECT_EQ(a.cursorB, b.cursorB);
  EXPECT_EQ(a.extraction.ExtractionMode, b.extraction.ExtractionMode);
  EXPECT_EQ(a.extraction.ExtractionType, b.extraction.ExtractionType);
  EXPECT_EQ(a.extraction.Threshold, b.extraction.Threshold);
  EXPECT_EQ(a.extraction.NoiseThresholdFactor, b.extraction.NoiseThresholdFactor);
  EXPECT_EQ(a.extraction.NumChannels, b.extraction.NumChannels);
  EXPECT_EQ(a.extraction.NumSpikePoints, b.extraction.NumSpikePoints);
  EXPECT_EQ(a.extraction.AlignmentPt, b.extraction.AlignmentPt);
  EXPECT_EQ(a.extraction.OutputDirectory, b.extraction.OutputDirectory);
  EXPECT_EQ(a.extraction.Filter, b.extraction.Filter);
  EXPECT_EQ(a.markers, b.markers);
  EXPECT_EQ(a.markersPanel, b.markersPanel);
  EXPECT_EQ(a.spikeFilePanels, b.spikeFilePanels);
}

TEST(SessionFileTest, EveryFieldSurvivesWritingAndReading) {
  std::mt19937_64 random(31);
  test::TempDir dir;
  for (int round = 0; round < 40; ++round) {
    const Session written = RandomSession(random);
    const std::string path = dir.File("s.skvs");
    ASSERT_EQ(SessionFile::Write(path, written), 0);
    Session read;
    std::vector<std::string> problems;
    ASSERT_EQ(SessionFile::Read(path, read, problems), SessionFile::Outcome::Read);
    EXPECT_TRUE(problems.empty()) << problems.front();
    ExpectSame(written, read);
    if (::testing::Test::HasFailure()) FAIL() << "round " << round << ":\n" << SessionFile::Text(written);
  }
}

TEST(SessionFileTest, BadSessionsSayWhatIsWrongNamingTheFile) {
  test::TempDir dir;
  struct Case {
    const char* text;
    SessionFile::Outcome outcome;
    std::vector<std::string> problems;  // for sessions read in part
    const char* message;                // for sessions refused ("%s": the path)
  };
  const std::vector<Case> cases = {
      {"{\"format\": \"skelvane-session\", \"version\": 1, ", SessionFile::Outcome::NotJson, {},
       "This session is not JSON; nothing was restored: %s"},
      {"[1, 2]", SessionFile::Outcome::NotSession, {}, "This file is not a session; nothing was restored: %s"},
      {"{\"format\": \"other\"}", SessionFile::Outcome::NotSession, {},
       "This file is not a session; nothing was restored: %s"},
      {R"({"format": "skelvane-session", "version": 7, "scale_bars": true, "new_field": [1]})",
       SessionFile::Outcome::Read, {"version: 7 is newer than this program's 1; what it added is left out"}, nullptr},
      {R"({"format": "skelvane-session", "version": 1,
           "recordings": [{"path": "a.kcs", "height": 9000, "gain": 0, "colour": "red"}, {"height": 60}],
           "view": {"span_us": -5, "scroll_top": 3},
           "time_axis": "minutes",
           "cursors": {"a_us": 1.5},
           "extraction": {"channels": 3, "alignment_point": 40, "filter": "5:1"},
           "markers": [{"text": "x"}, {"timestamp_us": 18446744073709551615}]})",
       SessionFile::Outcome::Read,
       {"recordings[0].height: 9000 is outside 50..5000", "recordings[0].gain: 0 is outside 0.015625..256.0",
        "recordings[0].colour: \"red\" is not a colour #RRGGBB",
        "recordings[1].path: is missing; the recording is left out", "view.span_us: -5 is below 1",
        "view.scroll_top: 3 is outside -2147483648..0", "time_axis: \"minutes\" is not one of microseconds, seconds, clock",
        "cursors.a_us: 1.5 is not a whole number", "extraction.channels: 3 is not 1, 2 or 4",
        "extraction.alignment_point: 40 is outside 1..32",
        "extraction.filter: \"5:1\" (Filter low cut-off: 5 Hz is not below the high cut-off, 1 Hz)",
        "markers[0].timestamp_us: is missing", "markers[1].timestamp_us: 18446744073709551615 is not a whole number"},
       nullptr},
  };
  for (const Case& c : cases) {
    const std::string path = dir.Write("bad.skvs", c.text);
    test::CapturedReports reports;
    Session session;
    session.scaleBars = false;
    std::vector<std::string> problems;
    EXPECT_EQ(SessionFile::Read(path, session, problems), c.outcome) << c.text;
    EXPECT_EQ(problems, c.problems) << c.text;
    if (c.message != nullptr) {
      char expected[512];
      std::snprintf(expected, sizeof expected, c.message, path.c_str());
      EXPECT_EQ(reports.Texts(), std::vector<std::string>{expected});
      continue;
    }
    EXPECT_TRUE(reports.Empty());
    // Whatever could be read was: the good fields of the same document.
    if (c.problems.size() == 1) {
      EXPECT_TRUE(session.scaleBars);
    }
  }
  // The problems, gathered, make one message naming the file.
  test::CapturedReports reports;
  SessionFile::ReportProblems("/d/s.skvs", {"missing: /d/TT1a.kcs", "view.span_us: -5 is below 1"});
  EXPECT_EQ(reports.Texts(), std::vector<std::string>{"This session was not restored in full: /d/s.skvs\n"
                                                      "missing: /d/TT1a.kcs\nview.span_us: -5 is below 1"});
}

TEST(SessionFileTest, NeverTakesThePlaceOfARecordingAndLeavesNoTemporaryFile) {
  test::TempDir dir;
  SynthOptions o;
  o.outDir = dir.Path();
  o.channels = 1;
  o.seconds = 0.1;
  SynthResult made;
  ASSERT_EQ(SyntheticRecording::Generate(o, made), 0);
  const std::string recording = made.paths.at(0);
  std::ifstream before(recording, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(before)), {});
  test::CapturedReports reports;
  EXPECT_NE(SessionFile::Write(recording, Session{}), 0);
  EXPECT_EQ(reports.Texts(),
            std::vector<std::string>{"Nothing written: this output is a recording (choose another name, or move the "
                                     "recording away first): " +
                                     recording});
  std::ifstream after(recording, std::ios::binary);
  EXPECT_EQ(std::string((std::istreambuf_iterator<char>(after)), {}), bytes);
  std::size_t entries = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.Path())) ++entries;
  EXPECT_EQ(entries, made.paths.size() + 1);  // the recording and the truth file, nothing more
}

}  // namespace
}  // namespace skelvane
