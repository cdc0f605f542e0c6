#pragma once
// Spike files made byte by byte for the tests: a header with the lines the extraction writes (each
// one easy to replace with a faulty one) and records from given or random values. Used by the spike
// reader, statistics and figure tests and the spikes command tests.

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace skelvane::test {

struct MadeSpike {
  int64_t timestamp = 0;  // signed, as the recordings' times
  uint32_t word1 = 0;
  uint32_t word2 = 0;
  std::vector<int32_t> features = std::vector<int32_t>(8, 0);
  std::vector<int16_t> samples;  // 32 points x channels, point-major as in the file
};

/// The header text (before its zero padding) the extraction writes for `channels` data files.
inline std::string MadeHeaderText(int channels, int alignmentPt = 8, int threshold = 50) {
  std::string text = "######## Kestrelon Data File Header\r\n## Created By Kestrelon Skelvane Version 3.0\r\n";
  text += "## File Name: /tmp/out/SpikeFile.ktt\r\n";
  for (int c = 0; c < channels; ++c) text += "## Created From File: TT1" + std::string(1, char('a' + c)) + ".kcs\r\n";
  text += "## Time Opened: (m/d/y): 01/02/26 At Time 03:04:05\r\n";
  text += "-RecordSize  " + std::to_string(48 + 64 * channels) + "\r\n";
  std::string perSource;
  for (int c = 0; c < channels; ++c) perSource += "  " + std::to_string(c);
  text += "\t-ADChannel" + perSource + "\r\n";
  text += "\t-SamplingFrequency  32000.\r\n\t-ADMaxValue  32767\r\n";
  text += "\t-AlignmentPt  " + std::to_string(alignmentPt) + "\r\n\t-ThreshVal";
  for (int c = 0; c < channels; ++c) text += "  " + std::to_string(threshold);
  return text + "\r\n\r\n";
}

/// `text` zero-padded to the 16384-byte header block.
inline std::string HeaderBlock(std::string text) {
  text.resize(16384, '\0');
  return text;
}

inline void AppendRecord(const MadeSpike& spike, std::string& out) {
  auto put = [&out](const void* value, std::size_t size) { out.append(static_cast<const char*>(value), size); };
  put(&spike.timestamp, 8);
  put(&spike.word1, 4);
  put(&spike.word2, 4);
  put(spike.features.data(), 4 * spike.features.size());
  put(spike.samples.data(), 2 * spike.samples.size());
}

/// A whole file: the header block for `headerText`, then the records.
inline std::string MadeSpikeFile(const std::string& headerText, const std::vector<MadeSpike>& spikes) {
  std::string bytes = HeaderBlock(headerText);
  for (const MadeSpike& spike : spikes) AppendRecord(spike, bytes);
  return bytes;
}

/// `count` spikes of `channels` channels with random words and samples, rising times from `start`
/// (gaps from 1 us to 60 ms, so some fall under 2 ms and some past the 50 ms histogram).
inline std::vector<MadeSpike> RandomSpikes(int channels, int64_t count, uint32_t seed, int64_t start = 1'000'000) {
  std::mt19937_64 random(seed);
  std::uniform_int_distribution<int> sample(-32768, 32767);
  std::uniform_int_distribution<int64_t> gap(1, 60'000);
  std::vector<MadeSpike> spikes(static_cast<std::size_t>(count));
  int64_t time = start;
  for (MadeSpike& spike : spikes) {
    spike.timestamp = time;
    time += gap(random);
    spike.word1 = static_cast<uint32_t>(random());
    spike.word2 = static_cast<uint32_t>(random());
    for (int32_t& f : spike.features) f = static_cast<int32_t>(random());
    spike.samples.resize(static_cast<std::size_t>(32 * channels));
    for (int16_t& s : spike.samples) s = static_cast<int16_t>(sample(random));
  }
  return spikes;
}

}  // namespace skelvane::test
