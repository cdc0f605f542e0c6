#pragma once
// The main window as its helpers (mouse gestures, file session, commands, plot actions) see it: after
// they changed the view or the plots the scrollbars follow and the canvas is drawn again. MainWindow
// implements it; the helpers never include the window itself.

#include <cstdint>
#include <functional>
#include <string>

#include "display/ViewModel.h"
#include "platform/MemoryBitmap.h"

namespace skelvane {

class WindowView {
 public:
  virtual ~WindowView() = default;
  /// Takes the data time range from the sources, widened to at least the canvas width.
  virtual void UpdateTimeRange() = 0;
  /// Keeps the visible span inside the data and sets the horizontal scrollbar from it.
  virtual void UpdateHorizontalScroll() = 0;
  /// Keeps the vertical scroll inside the plot stack and sets the vertical scrollbar from it.
  virtual void UpdateVerticalScroll() = 0;
  /// Draws the canvas again at the next paint: one frame for everything asked for until then.
  virtual void Redraw() = 0;
  /// Moves the visible span as a horizontal scrollbar action would, then the bar and the picture.
  virtual void ScrollTime(ViewModel::Scroll action, int64_t position) = 0;
  /// The canvas picture as the window shows it, drawn first if a redraw is still due.
  virtual MemoryBitmap DisplayedImage() = 0;
  /// Says something in the status bar for a while: files passed over, a time held to the recording.
  virtual void ShowNotice(const std::string& text) = 0;
  /// Runs `task` once the picture asked for is on the screen (soon, when none is on its way): work
  /// the user does not wait for stays out of the way of the picture that is waited for.
  virtual void AfterNextPicture(std::function<void()> task) = 0;
};

}  // namespace skelvane
