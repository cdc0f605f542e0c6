#pragma once
// Amplitude gain from the signal in view: the gain at which a CSC plot's largest excursion over the
// visible span fills most of its height. The main window's Autoscale commands use it; the peak comes
// from the columns the plot last drew for the span, else from its summary, and only when neither
// has it from the columns worked out afresh (a read of the records in view).

#include <cstdint>
#include <optional>

namespace skelvane {

class CscPlot;
struct PlotFrame;

class Autoscale {
 public:
  /// Share of half the trace height the largest excursion is brought to.
  static constexpr double kFill = 0.9;

  /// The largest |value| over the frame's span in the plot's drawn units (A/D counts times its
  /// scale); none while the plot has nothing to show there (no records, a summary still building).
  static std::optional<int32_t> Peak(CscPlot& plot, const PlotFrame& frame);
  /// The gain at which that peak reaches kFill of half the trace height; none for no peak, a zero
  /// peak (a flat signal) or a plot without a full-scale value.
  static std::optional<double> GainFor(CscPlot& plot, const PlotFrame& frame);
};

}  // namespace skelvane
