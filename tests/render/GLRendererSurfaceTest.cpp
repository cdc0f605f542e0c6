// The renderer's surface: the off-screen bitmap and its framebuffer as sizes change, presenting and
// reading back, and how a missing driver, EGL vendor or font is reported.
#include "render/GLRenderer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/render/RendererFixture.h"
#include "tests/support/TempDir.h"

namespace skelvane {
namespace {

using namespace test;  // the shared fixture, its presenter and colours

TEST_F(RendererTest, SecondCreateKeepsTheSizeUntilANewSectionIsRequested) {
  renderer_.RequestNewDIBSection();
  ASSERT_EQ(renderer_.CreateDIBSectionOGL(40, 30), 0);
  EXPECT_EQ(renderer_.CreateDIBSectionOGL(80, 60), 0);
  EXPECT_EQ(renderer_.Bitmap().Width(), 40);
  EXPECT_EQ(renderer_.Bitmap().Height(), 30);
  renderer_.RequestNewDIBSection();
  EXPECT_EQ(renderer_.Bitmap().Width(), 40);  // the stale bitmap stays until the next create
  ASSERT_EQ(renderer_.CreateDIBSectionOGL(80, 60), 0);
  EXPECT_EQ(renderer_.Bitmap().Width(), 80);
  EXPECT_EQ(renderer_.Bitmap().Height(), 60);
  EXPECT_TRUE(reports_.Empty());
}

TEST_F(RendererTest, ResizedSectionIsDrawnToItsNewEdges) {
  FillRect(0, 0, kWidth, kHeight, kWhite, -5);
  Frame();
  Prepare(90, 70);
  renderer_.DrawPoint(89, 69, kRed, 1, -5, 1.0f);
  renderer_.DrawPoint(0, 0, kGreen, 1, -5, 1.0f);
  const MemoryBitmap& frame = Frame();
  ASSERT_EQ(frame.Width(), 90);
  ASSERT_EQ(frame.Height(), 70);
  EXPECT_EQ(frame.ColorAt(89, 0), kRed);
  EXPECT_EQ(frame.ColorAt(0, 69), kGreen);
  EXPECT_EQ(LitCount(), 2);

  Prepare(30, 20);
  renderer_.DrawPoint(29, 19, kBlue, 1, -5, 1.0f);
  Frame();
  EXPECT_EQ(renderer_.Bitmap().ColorAt(29, 0), kBlue);
  EXPECT_TRUE(reports_.Empty());
}

TEST_F(RendererTest, NewSectionIsBlackBeforeItIsSetUp) {
  FillRect(0, 0, kWidth, kHeight, kWhite, -5);
  renderer_.RequestNewDIBSection();
  ASSERT_EQ(renderer_.CreateDIBSectionOGL(32, 16), 0);
  RecordingPresenter presenter;
  ASSERT_EQ(renderer_.BltToScreen(presenter, 32, 16, 0, 0), 0);
  EXPECT_EQ(presenter.shown.Width(), 32);
  int32_t lit = 0;
  for (int32_t y = 0; y < 16; ++y) {
    for (int32_t x = 0; x < 32; ++x) lit += presenter.shown.ColorAt(x, y) != kBlack ? 1 : 0;
  }
  EXPECT_EQ(lit, 0);
}

TEST_F(RendererTest, InvalidSizeIsReportedAndTheNextCreateTriesAgain) {
  renderer_.RequestNewDIBSection();
  EXPECT_EQ(renderer_.CreateDIBSectionOGL(0, 10), -1);
  EXPECT_EQ(renderer_.CreateDIBSectionOGL(10, -3), -1);
  const std::string expected =
      "Invalid Parameter(s) passed to CreateDIBSection(), function returned a NULL Section, error = 22";
  EXPECT_EQ(reports_.CountOf(expected), 2u);
  EXPECT_EQ(reports_.Count(), 2u);
  EXPECT_EQ(renderer_.CreateDIBSectionOGL(12, 8), 0);
  EXPECT_EQ(renderer_.Bitmap().Width(), 12);
  EXPECT_EQ(renderer_.SetupRenderer(), 0);
}

TEST_F(RendererTest, SizeBeyondAnyMemoryIsReportedAndTheNextCreateTriesAgain) {
  // Four bytes a pixel over the largest sides asks for more than a process can ever address.
  renderer_.RequestNewDIBSection();
  EXPECT_EQ(renderer_.CreateDIBSectionOGL(INT32_MAX, INT32_MAX), -1);
  EXPECT_EQ(reports_.Texts(), std::vector<std::string>{"CreateDIBSection() return a Null Section, error = 12"});
  EXPECT_EQ(renderer_.Bitmap().Width(), 0);
  EXPECT_EQ(renderer_.CreateDIBSectionOGL(12, 8), 0);
  EXPECT_EQ(renderer_.Bitmap().Width(), 12);
  EXPECT_EQ(renderer_.SetupRenderer(), 0);
}

TEST_F(RendererTest, SetupWithoutABitmapReportsThePixelFormatFailure) {
  renderer_.ReleaseDIBSection();
  EXPECT_EQ(renderer_.SetupRenderer(), -1);
  EXPECT_EQ(reports_.Texts(), std::vector<std::string>{"ChoosePixelFormat() failed in SetPixelFormatOGL(), Last Error = 22"});
}

TEST_F(RendererTest, OversizedFramebufferIsRefusedAndASmallerOneStillWorks) {
  renderer_.RequestNewDIBSection();
  ASSERT_EQ(renderer_.CreateDIBSectionOGL(40000, 1), 0);
  EXPECT_EQ(renderer_.SetupRenderer(), -1);
  // GL_INVALID_VALUE: wider than any renderbuffer may be.
  EXPECT_EQ(reports_.Texts(), std::vector<std::string>{"SetPixelFormat() failed in SetPixelFormatOGL(), Last Error = 1281"});
  reports_.Clear();
  Prepare(16, 16);
  renderer_.DrawPoint(3, 3, kWhite, 1, -5, 1.0f);
  Frame();
  EXPECT_EQ(At(3, 3), kWhite);
  EXPECT_TRUE(reports_.Empty());
}

TEST_F(RendererTest, BltToScreenHandsTheDrawnFrameAndRegionToThePresenter) {
  renderer_.DrawPoint(7, 5, kRed, 1, -5, 1.0f);
  renderer_.Flush();
  RecordingPresenter presenter;
  ASSERT_EQ(renderer_.BltToScreen(presenter, kWidth, kHeight, 0, 15), 0);
  ASSERT_EQ(presenter.calls, 1);
  EXPECT_EQ(presenter.shownWidth, kWidth);
  EXPECT_EQ(presenter.shownHeight, kHeight);
  EXPECT_EQ(presenter.shownX, 0);
  EXPECT_EQ(presenter.shownY, 15);
  EXPECT_EQ(presenter.shown.ColorAt(7, kHeight - 1 - 5), kRed);
  EXPECT_EQ(renderer_.Bitmap().ColorAt(7, kHeight - 1 - 5), kRed);
}

TEST_F(RendererTest, BltToScreenClipsTheRegionToTheBitmap) {
  RecordingPresenter presenter;
  ASSERT_EQ(renderer_.BltToScreen(presenter, kWidth + 50, -4, 3, 4), 0);
  EXPECT_EQ(presenter.shownWidth, kWidth);
  EXPECT_EQ(presenter.shownHeight, 0);
}

TEST_F(RendererTest, RefusedPresentationIsReportedAsAFailedBlit) {
  RecordingPresenter presenter(false);
  EXPECT_EQ(renderer_.BltToScreen(presenter, kWidth, kHeight, 0, 0), -1);
  EXPECT_EQ(reports_.Texts(), std::vector<std::string>{"BitBlt() failed in BltToScreen()"});
}

// Text: glyphs are drawn from the raster position, which is the left end of the baseline.

TEST(RendererWithoutBitmap, BltToScreenAndReadBackReportTheMissingBitmap) {
  test::CapturedReports reports;
  GLRenderer renderer;
  RecordingPresenter presenter;
  EXPECT_EQ(renderer.BltToScreen(presenter, 10, 10, 0, 0), -1);
  EXPECT_EQ(presenter.calls, 0);
  EXPECT_EQ(renderer.ReadBack(), -1);
  EXPECT_EQ(reports.Texts(),
            (std::vector<std::string>{"BitBlt() failed in BltToScreen()", "No off-screen bitmap in ReadBack()"}));
}

TEST(RendererWithoutBitmap, ConstructionAndDestructionNeedNoContext) {
  test::CapturedReports reports;
  {
    GLRenderer renderer;
    EXPECT_EQ(renderer.Bitmap().Width(), 0);
    EXPECT_EQ(renderer.GetTextWidth("abc"), 0);
  }
  EXPECT_TRUE(reports.Empty());
}

TEST(RendererLifetime, TwoRenderersKeepTheirOwnFramesApart) {
  test::CapturedReports reports;
  GLRenderer first;
  GLRenderer second;
  ASSERT_EQ(first.CreateDIBSectionOGL(8, 8), 0);
  ASSERT_EQ(second.CreateDIBSectionOGL(8, 8), 0);
  ASSERT_EQ(first.SetupRenderer(), 0);
  first.ClearScene();
  first.SetProjection(0, 7, 0, 8);
  first.DrawPoint(1, 1, kRed, 1, -5, 1.0f);
  ASSERT_EQ(second.SetupRenderer(), 0);
  second.ClearScene();
  second.SetProjection(0, 7, 0, 8);
  second.DrawPoint(6, 6, kBlue, 1, -5, 1.0f);
  ASSERT_EQ(first.ReadBack(), 0);
  ASSERT_EQ(second.ReadBack(), 0);
  EXPECT_EQ(first.Bitmap().ColorAt(1, 6), kRed);
  EXPECT_EQ(first.Bitmap().ColorAt(6, 1), kBlack);
  EXPECT_EQ(second.Bitmap().ColorAt(6, 1), kBlue);
  EXPECT_EQ(second.Bitmap().ColorAt(1, 6), kBlack);
  EXPECT_TRUE(reports.Empty());
}

// Each case below changes the process environment before the first EGL or fontconfig call, so it
// runs in a fresh child process and reports its findings through the exit code and stderr.
class RendererEnvironmentTest : public ::testing::Test {
 protected:
  void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }

  // 0 when every check held and the reports were exactly the expected ones; prints them for diagnosis.
  static int Verdict(const std::vector<std::string>& reports, const std::vector<std::string>& expected, bool ok) {
    for (const std::string& text : reports) std::fprintf(stderr, "report: %s\n", text.c_str());
    return ok && reports == expected ? 0 : 1;
  }
};

TEST_F(RendererEnvironmentTest, MissingDriverIsReportedAsAFailedCompatibleDC) {
  EXPECT_EXIT(
      {
        setenv("LIBGL_DRIVERS_PATH", "/nonexistent-skelvane-drivers", 1);
        setenv("GALLIUM_DRIVER", "llvmpipe", 1);
        test::CapturedReports reports;
        GLRenderer renderer;
        const bool failed = renderer.CreateDIBSectionOGL(10, 10) == -1;
        renderer.ClearScene();
        renderer.DrawLine(0, 0, 5, 5, kWhite, 1, -5, 1.0f);
        renderer.DrawString("abc", 1, 1, -1, kWhite);
        RecordingPresenter presenter;
        const bool bltFailed = renderer.BltToScreen(presenter, 10, 10, 0, 0) == -1;
        std::exit(Verdict(reports.Texts(),
                          {"CreateCompatibleDC() failed in CreateDIBSectionOGL()", "BitBlt() failed in BltToScreen()"},
                          failed && bltFailed));
      },
      ::testing::ExitedWithCode(0), "");
}

TEST_F(RendererEnvironmentTest, MissingEglVendorIsReportedAsANullDeviceContext) {
  EXPECT_EXIT(
      {
        setenv("__EGL_VENDOR_LIBRARY_FILENAMES", "/nonexistent-skelvane-vendor.json", 1);
        test::CapturedReports reports;
        GLRenderer renderer;
        const bool failed = renderer.CreateDIBSectionOGL(10, 10) == -1;
        const bool setupFailed = renderer.SetupRenderer() == -1;
        // No vendor knows the platform: EGL_BAD_PARAMETER (0x300C).
        std::exit(Verdict(reports.Texts(),
                          {"CDC value is Null in CreateDIBSectionOGL()",
                           "wglCreateContext() failed in SetupRenderer(), Last Error = 12300"},
                          failed && setupFailed));
      },
      ::testing::ExitedWithCode(0), "");
}

TEST_F(RendererEnvironmentTest, MissingFontIsReportedAndTextIsSkipped) {
  EXPECT_EXIT(
      {
        int verdict = 1;
        {
          test::TempDir dir;  // a font configuration that knows no fonts at all
          setenv("FONTCONFIG_FILE", dir.Write("fonts.conf", "<?xml version=\"1.0\"?>\n<fontconfig></fontconfig>\n").c_str(), 1);
          test::CapturedReports reports;
          GLRenderer renderer;
          const bool created = renderer.CreateDIBSectionOGL(20, 20) == 0;
          const bool setUp = renderer.SetupRenderer() == 0;
          renderer.ClearScene();
          renderer.SetProjection(0, 19, 0, 20);
          const bool drawn = renderer.DrawString("Hello", 1, 5, -1, kWhite) == 0;
          const bool read = renderer.ReadBack() == 0;
          bool black = true;
          for (int32_t y = 0; y < 20; ++y) {
            for (int32_t x = 0; x < 20; ++x) black = black && renderer.Bitmap().ColorAt(x, y) == kBlack;
          }
          const bool measuredEmpty = renderer.GetTextWidth("Hello") == 0 && renderer.GetTextHeight("Hello") == 0;
          verdict = Verdict(reports.Texts(), {"Unable To Create Indirect Font, Default Font Will Be Used"},
                            created && setUp && drawn && read && black && measuredEmpty);
        }
        std::exit(verdict);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST_F(RendererEnvironmentTest, StaticRendererSurvivesProcessExit) {
  // The canvas keeps its renderer in a static object, destroyed after the driver's own exit
  // handlers have run.
  EXPECT_EXIT(
      {
        static GLRenderer renderer;
        renderer.CreateDIBSectionOGL(16, 16);
        renderer.SetupRenderer();
        renderer.ClearScene();
        renderer.DrawString("x", 2, 2, -1, kWhite);
        renderer.ReadBack();
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace skelvane
