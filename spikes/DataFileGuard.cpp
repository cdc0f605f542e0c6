#include "spikes/DataFileGuard.h"

#include <algorithm>
#include <string_view>

#include "datafile/FileHeader.h"
#include "datafile/LegacyHeader.h"
#include "platform/File.h"
#include "platform/ReportError.h"
#include "spikes/SpikeFile.h"

namespace skelvane {

DataFileGuard::Holds DataFileGuard::At(const std::string& path) {
  // Read mode opens regular files only and never blocks: a FIFO or device at the name is no data file.
  File file;
  if (path.empty() || file.Open(path, File::Mode::Read) != 0) return Holds::Other;
  std::string bytes(static_cast<std::size_t>(SpikeFile::kHeaderSize), '\0');
  const int64_t got = File::ReadFullyAt(file.Descriptor(), bytes.data(), SpikeFile::kHeaderSize, 0);
  if (got <= 0) return Holds::Other;
  bytes.resize(static_cast<std::size_t>(got));
  if (std::string_view(bytes).starts_with(kHeaderMarker)) {
    return SpikeFile::HeaderMarksSpikeFile(bytes) ? Holds::SpikeFile : Holds::Recording;
  }
  if (LegacyHeader::HasBegin(bytes.data(), std::min(got, kLegacyProbeLength))) return Holds::Recording;
  return Holds::Other;
}

bool DataFileGuard::MayWrite(const std::string& path, Holds own) {
  const Holds held = At(path);
  if (held == Holds::Other || held == own) return true;
  ReportFileError(held == Holds::Recording ? kOutputIsRecordingMessage : kOutputIsSpikeFileMessage, 0, path, 0);
  return false;
}

}  // namespace skelvane
