#pragma once
// How far each group of a running extraction has got, written by the workers and read from any other
// thread (the terminal's progress line, the window's progress dialog). Owned by ExtractionRun.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace skelvane {

class ExtractionProgress {
 public:
  /// Where a group stands.
  enum class State { Waiting, Running, Done };

  /// One group as seen at one moment.
  struct GroupView {
    std::string path;
    int64_t doneRecords = 0;
    int64_t totalRecords = 0;
    int32_t channels = 0;
    State state = State::Waiting;
  };

  /// Starts a new run of the given groups (all waiting, nothing done).
  void Reset(const std::vector<GroupView>& groups);
  /// A worker took group `group` up.
  void Started(std::size_t group);
  /// Group `group` has walked `records` of its records.
  void Advanced(std::size_t group, int64_t records);
  /// Group `group` is over (written, failed or cancelled).
  void Finished(std::size_t group);
  /// How many runs have started (each Reset is one): tells a new run's groups from the last run's.
  int64_t Generation() const { return generation_; }
  /// Every group as it stands now.
  std::vector<GroupView> Snapshot() const;

 private:
  struct Group {
    GroupView fixed;
    std::atomic<int64_t> done{0};
    std::atomic<int> state{0};
  };
  mutable std::mutex mutex_;  // guards the list itself; the counters are atomics
  std::vector<std::unique_ptr<Group>> groups_;
  std::atomic<int64_t> generation_{0};
};

}  // namespace skelvane
