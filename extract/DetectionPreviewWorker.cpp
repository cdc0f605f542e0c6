#include "extract/DetectionPreviewWorker.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <limits>
#include <utility>

#include "datafile/CscRecord.h"
#include "spikes/SpikeMarks.h"
#include "extract/DetectionPreview.h"
#include "extract/SpikeExtractor.h"
#include "platform/Saturating.h"
#include "platform/StatusCodes.h"

namespace skelvane {
namespace {

// Marks are handed out at most this often while a long span fills in.
constexpr auto kPublishInterval = std::chrono::milliseconds(50);
// The worker's scheduling priority below the window's threads (a nice value): frames come first.
constexpr int kWorkerNiceness = 10;

bool SameLayout(const RecordLayout& a, const RecordLayout& b) {
  return a.path == b.path && a.dataOffset == b.dataOffset && a.recordSize == b.recordSize &&
         a.numRecords == b.numRecords;
}

// The parameters that decide which spikes a run writes (the output folder only names the files).
bool SameDetection(const ExtractionParameters& a, const ExtractionParameters& b) {
  return a.ExtractionMode == b.ExtractionMode && a.ExtractionType == b.ExtractionType && a.Threshold == b.Threshold &&
         a.NumChannels == b.NumChannels && a.AlignmentPt == b.AlignmentPt && a.NumSpikePoints == b.NumSpikePoints &&
         a.NoiseThresholdFactor == b.NoiseThresholdFactor && a.Filter == b.Filter;
}

}  // namespace

bool DetectionPreviewWorker::GroupSource::operator==(const GroupSource& other) const {
  return sampleInterval == other.sampleInterval && samplingFrequency == other.samplingFrequency &&
         std::equal(layouts.begin(), layouts.end(), other.layouts.begin(), other.layouts.end(), SameLayout);
}

// One group's preview and the spikes it found: the spans worked out (disjoint, ascending) and every
// peak in them, ascending.
struct DetectionPreviewWorker::Group {
  std::vector<std::string> paths;
  std::unique_ptr<DetectionPreview> preview;
  std::vector<std::pair<int64_t, int64_t>> covered;
  std::vector<int64_t> peaks;

  // The parts of [from, to) not worked out yet.
  std::vector<std::pair<int64_t, int64_t>> Uncovered(int64_t from, int64_t to) const {
    std::vector<std::pair<int64_t, int64_t>> parts;
    for (const auto& [low, high] : covered) {
      if (high <= from) continue;
      if (low >= to) break;
      if (low > from) parts.emplace_back(from, low);
      from = std::max(from, high);
    }
    if (from < to) parts.emplace_back(from, to);
    return parts;
  }
  // The end of the worked-out stretch that `from` lies in (`from` itself when it lies in none).
  int64_t CoveredUntil(int64_t from) const {
    for (const auto& [low, high] : covered) {
      if (low <= from && from < high) return high;
    }
    return from;
  }
  void Add(int64_t from, int64_t to, const std::vector<int64_t>& found) {
    peaks.insert(std::lower_bound(peaks.begin(), peaks.end(), from), found.begin(), found.end());
    covered.emplace_back(from, to);
    std::sort(covered.begin(), covered.end());
    std::vector<std::pair<int64_t, int64_t>> merged;
    for (const auto& part : covered) {
      if (!merged.empty() && part.first <= merged.back().second) {
        merged.back().second = std::max(merged.back().second, part.second);
      } else {
        merged.push_back(part);
      }
    }
    covered = std::move(merged);
  }
};

// What the worker was asked for, copied under the lock.
struct DetectionPreviewWorker::Task {
  uint64_t configuration = 0;
  uint64_t request = 0;
  ExtractionParameters parameters;
  std::vector<GroupSource> sources;
  int64_t from = 0;
  int64_t to = 0;
  std::optional<int64_t> seekFrom;
  bool seekForward = true;
  int64_t seekLimit = 0;
  std::function<void(std::optional<int64_t>)> seekFound;
};

DetectionPreviewWorker::DetectionPreviewWorker(std::function<void()> onMarks)
    : onMarks_(std::move(onMarks)), thread_([this] { Run(); }) {}

DetectionPreviewWorker::~DetectionPreviewWorker() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
    cancel_ = true;
  }
  wake_.notify_all();
  idle_.notify_all();
  thread_.join();
}

std::vector<DetectionPreviewWorker::GroupSource> DetectionPreviewWorker::Locate(
    IDataSourceManager& sources, const std::vector<ExtractionRun::Group>& groups) {
  std::vector<GroupSource> located;
  for (const ExtractionRun::Group& group : groups) {
    GroupSource source;
    source.sampleInterval = group.sampleInterval;
    source.samplingFrequency = group.samplingFrequency;
    source.filters = group.filters;
    for (const int32_t id : group.sourceIds) {
      RecordLayout layout;
      // Only files read with the worker's own descriptors: the table's records are not its to read.
      if (sources.GetRecordLayout(id, layout) != kStatusOk || layout.recordSize != kCscRecordSize) break;
      source.layouts.push_back(layout);
    }
    if (source.layouts.size() == group.sourceIds.size()) located.push_back(std::move(source));
  }
  return located;
}

void DetectionPreviewWorker::Configure(const ExtractionParameters& parameters, std::vector<GroupSource> groups) {
  {
    std::lock_guard lock(mutex_);
    if (configuration_ > 0 && SameDetection(parameters, parameters_) && groups == sources_) return;
  }
  // Checked as a run checks them, with its messages, outside the lock: a message may wait for the user.
  SpikeExtractor check;
  const bool valid = check.SetExtractionParameters(parameters.ExtractionType, parameters.ExtractionMode,
                                                   parameters.TruncatedThreshold(), parameters.NumSpikePoints,
                                                   parameters.AlignmentPt, parameters.NumChannels) == kStatusOk;
  {
    std::lock_guard lock(mutex_);
    parameters_ = parameters;
    sources_ = std::move(groups);
    valid_ = valid;
    ++configuration_;
    marks_.reset();
    seekFrom_.reset();
    seekFound_ = nullptr;
    cancel_ = true;
  }
  wake_.notify_all();
  idle_.notify_all();
}

void DetectionPreviewWorker::Show(int64_t from, int64_t to) {
  {
    std::lock_guard lock(mutex_);
    if (request_ > 0 && from == from_ && to == to_) return;
    from_ = from;
    to_ = to;
    ++request_;
    cancel_ = true;
  }
  wake_.notify_all();
  idle_.notify_all();
}

void DetectionPreviewWorker::Seek(int64_t from, bool forward, int64_t limit,
                                  std::function<void(std::optional<int64_t>)> found) {
  {
    std::lock_guard lock(mutex_);
    seekFrom_ = from;
    seekForward_ = forward;
    seekLimit_ = limit;
    seekFound_ = std::move(found);
    cancel_ = true;
  }
  wake_.notify_all();
}

void DetectionPreviewWorker::Clear() {
  {
    std::lock_guard lock(mutex_);
    sources_.clear();
    valid_ = false;
    ++configuration_;
    marks_.reset();
    seekFrom_.reset();
    seekFound_ = nullptr;
    cancel_ = true;
  }
  idle_.notify_all();
}

std::shared_ptr<const SpikeMarks> DetectionPreviewWorker::Marks() const {
  std::lock_guard lock(mutex_);
  return marks_;
}

void DetectionPreviewWorker::Wait() {
  std::unique_lock lock(mutex_);
  idle_.wait(lock, [this] { return stop_ || !Pending(); });
}

bool DetectionPreviewWorker::Pending() const {
  return valid_ && request_ > 0 && (doneRequest_ != request_ || doneConfiguration_ != configuration_);
}

void DetectionPreviewWorker::Run() {
  // A frame must never wait for marks: on a busy machine the drawing threads run first.
  ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), kWorkerNiceness);
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stop_ || Pending() || (valid_ && seekFrom_); });
    if (stop_) return;
    Task task;
    task.configuration = configuration_;
    task.request = request_;
    task.parameters = parameters_;
    task.sources = sources_;
    task.from = from_;
    task.to = to_;
    if (valid_ && seekFrom_) {
      task.seekFrom = std::exchange(seekFrom_, std::nullopt);
      task.seekForward = seekForward_;
      task.seekLimit = seekLimit_;
      task.seekFound = std::exchange(seekFound_, nullptr);
    }
    cancel_ = false;
    lock.unlock();
    if (task.seekFrom) {
      SeekFor(task);
      lock.lock();
      continue;
    }
    const bool finished = Work(task);
    lock.lock();
    if (finished && task.request == request_ && task.configuration == configuration_) {
      doneRequest_ = request_;
      doneConfiguration_ = configuration_;
      idle_.notify_all();
    }
  }
}

int32_t DetectionPreviewWorker::SourceFor(const RecordLayout& layout) {
  for (std::size_t i = 0; i < files_.Layouts().size(); ++i) {
    if (SameLayout(files_.Layouts()[i], layout)) return static_cast<int32_t>(i);
  }
  const int32_t index = files_.Add(layout);
  times_.push_back(std::make_shared<RecordTimes>(files_, index));
  return index;
}

void DetectionPreviewWorker::Prepare(const Task& task) {
  if (preparedFor_ == task.configuration) return;
  groups_.clear();
  for (const GroupSource& source : task.sources) {
    auto group = std::make_unique<Group>();
    std::vector<int32_t> ids;
    std::vector<std::shared_ptr<RecordTimes>> times;
    for (const RecordLayout& layout : source.layouts) {
      ids.push_back(SourceFor(layout));
      times.push_back(times_[static_cast<std::size_t>(ids.back())]);
      group->paths.push_back(layout.path);
    }
    group->preview = std::make_unique<DetectionPreview>(files_, task.parameters, ids, source.sampleInterval,
                                                        source.samplingFrequency, times, source.filters);
    group->preview->SetStepsAsideForFrames(true);
    groups_.push_back(std::move(group));
  }
  preparedFor_ = task.configuration;
}

bool DetectionPreviewWorker::WorkOut(int64_t from, int64_t to) {
  for (const std::unique_ptr<Group>& group : groups_) {
    for (const auto& [low, high] : group->Uncovered(from, to)) {
      std::vector<int64_t> found;
      if (!group->preview->SpikesBetween(low, high, found, cancel_)) return false;
      group->Add(low, high, found);
    }
  }
  return true;
}

int64_t DetectionPreviewWorker::PieceEnd(int64_t from, bool forward, int64_t limit) {
  // A piece's usual length, or as far as the nearest stretch of records of any group when it starts
  // beyond that: the piece then holds that record's start, so every piece but the last holds one.
  int64_t end = forward ? SaturatingAdd(from, kPieceMicroseconds) : SaturatingSubtract(from, kPieceMicroseconds);
  int64_t nearest = forward ? std::numeric_limits<int64_t>::max() : std::numeric_limits<int64_t>::min();
  for (const std::unique_ptr<Group>& group : groups_) {
    const int64_t next = group->preview->NextStretch(from, forward);
    nearest = forward ? std::min(nearest, next) : std::max(nearest, next);
  }
  end = forward ? std::max(end, SaturatingAdd(nearest, 1)) : std::min(end, nearest);
  return forward ? std::min(end, limit) : std::max(end, limit);
}

void DetectionPreviewWorker::SeekFor(const Task& task) {
  Prepare(task);
  // Piece by piece away from the start point until some group has a spike there.
  const int64_t from = *task.seekFrom;
  std::optional<int64_t> found;
  for (int64_t near = from; !found && (task.seekForward ? near < task.seekLimit : near > task.seekLimit);) {
    const int64_t far = PieceEnd(near, task.seekForward, task.seekLimit);
    // The piece holds the start point itself only going back: a spike at `from` is no step forward.
    const int64_t low = task.seekForward ? SaturatingAdd(near, 1) : far;
    const int64_t high = task.seekForward ? SaturatingAdd(far, 1) : near;
    if (!WorkOut(low, high)) return;  // replaced by something newer: it answers instead
    for (const std::unique_ptr<Group>& group : groups_) {
      const std::vector<int64_t>& peaks = group->peaks;
      if (task.seekForward) {
        const auto next = std::upper_bound(peaks.begin(), peaks.end(), from);
        if (next != peaks.end() && *next < high && (!found || *next < *found)) found = *next;
      } else {
        const auto next = std::lower_bound(peaks.begin(), peaks.end(), from);
        if (next != peaks.begin() && *(next - 1) >= low && (!found || *(next - 1) > *found)) found = *(next - 1);
      }
    }
    near = far;
  }
  if (task.seekFound) task.seekFound(found);
}

bool DetectionPreviewWorker::Work(const Task& task) {
  Prepare(task);
  // Piece by piece from the left, every group in each piece, so the marks fill in across the traces.
  for (int64_t from = task.from; from < task.to;) {
    const int64_t to = PieceEnd(from, true, task.to);
    if (!WorkOut(from, to)) return false;
    from = to;
    if (from < task.to && std::chrono::steady_clock::now() - published_ < kPublishInterval) continue;
    Publish(task);
    if (cancel_) return false;
  }
  Publish(task);
  return true;
}

void DetectionPreviewWorker::Publish(const Task& task) {
  // The marks just outside the span come along when known, for a small step of the view.
  const int64_t span = SaturatingSubtract(task.to, task.from);
  const int64_t low = SaturatingSubtract(task.from, span);
  const int64_t high = SaturatingAdd(task.to, span);
  auto marks = std::make_shared<SpikeMarks>();
  int64_t complete = task.to;
  for (const std::unique_ptr<Group>& group : groups_) {
    const auto first = std::lower_bound(group->peaks.begin(), group->peaks.end(), low);
    marks->AddGroup(group->paths, std::vector<int64_t>(first, std::lower_bound(first, group->peaks.end(), high)));
    complete = std::min(complete, group->CoveredUntil(task.from));
  }
  marks->SetComplete(task.from, complete);
  published_ = std::chrono::steady_clock::now();
  {
    std::lock_guard lock(mutex_);
    if (task.configuration != configuration_ || task.request != request_) return;
    marks_ = std::move(marks);
  }
  if (onMarks_) onMarks_();
}

}  // namespace skelvane
