// The `extract` subcommand: runs "Create Spike File" headless over CSC files, one channel per file in
// the order given, exactly as the main window would with those files open as plots.
#include <CLI/CLI.hpp>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "cli/CommandRegistry.h"
#include "cli/ExitStatus.h"
#include "cli/ExtractionOptions.h"
#include "cli/FilterOption.h"
#include "cli/SessionInput.h"
#include "datafile/ChannelSource.h"
#include "datafile/DataSourceManager.h"
#include "extract/ChannelFilter.h"
#include "extract/ExtractionParameters.h"
#include "extract/ExtractionRun.h"
#include "extract/ExtractionSummary.h"
#include "extract/ProgressReport.h"
#include "platform/FileIdentity.h"
#include "platform/ReportError.h"
#include "platform/TerminationSignals.h"
#include "session/SessionRestore.h"
#include "spikes/DataFileGuard.h"

namespace skelvane::cli {
namespace {

constexpr const char* kNotAllOpenedMessage =
    "Not every data file could be opened; no spike files were written, so that no group mixes channels.";
constexpr const char* kNotOpenedMessage = "This data file could not be opened: ";
constexpr const char* kOutdirMadeMessage = "Made the output folder ";
constexpr const char* kOutdirNotMadeMessage = "The output folder could not be made: ";

constexpr const char* kReplacedMessage = "Replaced the spike file of an earlier run: ";
constexpr const char* kNotAllWrittenMessage = " spike files written (each one not written is listed with its reason)";
constexpr const char* kNothingWrittenMessage = "No spike file was written";

constexpr const char* kNoiseThresholdLine = "%s: threshold %d = %g x noise level %.2f\n";
// How often the signal watcher looks whether the run is over.
constexpr long kSignalPollNanoseconds = 50'000'000;
// A terminal's progress line is redrawn this often.
constexpr auto kProgressInterval = std::chrono::milliseconds(500);

struct ExtractArguments {
  std::vector<std::string> files;
  ExtractionOptions detection;
  FilterOption filter;
  int32_t jobs = 0;
  bool quiet = false;
  std::string summary;
  std::string outdir;
  std::string session;
};

// True while a progress line stands on stderr: a message or the signal handler starts a new line first.
std::atomic<bool> progressShown{false};

// Messages go to stderr as usual, each on a line of its own even while a progress line is shown.
class TerminalSink {
 public:
  TerminalSink()
      : previous_(SetReportSink([](const std::string& text) {
          std::fprintf(stderr, "%s%s: %s\n", progressShown ? "\r\033[K" : "", kMessageCaption, text.c_str());
        })) {}
  ~TerminalSink() { SetReportSink(previous_); }
  TerminalSink(const TerminalSink&) = delete;
  TerminalSink& operator=(const TerminalSink&) = delete;

 private:
  ReportSink previous_;
};

// A signal that ends the tool (HUP, INT, QUIT, TERM, ALRM, USR1, USR2) stops the run at once: spike
// files already complete stay, each group being written drops its file, and the tool then ends by
// that signal. The signals are blocked in every thread of the run and taken by one watcher, so no
// handler can cut into a file being created.
class SignalWatch {
 public:
  explicit SignalWatch(ExtractionRun& run) : run_(run) {
    sigemptyset(&signals_);
    TerminationSignals::AddHandled(signals_);
    ::pthread_sigmask(SIG_BLOCK, &signals_, &previousMask_);  // the workers inherit the mask
    watcher_ = std::thread([this] { Watch(); });
  }
  ~SignalWatch() {
    over_ = true;
    watcher_.join();
    ::pthread_sigmask(SIG_SETMASK, &previousMask_, nullptr);
  }
  SignalWatch(const SignalWatch&) = delete;
  SignalWatch& operator=(const SignalWatch&) = delete;

  /// The signal that stopped the run, 0 when none came.
  int Received() const { return received_; }

 private:
  void Watch() {
    const timespec wait = {0, kSignalPollNanoseconds};
    while (!over_) {
      const int signalNumber = ::sigtimedwait(&signals_, nullptr, &wait);
      if (signalNumber <= 0 || received_ != 0) continue;
      received_ = signalNumber;
      run_.Cancel();
    }
  }

  ExtractionRun& run_;
  sigset_t signals_{};
  sigset_t previousMask_{};
  std::atomic<bool> over_{false};
  std::atomic<int> received_{0};
  std::thread watcher_;
};

// Redraws the progress line on a terminal until the run is over, then leaves the final 100% line.
class TerminalProgress {
 public:
  TerminalProgress(const ExtractionRun& run, bool shown) : run_(run), shown_(shown) {
    if (shown_) thread_ = std::thread([this] { Draw(); });
  }
  ~TerminalProgress() { Finish(); }
  TerminalProgress(const TerminalProgress&) = delete;
  TerminalProgress& operator=(const TerminalProgress&) = delete;

  /// Stops redrawing and prints the last line (the line as it stood when a signal stopped the run).
  void Finish(bool stopped = false) {
    if (!thread_.joinable()) return;
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      over_ = true;
    }
    wake_.notify_all();
    thread_.join();
    Print(!stopped, stopped);
    progressShown = false;
  }

 private:
  void Draw() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!wake_.wait_for(lock, kProgressInterval, [this] { return over_; })) Print(false, false);
  }
  void Print(bool finished, bool stopped) {
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    const std::string line = ProgressReport::Line(run_.Progress().Snapshot(), elapsed, finished);
    const bool last = finished || stopped;
    std::fprintf(stderr, "\r\033[K%s%s", line.c_str(), stopped ? " (stopped)\n" : last ? "\n" : "");
    std::fflush(stderr);
    progressShown = !last;
  }

  const ExtractionRun& run_;
  bool shown_;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  std::mutex mutex_;
  std::condition_variable wake_;
  bool over_ = false;
  std::thread thread_;
};

// Opens one file as the window's start-up open does, and takes its channel as the window's plot of it
// would show it.
bool OpenChannel(const std::string& path, DataSourceManager& manager, std::vector<ChannelSource>& channels) {
  const int32_t before = manager.GetNumSources();
  if (manager.OpenSource(path) != 0 || manager.GetNumSources() == before) return false;
  channels.push_back(ChannelSource::Measured(manager, before));
  return true;
}

// A missing output folder is made, parents and all, as `mkdir -p` would; false (said why) when it
// cannot be.
bool MakeOutputFolder(const std::string& folder) {
  std::error_code error;
  if (folder.empty() || std::filesystem::is_directory(folder, error)) return true;
  std::filesystem::create_directories(folder, error);
  // Judged by the result: with a trailing slash the call may say false after making every folder.
  if (error || !std::filesystem::is_directory(folder)) {
    ReportError(kOutdirNotMadeMessage + folder + ": " + (error ? error.message() : "not a folder"), 0);
    return false;
  }
  ReportError(kOutdirMadeMessage + folder, 0);
  return true;
}

void Run(const ExtractArguments& args, const CLI::App& cmd) {
  TerminalSink sink;
  DataSourceManager manager;
  std::vector<ChannelSource> channels;

  // A session brings its recordings in display order and its extraction properties; --outdir given
  // beside it still chooses the folder.
  std::vector<std::string> files = args.files;
  std::optional<ExtractionParameters> sessionParameters;
  if (!args.session.empty()) {
    SessionInput input;
    if (!input.Load(args.session)) throw CLI::RuntimeError(kExitFailed);
    files = input.paths;
    sessionParameters = SessionRestore::Extraction(input.session, input.folder);
    if (files.empty()) {
      ReportError("This session holds no recordings; nothing to extract: " + args.session, 0);
      throw CLI::RuntimeError(kExitFailed);
    }
  }

  bool allOpened = true;
  for (const std::string& path : files) {
    if (OpenChannel(path, manager, channels)) continue;
    // The reader's own message does not say which of the files it was.
    ReportError(kNotOpenedMessage + path, 0);
    allOpened = false;
  }
  if (!allOpened) {
    // A missing file would shift every later file into the wrong group.
    ReportError(kNotAllOpenedMessage, 0);
    throw CLI::RuntimeError(kExitFailed);
  }
  if (!args.summary.empty() && FileIdentity::IsOneOf(args.summary, files)) {
    ReportFileError(kOutputIsInputMessage, 0, args.summary, 0);
    throw CLI::RuntimeError(kExitFailed);
  }
  if (!args.summary.empty() && !DataFileGuard::MayWrite(args.summary)) throw CLI::RuntimeError(kExitFailed);

  ExtractionRun run(manager);
  ExtractionParameters& p = run.Parameters();
  if (sessionParameters) {
    p = *sessionParameters;
    if (cmd.count("--outdir") > 0) p.OutputDirectory = args.outdir;
  } else {
    args.detection.ApplyTo(p);
    p.Filter = args.filter.Choice();
    p.OutputDirectory = args.outdir;
  }
  // A band some recording cannot take is refused before anything is made, the output folder included.
  if (std::string refusal; !ChannelFilter::ForChannels(p.Filter, channels, refusal)) {
    ReportError(refusal, 0);
    throw CLI::RuntimeError(kExitFailed);
  }
  run.SetJobs(args.jobs);
  if (!MakeOutputFolder(p.OutputDirectory)) throw CLI::RuntimeError(kExitFailed);
  int32_t result = 0;
  int stoppedBy = 0;
  {
    SignalWatch signals(run);
    TerminalProgress progress(run, !args.quiet && ::isatty(STDERR_FILENO) == 1);
    result = run.CreateSpikeFiles(channels);
    stoppedBy = signals.Received();
    progress.Finish(stoppedBy != 0);
  }
  // Stopped by a signal: the files already complete are listed, nothing more is written.
  if (stoppedBy == 0) ReportError(kExtractionCompletedMessage, 0);

  int32_t written = 0;
  for (const ExtractionRun::WrittenFile& file : run.WrittenFiles()) {
    if (file.complete && p.NoiseThresholdFactor > 0.0) {
      std::printf(kNoiseThresholdLine, file.path.c_str(), file.threshold, p.NoiseThresholdFactor, file.noiseLevel);
    }
    if (file.complete) {
      ++written;
      std::printf("%s: %lld spikes\n", file.path.c_str(), static_cast<long long>(file.spikeCount));
    } else {
      std::printf("%s: not written (%s)\n", file.path.c_str(), ExtractionSummary::OutcomeText(file.outcome));
    }
    // The command line writes over earlier spike files as it always has, but never without a word.
    if (file.replaced) ReportError(kReplacedMessage + file.path, 0);
  }
  const int32_t planned = static_cast<int32_t>(run.WrittenFiles().size());
  if (stoppedBy == 0 && written < planned) {
    ReportError("Not every spike file was written: " + std::to_string(written) + " of " + std::to_string(planned) +
                    kNotAllWrittenMessage,
                0);
  } else if (stoppedBy == 0 && planned == 0 && result != 0) {
    ReportError(kNothingWrittenMessage, 0);
  }
  // As in the window, files after the last full group are not extracted; in a batch that must show.
  const std::size_t groupSize = static_cast<std::size_t>(p.NumChannels);
  for (std::size_t i = files.size() - files.size() % groupSize; i < files.size(); ++i) {
    std::printf("%s: not extracted, too few files left for a group of %d\n", files[i].c_str(), p.NumChannels);
  }
  std::fflush(stdout);
  if (stoppedBy != 0) TerminationSignals::EndBy(stoppedBy);
  bool summaryWritten = true;
  if (!args.summary.empty()) summaryWritten = ExtractionSummary::Write(args.summary, run.WrittenFiles()) == 0;
  // Warnings (a damaged last record, time going back) leave every output written: status 0.
  if (result != 0 || run.FailedGroups() > 0 || !summaryWritten) throw CLI::RuntimeError(kExitFailed);
}

// The summary's form follows its extension.
const CLI::Validator kSummaryName(
    [](std::string& text) {
      return ExtractionSummary::FormFor(text) == ExtractionSummary::Form::Unknown
                 ? std::string("The summary file must end in .csv or .json: ") + text
                 : std::string();
    },
    "FILE.csv|FILE.json");

const CommandRegistry::Registration kRegistration([](CLI::App& app) {
  auto args = std::make_shared<ExtractArguments>();
  CLI::App* cmd = app.add_subcommand(
      "extract", "Extract spikes from CSC files into spike files, grouping consecutive files by --channels");
  cmd->footer(std::string(kExitStatusHelp) +
              "\nA signal that ends it (HUP, INT, QUIT, TERM, ALRM, USR1, USR2) ends it as that signal (a shell\n"
              "reports 128 + its number), with the spike files already complete kept.");
  CLI::Option* files = cmd->add_option("files", args->files, "CSC files, in display order")->check(CLI::ExistingFile);
  args->detection.AddTo(cmd, false);
  args->filter.AddTo(cmd, "--filter",
                     std::string("Band filter the samples go through before detection: ") + FilterOption::kSpelling +
                         " (cut-offs in Hz; default none, the samples as recorded)");
  cmd->add_option("--outdir", args->outdir,
                  "Folder for the spike files, made when missing (default: beside each group's first file)");
  cmd->add_option("--jobs", args->jobs, "Groups extracted at once (default: one per processor core)")
      ->check(CLI::PositiveNumber);
  cmd->add_flag("--quiet", args->quiet, "No progress line on a terminal");
  cmd->add_option("--summary", args->summary, "Write a summary of every spike file (.csv or .json)")
      ->check(kSummaryName);
  CLI::Option* session = cmd->add_option("--session", args->session,
                                         "Extract a saved session (.skvs): its recordings in its order, with its "
                                         "extraction properties (its output folder unless --outdir is given)")
                             ->check(CLI::ExistingFile)
                             ->excludes(files);
  args->detection.Exclude(session);
  args->filter.option->excludes(session);
  cmd->callback([args, cmd] {
    if (args->session.empty()) {
      if (args->files.empty()) throw CLI::RequiredError("files (or --session)");
      args->detection.RequireDetection();
    }
    Run(*args, *cmd);
  });
});

}  // namespace
}  // namespace skelvane::cli
