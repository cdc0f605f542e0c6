#include "app/BitmapExport.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QColor>
#include <QFileDialog>
#include <QImage>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>

#include "app/CommandIds.h"
#include "app/Preferences.h"
#include "app/QtFileChooser.h"
#include "app/QtUserQuestions.h"
#include "datafile/FileHeader.h"
#include "platform/FileChooser.h"
#include "platform/MemoryBitmap.h"
#include "platform/UserQuestions.h"
#include "spikes/DataFileGuard.h"
#include "tests/app/RealWindowHarness.h"
#include "tests/support/CapturedReports.h"
#include "tests/support/TempDir.h"

namespace skelvane {
namespace {

constexpr std::size_t kHeadersSize = 54;  // 14-byte file header + 40-byte information header

class FakeSaveChooser : public FileChooser {
 public:
  std::optional<std::vector<std::string>> OpenFiles(const std::string&, const std::string&,
                                                    const std::vector<Filter>&, bool) override {
    return std::nullopt;
  }
  std::optional<std::string> SaveFile(const std::string& title, const std::string& suffix,
                                      const std::vector<Filter>& filters) override {
    ++calls;
    lastTitle = title;
    lastSuffix = suffix;
    suffixes.push_back(suffix);
    lastFilters = filters;
    if (queued.empty()) return answer;
    const std::optional<std::string> next = queued.front();
    queued.pop_front();
    return next;
  }
  std::optional<std::string> ChooseFolder(const std::string&, const std::string&) override { return std::nullopt; }

  int calls = 0;
  std::string lastTitle;
  std::string lastSuffix;
  std::vector<std::string> suffixes;  // offered at each call
  std::vector<Filter> lastFilters;
  std::optional<std::string> answer;
  std::deque<std::optional<std::string>> queued;  // answered first, in order, before `answer`
};

template <typename T>
T At(const std::string& bytes, std::size_t offset) {
  T value{};
  std::memcpy(&value, bytes.data() + offset, sizeof value);
  return value;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Every pixel different, the spare byte included, so a shifted or flipped row shows.
MemoryBitmap PatternImage(int32_t width, int32_t height) {
  MemoryBitmap image(width, height);
  for (std::size_t i = 0; i < image.SizeInBytes(); ++i) image.Bits()[i] = static_cast<uint8_t>(i * 7 + 3);
  return image;
}

// Keeps every question and gives one answer to all.
class FakeQuestions final : public UserQuestions {
 public:
  bool AskYesNo(const std::string& question) override {
    asked.push_back(question);
    return replace;
  }
  int32_t AskChoice(const std::string&, const std::vector<std::string>&, int32_t) override { return -1; }
  std::optional<double> AskNumber(const std::string&, double) override { return std::nullopt; }
  std::vector<std::string> asked;
  bool replace = true;
};

class BitmapExportTest : public ::testing::Test {
 protected:
  BitmapExportTest() {
    test::EnsureQtApplication();  // nothing remembered from another test (the type saved last)
    previous = FileChooser::Install(chooser);
    previousQuestions = UserQuestions::Install(questions);
  }
  ~BitmapExportTest() override {
    FileChooser::Install(previous);
    UserQuestions::Install(previousQuestions);
  }

  test::TempDir dir;
  std::shared_ptr<FakeSaveChooser> chooser = std::make_shared<FakeSaveChooser>();
  std::shared_ptr<FileChooser> previous;
  std::shared_ptr<FakeQuestions> questions = std::make_shared<FakeQuestions>();
  std::shared_ptr<UserQuestions> previousQuestions;
  std::vector<std::string>& asked = questions->asked;  // the overwrite questions asked
  bool& replace = questions->replace;                  // their answer
};

TEST_F(BitmapExportTest, AsksWithTheTitleSuffixAndFilters) {
  const MemoryBitmap image = PatternImage(4, 3);
  test::CapturedReports reports;
  EXPECT_EQ(BitmapExport::SaveDisplayAsBitmap(image), 0);
  EXPECT_EQ(chooser->calls, 1);
  EXPECT_EQ(chooser->lastTitle, "Save Kestrelon Bitmap File");
  EXPECT_EQ(chooser->lastSuffix, "bmp");
  ASSERT_EQ(chooser->lastFilters.size(), 3u);
  EXPECT_EQ(chooser->lastFilters[0].description, "Bitmap Files (*.bmp)");
  EXPECT_EQ(chooser->lastFilters[0].patterns, std::vector<std::string>{"*.bmp"});
  EXPECT_EQ(chooser->lastFilters[1].description, "PNG Images (*.png)");
  EXPECT_EQ(chooser->lastFilters[1].patterns, std::vector<std::string>{"*.png"});
  EXPECT_EQ(chooser->lastFilters[2].description, "All Files (*.*)");
  EXPECT_EQ(chooser->lastFilters[2].patterns, std::vector<std::string>{"*.*"});
  EXPECT_TRUE(reports.Empty());  // cancelling is no failure
  EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
}

TEST_F(BitmapExportTest, HeaderDescribesA32BitBottomUpImageWithoutColourTable) {
  const MemoryBitmap image = PatternImage(5, 7);
  chooser->answer = dir.File("display.bmp");
  ASSERT_EQ(BitmapExport::SaveDisplayAsBitmap(image), 0);
  const std::string bytes = ReadFile(dir.File("display.bmp"));
  ASSERT_GE(bytes.size(), kHeadersSize);
  EXPECT_EQ(bytes.substr(0, 2), "BM");
  EXPECT_EQ(At<uint32_t>(bytes, 2), kHeadersSize + 4u * 5 * 7);  // file size
  EXPECT_EQ(At<uint16_t>(bytes, 6), 0);
  EXPECT_EQ(At<uint16_t>(bytes, 8), 0);
  EXPECT_EQ(At<uint32_t>(bytes, 10), kHeadersSize);  // pixels right after the headers
  EXPECT_EQ(At<uint32_t>(bytes, 14), 40u);
  EXPECT_EQ(At<int32_t>(bytes, 18), 5);
  EXPECT_EQ(At<int32_t>(bytes, 22), 7);  // positive: bottom row first
  EXPECT_EQ(At<uint16_t>(bytes, 26), 1);
  EXPECT_EQ(At<uint16_t>(bytes, 28), 32);
  EXPECT_EQ(At<uint32_t>(bytes, 30), 0u);  // uncompressed
  EXPECT_EQ(At<uint32_t>(bytes, 34), 4u * 5 * 7);
  EXPECT_EQ(At<int32_t>(bytes, 38), 0);
  EXPECT_EQ(At<int32_t>(bytes, 42), 0);
  EXPECT_EQ(At<uint32_t>(bytes, 46), 0u);  // no colour table
  EXPECT_EQ(At<uint32_t>(bytes, 50), 0u);
  EXPECT_EQ(bytes.size(), kHeadersSize + 4u * 5 * 7);
}

TEST_F(BitmapExportTest, PixelsAreTheWholeCanvasImageRowForRow) {
  // Odd widths need no padding at 32 bits: every row is exactly 4 x width bytes.
  for (const auto& [width, height] : {std::pair{1, 1}, std::pair{3, 20}, std::pair{17, 16}}) {
    const MemoryBitmap image = PatternImage(width, height);
    const std::string path = dir.File("canvas" + std::to_string(width) + ".bmp");
    chooser->answer = path;
    ASSERT_EQ(BitmapExport::SaveDisplayAsBitmap(image), 0);
    const std::string bytes = ReadFile(path);
    ASSERT_EQ(bytes.size(), kHeadersSize + image.SizeInBytes()) << width;
    EXPECT_EQ(At<int32_t>(bytes, 22), height) << "the bottom rows (time axis) are kept";
    EXPECT_EQ(std::memcmp(bytes.data() + kHeadersSize, image.Bits(), image.SizeInBytes()), 0) << width;
  }
}

// A recording or a spike file at the chosen name (whatever it is called) is never replaced by a
// picture, even when the user would say yes: the message says why and the chooser comes back.
TEST_F(BitmapExportTest, ARecordingOrASpikeFileAtTheNameIsRefusedAndTheChooserComesBack) {
  const std::string recording = dir.Write("view.bmp", std::string(kHeaderMarker) + " Data File Header\r\n");
  const std::string spikes =
      dir.Write("spikes.png", std::string(kHeaderMarker) + "\r\n-RecordSize  112\r\n\t-AlignmentPt  8\r\n");
  const MemoryBitmap image = PatternImage(2, 2);
  test::CapturedReports reports;
  chooser->queued = {recording, spikes, std::nullopt};
  ASSERT_EQ(BitmapExport::SaveDisplayAsBitmap(image), 0);
  EXPECT_EQ(chooser->calls, 3);
  EXPECT_TRUE(asked.empty());
  EXPECT_EQ(reports.Texts(), (std::vector<std::string>{std::string(kOutputIsRecordingMessage) + " " + recording,
                                                       std::string(kOutputIsSpikeFileMessage) + " " + spikes}));
  EXPECT_EQ(ReadFile(recording), std::string(kHeaderMarker) + " Data File Header\r\n");
  EXPECT_TRUE(ReadFile(spikes).ends_with("-AlignmentPt  8\r\n"));
}

// No to replacing a file brings the chooser back: cancelled, nothing is written; another name is
// written instead; Yes replaces the file.
TEST_F(BitmapExportTest, ExistingFileIsReplacedOnlyWhenTheUserAgreesAndNoAsksAgain) {
  const std::string path = dir.Write("old.bmp", std::string(5000, 'x'));
  const MemoryBitmap image = PatternImage(2, 2);
  test::CapturedReports reports;
  replace = false;
  chooser->queued = {path, std::nullopt};
  ASSERT_EQ(BitmapExport::SaveDisplayAsBitmap(image), 0);
  EXPECT_EQ(chooser->calls, 2);
  EXPECT_EQ(ReadFile(path), std::string(5000, 'x'));
  chooser->queued = {path, dir.File("other.bmp")};
  ASSERT_EQ(BitmapExport::SaveDisplayAsBitmap(image), 0);
  EXPECT_EQ(ReadFile(path), std::string(5000, 'x'));
  EXPECT_EQ(ReadFile(dir.File("other.bmp")).size(), kHeadersSize + 16u);
  replace = true;
  chooser->queued = {path};
  ASSERT_EQ(BitmapExport::SaveDisplayAsBitmap(image), 0);
  EXPECT_EQ(ReadFile(path).size(), kHeadersSize + 16u);
  const std::string question = BitmapExport::OverwriteQuestionText(path);
  EXPECT_EQ(asked, (std::vector<std::string>{question, question, question}));
  EXPECT_TRUE(reports.Empty());
  EXPECT_EQ(BitmapExport::OverwriteQuestionText(path), "old.bmp already exists.\nDo you want to replace it?");

  // A new name is written without a question.
  chooser->answer = dir.File("new.bmp");
  ASSERT_EQ(BitmapExport::SaveDisplayAsBitmap(image), 0);
  EXPECT_EQ(asked.size(), 3u);
}

// The type a name gets is offered again: after No (typing the same name again then writes the same
// type) and at the next save.
TEST_F(BitmapExportTest, TheTypeSavedIsOfferedAfterNoAndAtTheNextSave) {
  const MemoryBitmap image = PatternImage(4, 4);
  const std::string taken = dir.Write("view.png", "taken");
  replace = false;
  chooser->queued = {taken, dir.File("view2.png")};
  ASSERT_EQ(BitmapExport::SaveDisplayAsBitmap(image), 0);
  chooser->queued = {std::nullopt};
  ASSERT_EQ(BitmapExport::SaveDisplayAsBitmap(image), 0);
  chooser->queued = {dir.File("view.bmp"), std::nullopt};
  ASSERT_EQ(BitmapExport::SaveDisplayAsBitmap(image), 0);
  ASSERT_EQ(BitmapExport::SaveDisplayAsBitmap(image), 0);
  EXPECT_EQ(chooser->suffixes, (std::vector<std::string>{"bmp", "png", "png", "png", "bmp"}));
  EXPECT_EQ(ReadFile(taken), "taken");
  QImage written;
  EXPECT_TRUE(written.load(QString::fromStdString(dir.File("view2.png")), "PNG"));
}

// A .png name (in any case) gets a PNG of exactly the canvas pixels; .bmp stays byte for byte a BMP.
TEST_F(BitmapExportTest, PngNameWritesThePixelsAsPng) {
  const MemoryBitmap image = PatternImage(37, 11);
  for (const char* name : {"display.png", "DISPLAY.PNG"}) {
    chooser->answer = dir.File(name);
    test::CapturedReports reports;
    ASSERT_EQ(BitmapExport::SaveDisplayAsBitmap(image), 0);
    EXPECT_TRUE(reports.Empty());
    QImage png;
    ASSERT_TRUE(png.load(QString::fromStdString(dir.File(name)), "PNG")) << name;
    ASSERT_EQ(png.size(), QSize(37, 11));
    for (int y = 0; y < 11; ++y) {
      const uint8_t* row = image.Bits() + static_cast<std::size_t>(10 - y) * image.BytesPerRow();
      for (int x = 0; x < 37; ++x) {
        ASSERT_EQ(png.pixelColor(x, y), QColor(row[4 * x + 2], row[4 * x + 1], row[4 * x])) << x << "," << y;
      }
    }
  }
  chooser->answer = dir.File("no/such/folder/display.png");
  test::CapturedReports reports;
  EXPECT_NE(BitmapExport::SaveDisplayAsBitmap(image), 0);
  EXPECT_EQ(reports.Texts(), std::vector<std::string>{"Unable to create() file to save .png...: " + *chooser->answer +
                                                      ": " + std::strerror(ENOENT)});
  // A link at the name is replaced by the picture; what it pointed to is not written through it.
  const std::string elsewhere = dir.Write("elsewhere.txt", "not a picture");
  std::filesystem::create_symlink(elsewhere, dir.File("linked.png"));
  chooser->answer = dir.File("linked.png");
  EXPECT_EQ(BitmapExport::SaveDisplayAsBitmap(image), 0);
  EXPECT_FALSE(std::filesystem::is_symlink(dir.File("linked.png")));
  EXPECT_EQ(ReadFile(elsewhere), "not a picture");
  QImage replaced;
  EXPECT_TRUE(replaced.load(QString::fromStdString(dir.File("linked.png")), "PNG"));
}

TEST_F(BitmapExportTest, UncreatableFileShowsThePlainMessage) {
  chooser->answer = dir.File("no/such/folder/display.bmp");
  const MemoryBitmap image = PatternImage(2, 2);
  test::CapturedReports reports;
  EXPECT_NE(BitmapExport::SaveDisplayAsBitmap(image), 0);
  EXPECT_EQ(reports.Texts(), std::vector<std::string>{"Unable to create() file to save .bmp...: " + *chooser->answer +
                                                      ": " + std::strerror(ENOENT)});
}

// The disk fills up part way (a file-size limit in a child process stands in for it): the message
// names the file and the reason, and the earlier image of that name is still there, whole.
TEST_F(BitmapExportTest, FullDiskLeavesTheEarlierFileUntouched) {
  const std::string earlier(5000, 'e');
  const std::string path = dir.Write("display.bmp", earlier);
  chooser->answer = path;
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{1000, 1000};
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(2);
    test::CapturedReports reports;
    if (BitmapExport::SaveDisplayAsBitmap(PatternImage(40, 40)) != EFBIG) _exit(3);
    const std::string expected = "Unable to write .bmp file.: " + path + ": " + std::strerror(EFBIG);
    _exit(reports.Texts() == std::vector<std::string>{expected} ? 0 : 4);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(ReadFile(path), earlier);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
}

TEST_F(BitmapExportTest, EmptyCanvasIsReportedBeforeAnyNameIsAskedFor) {
  chooser->answer = dir.File("never.bmp");
  const MemoryBitmap empty;
  test::CapturedReports reports;
  EXPECT_NE(BitmapExport::SaveDisplayAsBitmap(empty), 0);
  EXPECT_EQ(chooser->calls, 0);
  ASSERT_EQ(reports.Count(), 2u);
  EXPECT_EQ(reports.Texts()[0], "Unable to get object from bitmap");
  EXPECT_EQ(reports.Texts()[1], "Unable to create .bmp file; windows error:22");
  EXPECT_FALSE(std::filesystem::exists(dir.File("never.bmp")));
}

// Save Current Display As A Bitmap in the window, through the program's own chooser and question box.
class SaveBitmapInTheWindow : public test::RealWindowHarness {
 protected:
  void SetUp() override {
    test::RealWindowHarness::SetUp();
    previousChooser_ = FileChooser::Install(std::make_shared<QtFileChooser>());
    previousQuestions_ = UserQuestions::Install(std::make_shared<QtUserQuestions>());
  }
  void TearDown() override {
    test::RealWindowHarness::TearDown();
    FileChooser::Install(previousChooser_);
    UserQuestions::Install(previousQuestions_);
  }

  /// Answers the next Save As chooser: browses to `browsed`, picks the PNG type and types `typed`.
  void ChoosePng(const QString& browsed, const QString& typed) {
    modals->Expect<QFileDialog>([browsed, typed](QFileDialog& dialog) {
      dialog.setDirectory(browsed);
      dialog.selectNameFilter(QStringLiteral("PNG Images (*.png)"));
      auto* name = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
      ASSERT_NE(name, nullptr);
      name->setText(typed);
      static_cast<QDialog&>(dialog).accept();
    });
  }

 private:
  std::shared_ptr<FileChooser> previousChooser_;
  std::shared_ptr<UserQuestions> previousQuestions_;
};

// A name typed without an extension under the PNG type is written as PNG; the folder remembered is
// the one written to, not the one browsed; No to replacing it brings the chooser back.
TEST_F(SaveBitmapInTheWindow, PngTypeWithoutExtensionWritesPngNoAsksAgainAndTheFolderWrittenIsRemembered) {
  Start();
  OpenTetrode();
  Settle();
  test::TempDir browsed;
  test::TempDir written;
  const QString target = QString::fromStdString(written.File("view"));
  ChoosePng(QString::fromStdString(browsed.Path()), target);
  window->CommandAction(commands::kSaveDisplayAsBitmap)->trigger();
  ASSERT_TRUE(modals->AllAnswered());
  const std::string png = written.File("view.png");
  const std::string bytes = ReadFile(png);
  ASSERT_GE(bytes.size(), 8u);
  EXPECT_EQ(bytes.substr(0, 8), "\x89PNG\r\n\x1a\n");
  QImage image;
  ASSERT_TRUE(image.load(QString::fromStdString(png), "PNG"));
  EXPECT_EQ(image.size(), QSize(View().CanvasWidth, View().CanvasHeight));
  EXPECT_FALSE(std::filesystem::exists(written.File("view")));
  EXPECT_EQ(Preferences::LastFolder(QStringLiteral("save")).toStdString(), written.Path());

  // The same name again: No, and the chooser is back; cancelled there, the file is as it was.
  ChoosePng(QString::fromStdString(browsed.Path()), target);
  std::string question;
  modals->Expect<QMessageBox>([&question](QMessageBox& box) {
    question = box.text().toStdString();
    box.button(QMessageBox::No)->click();
  });
  bool chooserAgain = false;
  modals->Expect<QFileDialog>([&chooserAgain](QFileDialog& dialog) {
    chooserAgain = true;
    dialog.reject();
  });
  window->CommandAction(commands::kSaveDisplayAsBitmap)->trigger();
  EXPECT_TRUE(modals->AllAnswered());
  EXPECT_EQ(question, BitmapExport::OverwriteQuestionText(png));
  EXPECT_TRUE(chooserAgain);
  EXPECT_EQ(ReadFile(png), bytes);
}

}  // namespace
}  // namespace skelvane
