// The Spectrum panel in the window over a synthetic tetrode: Display > Spectrum (Ctrl+Shift+U) opens
// it on the first plot's visible span, it follows a change of the view and the plot under the mouse,
// marks a filter's band and switches between log and linear frequency.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QTest>
#include <chrono>
#include <functional>
#include <thread>

#include "app/CommandIds.h"
#include "app/PowerDensityPanel.h"
#include "app/PowerDensityPicture.h"
#include "app/WindowCommands.h"
#include "filter/FilterChoice.h"
#include "tests/app/RealWindowHarness.h"

namespace skelvane {
namespace {

class SpectrumInWindow : public test::RealWindowHarness {
 protected:
  // Lets the window take what the panel's worker sent until `done` holds (at most ten seconds).
  static bool Until(const std::function<bool()>& done) {
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done() && std::chrono::steady_clock::now() < give_up) {
      QCoreApplication::processEvents();
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return done();
  }
  PowerDensityPanel& Panel() { return *window->Spectrum(); }
  // The panel shows the spectrum of plot `index` over the visible span.
  bool ShowsViewOf(int32_t index) {
    return Panel().UpToDate() && Panel().Shown() && Panel().ShownPath() == PlotPath(index) &&
           Panel().ShownSpan() == std::make_pair(view.VisibleStart, view.VisibleStart + view.VisibleSpan);
  }
};

TEST_F(SpectrumInWindow, OpensOnTheFirstPlotAndFollowsTheViewAndTheMouse) {
  Start();
  OpenTetrode();
  ASSERT_TRUE(Panel().isHidden());
  Key(Qt::Key_U, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_FALSE(Panel().isHidden());
  EXPECT_TRUE(window->CommandAction(commands::kSpectrum)->isChecked());
  ASSERT_TRUE(Until([this] { return ShowsViewOf(0); })) << Panel().InfoText().toStdString();
  EXPECT_EQ(Panel().Shown()->status, SpanDensity::Result::Status::kOk);
  EXPECT_TRUE(Panel().InfoText().startsWith(QStringLiteral("TT1a: Welch, "))) << Panel().InfoText().toStdString();

  Key(Qt::Key_Left, Qt::ControlModifier);  // zoom in: a shorter span, shorter segments
  const int64_t longSegments = Panel().Shown()->segmentLength;
  ASSERT_TRUE(Until([this] { return ShowsViewOf(0); }));
  Key(Qt::Key_Right);
  ASSERT_TRUE(Until([this] { return ShowsViewOf(0); }));
  EXPECT_LE(Panel().Shown()->segmentLength, longSegments);

  MoveMouse(300, PlotMiddleY(2));
  ASSERT_TRUE(Until([this] { return ShowsViewOf(2); }));
  EXPECT_TRUE(Panel().InfoText().startsWith(QStringLiteral("TT1c: "))) << Panel().InfoText().toStdString();

  // Closed from the menu again, the check mark goes and the view no longer asks for spectra.
  window->Commands()->Run(commands::kSpectrum);
  EXPECT_TRUE(Panel().isHidden());
  EXPECT_FALSE(window->CommandAction(commands::kSpectrum)->isChecked());
}

TEST_F(SpectrumInWindow, SwitchesBetweenLogAndLinearFrequency) {
  Start();
  OpenTetrode();
  window->Commands()->Run(commands::kSpectrum);
  ASSERT_TRUE(Until([this] { return ShowsViewOf(0); }));
  PowerDensityPicture& picture = *Panel().Picture();
  const double nyquist = Panel().Shown()->samplingHz / 2;
  const double left = picture.XOf(0.0);
  const double right = picture.XOf(nyquist);
  ASSERT_TRUE(picture.LogFrequency());
  // Log: a decade below half the rate stands a decade's width from the right, far right of the middle.
  EXPECT_GT(picture.XOf(nyquist / 2), left + 0.8 * (right - left));
  Panel().LogSwitch()->click();
  EXPECT_FALSE(picture.LogFrequency());
  EXPECT_NEAR(picture.XOf(nyquist / 2), (left + right) / 2, 1.0);
}

// The band between the filter's cut-offs is shaded; with None nothing is.
TEST(SpectrumPictureTest, MarksTheFiltersBand) {
  test::EnsureQtApplication();
  PowerDensityPicture picture(nullptr);
  picture.resize(600, 300);
  PowerDensityPicture::Drawn drawn;
  drawn.spectrum.status = SpanDensity::Result::Status::kOk;
  drawn.spectrum.samplingHz = 32000;
  drawn.spectrum.binHz = 32000.0 / 1024;
  drawn.spectrum.raw.assign(513, -30.0);
  drawn.spectrum.filtered.assign(513, -90.0);
  drawn.bandLowHz = 600.0;
  drawn.bandHighHz = 6000.0;
  drawn.banded = true;
  drawn.filterName = FilterChoice::Spike().Description();
  picture.Show(drawn);
  const auto band = picture.BandColumns();
  ASSERT_TRUE(band.has_value());
  EXPECT_NEAR(band->first, picture.XOf(600.0), 1.0);
  EXPECT_NEAR(band->second, picture.XOf(6000.0), 1.0);
  const QImage image = picture.grab().toImage();
  const int y = 150;
  const QColor inside = image.pixelColor((band->first + band->second) / 2 + 3, y);
  const QColor outside = image.pixelColor((band->first + 60) / 2, y);
  EXPECT_GT(inside.blue(), outside.blue() + 20);

  drawn.banded = false;
  picture.Show(drawn);
  EXPECT_FALSE(picture.BandColumns().has_value());
}

}  // namespace
}  // namespace skelvane
