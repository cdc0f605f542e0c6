#include "extract/LayoutSources.h"

#include "datafile/FileKind.h"
#include "platform/StatusCodes.h"

namespace skelvane {
namespace {

constexpr int32_t kPastTable = -2;  // as the window's table answers an index past its end

}  // namespace

int32_t LayoutSources::Add(const RecordLayout& layout) {
  layouts_.push_back(layout);
  return static_cast<int32_t>(layouts_.size()) - 1;
}

int32_t LayoutSources::GetRecordLayout(int32_t sourceIndex, RecordLayout& layout) {
  if (!Valid(sourceIndex)) return kStatusNoData;
  layout = layouts_[static_cast<std::size_t>(sourceIndex)];
  return kStatusOk;
}

int64_t LayoutSources::GetNumRecords(int32_t index) {
  return Valid(index) ? layouts_[static_cast<std::size_t>(index)].numRecords : kStatusNoData;
}

int32_t LayoutSources::GetSourcePath(int32_t index, std::string& path) {
  if (!Valid(index)) return kPastTable;
  path = layouts_[static_cast<std::size_t>(index)].path;
  return kStatusOk;
}

int32_t LayoutSources::FindSourceByPath(const std::string& path, int32_t& index) {
  for (std::size_t i = 0; i < layouts_.size(); ++i) {
    if (layouts_[i].path != path) continue;
    index = static_cast<int32_t>(i);
    return kStatusOk;
  }
  index = -1;
  return kStatusFailed;
}

int32_t LayoutSources::GetNumSources() { return static_cast<int32_t>(layouts_.size()); }

int32_t LayoutSources::AddListener(SourceListener*) { return kStatusFailed; }
int32_t LayoutSources::GetRecord(int64_t, int32_t, const uint8_t*&) { return kStatusNoData; }
int32_t LayoutSources::FindRecordForTime(int64_t, int32_t, const uint8_t*&) { return kStatusNoData; }

int32_t LayoutSources::GetSourceFileType(int32_t index, int32_t& type) {
  if (!Valid(index)) return kPastTable;
  type = kFileTypeCsc;
  return kStatusOk;
}

int32_t LayoutSources::GetHeader(int32_t, const char*&) { return kStatusNoData; }

void LayoutSources::GetTimeRange(int64_t& start, int64_t& end) {
  start = 0;
  end = 1;
}

int32_t LayoutSources::OpenSource(const std::string&) { return kStatusFailed; }
int32_t LayoutSources::OpenDataFileDialog() { return kStatusFailed; }
std::optional<std::vector<std::string>> LayoutSources::ChooseDataFiles() { return std::nullopt; }
int32_t LayoutSources::CloseSource(int32_t) { return kStatusNoData; }
int32_t LayoutSources::ReadSettings(File&) { return kStatusFailed; }
int32_t LayoutSources::WriteSettings(File&) { return kStatusFailed; }
int32_t LayoutSources::GetHeaderValue(int32_t, const std::string&, std::string&) { return kStatusNoData; }

}  // namespace skelvane
