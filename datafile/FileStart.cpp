#include "datafile/FileStart.h"

#include <algorithm>
#include <string_view>

#include "datafile/LegacyHeader.h"
#include "platform/File.h"

namespace skelvane {

void FileStart::ReadFrom(File& file) {
  const int64_t got = file.ReadAt(0, bytes_, static_cast<int64_t>(kFileHeaderSize));
  count_ = std::max<int64_t>(got, 0);
  error_ = got < 0 ? file.LastError() : 0;
}

int64_t FileStart::LegacyProbeCount() const { return std::min(count_, kLegacyProbeLength); }

bool FileStart::HasLegacyBegin() const { return LegacyHeader::HasBegin(bytes_, LegacyProbeCount()); }

bool FileStart::HasHeaderMarker() const {
  return count_ >= static_cast<int64_t>(kHeaderMarker.size()) &&
         std::string_view(bytes_, kHeaderMarker.size()) == kHeaderMarker;
}

}  // namespace skelvane
