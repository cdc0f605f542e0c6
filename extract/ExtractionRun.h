#pragma once
// Carries out "Create Spike File": splits a list of channel sources into consecutive channel groups,
// and for each group names, opens and fills one spike file. Its callers build the list: the main
// window and the snapshot from their plots, skelvane-cli's extract from the files it is given.

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "datafile/ChannelSource.h"
#include "extract/ChannelFilter.h"
#include "extract/ExtractionParameters.h"
#include "extract/ExtractionProgress.h"
#include "extract/RecordStream.h"
#include "extract/SpikeExtractor.h"
#include "spikes/SourceHeaderInfo.h"

namespace skelvane {

class GroupRecordWalk;
class IDataSourceManager;
class RecordStream;

/// Message shown at the end of every "Create Spike File" command, whatever happened.
inline constexpr const char* kExtractionCompletedMessage = "Spike Extraction Process Completed";

class ExtractionRun {
 public:
  /// How a group whose spike file was opened ended.
  enum class Outcome {
    Written,        // the file is complete under its name
    WriteFailed,    // a write failed: nothing of it is left under its name
    Cancelled,      // stopped by Cancel(): nothing of it is left
    SourceChanged,  // a data file shrank or changed while it was read: nothing of it is left
    TimeStandsStill,  // a data file's timestamps never increase: nothing of it is left
    NotCreated,       // the file could not be created (the reason was reported): nothing written
    Refused,          // a recording lies at its name and stays: nothing written
    NameTaken,        // an earlier group of the run wrote a file of that name, which stays
  };

  /// What a run does with a spike file already at a group's name.
  enum class Existing {
    Replace,   // writes over it (the command line, and the window after Replace)
    KeepBoth,  // writes to the first free numbered name beside it: SpikeFile_a-2.kse, -3, ...
  };

  /// The spike file of one group of the last run, with the spikes stored in it, or why it was not written.
  struct WrittenFile {
    std::string path;
    int64_t spikeCount = 0;
    bool complete = true;  // false unless the file was written whole (see outcome)
    bool replaced = false;  // a file of that name was there before the run and was written over
    Outcome outcome = Outcome::Written;
    std::vector<std::string> inputs;  // the group's data files, in channel order
    int32_t threshold = 0;            // as the detector used it and the header states it
    double noiseLevel = 0.0;          // the estimate the threshold came from; 0 for a fixed threshold
    double recordedSeconds = 0.0;     // samples walked, as time (pauses not counted)
  };

  /// A group planned before any file is written: its sources in channel order, the values it takes
  /// from its last channel, its spike file, and whether an earlier group of the run took that name.
  struct Group {
    std::vector<int32_t> sourceIds;
    double sampleInterval = 0.0;
    double samplingFrequency = 0.0;
    int32_t adMaxValue = 0;
    std::string path;
    bool nameTaken = false;
    std::vector<ChannelSource> channels;  // the group's channels, in channel order
    std::vector<ChannelFilter> filters;   // one per channel with a band filter; empty without one
    bool refused = false;      // a recording lies at its name: never written
    bool replaces = false;     // a file lies at its name and will be written over
  };

  /// A run over channels of `sources`, reading their records through it; default parameters.
  explicit ExtractionRun(IDataSourceManager& sources);
  /// Closes a spike file still open.
  virtual ~ExtractionRun();
  ExtractionRun(const ExtractionRun&) = delete;
  ExtractionRun& operator=(const ExtractionRun&) = delete;

  /// The whole run over `channels` in their order; 0, or -1 when it was stopped: by parameters the
  /// detector refuses, by a band filter one of the recordings cannot take (nothing is written), by a channel whose source `sources` does not know (the groups before it are
  /// written), or by a spike file that would be one of the data files (nothing at all is written).
  /// Groups run on up to Jobs() threads; each spike file is the same whatever the number.
  int32_t CreateSpikeFiles(const std::vector<ChannelSource>& channels);
  /// Writes the spike file of one group; 0, or -1 when the file could not be opened or an earlier group
  /// of this run already wrote a file of that name (which is kept).
  int32_t ExtractGroup(const std::vector<int32_t>& sourceIds, double sampleInterval, double samplingFrequency,
                       int32_t adMaxValue);
  /// The output path of a group: folder, "SpikeFile", "_" + each source's title, extension by channels.
  std::string BuildSpikeFileName(const std::vector<int32_t>& sourceIds);
  /// The per-source header values of a group, in group order.
  std::vector<SourceHeaderInfo> GatherSourceHeaderInfo(const std::vector<int32_t>& sourceIds);
  /// Walks the group's records in lock-step and hands every three-record block to the detector;
  /// 0, or -1 for an empty group.
  int32_t CreateSpikeBuffers(const std::vector<int32_t>& sourceIds, double sampleInterval);

  /// The parameters of every later run (read at the start of each run).
  ExtractionParameters& Parameters();
  /// The spike files of the last run, in group order: every group planned, written or not (but for
  /// the groups that a cancel kept from starting, and for none when a spike file would be a data file).
  const std::vector<WrittenFile>& WrittenFiles() const;
  /// What later runs do with a spike file already at a group's name (Replace at first).
  void SetExisting(Existing existing);
  /// The spike files already at the names of the groups a run over `channels` would write, in group
  /// order (the window asks before replacing them).
  std::vector<std::string> ExistingSpikeFiles(const std::vector<ChannelSource>& channels);
  /// Groups of the last run that left no complete spike file (not opened, name taken, a recording
  /// whose timestamps never increase, write failed, data file changed); cancelled groups are not counted.
  int32_t FailedGroups() const;

  /// Full groups `channels` make with the current parameters (0 when the channel count is not positive).
  int32_t GroupCount(const std::vector<ChannelSource>& channels) const;
  /// Threads the groups are spread over; 0 means one per processor core.
  void SetJobs(int32_t jobs);
  /// The threads a run would use for `groups` groups.
  int32_t JobsFor(std::size_t groups) const;
  /// Stops a run from any thread: groups already complete stay, the group being written is dropped, no
  /// later group starts. A run that is not going yet is stopped as soon as it starts.
  void Cancel();
  /// True when the last run was stopped by Cancel().
  bool WasCancelled() const;
  /// How far the groups of the current (or last) run have got; readable from any thread.
  const ExtractionProgress& Progress() const;

  /// The threshold K x noise level gives for a group: the noise level of each channel is the median
  /// absolute sample over its first 10 s divided by 0.6745 (of the filtered samples, with `filters`:
  /// one per channel), and the largest channel's counts; -1 when the group holds no samples.
  int32_t NoiseThreshold(const std::vector<int32_t>& sourceIds, double samplingFrequency, double factor,
                         double& noiseLevel, const std::vector<ChannelFilter>& filters = {});
  /// The same over the records of `sources`.
  static int32_t NoiseThreshold(IDataSourceManager& sources, const std::vector<int32_t>& sourceIds,
                                double samplingFrequency, double factor, double& noiseLevel,
                                const std::vector<ChannelFilter>& filters = {});
  /// The threshold a run with `parameters` uses for a group filtered by `filters`: theirs, or K x the
  /// group's noise level.
  static int32_t GroupThreshold(IDataSourceManager& sources, const ExtractionParameters& parameters,
                                const std::vector<int32_t>& sourceIds, double samplingFrequency, double& noiseLevel,
                                const std::vector<ChannelFilter>& filters = {});

  /// The groups a run over `channels` with the current parameters writes spike files for, planned as
  /// it plans them but without a word: none when a spike file would be one of the data files or the
  /// band filter cannot be made for one of them, none after a source that cannot be had, and no group
  /// whose name an earlier group took. The other parameters are not checked here (none for a channel
  /// count below 1).
  std::vector<Group> GroupsToWrite(const std::vector<ChannelSource>& channels);
  /// Scans one block of a group's walk as the run does: a new segment where time went back, crossings
  /// searched in the current record only, no window on a missing or separated neighbour.
  static void ScanBlock(const GroupRecordWalk& records, int32_t alignmentPt, int32_t numSpikePoints,
                        SpikeExtractor& extractor);
  /// The same over every one of `channels` whose source is known (the Properties dialog's one
  /// threshold for all groups), through the parameters' band filter; -1 when none has samples, or,
  /// with `refusal` saying why, when the band cannot apply to one of them (its raw noise is no
  /// measure of what detection would see).
  int32_t NoiseThresholdOfChannels(const std::vector<ChannelSource>& channels, double factor, double& noiseLevel,
                                   std::string& refusal);

 private:
  struct Walk;

  // Plans a group for every full set of channels in their order and lists every channel's data file;
  // 0, or -1 when a channel's source cannot be had (the groups planned before it stand). Says what
  // it skips when `report`.
  int32_t PlanGroups(const std::vector<ChannelSource>& channels, std::vector<Group>& groups,
                     std::vector<std::string>& inputs, bool report);
  // Writes one planned group with `extractor`; fills `file` when the spike file was opened.
  // `buffers` (may be null) is the memory the group's records are read into, handed from group to group.
  bool RunGroup(const Group& group, std::size_t index, SpikeExtractor& extractor, WrittenFile& file,
                std::vector<RecordStream::Buffers>* buffers);
  int32_t WalkRecords(const std::vector<int32_t>& sourceIds, double dt, const std::vector<ChannelFilter>& filters,
                      SpikeExtractor& extractor, Walk& walk, std::vector<RecordStream::Buffers>* buffers);
  // Designs the band filter for every channel of every group; false, with `refusal` naming the field
  // and the recording, when one of them cannot take it.
  bool DesignFilters(std::vector<Group>& groups, std::string& refusal) const;
  void RunGroups(const std::vector<Group>& groups);
  // The data files of a group, in channel order.
  std::vector<std::string> InputsOf(const std::vector<int32_t>& sourceIds);
  // Settles what each group does with a file already at its name: refused over a recording (said),
  // written over anything else, or moved to a free numbered name.
  void SettleExisting(std::vector<Group>& groups) const;

  IDataSourceManager& sources_;
  SpikeExtractor extractor_;
  ExtractionParameters parameters_;
  std::vector<WrittenFile> writtenFiles_;
  Existing existing_ = Existing::Replace;
  int32_t failedGroups_ = 0;
  int32_t jobs_ = 1;
  std::atomic<bool> cancel_{false};
  bool wasCancelled_ = false;
  ExtractionProgress progress_;
};

}  // namespace skelvane
