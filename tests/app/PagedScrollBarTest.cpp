// The scrollbar's range, page and position rules, and the scroll codes its actions are reported as.
#include "app/PagedScrollBar.h"

#include <gtest/gtest.h>

#include <QSignalSpy>

#include "tests/app/QtTestApplication.h"

namespace skelvane {
namespace {

using Code = PagedScrollBar::Code;

struct Bar {
  PagedScrollBar bar{Qt::Horizontal, nullptr};
  std::vector<std::pair<Code, int32_t>> seen;
  Bar() {
    QObject::connect(&bar, &PagedScrollBar::Scrolled, [this](Code code, int32_t position) {
      seen.emplace_back(code, position);
    });
  }
};

TEST(PagedScrollBar, StartsWithNothingToScroll) {
  test::EnsureQtApplication();
  Bar b;
  EXPECT_EQ(b.bar.Page(), 32766);
  EXPECT_EQ(b.bar.Position(), 0);
  EXPECT_FALSE(b.bar.isEnabled());
  EXPECT_EQ(b.bar.focusPolicy(), Qt::NoFocus);
}

TEST(PagedScrollBar, PageLimitsTheLastPosition) {
  test::EnsureQtApplication();
  Bar b;
  b.bar.SetPage(5284);
  EXPECT_EQ(b.bar.minimum(), 0);
  EXPECT_EQ(b.bar.maximum(), 32767 - 5284);
  EXPECT_EQ(b.bar.pageStep(), 5284);
  EXPECT_TRUE(b.bar.isEnabled());
  b.bar.SetPosition(40000);
  EXPECT_EQ(b.bar.Position(), 32767 - 5284);
  b.bar.SetPosition(-7);
  EXPECT_EQ(b.bar.Position(), 0);
  b.bar.SetPage(0);  // no thumb proportion: every position of the range is usable
  EXPECT_EQ(b.bar.maximum(), 32766);
  b.bar.SetPage(1);
  EXPECT_EQ(b.bar.maximum(), 32766);
  b.bar.SetPage(99999);
  EXPECT_EQ(b.bar.Page(), 32766);
  EXPECT_EQ(b.bar.maximum(), 1);
}

TEST(PagedScrollBar, ActionsAreReportedAsScrollCodes) {
  test::EnsureQtApplication();
  Bar b;
  b.bar.SetPage(1000);
  b.bar.SetPosition(5000);
  b.bar.triggerAction(QAbstractSlider::SliderSingleStepAdd);
  b.bar.triggerAction(QAbstractSlider::SliderSingleStepSub);
  b.bar.triggerAction(QAbstractSlider::SliderPageStepAdd);
  b.bar.triggerAction(QAbstractSlider::SliderPageStepSub);
  b.bar.triggerAction(QAbstractSlider::SliderToMinimum);
  b.bar.triggerAction(QAbstractSlider::SliderToMaximum);
  b.bar.setSliderPosition(1234);
  const std::vector<std::pair<Code, int32_t>> expected = {
      {Code::LineForward, 5001}, {Code::LineBack, 4999}, {Code::PageForward, 6000}, {Code::PageBack, 4000},
      {Code::ToStart, 0},        {Code::ToEnd, 31767},   {Code::ThumbTrack, 1234}};
  EXPECT_EQ(b.seen, expected);
}

TEST(PagedScrollBar, ThumbStaysWhereItWasUnlessTheHandlerMovesIt) {
  test::EnsureQtApplication();
  Bar b;
  b.bar.SetPage(1000);
  b.bar.SetPosition(5000);
  b.bar.triggerAction(QAbstractSlider::SliderPageStepAdd);
  EXPECT_EQ(b.bar.Position(), 5000);

  QObject::connect(&b.bar, &PagedScrollBar::Scrolled, [&](Code, int32_t position) { b.bar.SetPosition(position + 7); });
  b.bar.triggerAction(QAbstractSlider::SliderPageStepAdd);
  EXPECT_EQ(b.bar.Position(), 6007);
}

}  // namespace
}  // namespace skelvane
