#pragma once
// The zoom steps taken one after another, so that zooming back the other way returns to each view
// before exactly: a step in divides the span and drops the remainder, and every step holds the middle
// time only to within a column. A step back is taken only while the view is still the one the step
// made; any other move forgets the steps. ViewModel keeps one and zooms through it.

#include <cstdint>
#include <optional>
#include <vector>

namespace skelvane {

class ZoomHistory {
 public:
  /// Steps remembered at most: far more than lie between a day and a microsecond.
  static constexpr std::size_t kMostSteps = 64;

  enum class Direction { In, Out };

  /// The visible part of the time axis.
  struct View {
    int64_t start = 0;
    int64_t span = 0;
    bool operator==(const View&) const = default;
  };

  /// The view before the last step when `current` is the view that step made and `direction` goes
  /// back from it; the step is then forgotten. Otherwise none (and every step is forgotten when
  /// `current` is another view).
  std::optional<View> Back(Direction direction, const View& current);
  /// Remembers a step in `direction` from `before` to `after`.
  void Step(Direction direction, const View& before, const View& after);
  /// Forgets every step.
  void Clear() { steps_.clear(); }

 private:
  struct Taken {
    Direction direction;
    View before;
    View after;
  };
  std::vector<Taken> steps_;
};

}  // namespace skelvane
