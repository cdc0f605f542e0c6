#include "app/WheelNavigator.h"

namespace skelvane {

void WheelNavigator::OnWheel(QPoint position, QPoint angleDelta, Qt::KeyboardModifiers modifiers) {
  // With Alt (and Shift on some systems) Qt turns a vertical wheel into a horizontal one.
  const int32_t delta = angleDelta.y() != 0 ? angleDelta.y() : angleDelta.x();
  pending_ += delta;
  const int32_t notches = pending_ / kNotch;
  if (notches == 0) return;
  pending_ -= notches * kNotch;
  // Wheel away from the user (positive) means up, later in time is to the right, zoom in, larger.
  if (modifiers & Qt::ControlModifier) {
    target_.ZoomTimeAbout(position.x(), notches);
  } else if (modifiers & Qt::AltModifier) {
    target_.ZoomAmplitudeAt(position.y(), notches);
  } else if (modifiers & Qt::ShiftModifier) {
    target_.PageTime(-notches);
  } else {
    target_.ScrollStackBy(notches * kPixelsPerNotch);
  }
}

}  // namespace skelvane
