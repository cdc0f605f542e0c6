#pragma once
// Makes the min/max summary of one source, of its samples as recorded or through a band filter, on
// the shared worker pool: loaded from the summary cache when a kept one matches the recording (and
// filter), extended when the recording only grew, else built from the records and then kept.
// Cancellable, with progress and a completion callback. Owned by the source's CscPlot; the window
// reads its progress and redraws when it finishes, the snapshot waits for it.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include "datafile/IDataSourceManager.h"
#include "filter/FilterDesign.h"
#include "summary/SourceSummary.h"

namespace skelvane {

class RecordReader;
struct SummaryKey;

class SummaryBuilder {
 public:
  enum class State { Queued, Building, Ready, Failed, Cancelled };
  /// Where a ready summary came from.
  enum class Origin { None, Built, Extended, Loaded };
  /// How soon a queued build runs: the plots on screen before the others.
  enum class Rank : int32_t { Shown = 0, Hidden = 1 };
  struct Progress {
    int64_t recordsDone = 0;
    int64_t recordsTotal = 0;
  };

  /// A builder for the records of `layout`; nothing is read before Start.
  explicit SummaryBuilder(RecordLayout layout);
  /// A builder for the records of `layout` filtered through `filter`, their gaps judged by
  /// `sampleInterval` (microseconds per sample).
  SummaryBuilder(RecordLayout layout, const FilterDesign& filter, double sampleInterval);
  /// Cancels the build. Returns at once when it has not started yet, otherwise as soon as the worker
  /// notices (after at most one read of about a megabyte, or after a running callback): the worker
  /// never touches the file or this builder afterwards.
  ~SummaryBuilder();
  SummaryBuilder(const SummaryBuilder&) = delete;
  SummaryBuilder& operator=(const SummaryBuilder&) = delete;

  /// Called once on the worker thread when the build ends as Ready or Failed (not when cancelled).
  /// It must be thread-safe and must not wait for the UI thread (post an event instead), since the
  /// UI thread may be waiting in the destructor. Set it before Start.
  void SetOnFinished(std::function<void()> onFinished);
  /// Queues the build on the worker pool, using the summary cache when it is switched on now; a
  /// second call does nothing.
  void Start();
  /// Instead of Start, on this thread: the summary kept on disk, when the cache is on and holds it as
  /// it is (one look at the file and a mapping; the folder is left for the next build to tidy). False,
  /// and nothing started, otherwise.
  bool LoadIfKept();
  /// After Start: waits while the build is still looking in the cache (a look takes about as long as
  /// LoadIfKept), not while it reads the records. True when the summary is ready, loaded from the cache.
  bool WaitIfKept() const;
  /// Moves a build that has not begun yet ahead of or behind others; any thread.
  void SetRank(Rank rank);
  /// Asks the build to stop; it ends as Cancelled unless it has already finished.
  void Cancel();
  /// Blocks until the build has ended; true when the summary is ready. Must follow Start.
  bool Wait() const;

  /// Where the build is; any thread.
  State GetState() const;
  /// The code the build ended with: 0, kStatusSourceChanged for a file shorter than its layout, an
  /// errno, kStatusCancelled; 0 while it runs.
  int32_t Status() const;
  /// Records read so far and in all; any thread.
  Progress GetProgress() const;
  /// The summary once GetState() is Ready, else null.
  const SourceSummary* Summary() const;
  /// How the ready summary came about (None before).
  Origin GetOrigin() const;

 private:
  struct Shared {
    RecordLayout layout;
    std::optional<FilterDesign> filter;  // none: the samples as recorded
    double sampleInterval = 0.0;
    bool useCache = false;
    std::atomic<bool> cancel{false};
    std::atomic<int64_t> recordsDone{0};
    std::atomic<State> state{State::Queued};
    std::atomic<int32_t> status{0};
    std::atomic<Origin> origin{Origin::None};
    std::shared_ptr<std::atomic<int32_t>> rank = std::make_shared<std::atomic<int32_t>>(0);
    SourceSummary summary;
    std::function<void()> onFinished;
    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    bool running = false;   // the worker is inside the build or its callback
    bool finished = false;  // the worker is done with this build
    bool looking = false;   // the worker is looking in the cache, not yet reading the records
  };
  static void Run(const std::shared_ptr<Shared>& shared);
  /// Fills the shared summary from the cache or the records; 0 or the failure's code.
  static int32_t Summarise(Shared& shared);
  /// Opens `reader` on the recording and makes the key its kept summary is filed under; false when
  /// the file cannot be keyed.
  static bool KeyOf(const Shared& shared, RecordReader& reader, SummaryKey& key);
  /// Makes `kept`, as the cache found it, the summary.
  static void TakeKept(Shared& shared, SourceSummary& kept);

  std::shared_ptr<Shared> shared_;
  bool started_ = false;
};

}  // namespace skelvane
