#pragma once
// The notes a user pins to moments of the recordings: each a raw timestamp, the plot it belongs to (or
// every plot) and a short text, kept sorted by time so a frame finds the visible ones by binary search.
// The canvas owns one and draws it; the window's marker keys and panel, and sessions, edit and save it.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace skelvane {

class MarkerSet {
 public:
  struct Marker {
    int64_t timestamp = 0;  // microseconds, as the records stamp them
    std::string plot;       // the plot's name; empty for a marker on every plot
    std::string text;
    bool operator==(const Marker&) const = default;
  };

  /// Adds a marker after any others at the same time; its index.
  std::size_t Add(Marker marker);
  /// Removes the marker at `index`; false outside the list.
  bool Remove(std::size_t index);
  /// Replaces the text of the marker at `index`; false outside the list.
  bool SetText(std::size_t index, std::string text);
  /// Removes every marker.
  void Clear();
  /// Replaces every marker (sorted here, the order of equal times kept).
  void Assign(std::vector<Marker> markers);

  /// Every marker, by time.
  const std::vector<Marker>& All() const { return markers_; }
  std::size_t Count() const { return markers_.size(); }
  bool Empty() const { return markers_.empty(); }
  /// The indices [first, last) of the markers with start <= timestamp < end.
  std::pair<std::size_t, std::size_t> Within(int64_t start, int64_t end) const;
  /// The first marker later than `time`, or none.
  std::optional<std::size_t> After(int64_t time) const;
  /// The last marker earlier than `time`, or none.
  std::optional<std::size_t> Before(int64_t time) const;
  /// Grows with every change, so a view of the list knows when to read it again.
  uint64_t Revision() const { return revision_; }

 private:
  std::vector<Marker> markers_;
  uint64_t revision_ = 0;
};

}  // namespace skelvane
