#pragma once
// Works out, on a thread of its own while the window waits for input, the columns of the views the
// user will most likely ask for next (a page either way, a zoom step, the plots a stack page shows),
// so that a frame of one of them draws as cheaply as a view drawn before. The window pauses it
// whenever it does anything, so it never runs beside a frame nor beside any change to the plots.
// Owned by MainWindow; the canvas bench runs it between the frames it times, as a user's pause.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "display/PlotFrame.h"

namespace skelvane {

class IPlot;

class ColumnsAhead {
 public:
  /// One plot to prepare for one frame.
  struct Job {
    IPlot* plot;
    PlotFrame frame;
  };

  ColumnsAhead() = default;
  /// Ends the thread after the job it is doing.
  ~ColumnsAhead();
  ColumnsAhead(const ColumnsAhead&) = delete;
  ColumnsAhead& operator=(const ColumnsAhead&) = delete;

  /// Pauses, then drops the jobs not done yet for `jobs`, to be done in their order once resumed.
  void Start(std::vector<Job> jobs);
  /// Returns once no job is being done; none starts until Resume. The plots may then change or go.
  void Pause();
  /// Lets the jobs run (the thread starts with the first ones).
  void Resume();
  /// Does every job left, and returns paused once they are done.
  void Finish();
  /// Jobs done so far.
  int64_t Done() const;

 private:
  void Work();

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Job> jobs_;   // guarded by mutex_, like the flags below
  bool paused_ = true;
  bool busy_ = false;      // a job is being done
  bool ending_ = false;
  int64_t done_ = 0;
  std::thread thread_;
};

}  // namespace skelvane
