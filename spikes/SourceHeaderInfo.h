#pragma once
// Per-source values copied into a spike file's header, one entry per channel of the group, in
// group order. Built by the extraction run, written by SpikeFileWriter::WriteHeader.

#include <cstdint>
#include <string>

namespace skelvane {

struct SourceHeaderInfo {
  int32_t ThreshVal = 0;    // the run's threshold truncated toward zero
  std::string ADChannel;    // header values copied as text, empty when the key is absent
  std::string ADGain;
  std::string AmpGain;
  std::string AmpLowCut;
  std::string AmpHiCut;
  std::string ADBitVolts;
  std::string FileName;     // the source's file name as the data source manager reports it
};

}  // namespace skelvane
