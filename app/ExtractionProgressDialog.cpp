#include "app/ExtractionProgressDialog.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <chrono>
#include <filesystem>

#include "extract/ExtractionSummary.h"
#include "extract/ProgressReport.h"
#include "platform/CursorControl.h"
#include "platform/PathHelpers.h"
#include "platform/ReportError.h"
#include "platform/StatusCodes.h"
#include "platform/UserQuestions.h"

namespace skelvane {
namespace {

constexpr const char* kTitle = "Creating Spike Files";
constexpr int kPollMilliseconds = 100;
constexpr int kMinimumWidth = 480;
constexpr int kMaximumListHeight = 320;
constexpr int kShownFiles = 5;  // spike files listed without scrolling

double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// The answers to the question before replacing spike files, in kExistingSpikeFilesAnswers' order.
enum ExistingAnswer : int32_t { kReplace = 0, kKeepBoth = 1 };

std::string ResultLine(const ExtractionRun::WrittenFile& file) {
  if (file.complete) {
    return file.path + ": " + std::to_string(file.spikeCount) + " spikes" + (file.replaced ? " (replaced the earlier file)" : "");
  }
  return file.path + ": not written (" + ExtractionSummary::OutcomeText(file.outcome) + ")";
}

}  // namespace

ExtractionProgressDialog::ExtractionProgressDialog(ExtractionRun& run, std::vector<ChannelSource> channels,
                                                   QWidget* parent)
    : QDialog(parent), run_(run), channels_(std::move(channels)) {
  setWindowTitle(QString::fromUtf8(kTitle));
  setModal(true);
  setMinimumWidth(kMinimumWidth);
  auto* layout = new QVBoxLayout(this);
  overallText_ = new QLabel(this);
  overallBar_ = new QProgressBar(this);
  overallBar_->setRange(0, 100);
  layout->addWidget(overallText_);
  layout->addWidget(overallBar_);
  cancel_ = new QPushButton(tr("Cancel"), this);
  connect(cancel_, &QPushButton::clicked, this, &ExtractionProgressDialog::reject);
  layout->addWidget(cancel_, 0, Qt::AlignRight);
  timer_ = new QTimer(this);
  timer_->setInterval(kPollMilliseconds);
  connect(timer_, &QTimer::timeout, this, &ExtractionProgressDialog::Poll);
}

ExtractionProgressDialog::~ExtractionProgressDialog() {
  if (worker_.joinable()) {
    run_.Cancel();
    worker_.join();
  }
}

int32_t ExtractionProgressDialog::RunCommand(ExtractionRun& run, const std::vector<ChannelSource>& channels,
                                             QWidget* parent) {
  ExtractionParameters& parameters = run.Parameters();
  // Only worth asking when some group will be extracted at all.
  if (run.GroupCount(channels) > 0 && parameters.NoiseThresholdFactor <= 0.0 && parameters.TruncatedThreshold() == 0 &&
      !UserQuestions::Current().AskYesNo(kZeroThresholdQuestion)) {
    return kStatusCancelled;
  }
  const std::string& folder = parameters.OutputDirectory;
  std::error_code error;
  if (!folder.empty() && !std::filesystem::is_directory(folder, error)) {
    if (!UserQuestions::Current().AskToGoOn(kCreateFolderQuestion + folder)) {
      ReportError(kFolderNotCreatedMessage + folder, 0);
      return kStatusCancelled;
    }
    std::filesystem::create_directories(folder, error);
    if (error) {
      ReportFileError(kCreateFolderFailedMessage, 0, folder, error.value());
      return kStatusFailed;
    }
  }
  // The spike files of an earlier run would be lost without a word: the user says what becomes of them.
  run.SetExisting(ExtractionRun::Existing::Replace);
  if (const std::vector<std::string> existing = run.ExistingSpikeFiles(channels); !existing.empty()) {
    const int32_t answer = UserQuestions::Current().AskChoice(
        ExistingSpikeFilesText(existing), {kExistingSpikeFilesAnswers.begin(), kExistingSpikeFilesAnswers.end()},
        kKeepBoth);
    if (answer != kReplace && answer != kKeepBoth) return kStatusCancelled;
    if (answer == kKeepBoth) run.SetExisting(ExtractionRun::Existing::KeepBoth);
  }
  CursorControl::Current().Show(CursorControl::Shape::Wait);
  int32_t result = kStatusOk;
  {
    ExtractionProgressDialog dialog(run, channels, parent);
    result = dialog.RunModal();
  }
  CursorControl::Current().Show(CursorControl::Shape::Arrow);
  std::vector<std::string> notStarted;
  if (run.WasCancelled()) {
    for (const ExtractionProgress::GroupView& group : run.Progress().Snapshot()) {
      if (group.state == ExtractionProgress::State::Waiting) notStarted.push_back(group.path);
    }
  }
  ReportError(CompletionText(run.WrittenFiles(), notStarted, run.WasCancelled()), 0);
  return result;
}

std::string ExtractionProgressDialog::ExistingSpikeFilesText(const std::vector<std::string>& existing) {
  const std::string end = std::string("\n") + kExistingSpikeFilesChoice;
  std::string text = kExistingSpikeFilesQuestion;
  for (std::size_t i = 0; i < existing.size(); ++i) {
    const std::string line = "\n" + existing[i];
    const std::string more = "\n... and " + std::to_string(existing.size() - i) + " more";
    const bool last = i + 1 == existing.size();
    if (text.size() + line.size() + (last ? 0 : more.size()) + end.size() > kMaxReportLength) {
      text += more;
      break;
    }
    text += line;
  }
  return text + end;
}

std::string ExtractionProgressDialog::CompletionText(const std::vector<ExtractionRun::WrittenFile>& files,
                                                     const std::vector<std::string>& notStarted, bool cancelled) {
  std::vector<std::string> lines;
  for (const auto& file : files) lines.push_back(ResultLine(file));
  for (const std::string& path : notStarted) lines.push_back(path + ": not started");
  std::string text = cancelled ? kExtractionCancelledMessage : kExtractionCompletedMessage;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string line = "\n" + lines[i];
    const std::string more = "\n... and " + std::to_string(lines.size() - i) + " more spike files";
    // A report keeps 479 characters: the list ends with a count of the files it could not show.
    const bool last = i + 1 == lines.size();
    if (text.size() + line.size() + (last ? 0 : more.size()) > kMaxReportLength) {
      text += more;
      break;
    }
    text += line;
  }
  return text;
}

int32_t ExtractionProgressDialog::RunModal() {
  run_.SetJobs(0);
  over_ = false;
  startSeconds_ = Now();
  startGeneration_ = run_.Progress().Generation();
  worker_ = std::thread([this] {
    result_ = run_.CreateSpikeFiles(channels_);
    over_ = true;
  });
  timer_->start();
  Poll();
  exec();
  timer_->stop();
  if (worker_.joinable()) worker_.join();
  return result_;
}

void ExtractionProgressDialog::reject() {
  run_.Cancel();
  cancel_->setEnabled(false);
  cancel_->setText(tr("Cancelling..."));
}

void ExtractionProgressDialog::BuildGroupRows() {
  // The rows of the last run stand until this run has planned its groups.
  if (!groupBars_.empty() || run_.Progress().Generation() == startGeneration_) return;
  const auto groups = run_.Progress().Snapshot();
  auto* list = new QWidget;
  auto* rows = new QVBoxLayout(list);
  for (const auto& group : groups) {
    rows->addWidget(new QLabel(QString::fromStdString(FileNameOf(group.path)), list));
    auto* bar = new QProgressBar(list);
    bar->setRange(0, 100);
    rows->addWidget(bar);
    groupBars_.push_back(bar);
  }
  auto* scroll = new QScrollArea(this);
  scroll->setWidget(list);
  scroll->setWidgetResizable(true);
  // The rows take the list's width; a sideways scrollbar would only hide the last row under it.
  scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  // The dialog is on screen already and would keep its size, leaving the list a row and a half: it
  // shows up to kShownFiles files (the rest scroll), and the dialog grows to hold them.
  const int rowHeight = groups.empty() ? 0 : list->sizeHint().height() / static_cast<int>(groups.size());
  const int shown = std::min(static_cast<int>(groups.size()), kShownFiles);
  const int frame = 2 * scroll->frameWidth();
  scroll->setMinimumHeight(std::min(shown * rowHeight + frame, kMaximumListHeight));
  scroll->setMaximumHeight(std::max(scroll->minimumHeight(), std::min(list->sizeHint().height() + frame,
                                                                      kMaximumListHeight)));
  static_cast<QVBoxLayout*>(layout())->insertWidget(2, scroll);
  adjustSize();
}

void ExtractionProgressDialog::Poll() {
  BuildGroupRows();
  const auto groups = run_.Progress().Snapshot();
  const ProgressReport::Totals totals = ProgressReport::Sum(groups);
  const double elapsed = Now() - startSeconds_;
  const double rate = elapsed > 0.0 ? static_cast<double>(totals.doneSamples) / elapsed : 0.0;
  const bool over = over_;
  std::string text = std::to_string(totals.filesDone) + " of " + std::to_string(totals.files) + " spike files, " +
                     ProgressReport::Rate(rate);
  if (!over && rate > 0.0) {
    text += ", " + ProgressReport::Duration(static_cast<double>(totals.totalSamples - totals.doneSamples) / rate) +
            " left";
  }
  overallText_->setText(QString::fromStdString(text));
  overallBar_->setValue(ProgressReport::Percent(totals.doneSamples, totals.totalSamples, over));
  for (std::size_t i = 0; i < groups.size() && i < groupBars_.size(); ++i) {
    const bool done = groups[i].state == ExtractionProgress::State::Done;
    groupBars_[i]->setValue(ProgressReport::Percent(groups[i].doneRecords, groups[i].totalRecords, done));
  }
  if (over) accept();
}

}  // namespace skelvane
