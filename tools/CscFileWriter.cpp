#include "tools/CscFileWriter.h"

#include <algorithm>
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
  return WriteStreamed(
      path, header, static_cast<int64_t>(records.size()),
      [&records](int64_t first, std::span<CscRecordData> batch) {
        std::copy_n(records.begin() + first, batch.size(), batch.begin());
      },
      trailingBytes);
}

int32_t CscFileWriter::WriteStreamed(const std::string& path, const std::string& header, int64_t count,
                                     const std::function<void(int64_t, std::span<CscRecordData>)>& fill,
                                     std::size_t trailingBytes) {
  File file;
  if (const int32_t rc = file.Open(path, File::Mode::CreateWrite); rc != 0) return rc;
  const auto failed = [&file]() { return file.LastError() != 0 ? file.LastError() : EIO; };
  if (!header.empty() && !file.Write(header.data(), static_cast<int64_t>(header.size()))) return failed();

  std::vector<CscRecordData> records(static_cast<std::size_t>(std::min<int64_t>(count, kRecordsPerWrite)));
  std::string batch;
  batch.reserve(kRecordsPerWrite * kCscRecordSize);
  int64_t lastTimestamp = 0;
  for (int64_t first = 0; first < count; first += kRecordsPerWrite) {
    const auto n = static_cast<std::size_t>(std::min<int64_t>(kRecordsPerWrite, count - first));
    const std::span<CscRecordData> made(records.data(), n);
    fill(first, made);
    batch.clear();
    for (const CscRecordData& record : made) AppendRecord(record, batch);
    if (!file.Write(batch.data(), static_cast<int64_t>(batch.size()))) return failed();
    lastTimestamp = made.back().timestamp;
  }
  if (trailingBytes > 0) {
    // The start of one more record that never got finished: its timestamp continues the sequence.
    CscRecordData partial;
    if (count > 0) partial.timestamp = lastTimestamp + 1;
    std::string tail;
    AppendRecord(partial, tail);
    tail.resize(trailingBytes, '\0');
    if (!file.Write(tail.data(), static_cast<int64_t>(tail.size()))) return failed();
  }
  return file.Close();
}

}  // namespace skelvane
