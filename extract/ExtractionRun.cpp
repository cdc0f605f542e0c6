#include "extract/ExtractionRun.h"

#include <algorithm>
#include <filesystem>
#include <limits>
#include <span>

#include "datafile/CscRecord.h"
#include "datafile/IDataSourceManager.h"
#include "display/IPlot.h"
#include "display/IPlotCollection.h"
#include "platform/CursorControl.h"
#include "platform/PathHelpers.h"
#include "platform/ReportError.h"
#include "platform/StatusCodes.h"

namespace skelvane {
namespace {

// A block holds three consecutive records per channel: previous, current, next.
constexpr int32_t kPreviousStart = 0;
constexpr int32_t kCurrentStart = kSamplesPerRecord;
constexpr int32_t kNextStart = 2 * kSamplesPerRecord;
constexpr int32_t kBlockLength = 3 * kSamplesPerRecord;
constexpr int32_t kCurrentLast = kNextStart - 1;
constexpr int32_t kBlockLast = kBlockLength - 1;

// Records further apart than this many sample intervals are separated by a recording gap.
constexpr double kContiguityIntervals = 2.0 * kSamplesPerRecord;

constexpr const char* kSpikeFileStem = "SpikeFile";
constexpr const char* kSingleElectrodeExtension = ".kse";
constexpr const char* kStereotrodeExtension = ".kst";
constexpr const char* kTetrodeExtension = ".ktt";
constexpr const char* kOtherGroupExtension = ".dat";

constexpr const char* kNoPlotMessage = "Error retriving Plot Pointer, Pointer Is NULL, Plot Index = ";
constexpr const char* kEmptyGroupMessage =
    "Error, There are not any files to create spike files from in CreateSpikeBuffers()";
constexpr const char* kNameTakenMessage = "An earlier group of this run already wrote this spike file; group skipped: ";

const char* ExtensionFor(int32_t numChannels) {
  switch (numChannels) {
    case 1: return kSingleElectrodeExtension;
    case 2: return kStereotrodeExtension;
    case 4: return kTetrodeExtension;
    default: return kOtherGroupExtension;
  }
}

bool AllEqual(const std::vector<uint64_t>& values) {
  return std::adjacent_find(values.begin(), values.end(), std::not_equal_to<>()) == values.end();
}

// A later timestamp below the earlier one wraps to a huge difference and so counts as a gap.
bool RecordsContiguous(const std::vector<uint64_t>& earlier, const std::vector<uint64_t>& later, double dt) {
  const double limit = kContiguityIntervals * dt;
  for (std::size_t i = 0; i < earlier.size(); ++i) {
    if (static_cast<double>(later[i] - earlier[i]) > limit) return false;
  }
  return true;
}

// 2^64: the first sample time a 64-bit unsigned timestamp cannot hold.
constexpr double kTimeRangeEnd = 0x1p64;

// A damaged record's timestamp can put the sum past the unsigned range, where a plain conversion is
// undefined (and wraps to 0 on this hardware): hold it at the ends of the range instead.
uint64_t TruncatedTime(double time) {
  if (!(time > 0.0)) return 0;
  if (time >= kTimeRangeEnd) return std::numeric_limits<uint64_t>::max();
  return static_cast<uint64_t>(time);
}

// Sample times inside a record, computed in double precision and truncated as the detector expects.
void FillRecordTimes(std::vector<uint64_t>& times, int32_t offset, uint64_t recordTime, double dt) {
  const double base = static_cast<double>(recordTime);
  // The times rise with j, so when the last one is in range all are: the usual case keeps the plain loop.
  if (dt >= 0.0 && base + (kSamplesPerRecord - 1) * dt < kTimeRangeEnd) {
    for (int32_t j = 0; j < kSamplesPerRecord; ++j) times[offset + j] = static_cast<uint64_t>(base + j * dt);
    return;
  }
  for (int32_t j = 0; j < kSamplesPerRecord; ++j) times[offset + j] = TruncatedTime(base + j * dt);
}

// Titles are cut at the first dot, so recordings from other folders or sessions can share a file name;
// the same file may also be reached by two spellings of one folder.
bool WrittenBefore(const std::vector<ExtractionRun::WrittenFile>& written, const std::string& path) {
  return std::any_of(written.begin(), written.end(), [&](const ExtractionRun::WrittenFile& file) {
    std::error_code error;
    return file.path == path || std::filesystem::equivalent(file.path, path, error);
  });
}

}  // namespace

ExtractionRun::ExtractionRun(IPlotCollection& plots, IDataSourceManager& sources) : plots_(plots), sources_(sources) {}

ExtractionRun::~ExtractionRun() = default;

ExtractionParameters& ExtractionRun::Parameters() { return parameters_; }

const std::vector<ExtractionRun::WrittenFile>& ExtractionRun::WrittenFiles() const { return writtenFiles_; }

int32_t ExtractionRun::RunCreateSpikeFileCommand() {
  CursorControl::Current().Show(CursorControl::Shape::Wait);
  const int32_t result = CreateSpikeFiles();
  CursorControl::Current().Show(CursorControl::Shape::Arrow);
  ReportError(kExtractionCompletedMessage, 0);
  return result;
}

int32_t ExtractionRun::CreateSpikeFiles() {
  writtenFiles_.clear();
  if (extractor_.SetExtractionParameters(parameters_.ExtractionType, parameters_.ExtractionMode,
                                         parameters_.TruncatedThreshold(), parameters_.NumSpikePoints,
                                         parameters_.AlignmentPt, parameters_.NumChannels) != kStatusOk) {
    return kStatusFailed;
  }
  const int32_t numChannels = parameters_.NumChannels;  // checked positive by the detector
  std::vector<int32_t> group;
  const int32_t numPlots = plots_.GetNumPlots();
  for (int32_t i = 0; i < numPlots; ++i) {
    IPlot* plot = nullptr;
    if (plots_.GetPlot(i, plot) != kStatusOk) return kStatusFailed;
    if (plot == nullptr) {
      ReportError(kNoPlotMessage, i);
      return kStatusFailed;
    }
    int32_t sourceId = -1;
    if (sources_.FindSourceByPath(plot->GetPath(), sourceId) != kStatusOk) return kStatusFailed;
    group.push_back(sourceId);
    if ((i + 1) % numChannels == 0) {
      ExtractGroup(group, plot->GetSamplePeriod(), plot->GetSamplingFrequency(), plot->GetADMaxValue());
      group.clear();
    }
  }
  return kStatusOk;
}

int32_t ExtractionRun::ExtractGroup(const std::vector<int32_t>& sourceIds, double sampleInterval,
                                    double samplingFrequency, int32_t adMaxValue) {
  const std::string path = BuildSpikeFileName(sourceIds);
  // Opening would truncate what an earlier group just wrote: its spikes would be lost without a word.
  if (WrittenBefore(writtenFiles_, path)) {
    ReportError(kNameTakenMessage + path, 0);
    return kStatusFailed;
  }
  if (extractor_.OpenSpikeFile(path) != kStatusOk) return kStatusFailed;
  extractor_.SetHeaderValues(SpikeExtractor::FormatSamplingFrequency(samplingFrequency), adMaxValue);
  const std::vector<SourceHeaderInfo> headerInfo = GatherSourceHeaderInfo(sourceIds);
  const bool headerWritten =
      extractor_.WriteSpikeFileHeader(path, headerInfo) == kStatusOk && !extractor_.HasWriteError();
  // After a failed write nothing more of this group can reach the disk: close and go on.
  if (headerWritten) CreateSpikeBuffers(sourceIds, sampleInterval);
  WrittenFile written;
  written.path = path;
  written.spikeCount = extractor_.GetSpikeCount();
  const bool closed = extractor_.CloseSpikeFile() == kStatusOk;
  written.complete = headerWritten && closed && !extractor_.HasWriteError();
  writtenFiles_.push_back(written);
  return kStatusOk;
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
  name += ExtensionFor(parameters_.NumChannels);
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

bool ExtractionRun::LoadChannel(int32_t sourceId, int64_t n, bool& hasPrevious, bool& hasNext,
                                std::vector<int16_t>& samples, uint64_t& previousTime, uint64_t& currentTime,
                                uint64_t& nextTime) {
  const int64_t count = sources_.GetNumRecords(sourceId);
  const auto load = [&](int64_t index, int32_t offset, uint64_t& time) {
    const uint8_t* bytes = nullptr;
    if (sources_.GetRecord(index, sourceId, bytes) != kStatusOk || bytes == nullptr) return false;
    const CscRecord record(bytes);
    record.CopySamples(samples.data() + offset);
    time = static_cast<uint64_t>(record.Timestamp());
    return true;
  };
  const auto clear = [&](int32_t offset, uint64_t& time) {
    std::fill_n(samples.begin() + offset, kSamplesPerRecord, int16_t{0});
    time = 0;
  };

  if (n - 1 >= count || n - 1 < 0) hasPrevious = false;
  if (hasPrevious) {
    if (!load(n - 1, kPreviousStart, previousTime)) return false;
  } else {
    clear(kPreviousStart, previousTime);
  }
  if (n >= count) return false;  // the normal end of a group: a channel ran out of records
  if (!load(n, kCurrentStart, currentTime)) return false;
  if (n + 1 >= count) hasNext = false;
  if (hasNext) {
    if (!load(n + 1, kNextStart, nextTime)) return false;
  } else {
    clear(kNextStart, nextTime);
  }
  return true;
}

int32_t ExtractionRun::CreateSpikeBuffers(const std::vector<int32_t>& sourceIds, double dt) {
  if (sourceIds.empty()) {
    ReportError(kEmptyGroupMessage, 0);
    return kStatusFailed;
  }
  const std::size_t numChannels = sourceIds.size();
  int64_t total = 0;
  for (const int32_t id : sourceIds) total = std::max(total, sources_.GetNumRecords(id));

  std::vector<int64_t> recordIndex(numChannels, 0);
  std::vector<uint64_t> previousTimes(numChannels), currentTimes(numChannels), nextTimes(numChannels);
  std::vector<std::vector<int16_t>> channels(numChannels, std::vector<int16_t>(kBlockLength, 0));
  std::vector<std::span<const int16_t>> channelViews(channels.begin(), channels.end());
  std::vector<uint64_t> blockTimes(kBlockLength, 0);
  const int32_t alignmentPt = parameters_.AlignmentPt;
  const int32_t numSpikePoints = parameters_.NumSpikePoints;

  int64_t processed = 0;
  while (processed < total) {
    bool hasPrevious = true;
    bool hasNext = true;
    for (std::size_t k = 0; k < numChannels; ++k) {
      if (!LoadChannel(sourceIds[k], recordIndex[k], hasPrevious, hasNext, channels[k], previousTimes[k],
                       currentTimes[k], nextTimes[k])) {
        return kStatusOk;
      }
    }
    if (hasPrevious) hasPrevious = AllEqual(previousTimes) && RecordsContiguous(previousTimes, currentTimes, dt);
    if (!AllEqual(currentTimes)) {
      // Out of step: let the channels that lag behind catch up, one record at a time.
      const uint64_t earliest = *std::min_element(currentTimes.begin(), currentTimes.end());
      for (std::size_t k = 0; k < numChannels; ++k) {
        if (currentTimes[k] == earliest) ++recordIndex[k];
      }
      continue;
    }
    if (hasNext) hasNext = AllEqual(nextTimes) && RecordsContiguous(currentTimes, nextTimes, dt);
    // A neighbour lost to a gap or to another channel reads as silence, never as foreign samples.
    for (auto& channel : channels) {
      if (!hasPrevious) std::fill_n(channel.begin() + kPreviousStart, kSamplesPerRecord, int16_t{0});
      if (!hasNext) std::fill_n(channel.begin() + kNextStart, kSamplesPerRecord, int16_t{0});
    }

    FillRecordTimes(blockTimes, kCurrentStart, currentTimes[0], dt);
    if (hasPrevious) {
      FillRecordTimes(blockTimes, kPreviousStart, previousTimes[0], dt);
    } else {
      std::fill_n(blockTimes.begin() + kPreviousStart, kSamplesPerRecord, uint64_t{0});
    }
    if (hasNext) {
      FillRecordTimes(blockTimes, kNextStart, nextTimes[0], dt);
    } else {
      std::fill_n(blockTimes.begin() + kNextStart, kSamplesPerRecord, uint64_t{0});
    }

    // A missing or separated neighbour stays outside every window; crossings are searched in the
    // current record only.
    const int32_t start = hasPrevious ? kCurrentStart : alignmentPt + kCurrentStart;
    const int32_t windowLow = hasPrevious ? kPreviousStart : kCurrentStart;
    const int32_t searchEnd = hasNext ? kCurrentLast : alignmentPt - numSpikePoints + kNextStart;
    const int32_t windowHigh = hasNext ? kBlockLast : kCurrentLast;
    extractor_.DetectSpikes(blockTimes, channelViews, start, searchEnd, windowLow, windowHigh);
    if (extractor_.HasWriteError()) return kStatusOk;

    ++processed;
    for (int64_t& index : recordIndex) ++index;
  }
  return kStatusOk;
}

}  // namespace skelvane
