#pragma once
// Carries out "Create Spike File": splits the plots into consecutive channel groups, and for each
// group names, opens and fills one spike file. Used by the main window's command and skelvane-cli.

#include <cstdint>
#include <string>
#include <vector>

#include "extract/ExtractionParameters.h"
#include "extract/SourceHeaderInfo.h"
#include "extract/SpikeExtractor.h"

namespace skelvane {

class IDataSourceManager;
class IPlotCollection;

/// Message shown at the end of every "Create Spike File" command, whatever happened.
inline constexpr const char* kExtractionCompletedMessage = "Spike Extraction Process Completed";

class ExtractionRun {
 public:
  /// One spike file the last run opened, with the spikes stored in it.
  struct WrittenFile {
    std::string path;
    int64_t spikeCount = 0;
    bool complete = true;  // false when a write failed and the group was cut short
  };

  /// A run over the plots of `plots`, reading their records through `sources`; default parameters.
  ExtractionRun(IPlotCollection& plots, IDataSourceManager& sources);
  /// Closes a spike file still open.
  virtual ~ExtractionRun();
  ExtractionRun(const ExtractionRun&) = delete;
  ExtractionRun& operator=(const ExtractionRun&) = delete;

  /// The command: wait cursor, CreateSpikeFiles, arrow cursor, then always the completion message.
  int32_t RunCreateSpikeFileCommand();
  /// The whole run over every plot in display order; 0, or -1 when it was stopped.
  int32_t CreateSpikeFiles();
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
  /// The spike files of the last run, in the order they were opened.
  const std::vector<WrittenFile>& WrittenFiles() const;

 private:
  // Fills one channel's part of the block from records n-1, n, n+1; false ends the group.
  bool LoadChannel(int32_t sourceId, int64_t recordIndex, bool& hasPrevious, bool& hasNext, std::vector<int16_t>& samples,
                   uint64_t& previousTime, uint64_t& currentTime, uint64_t& nextTime);

  IPlotCollection& plots_;
  IDataSourceManager& sources_;
  SpikeExtractor extractor_;
  ExtractionParameters parameters_;
  std::vector<WrittenFile> writtenFiles_;
};

}  // namespace skelvane
