#pragma once
// The spikes an extraction run would write for one channel group, between two times, found by the
// run's own record walk and detector resumed shortly before those times instead of at the start of
// the recording. Used by the detection preview's worker and `skelvane-cli snapshot --show-spikes`.
//
// Why resuming agrees with the run. Across blocks the detector carries one thing: the time its last
// stored window ended, before which no new window may begin. With every channel's record times
// increasing and records not overlapping (checked, from the first record on), the walk resumed at
// the records stamped at or after a time T0 hands the detector the very blocks the run hands it
// from there. The resumed detector starts with no stored window; it then does exactly what the run
// does up to its first stored spike S1, and from S1 on the two agree for good, provided the run
// also stores S1: that is, provided S1's window begins no earlier than any window the run stored
// before T0 ends. Those windows come from crossings up to the end of the record before the first
// resumed block; each one's peak is the first turn of the trace at or after its crossing, so none
// lies beyond the first place at or after that record's last sample where every channel has turned
// both ways. That bound is checked against S1; when it fails, the walk resumes a record earlier
// (up to kMaxLeadRecords), and when it cannot be shown at all (disordered record times) the whole
// group is walked once, as the run walks it, and kept.

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "extract/ChannelFilter.h"
#include "extract/ExtractionParameters.h"
#include "extract/RecordStream.h"
#include "extract/RecordTimes.h"
#include "extract/SpikeExtractor.h"

namespace skelvane {

class GroupRecordWalk;
class IDataSourceManager;

class DetectionPreview {
 public:
  /// How a preview found its spikes.
  enum class Method {
    None,        // nothing asked yet
    Resumed,     // the walk resumed shortly before the span
    FromStart,   // the span lies within the first records: the walk started where the run starts
    WholeGroup,  // record times out of order: the whole group was walked as the run walks it
  };
  /// Most records the walk resumes before the span before the whole group is walked instead.
  static constexpr int64_t kMaxLeadRecords = 64;

  /// The preview of a group of `sourceIds` (channel order), `sampleInterval` microseconds apart, as a
  /// run with `parameters` (checked by the caller) writes it, its channels filtered by `filters` (one
  /// per channel, as the run designs them; none without a band filter). `times` holds one RecordTimes
  /// per channel of the same sources; they may be shared with other previews on the same thread.
  DetectionPreview(IDataSourceManager& sources, const ExtractionParameters& parameters,
                   std::vector<int32_t> sourceIds, double sampleInterval, double samplingFrequency,
                   std::vector<std::shared_ptr<RecordTimes>> times, std::vector<ChannelFilter> filters = {});

  /// Appends the peak times of the spikes the run writes for the group in [from, to), ascending;
  /// false when `cancel` was set first (what was appended is then incomplete).
  bool SpikesBetween(int64_t from, int64_t to, std::vector<int64_t>& peaks, const std::atomic<bool>& cancel);
  /// Where the next stretch of the group's records begins, for a caller that works a long span out a
  /// piece at a time and must not spend anything on time that holds no records: going forward, the
  /// earliest record start (or, for a group walked whole, spike) at or after `time`; going back, the
  /// latest one before it. Without one, the largest (forward) or smallest time. Asked after
  /// SpikesBetween has looked at the stretch up to `time`, it reads nothing new.
  int64_t NextStretch(int64_t time, bool forward);
  /// Makes the walks sit out every frame being drawn (ForegroundWork), between blocks: for a preview
  /// on a background thread.
  void SetStepsAsideForFrames(bool stepsAside) { stepsAside_ = stepsAside; }
  /// The threshold the group's run uses: the parameters' own or K x the group's noise level.
  int32_t Threshold();
  /// How the last SpikesBetween found its spikes.
  Method LastMethod() const { return method_; }

 private:
  bool TimesInOrderUntil(int64_t time);
  bool WalkFrom(const std::vector<int64_t>& starts, int64_t to, std::vector<SpikeExtractor::StoredSpike>& stored,
                int64_t& earlierWindowsEnd, const std::atomic<bool>& cancel);
  int64_t EarlierWindowsEnd(const GroupRecordWalk& walk) const;
  bool WalkWholeGroup(const std::atomic<bool>& cancel);
  bool PrepareExtractor(SpikeExtractor& extractor);

  IDataSourceManager& sources_;
  ExtractionParameters parameters_;
  std::vector<int32_t> sourceIds_;
  double dt_;
  double samplingFrequency_;
  std::vector<std::shared_ptr<RecordTimes>> times_;
  std::vector<ChannelFilter> filters_;
  std::vector<int64_t> checked_;  // per channel: records whose order has been checked
  std::vector<RecordStream::Buffers> buffers_;  // per channel: what every walk reads into
  bool disordered_ = false;
  std::optional<int32_t> threshold_;
  std::optional<std::vector<int64_t>> wholeGroup_;  // every peak of the group, once walked whole
  Method method_ = Method::None;
  bool stepsAside_ = false;
};

}  // namespace skelvane
