// The About box's caption, texts, icon and OK button, and that OK or Esc closes it.
#include "app/AboutBox.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "tests/app/QtTestApplication.h"

namespace skelvane {
namespace {

TEST(AboutBox, ShowsNameVersionIconAndOk) {
  test::EnsureQtApplication();
  AboutBox box;
  EXPECT_EQ(box.windowTitle().toStdString(), "About Skelvane");
  EXPECT_EQ(box.NameLabel()->text().toStdString(), "Skelvane");
  EXPECT_EQ(box.VersionLabel()->text().toStdString(), "Version 3.01");
  EXPECT_EQ(box.OkButton()->text().toStdString(), "OK");
  EXPECT_TRUE(box.OkButton()->isDefault());
  EXPECT_FALSE(box.IconLabel()->pixmap().isNull());
  EXPECT_TRUE(box.isModal());
}

TEST(AboutBox, LaidOutLeftToRightIconTextsButton) {
  test::EnsureQtApplication();
  AboutBox box;
  EXPECT_LT(box.IconLabel()->geometry().right(), box.NameLabel()->x());
  EXPECT_EQ(box.NameLabel()->x(), box.VersionLabel()->x());
  EXPECT_LT(box.NameLabel()->y(), box.VersionLabel()->y());
  EXPECT_LT(box.VersionLabel()->geometry().bottom(), box.OkButton()->y());
  EXPECT_TRUE(box.rect().contains(box.OkButton()->geometry()));
}

TEST(AboutBox, OkAcceptsAndEscapeRejects) {
  test::EnsureQtApplication();
  AboutBox box;
  box.show();
  box.OkButton()->click();
  EXPECT_EQ(box.result(), QDialog::Accepted);
  EXPECT_FALSE(box.isVisible());

  AboutBox other;
  other.show();
  QTest::keyClick(&other, Qt::Key_Escape);
  EXPECT_EQ(other.result(), QDialog::Rejected);
  EXPECT_FALSE(other.isVisible());
}

}  // namespace
}  // namespace skelvane
