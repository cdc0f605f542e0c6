#pragma once
// Turns the mouse wheel over the canvas into navigation: the plain wheel scrolls the plot stack,
// Shift pages time, Ctrl zooms time about the mouse, Alt changes the amplitude of the plot under it.
// Used by MainWindow, whose operations it calls.

#include <QPoint>
#include <Qt>
#include <cstdint>

#include "display/ViewModel.h"

namespace skelvane {

class WheelNavigator {
 public:
  /// What the window offers the wheel.
  class Target {
   public:
    virtual ~Target() = default;
    /// Scrolls the plot stack up (positive) or down by pixels.
    virtual void ScrollStackBy(int32_t pixels) = 0;
    /// Pages time forward (positive steps) or back.
    virtual void PageTime(int32_t steps) = 0;
    /// Zooms time in (positive steps) or out, keeping the time under client x in place.
    virtual void ZoomTimeAbout(int32_t x, int32_t steps) = 0;
    /// Multiplies the amplitude of the plot at client y by a power of two (positive: larger).
    virtual void ZoomAmplitudeAt(int32_t y, int32_t steps) = 0;
  };

  /// Pixels the stack moves per wheel notch (the view model works the notches either way out ahead).
  static constexpr int32_t kPixelsPerNotch = ViewModel::kPixelsPerNotch;
  /// Angle of one wheel notch, eighths of a degree.
  static constexpr int32_t kNotch = 120;

  explicit WheelNavigator(Target& target) : target_(target) {}

  /// Handles one wheel event at `position` with `angleDelta` (eighths of a degree) and modifiers.
  void OnWheel(QPoint position, QPoint angleDelta, Qt::KeyboardModifiers modifiers);

 private:
  Target& target_;
  int32_t pending_ = 0;  // eighths of a degree not yet worth a notch (high-resolution wheels)
};

}  // namespace skelvane
