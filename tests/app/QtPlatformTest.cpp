// The Qt implementations of the platform layer: the report sink's message box, the questions' default
// answers, the cursor shapes and the file chooser's filter list.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "app/QtCursorControl.h"
#include "app/QtFileChooser.h"
#include "app/QtReportSink.h"
#include "app/QtUserQuestions.h"
#include "platform/ReportError.h"
#include "tests/app/QtTestApplication.h"

namespace skelvane {
namespace {

TEST(QtReportSink, ShowsReportsInAModalBoxCaptionedWithTheProgramTitle) {
  test::EnsureQtApplication();
  const ReportSink previous = QtReportSink::Install();
  QString caption;
  QString text;
  int buttons = 0;
  bool modal = false;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr) return;
    caption = box->windowTitle();
    text = box->text();
    buttons = static_cast<int>(box->standardButtons());
    modal = box->isModal();
    box->button(QMessageBox::Ok)->click();
  });
  ReportError("Error opening file; microsoft error code:", 2);
  SetReportSink(previous);
  EXPECT_EQ(caption.toStdString(), "SkelvaneV3");
  EXPECT_EQ(text.toStdString(), "Error opening file; microsoft error code:2");
  EXPECT_EQ(buttons, static_cast<int>(QMessageBox::Ok));
  EXPECT_TRUE(modal);
}

// Enter answers no to a question before anything is replaced, and yes to one whose yes goes on with
// what the user asked for.
TEST(QtUserQuestions, EnterAnswersNoToAskYesNoAndYesToAskToGoOn) {
  test::EnsureQtApplication();
  QtUserQuestions questions;
  const auto pressEnter = [] {
    QTimer::singleShot(0, [] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        QTest::keyClick(box, Qt::Key_Return);
      }
    });
  };
  pressEnter();
  EXPECT_FALSE(questions.AskYesNo("Replace it?"));
  pressEnter();
  EXPECT_TRUE(questions.AskToGoOn("The output folder does not exist. Create it?"));
}

TEST(QtCursorControl, WaitCursorCoversTheApplicationUntilTheNextShape) {
  test::EnsureQtApplication();
  QWidget target;
  QtCursorControl control(&target);
  control.Show(CursorControl::Shape::Wait);
  ASSERT_NE(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
  control.Show(CursorControl::Shape::Wait);  // a second wait does not stack
  control.Show(CursorControl::Shape::VerticalResize);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(target.cursor().shape(), Qt::SizeVerCursor);
  control.Show(CursorControl::Shape::Arrow);
  EXPECT_EQ(target.cursor().shape(), Qt::ArrowCursor);
}

TEST(QtCursorControl, WithoutTargetShapesApplyToTheWholeApplication) {
  test::EnsureQtApplication();
  QtCursorControl control;
  control.Show(CursorControl::Shape::VerticalResize);
  ASSERT_NE(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::SizeVerCursor);
  control.Show(CursorControl::Shape::Arrow);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST(QtFileChooser, FiltersBecomeQtFilterLines) {
  const std::vector<FileChooser::Filter> filters = {
      {"Continuously Sampled Files (*.kcs)", {"*.kcs"}},
      {"All Data Files (*.k*)", {"*.k*"}},
      {"Bitmap Files", {"*.bmp"}},
      {"All Files (*.*)", {"*.*"}},
      {"Two Kinds", {"*.a", "*.b"}},
  };
  EXPECT_EQ(QtFileChooser::ToQtFilters(filters).toStdString(),
            "Continuously Sampled Files (*.kcs);;All Data Files (*.k*);;Bitmap Files (*.bmp);;All Files (*);;"
            "Two Kinds (*.a *.b)");
  EXPECT_TRUE(QtFileChooser::ToQtFilters({}).isEmpty());
}

}  // namespace
}  // namespace skelvane
