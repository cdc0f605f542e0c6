#include "extract/ExtractionRun.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <thread>

#include "datafile/CscRecord.h"
#include "datafile/IDataSourceManager.h"
#include "extract/GroupRecordWalk.h"
#include "extract/RecordStream.h"
#include "platform/FileIdentity.h"
#include "platform/PathHelpers.h"
#include "platform/ReportError.h"
#include "platform/ScratchPool.h"
#include "platform/StatusCodes.h"
#include "spikes/DataFileGuard.h"

namespace skelvane {
namespace {

// The run threads' read buffers (a few megabytes a channel), kept between runs for the threads of
// up to four at once.
ScratchPool<std::vector<RecordStream::Buffers>>& KeptBuffers() {
  static ScratchPool<std::vector<RecordStream::Buffers>> kept(4);
  return kept;
}

// A block holds three consecutive records per channel: previous, current, next.
constexpr int32_t kPreviousStart = 0;
constexpr int32_t kCurrentStart = kSamplesPerRecord;
constexpr int32_t kNextStart = 2 * kSamplesPerRecord;
constexpr int32_t kCurrentLast = kNextStart - 1;
constexpr int32_t kBlockLast = GroupRecordWalk::kBlockLength - 1;

constexpr const char* kSpikeFileStem = "SpikeFile";
// Keep Both numbers the new file from here: the one already there is the first.
constexpr int64_t kFirstNumberedName = 2;

// Anything at the name, a link that leads nowhere included: writing there would replace it.
bool Exists(const std::string& path) {
  struct stat status {};
  return ::lstat(path.c_str(), &status) == 0;
}

constexpr const char* kEmptyGroupMessage =
    "Error, There are not any files to create spike files from in CreateSpikeBuffers()";
constexpr const char* kNameTakenMessage = "An earlier group of this run already wrote this spike file; group skipped: ";
constexpr const char* kTimeStandsStillMessage =
    "No spikes can be cut from a recording whose timestamps never increase; no spike file written";
constexpr const char* kShrankMessage = "Data file shorter than when it was opened; no spike file written from it";

// K x noise level truncated toward zero, as the threshold of the run is, held inside the int32 range.
int32_t ThresholdFromNoise(double factor, double noiseLevel) {
  const double threshold = std::trunc(factor * noiseLevel);
  return static_cast<int32_t>(std::clamp(threshold, 0.0, static_cast<double>(std::numeric_limits<int32_t>::max())));
}

// The noise level: median(|x|) / 0.6745 (the median absolute deviation of Gaussian noise) over the
// first seconds of each channel.
constexpr double kNoiseSeconds = 10.0;
constexpr double kMedianToSigma = 0.6745;

}  // namespace

// What walking one group's records found out besides its spikes.
struct ExtractionRun::Walk {
  std::size_t progressIndex = 0;
  bool reportProgress = false;
  int64_t blocks = 0;
  bool cancelled = false;
  // Filtered samples strictly inside this level cannot cross a threshold of it: the walk may leave
  // them unfiltered (0 for none).
  int32_t quietLevel = 0;
  std::unique_ptr<GroupRecordWalk> records;  // made by WalkRecords
};

ExtractionRun::ExtractionRun(IDataSourceManager& sources) : sources_(sources) {}

ExtractionRun::~ExtractionRun() = default;

ExtractionParameters& ExtractionRun::Parameters() { return parameters_; }

const std::vector<ExtractionRun::WrittenFile>& ExtractionRun::WrittenFiles() const { return writtenFiles_; }

int32_t ExtractionRun::FailedGroups() const { return failedGroups_; }

int32_t ExtractionRun::GroupCount(const std::vector<ChannelSource>& channels) const {
  return parameters_.NumChannels > 0 ? static_cast<int32_t>(channels.size()) / parameters_.NumChannels : 0;
}

void ExtractionRun::SetJobs(int32_t jobs) { jobs_ = std::max(jobs, 0); }

int32_t ExtractionRun::JobsFor(std::size_t groups) const {
  int32_t jobs = jobs_;
  if (jobs == 0) jobs = static_cast<int32_t>(std::max(1u, std::thread::hardware_concurrency()));
  return static_cast<int32_t>(std::clamp<std::size_t>(groups, 1, static_cast<std::size_t>(jobs)));
}

void ExtractionRun::Cancel() { cancel_ = true; }

bool ExtractionRun::WasCancelled() const { return wasCancelled_; }

const ExtractionProgress& ExtractionRun::Progress() const { return progress_; }

int32_t ExtractionRun::CreateSpikeFiles(const std::vector<ChannelSource>& channels) {
  writtenFiles_.clear();
  failedGroups_ = 0;
  wasCancelled_ = false;
  if (extractor_.SetExtractionParameters(parameters_.ExtractionType, parameters_.ExtractionMode,
                                         parameters_.TruncatedThreshold(), parameters_.NumSpikePoints,
                                         parameters_.AlignmentPt, parameters_.NumChannels) != kStatusOk) {
    progress_.Reset({});
    cancel_ = false;
    return kStatusFailed;
  }
  // Every group is planned first, so that groups can run side by side and the names are settled in
  // display order whatever finishes first.
  std::vector<Group> groups;
  std::vector<std::string> inputs;
  int32_t result = PlanGroups(channels, groups, inputs, true);
  // A band a recording cannot take stops the run before any file is written.
  if (std::string refusal; !DesignFilters(groups, refusal)) {
    ReportError(refusal, 0);
    groups.clear();
    result = kStatusFailed;
  }
  // A spike file that is one of the data files (whatever its name) would destroy a recording.
  for (const Group& group : groups) {
    if (!FileIdentity::IsOneOf(group.path, inputs)) continue;
    ReportFileError(kOutputIsInputMessage, 0, group.path, 0);
    groups.clear();
    result = kStatusFailed;
  }
  SettleExisting(groups);
  RunGroups(groups);
  wasCancelled_ = cancel_;
  cancel_ = false;
  return result;
}

void ExtractionRun::SetExisting(Existing existing) { existing_ = existing; }

std::vector<std::string> ExtractionRun::ExistingSpikeFiles(const std::vector<ChannelSource>& channels) {
  std::vector<std::string> existing;
  for (const Group& group : GroupsToWrite(channels)) {
    // A recording at the name is refused, never replaced: it is not asked about.
    if (Exists(group.path) && DataFileGuard::At(group.path) != DataFileGuard::Holds::Recording) {
      existing.push_back(group.path);
    }
  }
  return existing;
}

void ExtractionRun::SettleExisting(std::vector<Group>& groups) const {
  // Every name the run plans, so that a numbered name never lands on another group's.
  std::vector<std::string> taken;
  for (const Group& group : groups) taken.push_back(group.path);
  for (Group& group : groups) {
    if (group.nameTaken) continue;
    if (!DataFileGuard::MayWrite(group.path, DataFileGuard::Holds::SpikeFile)) {
      group.refused = true;
      continue;
    }
    if (!Exists(group.path)) continue;
    if (existing_ == Existing::Replace) {
      group.replaces = true;
      continue;
    }
    const std::string_view extension = SpikeFileFormat::ExtensionFor(parameters_.NumChannels);
    const std::string stem = group.path.substr(0, group.path.size() - extension.size());
    for (int64_t number = kFirstNumberedName;; ++number) {
      std::string candidate = stem + "-" + std::to_string(number) + std::string(extension);
      if (Exists(candidate) || std::find(taken.begin(), taken.end(), candidate) != taken.end()) continue;
      taken.push_back(candidate);
      group.path = std::move(candidate);
      break;
    }
  }
}

std::vector<ExtractionRun::Group> ExtractionRun::GroupsToWrite(const std::vector<ChannelSource>& channels) {
  std::vector<Group> groups;
  std::vector<std::string> inputs;
  if (parameters_.NumChannels <= 0) return groups;
  PlanGroups(channels, groups, inputs, false);  // as in a run, the groups planned before a source that fails stand
  if (std::string refusal; !DesignFilters(groups, refusal)) return {};
  for (const Group& group : groups) {
    if (FileIdentity::IsOneOf(group.path, inputs)) return {};
  }
  std::erase_if(groups, [](const Group& group) { return group.nameTaken; });
  return groups;
}

int32_t ExtractionRun::PlanGroups(const std::vector<ChannelSource>& channels, std::vector<Group>& groups,
                                  std::vector<std::string>& inputs, bool report) {
  const std::size_t numChannels = static_cast<std::size_t>(parameters_.NumChannels);  // checked positive
  std::vector<int32_t> group;
  for (std::size_t i = 0; i < channels.size(); ++i) {
    const ChannelSource& channel = channels[i];
    int32_t sourceId = -1;
    if (sources_.FindSourceByPath(channel.path, sourceId) != kStatusOk) return kStatusFailed;
    inputs.push_back(channel.path);
    group.push_back(sourceId);
    if ((i + 1) % numChannels != 0) continue;
    Group planned;
    planned.sourceIds = group;
    planned.sampleInterval = channel.sampleInterval;
    planned.samplingFrequency = channel.samplingFrequency;
    planned.adMaxValue = channel.adMaxValue;
    planned.path = BuildSpikeFileName(group);
    planned.channels.assign(channels.begin() + static_cast<std::ptrdiff_t>(i + 1 - numChannels),
                            channels.begin() + static_cast<std::ptrdiff_t>(i + 1));
    // Opening would replace what an earlier group of this run writes: its spikes would be lost without a word.
    for (const Group& earlier : groups) {
      std::error_code error;
      if (!earlier.nameTaken &&
          (earlier.path == planned.path || std::filesystem::equivalent(earlier.path, planned.path, error))) {
        planned.nameTaken = true;
      }
    }
    if (planned.nameTaken && report) {
      ReportError(kNameTakenMessage + planned.path, 0);
      ++failedGroups_;
    }
    groups.push_back(std::move(planned));
    group.clear();
  }
  return kStatusOk;
}

bool ExtractionRun::DesignFilters(std::vector<Group>& groups, std::string& refusal) const {
  for (Group& group : groups) {
    std::optional<std::vector<ChannelFilter>> filters =
        ChannelFilter::ForChannels(parameters_.Filter, group.channels, refusal);
    if (!filters) return false;
    group.filters = std::move(*filters);
  }
  return true;
}

void ExtractionRun::RunGroups(const std::vector<Group>& groups) {
  std::vector<ExtractionProgress::GroupView> views;
  for (const Group& group : groups) {
    ExtractionProgress::GroupView view;
    view.path = group.path;
    view.channels = static_cast<int32_t>(group.sourceIds.size());
    for (const int32_t id : group.sourceIds) view.totalRecords = std::max(view.totalRecords, sources_.GetNumRecords(id));
    views.push_back(view);
  }
  progress_.Reset(views);

  std::vector<WrittenFile> files(groups.size());
  std::vector<char> opened(groups.size(), 0);
  std::atomic<std::size_t> next{0};
  // Each thread has its own detector: one spike file open per thread, parameters already checked.
  const auto work = [&](SpikeExtractor& extractor) {
    // This thread's read buffers, from one group to the next and, kept in the process, from one run
    // to the next: grown once, not zeroed and faulted in afresh for every run.
    const ScratchPool<std::vector<RecordStream::Buffers>>::Lease lease = KeptBuffers().Take();
    std::vector<RecordStream::Buffers>& buffers = *lease;
    for (std::size_t i = next++; i < groups.size(); i = next++) {
      if (groups[i].nameTaken || groups[i].refused) continue;
      if (cancel_) break;
      progress_.Started(i);
      opened[i] = RunGroup(groups[i], i, extractor, files[i], &buffers) ? 1 : 0;
      progress_.Finished(i);
    }
  };
  const int32_t jobs = JobsFor(groups.size());
  if (jobs <= 1) {
    work(extractor_);
  } else {
    std::vector<std::unique_ptr<SpikeExtractor>> extractors;
    std::vector<std::thread> threads;
    for (int32_t t = 0; t < jobs; ++t) {
      extractors.push_back(std::make_unique<SpikeExtractor>());
      extractors.back()->SetExtractionParameters(parameters_.ExtractionType, parameters_.ExtractionMode,
                                                 parameters_.TruncatedThreshold(), parameters_.NumSpikePoints,
                                                 parameters_.AlignmentPt, parameters_.NumChannels);
      threads.emplace_back(work, std::ref(*extractors.back()));
    }
    for (std::thread& thread : threads) thread.join();
  }
  for (std::size_t i = 0; i < groups.size(); ++i) {
    // Groups that wrote nothing are listed too, so that every account of the run says what is missing.
    const auto notWritten = [&](Outcome outcome) {
      WrittenFile file;
      file.path = groups[i].path;
      file.complete = false;
      file.outcome = outcome;
      file.inputs = InputsOf(groups[i].sourceIds);
      writtenFiles_.push_back(std::move(file));
    };
    if (groups[i].nameTaken) {
      notWritten(Outcome::NameTaken);  // counted as failed where it was reported
      continue;
    }
    if (groups[i].refused) {
      ++failedGroups_;
      notWritten(Outcome::Refused);
      continue;
    }
    if (!opened[i]) {
      // Could not be opened (reported), or never started after a cancel.
      if (cancel_) continue;
      ++failedGroups_;
      notWritten(Outcome::NotCreated);
      continue;
    }
    if (files[i].outcome != Outcome::Written && files[i].outcome != Outcome::Cancelled) ++failedGroups_;
    writtenFiles_.push_back(std::move(files[i]));
  }
}

int32_t ExtractionRun::ExtractGroup(const std::vector<int32_t>& sourceIds, double sampleInterval,
                                    double samplingFrequency, int32_t adMaxValue) {
  Group group;
  group.sourceIds = sourceIds;
  group.sampleInterval = sampleInterval;
  group.samplingFrequency = samplingFrequency;
  group.adMaxValue = adMaxValue;
  group.path = BuildSpikeFileName(sourceIds);
  for (const int32_t id : sourceIds) {
    ChannelSource channel;
    if (sources_.GetSourcePath(id, channel.path) != kStatusOk) channel.path.clear();
    channel.sampleInterval = sampleInterval;
    channel.samplingFrequency = samplingFrequency;
    channel.adMaxValue = adMaxValue;
    group.channels.push_back(channel);
  }
  std::vector<Group> one{group};
  if (std::string refusal; !DesignFilters(one, refusal)) {
    ReportError(refusal, 0);
    return kStatusFailed;
  }
  group = std::move(one.front());
  WrittenFile file;
  if (!RunGroup(group, progress_.Snapshot().size(), extractor_, file, nullptr)) return kStatusFailed;
  writtenFiles_.push_back(std::move(file));
  return kStatusOk;
}

bool ExtractionRun::RunGroup(const Group& group, std::size_t index, SpikeExtractor& extractor, WrittenFile& file,
                             std::vector<RecordStream::Buffers>* buffers) {
  file = WrittenFile();
  file.path = group.path;
  file.inputs = InputsOf(group.sourceIds);
  file.threshold =
      GroupThreshold(sources_, parameters_, group.sourceIds, group.samplingFrequency, file.noiseLevel, group.filters);
  // Checked when the run began: only the threshold can differ from group to group.
  extractor.SetExtractionParameters(parameters_.ExtractionType, parameters_.ExtractionMode, file.threshold,
                                    parameters_.NumSpikePoints, parameters_.AlignmentPt, parameters_.NumChannels);

  if (extractor.OpenSpikeFile(group.path) != kStatusOk) return false;
  extractor.SetHeaderValues(SpikeFileWriter::FormatSamplingFrequency(group.samplingFrequency), group.adMaxValue);
  // The file says what its waveforms are of; without a filter the header stays as it always was.
  extractor.SetFilterLine(parameters_.Filter.IsNone() ? std::string() : parameters_.Filter.HeaderLine());
  std::vector<SourceHeaderInfo> headerInfo = GatherSourceHeaderInfo(group.sourceIds);
  for (SourceHeaderInfo& info : headerInfo) info.ThreshVal = file.threshold;
  const bool headerWritten =
      extractor.WriteSpikeFileHeader(group.path, headerInfo) == kStatusOk && !extractor.HasWriteError();
  Walk walk;
  walk.progressIndex = index;
  walk.reportProgress = index < progress_.Snapshot().size();
  // Crossings of a level are found on the samples alone; slopes compare neighbours, and peaks after a
  // slope crossing may lie anywhere, so those walks filter every sample.
  if (parameters_.ExtractionMode == kExtractionModeThreshold) walk.quietLevel = file.threshold;
  // After a failed write nothing more of this group can reach the disk: close and go on.
  if (headerWritten) WalkRecords(group.sourceIds, group.sampleInterval, group.filters, extractor, walk, buffers);
  file.spikeCount = extractor.GetSpikeCount();
  file.recordedSeconds = static_cast<double>(walk.blocks) * kSamplesPerRecord * group.sampleInterval / 1e6;

  // A data file cut short while it was read gave zeros or too few records: the spikes are not to be trusted.
  bool sourceChanged = false;
  const std::size_t streams = walk.records != nullptr ? walk.records->Streams().size() : 0;
  for (std::size_t k = 0; k < streams; ++k) {
    const RecordStream& stream = *walk.records->Streams()[k];
    const bool changed = sources_.CheckSource(stream.SourceId()) != kStatusOk;
    if (stream.FileShrank() && !changed) ReportFileError(kShrankMessage, 0, file.inputs[k], 0);
    sourceChanged = sourceChanged || changed || stream.FileShrank();
  }
  // Every spike of a recording whose time stands still would carry one and the same time.
  bool timeStandsStill = false;
  for (std::size_t k = 0; k < streams && !walk.cancelled && !sourceChanged; ++k) {
    if (!walk.records->TimeStandsStill(k)) continue;
    ReportFileError(kTimeStandsStillMessage, 0, file.inputs[k], 0);
    timeStandsStill = true;
  }
  if (walk.cancelled || sourceChanged || timeStandsStill) {
    extractor.DiscardSpikeFile();
    file.outcome = walk.cancelled     ? Outcome::Cancelled
                   : sourceChanged    ? Outcome::SourceChanged
                                      : Outcome::TimeStandsStill;
    file.complete = false;
    return true;
  }
  const bool closed = extractor.CloseSpikeFile() == kStatusOk;
  file.complete = headerWritten && closed && !extractor.HasWriteError();
  file.outcome = file.complete ? Outcome::Written : Outcome::WriteFailed;
  // A file that was not written whole leaves the earlier one as it was.
  file.replaced = group.replaces && file.complete;
  return true;
}

std::vector<std::string> ExtractionRun::InputsOf(const std::vector<int32_t>& sourceIds) {
  std::vector<std::string> inputs;
  for (const int32_t id : sourceIds) {
    std::string path;
    if (sources_.GetSourcePath(id, path) != kStatusOk) path.clear();
    inputs.push_back(path);
  }
  return inputs;
}

std::string ExtractionRun::BuildSpikeFileName(const std::vector<int32_t>& sourceIds) {
  std::vector<std::string> paths;
  for (const int32_t id : sourceIds) {
    std::string path;
    if (sources_.GetSourcePath(id, path) != kStatusOk) path.clear();
    paths.push_back(path);
  }
  // Without an output folder the files go beside the group's first data file (never the root).
  std::string folder = parameters_.OutputDirectory;
  if (folder.empty() && !paths.empty()) {
    folder = FolderOf(paths.front());
    if (folder.empty() && paths.front().starts_with('/')) folder = "/";  // a data file in the root folder
  }
  std::string name = folder;
  if (!folder.empty() && folder.back() != '/') name += '/';
  name += kSpikeFileStem;
  for (const std::string& path : paths) name += "_" + FileTitleOf(path);
  name += SpikeFileFormat::ExtensionFor(parameters_.NumChannels);
  return name;
}

std::vector<SourceHeaderInfo> ExtractionRun::GatherSourceHeaderInfo(const std::vector<int32_t>& sourceIds) {
  const int32_t threshold = parameters_.TruncatedThreshold();
  std::vector<SourceHeaderInfo> infos;
  for (const int32_t id : sourceIds) {
    SourceHeaderInfo info;
    info.ThreshVal = threshold;
    const auto lookUp = [&](const char* key, std::string& out) {
      std::string value;
      if (sources_.GetHeaderValue(id, key, value) == kStatusOk) out = value;
    };
    lookUp("-ADChannel", info.ADChannel);
    lookUp("-ADGain", info.ADGain);
    lookUp("-AmpGain", info.AmpGain);
    lookUp("-AmpLowCut", info.AmpLowCut);
    lookUp("-AmpHiCut", info.AmpHiCut);
    lookUp("-ADBitVolts", info.ADBitVolts);
    if (sources_.GetSourcePath(id, info.FileName) != kStatusOk) info.FileName.clear();
    infos.push_back(std::move(info));
  }
  return infos;
}

int32_t ExtractionRun::GroupThreshold(IDataSourceManager& sources, const ExtractionParameters& parameters,
                                      const std::vector<int32_t>& sourceIds, double samplingFrequency,
                                      double& noiseLevel, const std::vector<ChannelFilter>& filters) {
  noiseLevel = 0.0;
  if (parameters.NoiseThresholdFactor <= 0.0) return parameters.TruncatedThreshold();
  const int32_t threshold =
      NoiseThreshold(sources, sourceIds, samplingFrequency, parameters.NoiseThresholdFactor, noiseLevel, filters);
  return threshold >= 0 ? threshold : parameters.TruncatedThreshold();
}

int32_t ExtractionRun::NoiseThreshold(const std::vector<int32_t>& sourceIds, double samplingFrequency, double factor,
                                      double& noiseLevel, const std::vector<ChannelFilter>& filters) {
  return NoiseThreshold(sources_, sourceIds, samplingFrequency, factor, noiseLevel, filters);
}

int32_t ExtractionRun::NoiseThreshold(IDataSourceManager& sources, const std::vector<int32_t>& sourceIds,
                                      double samplingFrequency, double factor, double& noiseLevel,
                                      const std::vector<ChannelFilter>& filters) {
  noiseLevel = -1.0;
  const double wanted = std::max(1.0, std::ceil(kNoiseSeconds * samplingFrequency));
  std::vector<int32_t> magnitudes;
  for (std::size_t k = 0; k < sourceIds.size(); ++k) {
    RecordStream stream(sources, sourceIds[k]);
    if (k < filters.size()) stream.SetFilter(&filters[k]);
    magnitudes.clear();
    for (int64_t r = 0; r < stream.Count() && static_cast<double>(magnitudes.size()) < wanted; ++r) {
      if (!stream.Ensure(r, r)) break;
      const int16_t* samples = stream.Samples(r);
      for (int32_t j = 0; j < kSamplesPerRecord && static_cast<double>(magnitudes.size()) < wanted; ++j) {
        magnitudes.push_back(std::abs(int32_t{samples[j]}));
      }
    }
    if (magnitudes.empty()) continue;
    const auto middle = magnitudes.begin() + static_cast<std::ptrdiff_t>(magnitudes.size() / 2);
    std::nth_element(magnitudes.begin(), middle, magnitudes.end());
    noiseLevel = std::max(noiseLevel, *middle / kMedianToSigma);
  }
  if (noiseLevel < 0.0) {
    noiseLevel = 0.0;
    return -1;
  }
  return ThresholdFromNoise(factor, noiseLevel);
}

int32_t ExtractionRun::NoiseThresholdOfChannels(const std::vector<ChannelSource>& channels, double factor,
                                                double& noiseLevel, std::string& refusal) {
  noiseLevel = -1.0;
  refusal.clear();
  for (const ChannelSource& channel : channels) {
    int32_t sourceId = -1;
    if (sources_.FindSourceByPath(channel.path, sourceId) != kStatusOk) continue;
    // The noise of what detection sees: the filtered samples.
    const std::optional<std::vector<ChannelFilter>> chosen =
        ChannelFilter::ForChannels(parameters_.Filter, {channel}, refusal);
    if (!chosen) {
      noiseLevel = 0.0;
      return -1;
    }
    const std::vector<ChannelFilter>& filters = *chosen;
    double level = 0.0;
    if (NoiseThreshold({sourceId}, channel.samplingFrequency, factor, level, filters) >= 0) {
      noiseLevel = std::max(noiseLevel, level);
    }
  }
  if (noiseLevel < 0.0) {
    noiseLevel = 0.0;
    return -1;
  }
  return ThresholdFromNoise(factor, noiseLevel);
}

int32_t ExtractionRun::CreateSpikeBuffers(const std::vector<int32_t>& sourceIds, double dt) {
  Walk walk;
  return WalkRecords(sourceIds, dt, {}, extractor_, walk, nullptr);
}

int32_t ExtractionRun::WalkRecords(const std::vector<int32_t>& sourceIds, double dt,
                                   const std::vector<ChannelFilter>& filters, SpikeExtractor& extractor, Walk& walk,
                                   std::vector<RecordStream::Buffers>* buffers) {
  if (sourceIds.empty()) {
    ReportError(kEmptyGroupMessage, 0);
    return kStatusFailed;
  }
  walk.records = std::make_unique<GroupRecordWalk>(sources_, sourceIds, dt, buffers);
  GroupRecordWalk& records = *walk.records;
  records.SetFilters(filters);
  // Where the walk leaves quiet samples unfiltered, a stored spike's window is filtered first.
  const bool leavesQuiet = !filters.empty() && walk.quietLevel > 0;
  if (leavesQuiet) {
    records.SetQuietLevel(walk.quietLevel);
    extractor.SetWindowPreparer(
        [&records](int64_t first, int64_t count) { return records.MakeExact(first, first + count); });
  }
  // The extractor outlives the walk: it lets go of it however the walk ends.
  const std::unique_ptr<SpikeExtractor, void (*)(SpikeExtractor*)> letGo(
      leavesQuiet ? &extractor : nullptr, [](SpikeExtractor* e) { e->SetWindowPreparer(nullptr); });
  for (;;) {
    const GroupRecordWalk::Step step = records.Next(cancel_);
    if (step == GroupRecordWalk::Step::Cancelled) {
      walk.cancelled = true;
      return kStatusCancelled;
    }
    if (step == GroupRecordWalk::Step::End) return kStatusOk;
    ScanBlock(records, parameters_.AlignmentPt, parameters_.NumSpikePoints, extractor);
    if (extractor.HasWriteError()) return kStatusOk;

    ++walk.blocks;
    if (walk.reportProgress) progress_.Advanced(walk.progressIndex, records.BlocksDone());
  }
}

void ExtractionRun::ScanBlock(const GroupRecordWalk& records, int32_t alignmentPt, int32_t numSpikePoints,
                              SpikeExtractor& extractor) {
  // Windows before the recording started over are other samples, not the same ones seen again.
  if (records.TimeWentBack()) extractor.StartNewSegment();
  // A missing or separated neighbour stays outside every window; crossings are searched in the
  // current record only.
  const bool hasPrevious = records.HasPrevious();
  const bool hasNext = records.HasNext();
  const int32_t start = hasPrevious ? kCurrentStart : alignmentPt + kCurrentStart;
  const int32_t windowLow = hasPrevious ? kPreviousStart : kCurrentStart;
  const int32_t searchEnd = hasNext ? kCurrentLast : alignmentPt - numSpikePoints + kNextStart;
  const int32_t windowHigh = hasNext ? kBlockLast : kCurrentLast;
  extractor.DetectSpikes(records.Timeline(), records.Channels(), start, searchEnd, windowLow, windowHigh);
}

}  // namespace skelvane
