#pragma once
// Create Spike File with feedback: runs the extraction on a worker thread behind a modal dialog with the
// overall progress, a list of the spike files with their own progress (several rows on show, the rest
// scrolled) and a Cancel button, then shows what was written. Used by MainWindow.

#include <QDialog>
#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "extract/ExtractionRun.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

namespace skelvane {

/// Asked before a run whose threshold is 0 (every sample would cross it).
inline constexpr const char* kZeroThresholdQuestion =
    "The extraction threshold is 0: nearly every sample counts as a spike. Extract anyway?";
/// Asked before a run whose output folder does not exist; the folder follows. Enter answers yes.
inline constexpr const char* kCreateFolderQuestion = "The output folder does not exist. Create it?\n";
/// Reported after no to that question, so that nothing ends silently; the folder follows.
inline constexpr const char* kFolderNotCreatedMessage = "No spike files were made: the output folder does not exist:\n";
/// Reported when the folder could not be made.
inline constexpr const char* kCreateFolderFailedMessage = "The output folder could not be created";
/// Asked before a run that would write over spike files already there: this line, the files one a
/// line, then kExistingSpikeFilesChoice; answered with kExistingSpikeFilesAnswers (Enter: Keep Both).
inline constexpr const char* kExistingSpikeFilesQuestion = "Spike files of these names are already there:";
inline constexpr const char* kExistingSpikeFilesChoice =
    "Replace them, keep both (the new files under numbered names), or cancel?";
inline constexpr std::array<const char*, 3> kExistingSpikeFilesAnswers = {"Replace", "Keep Both", "Cancel"};
/// The completion box's first line after Cancel (instead of "Spike Extraction Process Completed").
inline constexpr const char* kExtractionCancelledMessage = "Spike Extraction Cancelled";

class ExtractionProgressDialog final : public QDialog {
  Q_OBJECT

 public:
  /// A dialog over `run` of `channels`; nothing starts before RunModal.
  ExtractionProgressDialog(ExtractionRun& run, std::vector<ChannelSource> channels, QWidget* parent);
  /// Waits for a worker still running (after a cancel) before the dialog goes.
  ~ExtractionProgressDialog() override;

  /// The whole command: the questions (a threshold of 0, a missing output folder, spike files that
  /// would be written over: Replace, Keep Both or Cancel), the run behind the dialog, then the completion box, whose first
  /// line is "Spike Extraction Process Completed" (kExtractionCancelledMessage after Cancel) and whose
  /// next lines list each spike file, then each group Cancel kept from starting.
  static int32_t RunCommand(ExtractionRun& run, const std::vector<ChannelSource>& channels, QWidget* parent);
  /// The question put before replacing `existing` spike files, listing as many as one report holds.
  static std::string ExistingSpikeFilesText(const std::vector<std::string>& existing);
  /// The completion text for the files of a run and the spike files of the groups that never started
  /// (after Cancel), held within one report's length.
  static std::string CompletionText(const std::vector<ExtractionRun::WrittenFile>& files,
                                    const std::vector<std::string>& notStarted = {}, bool cancelled = false);

  /// Starts the run on a worker thread and shows the dialog until it is over; the run's result.
  int32_t RunModal();
  /// The Cancel button (tests click it).
  QPushButton* CancelButton() const { return cancel_; }

 protected:
  /// Escape and the close button cancel like the Cancel button; the dialog closes when the run is over.
  void reject() override;

 private:
  void Poll();
  void BuildGroupRows();

  ExtractionRun& run_;
  const std::vector<ChannelSource> channels_;
  std::thread worker_;
  std::atomic<bool> over_{false};
  int32_t result_ = 0;
  QLabel* overallText_ = nullptr;
  QProgressBar* overallBar_ = nullptr;
  std::vector<QProgressBar*> groupBars_;
  QPushButton* cancel_ = nullptr;
  QTimer* timer_ = nullptr;
  double startSeconds_ = 0.0;
  int64_t startGeneration_ = 0;
};

}  // namespace skelvane
