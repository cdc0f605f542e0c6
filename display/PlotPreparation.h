#pragma once
// Lets plots work out what they will draw on helper threads while the canvas draws the ones before
// them: helpers take the plots in stacking order, and the canvas, on reaching a plot, waits for it
// or, when no helper has taken it yet, prepares it itself. Used by PlotCanvas for one frame.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "display/PlotFrame.h"

namespace skelvane {

class IPlot;

class PlotPreparation {
 public:
  /// Starts preparing `plots` for `frame`, on one helper fewer than the machine has cores, at most
  /// three (none for fewer than two plots). The helpers hand the plots a copy of the frame.
  PlotPreparation(std::vector<IPlot*> plots, const PlotFrame& frame);
  /// Waits for the helpers.
  ~PlotPreparation();
  PlotPreparation(const PlotPreparation&) = delete;
  PlotPreparation& operator=(const PlotPreparation&) = delete;

  /// Returns once plot `index` (in the order given) is prepared.
  void Await(std::size_t index);
  /// Helps with what is left and returns once every plot is prepared.
  void AwaitAll();

 private:
  /// Prepares the next plot nobody has taken, if it is at most `upTo`; false when there is none.
  bool PrepareNext(std::size_t upTo);
  void Work();
  bool IsDone(std::size_t index);

  const std::vector<IPlot*> plots_;
  const PlotFrame frame_;
  std::mutex mutex_;
  std::condition_variable finished_;
  std::size_t next_ = 0;             // the first plot nobody has taken
  std::vector<bool> done_;           // guarded by mutex_
  std::vector<std::thread> helpers_;
};

}  // namespace skelvane
