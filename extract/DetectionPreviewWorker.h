#pragma once
// Finds, on a thread of its own, the spikes an extraction run would write inside the span the traces
// show, and hands them out as spike marks that fill in from the left while the window keeps drawing.
// What it found is kept for as long as the parameters and the groups stay the same, so a span seen
// before, or one that overlaps it, costs nothing again. Used by the main window's Show Detected
// Spikes and by `skelvane-cli snapshot --show-spikes`.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "datafile/IDataSourceManager.h"
#include "extract/ChannelFilter.h"
#include "extract/ExtractionParameters.h"
#include "extract/ExtractionRun.h"
#include "extract/LayoutSources.h"
#include "extract/RecordTimes.h"

namespace skelvane {

class SpikeMarks;

class DetectionPreviewWorker {
 public:
  /// One group to preview, taken from the window's table on its own thread: where each channel's
  /// records lie (the traces' source paths), and the group's timing.
  struct GroupSource {
    std::vector<RecordLayout> layouts;
    double sampleInterval = 0.0;
    double samplingFrequency = 0.0;
    std::vector<ChannelFilter> filters;  // one per channel, as the run designs them; none without a band
    /// The same files, laid out alike, with the same timing (the filters follow from the parameters).
    bool operator==(const GroupSource& other) const;
  };
  /// Longest piece of a span worked out at once before the marks found so far are handed out, unless
  /// it holds no record: a piece then reaches to the next record, so that the pieces of a span are
  /// never more than its records (whatever the timestamps), and time without records costs nothing.
  static constexpr int64_t kPieceMicroseconds = 10'000'000;

  /// A worker that calls `onMarks` (on its own thread; it must not wait for the caller's) whenever it
  /// has more marks; an empty function calls nothing.
  explicit DetectionPreviewWorker(std::function<void()> onMarks = {});
  /// Stops the worker and waits for it.
  ~DetectionPreviewWorker();
  DetectionPreviewWorker(const DetectionPreviewWorker&) = delete;
  DetectionPreviewWorker& operator=(const DetectionPreviewWorker&) = delete;

  /// The groups `groups` (as ExtractionRun::GroupsToWrite plans them) with where their records lie in
  /// `sources`; a group with a source whose file cannot be streamed directly is left out.
  static std::vector<GroupSource> Locate(IDataSourceManager& sources, const std::vector<ExtractionRun::Group>& groups);
  /// Previews `groups` as a run with `parameters` writes them from now on. The parameters are checked
  /// as a run checks them (with its messages) when they change; invalid ones mark nothing. The marks
  /// found so far stay while parameters and groups stay the same.
  void Configure(const ExtractionParameters& parameters, std::vector<GroupSource> groups);
  /// Marks the spikes in [from, to), with the ones just outside when already known; returns at once.
  void Show(int64_t from, int64_t to);
  /// Looks for the first spike after `from` (or, going back, the last one before it), no further than
  /// `limit`, and calls `found` on the worker thread with its peak time, or none; a later Seek or
  /// Configure replaces it unanswered. Takes precedence over the span shown.
  void Seek(int64_t from, bool forward, int64_t limit, std::function<void(std::optional<int64_t>)> found);
  /// Marks nothing from now on (and forgets what was found).
  void Clear();
  /// The marks found so far for the last span asked for (null before any, and after Clear).
  std::shared_ptr<const SpikeMarks> Marks() const;
  /// Blocks until the last span asked for is complete.
  void Wait();

 private:
  struct Group;
  struct Task;

  bool Pending() const;
  void Run();
  bool Work(const Task& task);
  bool WorkOut(int64_t from, int64_t to);
  int64_t PieceEnd(int64_t from, bool forward, int64_t limit);
  void SeekFor(const Task& task);
  void Prepare(const Task& task);
  void Publish(const Task& task);
  int32_t SourceFor(const RecordLayout& layout);

  std::function<void()> onMarks_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable idle_;
  // Guarded by mutex_: what is asked for and what was found.
  ExtractionParameters parameters_;
  std::vector<GroupSource> sources_;
  bool valid_ = false;
  uint64_t configuration_ = 0;  // counts changes of parameters or groups
  uint64_t request_ = 0;        // counts spans asked for
  uint64_t doneRequest_ = 0;    // the last request worked out completely, and for which configuration
  uint64_t doneConfiguration_ = 0;
  int64_t from_ = 0;
  int64_t to_ = 0;
  // The seek asked for, if any (answered once, then cleared).
  std::optional<int64_t> seekFrom_;
  bool seekForward_ = true;
  int64_t seekLimit_ = 0;
  std::function<void(std::optional<int64_t>)> seekFound_;
  bool stop_ = false;
  std::shared_ptr<const SpikeMarks> marks_;
  // Set to stop the piece being worked out when something newer is asked for.
  std::atomic<bool> cancel_{false};
  // The worker thread's own: every file it has read, with the record times read so far (kept across
  // configurations), and the previews and what they found, for configuration preparedFor_.
  LayoutSources files_;
  std::vector<std::shared_ptr<RecordTimes>> times_;  // by index in files_
  std::vector<std::unique_ptr<Group>> groups_;
  uint64_t preparedFor_ = 0;
  std::chrono::steady_clock::time_point published_;
  std::thread thread_;
};

}  // namespace skelvane
