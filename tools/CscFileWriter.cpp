#include "tools/CscFileWriter.h"

#include <cerrno>
#include <cstring>

#include "datafile/FileHeader.h"
#include "platform/File.h"

namespace skelvane {
namespace {

constexpr const char* kHeaderFirstLine = "######## Kestrelon Data File Header";
constexpr const char* kLineEnd = "\r\n";
// Records are written in batches so a long recording needs few write calls and little memory.
constexpr std::size_t kRecordsPerWrite = 1024;

template <typename T>
void AppendLittleEndian(T value, std::string& out) {
  char bytes[sizeof(T)];
  std::memcpy(bytes, &value, sizeof(T));  // little-endian on every target we build for
  out.append(bytes, sizeof(T));
}

}  // namespace

std::string CscFileWriter::MakeHeader(const std::vector<std::pair<std::string, std::string>>& entries) {
  std::string text = kHeaderFirstLine;
  text += kLineEnd;
  for (const auto& [key, value] : entries) {
    text += key;
    text += ' ';
    text += value;
    text += kLineEnd;
  }
  text.resize(kFileHeaderSize, '\0');
  return text;
}

void CscFileWriter::AppendRecord(const CscRecordData& record, std::string& out) {
  AppendLittleEndian(record.timestamp, out);
  out.append(kCscFrequencyOffset - kCscTimestampOffset - sizeof(int64_t), '\0');
  AppendLittleEndian(record.samplingFrequency, out);
  out.append(kCscSamplesOffset - kCscFrequencyOffset - sizeof(uint32_t), '\0');
  for (const int16_t sample : record.samples) AppendLittleEndian(sample, out);
}

int32_t CscFileWriter::Write(const std::string& path, const std::string& header,
                             const std::vector<CscRecordData>& records, std::size_t trailingBytes) {
  File file;
  if (const int32_t rc = file.Open(path, File::Mode::CreateWrite); rc != 0) return rc;
  const auto failed = [&file]() { return file.LastError() != 0 ? file.LastError() : EIO; };
  if (!header.empty() && !file.Write(header.data(), static_cast<int64_t>(header.size()))) return failed();

  std::string batch;
  batch.reserve(kRecordsPerWrite * kCscRecordSize);
  for (std::size_t i = 0; i < records.size(); ++i) {
    AppendRecord(records[i], batch);
    if (batch.size() >= kRecordsPerWrite * kCscRecordSize || i + 1 == records.size()) {
      if (!file.Write(batch.data(), static_cast<int64_t>(batch.size()))) return failed();
      batch.clear();
    }
  }
  if (trailingBytes > 0) {
    // The start of one more record that never got finished: its timestamp continues the sequence.
    CscRecordData partial;
    if (!records.empty()) partial.timestamp = records.back().timestamp + 1;
    std::string tail;
    AppendRecord(partial, tail);
    tail.resize(trailingBytes, '\0');
    if (!file.Write(tail.data(), static_cast<int64_t>(tail.size()))) return failed();
  }
  return file.Close();
}

}  // namespace skelvane
