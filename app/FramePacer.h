#pragma once
// One canvas frame per paint, whatever number of changes asked for one: every key press, wheel step
// or command still changes the view at once, but the picture is drawn when the window paints, once
// for all that arrived since the last frame. A held key (its repeats arrive while a frame is being
// drawn) so pages at the rate frames can be drawn and stops with the next frame after its release.
// Each frame is read back and handed to the window's picture once. Owned by MainWindow, whose
// Redraw asks and whose paint draws.

#include <cstdint>

namespace skelvane {

class CanvasPicture;
class IPlotCanvas;
class LatencyLog;
struct ViewState;

class FramePacer {
 public:
  /// Draws `canvas` showing `view`; `log` (may be null) learns of every frame.
  FramePacer(IPlotCanvas& canvas, const ViewState& view, LatencyLog* log);

  /// Something shown changed: the next paint draws a frame.
  void Ask();
  /// A frame has been asked for and not drawn yet.
  bool Due() const { return due_; }
  /// Draws the frame when one is due, under the wait cursor, and hands it to `picture` (which is
  /// left empty, black, when the canvas has no picture); true when it drew.
  bool DrawIfDue(CanvasPicture& picture);
  /// Frames drawn so far.
  int64_t FramesDrawn() const { return frames_; }

 private:
  IPlotCanvas& canvas_;
  const ViewState& view_;
  LatencyLog* log_;
  bool due_ = false;
  int64_t frames_ = 0;
};

}  // namespace skelvane
