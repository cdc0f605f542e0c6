#include "app/MeasuringCursors.h"

#include "app/ClientLayout.h"
#include "app/PlotLocator.h"
#include "app/WindowView.h"
#include "display/IPlotCanvas.h"

namespace skelvane {

MeasuringCursors::MeasuringCursors(IPlotCanvas& canvas, const PlotLocator& locator, WindowView& window,
                                   ReadoutShown shown)
    : canvas_(canvas), locator_(locator), window_(window), shown_(std::move(shown)) {}

void MeasuringCursors::PointerAt(int32_t x, int32_t y) {
  x_ = x;
  y_ = y;
  ShowReadout();
}

void MeasuringCursors::PointerLeft() {
  x_.reset();
  ShowReadout();
}

bool MeasuringCursors::Place(TimeCursors::Cursor cursor) {
  TimeCursors* cursors = canvas_.Cursors();
  if (cursors == nullptr || !x_ || y_ < ClientLayout::kScrollBarSize) return false;
  const std::optional<int64_t> time = locator_.TimeAt(*x_);
  if (!time) return false;
  cursors->Set(cursor, *time);
  ShowReadout();
  window_.Redraw();
  return true;
}

bool MeasuringCursors::Clear() {
  TimeCursors* cursors = canvas_.Cursors();
  if (cursors == nullptr || !cursors->Any()) return false;
  cursors->Clear();
  ShowReadout();
  window_.Redraw();
  return true;
}

std::string MeasuringCursors::Readout() const {
  TimeCursors* cursors = canvas_.Cursors();
  if (cursors == nullptr) return {};
  return cursors->ReadoutText(canvas_.Clock(), DifferenceUnderPointer(*cursors));
}

std::optional<TimeCursors::PlotDifference> MeasuringCursors::DifferenceUnderPointer(const TimeCursors& cursors) const {
  const std::optional<int64_t> a = cursors.TimeOf(TimeCursors::Cursor::A);
  const std::optional<int64_t> b = cursors.TimeOf(TimeCursors::Cursor::B);
  if (!x_ || !a || !b) return std::nullopt;
  const int32_t plot = locator_.PlotAt(y_);
  if (plot < 0) return std::nullopt;
  TimeCursors::PlotDifference difference;
  difference.plotName = locator_.NameOf(plot);
  const std::optional<PlotLocator::Sample> atA = locator_.SampleAt(plot, *a);
  const std::optional<PlotLocator::Sample> atB = locator_.SampleAt(plot, *b);
  if (!atA || !atB) return difference;  // a cursor in a gap of this plot
  difference.counts = int32_t{atB->counts} - int32_t{atA->counts};
  difference.band = atB->band;
  if (atA->microvolts && atB->microvolts) difference.microvolts = *atB->microvolts - *atA->microvolts;
  return difference;
}

void MeasuringCursors::ShowReadout() const {
  if (shown_) shown_(Readout());
}

}  // namespace skelvane
