#include "extract/SpikeExtractor.h"

#include <immintrin.h>

#include <algorithm>
#include <limits>
#include <new>
#include <utility>

#include "platform/ReportError.h"
#include "platform/Saturating.h"
#include "platform/StatusCodes.h"

namespace skelvane {
namespace {

constexpr const char* kInvalidTypeMessage =
    "Invalid Type For Extracting Paramters In SetExtractionParameters(), Extraction Type = ";
constexpr const char* kInvalidModeMessage =
    "Invalid Mode For Extracting Paramters In SetExtractionParameters(), Extraction Mode = ";
constexpr const char* kInvalidSpikePointsMessage =
    "Invalid Number Of Spike Points For Extracting Paramters In SetExtractionParameters(), NumSpikePoints = ";
constexpr const char* kInvalidAlignmentMessage =
    "Invalid Alignment Point For Extracting Paramters In SetExtractionParameters(), Alignment Point  = ";
constexpr const char* kInvalidChannelsMessage =
    "Invalid Number Of Channels For Extracting Paramters In SetExtractionParameters(), NumChannels = ";
constexpr const char* kRecordTooLargeMessage =
    "Spike Record Too Large For Extracting Paramters In SetExtractionParameters(), RecordSize = ";
constexpr const char* kInvalidThresholdTypeMessage =
    "Invalid Threshold Type Set, Cannot Extract Spikes.  Threshold Type Set To ";
constexpr const char* kInvalidSpikeTypeMessage = "Error Invalid Spike Type In GetSpikePeak(), SpikeType = ";
constexpr const char* kNoBufferMessage =
    "Cannot Allocate Memory For Writing Buffer To File, Null Pointer Recieved In StoreSpike()";
constexpr const char* kBlockMismatchMessage =
    "Block Does Not Match The Extraction Parameters In DetectSpikes(), Channels In Block = ";
constexpr const char* kWindowNotFilteredMessage =
    "The samples of a spike's window could not be filtered; spike left out at sample ";
constexpr int32_t kSpikeTypePositive = 0;  // the peak is a maximum
constexpr int32_t kSpikeTypeNegative = 1;  // the peak is a minimum

// The quiet-stretch scan: whole chunks of one channel whose extremes stay strictly between the two
// limits cannot hold a crossing and are skipped. Values are compared as 16-bit numbers (slopes
// saturated to 16 bits, limits clamped), which never hides a crossing: it can only call a quiet chunk
// loud, and loud chunks are then tested sample by sample with the exact test. The loops are plain
// so the compiler vectorises them; the AVX2 copy is chosen at load time on machines that have it.
constexpr int64_t kQuietChunk = 64;

// First chunk start in [from, end) (end - from a multiple of kQuietChunk) whose samples reach `high`
// or `low`; `end` when none does.
__attribute__((target_clones("avx2", "default"))) int64_t FirstLoudLevelChunk(const int16_t* p, int64_t from,
                                                                              int64_t end, int16_t high,
                                                                              int16_t low) {
  for (int64_t at = from; at < end; at += kQuietChunk) {
    const int16_t* q = p + at;
    int16_t highest = std::numeric_limits<int16_t>::min();
    int16_t lowest = std::numeric_limits<int16_t>::max();
    for (int64_t j = 0; j < kQuietChunk; ++j) {
      highest = std::max(highest, q[j]);
      lowest = std::min(lowest, q[j]);
    }
    if (highest >= high || lowest <= low) return at;
  }
  return end;
}

// The same for the steps p[i+1] - p[i], saturated to 16 bits (which keeps every step at or past a
// limit at or past it), reading one sample past each chunk. Written with intrinsics: the compiler does
// not turn the saturating step into one instruction by itself. A limit at the end of the 16-bit range
// is reached by every value at that end, so the caller makes such chunks loud before coming here.
__attribute__((target("avx2"))) int64_t FirstLoudSlopeChunkAvx2(const int16_t* p, int64_t from, int64_t end,
                                                                  int16_t high, int16_t low) {
  const __m256i belowHigh = _mm256_set1_epi16(static_cast<int16_t>(high - 1));
  const __m256i aboveLow = _mm256_set1_epi16(static_cast<int16_t>(low + 1));
  for (int64_t at = from; at < end; at += kQuietChunk) {
    const int16_t* q = p + at;
    __m256i loud = _mm256_setzero_si256();
    for (int64_t j = 0; j < kQuietChunk; j += 16) {
      const __m256i here = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q + j));
      const __m256i next = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q + j + 1));
      const __m256i step = _mm256_subs_epi16(next, here);
      loud = _mm256_or_si256(loud, _mm256_or_si256(_mm256_cmpgt_epi16(step, belowHigh),
                                                   _mm256_cmpgt_epi16(aboveLow, step)));
    }
    if (!_mm256_testz_si256(loud, loud)) return at;
  }
  return end;
}

int64_t FirstLoudSlopeChunkSse2(const int16_t* p, int64_t from, int64_t end, int16_t high, int16_t low) {
  const __m128i belowHigh = _mm_set1_epi16(static_cast<int16_t>(high - 1));
  const __m128i aboveLow = _mm_set1_epi16(static_cast<int16_t>(low + 1));
  for (int64_t at = from; at < end; at += kQuietChunk) {
    const int16_t* q = p + at;
    __m128i loud = _mm_setzero_si128();
    for (int64_t j = 0; j < kQuietChunk; j += 8) {
      const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q + j));
      const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q + j + 1));
      const __m128i step = _mm_subs_epi16(next, here);
      loud = _mm_or_si128(loud, _mm_or_si128(_mm_cmpgt_epi16(step, belowHigh), _mm_cmpgt_epi16(aboveLow, step)));
    }
    if (_mm_movemask_epi8(loud) != 0) return at;
  }
  return end;
}

int64_t FirstLoudSlopeChunk(const int16_t* p, int64_t from, int64_t end, int16_t high, int16_t low) {
  static const bool avx2 = __builtin_cpu_supports("avx2");
  if (high == std::numeric_limits<int16_t>::min() || low == std::numeric_limits<int16_t>::max()) return from;
  return avx2 ? FirstLoudSlopeChunkAvx2(p, from, end, high, low) : FirstLoudSlopeChunkSse2(p, from, end, high, low);
}

}  // namespace

SpikeExtractor::SpikeExtractor() = default;

// The writer closes a file still open.
SpikeExtractor::~SpikeExtractor() = default;

int32_t SpikeExtractor::SetExtractionParameters(int32_t extractionType, int32_t extractionMode, int32_t threshVal,
                                                int32_t numSpikePoints, int32_t alignmentPt, int32_t numChannels) {
  if (extractionType != kTypePositive && extractionType != kTypeNegative && extractionType != kTypeBoth) {
    ReportError(kInvalidTypeMessage, extractionType);
    return kStatusFailed;
  }
  ExtractionType = extractionType;

  if (extractionMode != kModeThreshold && extractionMode != kModeSlope) {
    ReportError(kInvalidModeMessage, extractionMode);
    return kStatusFailed;
  }
  ExtractionMode = extractionMode;
  ThreshVal = threshVal;

  if (numSpikePoints <= 0) {
    ReportError(kInvalidSpikePointsMessage, numSpikePoints);
    return kStatusFailed;
  }
  NumSpikePoints = numSpikePoints;

  const int64_t alignmentIndex = int64_t{alignmentPt} - 1;
  if (alignmentIndex < 0 || alignmentIndex > int64_t{numSpikePoints} - 1) {
    ReportError(kInvalidAlignmentMessage, alignmentIndex);
    return kStatusFailed;
  }
  AlignmentIndex = static_cast<int32_t>(alignmentIndex);

  if (numChannels <= 0) {
    ReportError(kInvalidChannelsMessage, numChannels);
    return kStatusFailed;
  }
  NumChannels = numChannels;

  const int64_t recordSize = SpikeFileFormat::RecordSize(NumSpikePoints, NumChannels);
  if (recordSize > std::numeric_limits<int32_t>::max()) {
    ReportError(kRecordTooLargeMessage, recordSize);
    return kStatusFailed;
  }
  RecordSize = static_cast<int32_t>(recordSize);
  return kStatusOk;
}

void SpikeExtractor::SetHeaderValues(const std::string& samplingFrequency, int32_t adMaxValue) {
  SamplingFrequency = samplingFrequency;
  ADMaxValue = adMaxValue;
}

void SpikeExtractor::SetFilterLine(const std::string& line) { FilterLine = line; }

// ---------------------------------------------------------------------------------------------
// Detection

bool SpikeExtractor::IsOverThreshold(int32_t sample, int32_t nextSample) {
  // 64-bit so that negating the most negative threshold cannot overflow.
  const int64_t value = ExtractionMode == kModeSlope ? int64_t{nextSample} - sample : int64_t{sample};
  const int64_t threshold = ThreshVal;
  switch (ExtractionType) {
    case kTypePositive:
      SpikeType = kSpikeTypePositive;
      return value >= threshold;
    case kTypeNegative:
      SpikeType = kSpikeTypeNegative;
      return value <= -threshold;
    case kTypeBoth:
      if (value >= threshold) {
        SpikeType = kSpikeTypePositive;
        return true;
      }
      if (value <= -threshold) {
        SpikeType = kSpikeTypeNegative;
        return true;
      }
      return false;
    default:
      ReportError(kInvalidThresholdTypeMessage, ExtractionType);
      return false;
  }
}

int32_t SpikeExtractor::DetectSpikes(std::span<const int64_t> timestamps,
                                     const std::vector<std::span<const int16_t>>& channels, int32_t start,
                                     int32_t searchEnd, int32_t windowLow, int32_t windowHigh) {
  Timestamps = timestamps;
  Timeline = nullptr;
  const int32_t result =
      DetectInBlock(static_cast<int64_t>(timestamps.size()), channels, start, searchEnd, windowLow, windowHigh);
  Timestamps = {};
  return result;
}

int32_t SpikeExtractor::DetectSpikes(const BlockTimeline& timeline,
                                     const std::vector<std::span<const int16_t>>& channels, int32_t start,
                                     int32_t searchEnd, int32_t windowLow, int32_t windowHigh) {
  Timestamps = {};
  Timeline = &timeline;
  const int32_t result = DetectInBlock(timeline.Length(), channels, start, searchEnd, windowLow, windowHigh);
  Timeline = nullptr;
  return result;
}

int32_t SpikeExtractor::DetectInBlock(int64_t timeCount, const std::vector<std::span<const int16_t>>& channels,
                                      int32_t start, int32_t searchEnd, int32_t windowLow, int32_t windowHigh) {
  if (HasWriteError()) return kStatusFailed;
  // Records are laid out from the parameters (and the header already says so): a block with another
  // channel count, or parameters that were never completely set, would make a corrupt file.
  const int64_t expectedRecordSize =
      SpikeFileFormat::RecordSize(NumSpikePoints, static_cast<int64_t>(channels.size()));
  if (channels.empty() || static_cast<int64_t>(channels.size()) != NumChannels || NumSpikePoints <= 0 ||
      expectedRecordSize != RecordSize) {
    if (!BlockMismatchReported) ReportError(kBlockMismatchMessage, static_cast<int64_t>(channels.size()));
    BlockMismatchReported = true;  // the run hands every block of the file alike: one report is enough
    return kStatusFailed;
  }

  int64_t length = timeCount;
  for (const auto& channel : channels) length = std::min(length, static_cast<int64_t>(channel.size()));

  if (Timeline == nullptr) Timestamps = Timestamps.first(static_cast<std::size_t>(length));
  Channels = &channels;
  CrossingChannel = -1;
  CurrentIndex = std::max(start, 0);
  SearchEnd = static_cast<int32_t>(std::min<int64_t>(searchEnd, length - 1));
  WindowLow = std::max(windowLow, 0);
  WindowHigh = static_cast<int32_t>(std::min<int64_t>(windowHigh, length - 1));
  ScanLast = std::min<int64_t>(SearchEnd, length - 2);
  PeakLast = std::min<int64_t>(WindowHigh, length - 2);

  int32_t result = kStatusOk;
  while (CurrentIndex <= SearchEnd) {
    if (WaitForRearm() != kStatusOk || FindCrossing() != kStatusOk || GetSpikePeak() != kStatusOk) {
      result = kStatusFailed;
      break;
    }
    if (!IsWindowStorable()) continue;  // re-arm at the peak before the next crossing counts
    if (StoreSpike(TimeAt(CurrentIndex)) != kStatusOk) {
      result = kStatusFailed;
      break;
    }
  }
  Channels = nullptr;
  return result;
}

int32_t SpikeExtractor::WaitForRearm() {
  const auto& channels = *Channels;
  const int32_t numChannels = static_cast<int32_t>(channels.size());
  for (int64_t i = CurrentIndex; i <= ScanLast; ++i) {
    for (int32_t k = 0; k < numChannels; ++k) {
      if (CrossingChannel != -1 && k != CrossingChannel) continue;
      const auto& samples = channels[static_cast<std::size_t>(k)];
      if (!IsOverThreshold(samples[static_cast<std::size_t>(i)], samples[static_cast<std::size_t>(i + 1)])) {
        CrossingChannel = k;
        CurrentIndex = static_cast<int32_t>(i);
        return kStatusOk;
      }
    }
  }
  CurrentIndex = SearchEnd + 1;
  return kStatusFailed;
}

int32_t SpikeExtractor::FindCrossing() {
  int64_t index = -1;
  int32_t channel = -1;
  switch (ExtractionMode * 3 + ExtractionType) {
    case kModeThreshold * 3 + kTypePositive: index = FirstCrossing<kModeThreshold, kTypePositive>(channel); break;
    case kModeThreshold * 3 + kTypeNegative: index = FirstCrossing<kModeThreshold, kTypeNegative>(channel); break;
    case kModeThreshold * 3 + kTypeBoth: index = FirstCrossing<kModeThreshold, kTypeBoth>(channel); break;
    case kModeSlope * 3 + kTypePositive: index = FirstCrossing<kModeSlope, kTypePositive>(channel); break;
    case kModeSlope * 3 + kTypeNegative: index = FirstCrossing<kModeSlope, kTypeNegative>(channel); break;
    case kModeSlope * 3 + kTypeBoth: index = FirstCrossing<kModeSlope, kTypeBoth>(channel); break;
    default: {
      // No valid type: every test reports it, as the scan goes.
      const auto& channels = *Channels;
      for (int64_t i = CurrentIndex; i <= ScanLast && index < 0; ++i) {
        for (std::size_t k = 0; k < channels.size() && index < 0; ++k) {
          if (IsOverThreshold(channels[k][static_cast<std::size_t>(i)], channels[k][static_cast<std::size_t>(i + 1)])) {
            index = i;
            channel = static_cast<int32_t>(k);
          }
        }
      }
    }
  }
  if (index < 0) {
    CurrentIndex = SearchEnd + 1;
    return kStatusFailed;
  }
  // The fast scan leaves the polarity alone; the crossing's own test sets it, as it would have been
  // set by the last test of a plain scan.
  const auto& samples = (*Channels)[static_cast<std::size_t>(channel)];
  IsOverThreshold(samples[static_cast<std::size_t>(index)], samples[static_cast<std::size_t>(index + 1)]);
  CrossingChannel = channel;
  CurrentIndex = static_cast<int32_t>(index);
  return kStatusOk;
}

// The first (index, channel) from CurrentIndex to ScanLast, index-major, whose tested value is over
// the threshold; -1 when there is none. Most of a recording is noise far from the threshold, so quiet
// stretches of each channel are skipped at vector speed first (see FirstLoudLevelChunk), and only
// where some channel may cross are the samples tested one by one, all channels at each index.
template <int32_t Mode, int32_t Type>
int64_t SpikeExtractor::FirstCrossing(int32_t& channel) {
  const auto& channels = *Channels;
  const std::size_t numChannels = channels.size();
  const int64_t high = ThreshVal;
  const int64_t low = -int64_t{ThreshVal};
  const auto tested = [](const int16_t* p, int64_t i) -> int32_t {
    if constexpr (Mode == kModeSlope) {
      return int32_t{p[i + 1]} - int32_t{p[i]};
    } else {
      return p[i];
    }
  };
  const auto over = [=](int64_t value) {
    if constexpr (Type == kTypePositive) {
      return value >= high;
    } else if constexpr (Type == kTypeNegative) {
      return value <= low;
    } else {
      return value >= high || value <= low;
    }
  };
  // A side the type does not test gets a limit no 16-bit value passes (the lowest value itself
  // still counts as loud: harmless, it is then tested exactly).
  const int16_t loudHigh = Type == kTypeNegative ? std::numeric_limits<int16_t>::max() : ClampTo<int16_t>(high);
  const int16_t loudLow = Type == kTypePositive ? std::numeric_limits<int16_t>::min() : ClampTo<int16_t>(low);

  // Each channel's first loud chunk from where it was last looked for: the stretch before it is quiet.
  NextLoud.assign(numChannels, -1);
  int64_t i = CurrentIndex;
  while (i <= ScanLast) {
    const int64_t chunkedEnd = i + (ScanLast - i + 1) / kQuietChunk * kQuietChunk;
    int64_t loud = chunkedEnd;
    for (std::size_t k = 0; k < numChannels && loud > i; ++k) {
      if (NextLoud[k] < i) {
        const int16_t* p = channels[k].data();
        NextLoud[k] = Mode == kModeSlope ? FirstLoudSlopeChunk(p, i, chunkedEnd, loudHigh, loudLow)
                                         : FirstLoudLevelChunk(p, i, chunkedEnd, loudHigh, loudLow);
      }
      loud = std::min(loud, NextLoud[k]);
    }
    i = loud;
    const int64_t last = std::min(i + kQuietChunk - 1, ScanLast);
    for (; i <= last; ++i) {
      for (std::size_t k = 0; k < numChannels; ++k) {
        if (over(tested(channels[k].data(), i))) {
          channel = static_cast<int32_t>(k);
          return i;
        }
      }
    }
  }
  return -1;
}

int32_t SpikeExtractor::GetSpikePeak() {
  const auto& samples = (*Channels)[static_cast<std::size_t>(CrossingChannel)];
  // PeakLast stops one short of the block's end: the last sample has no neighbour to compare with,
  // so a search that gets there ends without a peak.
  for (int64_t i = CurrentIndex; i <= PeakLast; ++i) {
    const int16_t here = samples[static_cast<std::size_t>(i)];
    const int16_t next = samples[static_cast<std::size_t>(i + 1)];
    bool isPeak = false;
    if (SpikeType == kSpikeTypePositive) {
      isPeak = here >= next;
    } else if (SpikeType == kSpikeTypeNegative) {
      isPeak = here <= next;
    } else {
      ReportError(kInvalidSpikeTypeMessage, SpikeType);
    }
    if (isPeak) {
      CurrentIndex = static_cast<int32_t>(i);
      return kStatusOk;
    }
  }
  return kStatusFailed;
}

bool SpikeExtractor::IsWindowStorable() const {
  const int64_t first = int64_t{CurrentIndex} - AlignmentIndex;
  const int64_t last = first + NumSpikePoints - 1;
  if (first < WindowLow || last > WindowHigh) return false;

  // Each sample's time is worked out once (a spike's window asks for all of them).
  const int64_t firstTime = TimeAt(first);
  // Steps as unsigned differences: exact however far apart (and across zero) the times are, and a
  // timestamp going backwards is a huge step.
  const auto step = [](int64_t from, int64_t to) { return static_cast<uint64_t>(to) - static_cast<uint64_t>(from); };
  // A window must not span a recording gap: no step may exceed twice the first one. The first step is
  // checked for going back too, since a backwards first step would otherwise make every step look small.
  if (NumSpikePoints >= 3) {
    int64_t previous = TimeAt(first + 1);
    if (previous < firstTime) return false;
    const uint64_t firstStep = step(firstTime, previous);
    const uint64_t limit =
        firstStep > std::numeric_limits<uint64_t>::max() / 2 ? std::numeric_limits<uint64_t>::max() : 2 * firstStep;
    for (int64_t i = 1; i <= NumSpikePoints - 2; ++i) {
      const int64_t time = TimeAt(first + i + 1);
      if (step(previous, time) > limit) return false;
      previous = time;
    }
  }
  // The same samples come again in the next block: a window may begin at the last sample of the
  // previous stored window, but not before.
  return firstTime >= LastWindowEnd;
}

int32_t SpikeExtractor::StoreSpike(int64_t timestamp) {
  if (HasWriteError()) return kStatusFailed;
  try {
    Window.resize(static_cast<std::size_t>(NumSpikePoints) * static_cast<std::size_t>(NumChannels));
  } catch (const std::bad_alloc&) {
    ReportError(kNoBufferMessage, 0);
    return kStatusFailed;
  }
  const int64_t first = int64_t{CurrentIndex} - AlignmentIndex;
  LastWindowEnd = TimeAt(first + NumSpikePoints - 1);
  if (Collected != nullptr) {
    Collected->push_back({timestamp, TimeAt(first)});
    return SpikeStored();
  }

  if (PrepareWindow && !PrepareWindow(first, NumSpikePoints)) {
    ReportError(kWindowNotFilteredMessage, first);
    return kStatusFailed;
  }
  // Point by point, channels inside, as the record holds them.
  int16_t* out = Window.data();
  for (int64_t j = 0; j < NumSpikePoints; ++j) {
    for (const auto& channel : *Channels) *out++ = channel[static_cast<std::size_t>(first + j)];
  }
  if (!OutputFile.WriteRecord(timestamp, RecordWord1, RecordWord2, FeatureWords, Window)) return kStatusFailed;
  return SpikeStored();
}

int32_t SpikeExtractor::SpikeStored() {
  ++SpikeCount;
  CurrentIndex = static_cast<int32_t>(std::min<int64_t>(int64_t{CurrentIndex} + NumSpikePoints, int64_t{SearchEnd} + 1));
  return kStatusOk;
}

// ---------------------------------------------------------------------------------------------
// Spike file

int32_t SpikeExtractor::OpenSpikeFile(const std::string& path) {
  SpikeCount = 0;
  BlockMismatchReported = false;
  if (OutputFile.Open(path) != kStatusOk) return kStatusFailed;
  LastWindowEnd = kNoWindowYet;
  return kStatusOk;
}

int32_t SpikeExtractor::WriteSpikeFileHeader(const std::string& path, const std::vector<SourceHeaderInfo>& sources) {
  return OutputFile.WriteHeader(path, {RecordSize, SamplingFrequency, ADMaxValue, AlignmentIndex + 1, FilterLine},
                                sources);
}

int32_t SpikeExtractor::CloseSpikeFile() { return OutputFile.Close(); }

void SpikeExtractor::DiscardSpikeFile() { OutputFile.Discard(); }

void SpikeExtractor::StartNewSegment() { LastWindowEnd = kNoWindowYet; }

void SpikeExtractor::CollectSpikesInto(std::vector<StoredSpike>* spikes) { Collected = spikes; }

void SpikeExtractor::SetWindowPreparer(std::function<bool(int64_t, int64_t)> prepare) {
  PrepareWindow = std::move(prepare);
}

bool SpikeExtractor::HasWriteError() const { return OutputFile.HasWriteError(); }

int32_t SpikeExtractor::GetRecordSize() const { return RecordSize; }
int32_t SpikeExtractor::GetNumSpikePoints() const { return NumSpikePoints; }
int32_t SpikeExtractor::GetAlignmentIndex() const { return AlignmentIndex; }
int32_t SpikeExtractor::GetNumChannels() const { return NumChannels; }
int64_t SpikeExtractor::GetSpikeCount() const { return SpikeCount; }
void SpikeExtractor::SetClock(std::function<std::time_t()> clock) { OutputFile.SetClock(std::move(clock)); }

}  // namespace skelvane
