#pragma once
// The spikes marked on the traces: for each channel group, the traces (by source path) its spikes are
// marked on and their peak times, and the span in which they are complete. Made by the detection
// preview, handed to the plots in every frame by the canvas, and read by the window's status bar and
// its next/previous spike keys.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace skelvane {

class SpikeMarks {
 public:
  /// One channel group: the traces its spikes are marked on and their peak times, ascending.
  struct Group {
    std::vector<std::string> paths;
    std::vector<int64_t> peaks;
  };

  /// Adds a group's spikes.
  void AddGroup(std::vector<std::string> paths, std::vector<int64_t> peaks);
  /// Says that every spike with its peak in [from, to) is here (a preview still filling in says less).
  void SetComplete(int64_t from, int64_t to);

  /// The groups, in the order added.
  const std::vector<Group>& Groups() const { return groups_; }
  /// The peak times marked on the trace of `path`, ascending; none when it is in no group.
  std::span<const int64_t> PeaksFor(const std::string& path) const;
  /// Spikes with their peak in [from, to), each counted once however many traces show it.
  int64_t CountBetween(int64_t from, int64_t to) const;
  /// The earliest peak of any group after `time`, if there is one.
  std::optional<int64_t> NextAfter(int64_t time) const;
  /// The latest peak of any group before `time`, if there is one.
  std::optional<int64_t> PreviousBefore(int64_t time) const;
  /// True when every spike with its peak in [from, to) is here.
  bool CompleteBetween(int64_t from, int64_t to) const;

 private:
  std::vector<Group> groups_;
  int64_t completeFrom_ = 0;
  int64_t completeTo_ = 0;
};

}  // namespace skelvane
