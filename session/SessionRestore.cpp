#include "session/SessionRestore.h"

#include "display/CscPlot.h"
#include "display/IPlot.h"
#include "display/IPlotCanvas.h"
#include "display/IPlotCollection.h"
#include "display/TimeCursors.h"
#include "display/ViewModel.h"
#include "display/ViewState.h"
#include "filter/FilterChoice.h"
#include "platform/PathHelpers.h"
#include "session/SessionPaths.h"

namespace skelvane {
namespace {

IPlot* PlotOf(const IPlotCollection& plots, const std::string& path) {
  const std::string wanted = AbsolutePathOf(path);
  for (int32_t i = 0; i < plots.GetNumPlots(); ++i) {
    IPlot* plot = nullptr;
    if (plots.GetPlot(i, plot) == 0 && plot != nullptr && AbsolutePathOf(plot->GetPath()) == wanted) return plot;
  }
  return nullptr;
}

}  // namespace

Session SessionRestore::Capture(IPlotCanvas& canvas, const ViewState& view, const IPlotCollection& plots,
                                const ExtractionParameters& extraction, const std::string& sessionFolder) {
  Session session;
  for (int32_t i = 0; i < plots.GetNumPlots(); ++i) {
    IPlot* plot = nullptr;
    if (plots.GetPlot(i, plot) != 0 || plot == nullptr) continue;
    Session::Recording recording;
    recording.path = SessionPaths::Stored(plot->GetPath(), sessionFolder);
    recording.height = plot->GetHeight();
    recording.gain = canvas.GetAmplitudeGain(plot->GetPath());
    if (const auto* csc = dynamic_cast<const CscPlot*>(plot)) {
      recording.colour = csc->Properties().traceColour;
      recording.filter = csc->Filter().Text();
    }
    session.recordings.push_back(std::move(recording));
  }
  session.view = {view.VisibleStart, view.VisibleSpan, view.ScrollTop, view.CanvasWidth, view.CanvasHeight};
  session.timeAxis = canvas.GetTimeLabelStyle();
  session.dataAxisInMicrovolts = canvas.GetDataAxisInMicrovolts();
  session.scaleBars = canvas.GetShowScaleBars();
  if (const TimeCursors* cursors = canvas.Cursors()) {
    session.cursorA = cursors->TimeOf(TimeCursors::Cursor::A);
    session.cursorB = cursors->TimeOf(TimeCursors::Cursor::B);
  }
  session.extraction = extraction;
  session.extraction.OutputDirectory = SessionPaths::Stored(extraction.OutputDirectory, sessionFolder);
  if (const MarkerSet* markers = canvas.Markers()) session.markers = markers->All();
  return session;
}

void SessionRestore::ApplyDisplay(const Session& session, const std::vector<std::string>& opened, IPlotCanvas& canvas,
                                  ViewState& view, IPlotCollection& plots, std::vector<std::string>& problems) {
  for (std::size_t i = 0; i < session.recordings.size() && i < opened.size(); ++i) {
    if (opened[i].empty()) continue;
    IPlot* plot = PlotOf(plots, opened[i]);
    if (plot == nullptr) {
      problems.push_back("not opened: " + opened[i]);
      continue;
    }
    const Session::Recording& recording = session.recordings[i];
    plot->SetHeight(recording.height);
    canvas.SetAmplitudeGain(plot->GetPath(), recording.gain);
    if (auto* csc = dynamic_cast<CscPlot*>(plot)) {
      csc->Properties().traceColour = recording.colour;
      // The text was checked when the session was read; a band this recording's rate cannot take is said.
      std::string refusal;
      const FilterChoice filter = FilterChoice::Parse(recording.filter, refusal).value_or(FilterChoice());
      if (!csc->SetFilter(filter, refusal)) problems.push_back("filter " + recording.filter + " refused: " + refusal);
    }
  }
  // The threshold lines show the extraction properties, as after the Properties dialog's OK.
  for (int32_t i = 0; i < plots.GetNumPlots(); ++i) {
    IPlot* plot = nullptr;
    if (plots.GetPlot(i, plot) != 0 || plot == nullptr) continue;
    plot->SetExtractionMode(session.extraction.ExtractionMode);
    plot->SetExtractionType(session.extraction.ExtractionType);
    plot->SetExtractionValue(session.extraction.Threshold);
  }
  canvas.SetTimeLabelStyle(session.timeAxis);
  canvas.SetDataAxisInMicrovolts(session.dataAxisInMicrovolts);
  canvas.SetShowScaleBars(session.scaleBars);
  if (TimeCursors* cursors = canvas.Cursors()) {
    cursors->Clear();
    if (session.cursorA) cursors->Set(TimeCursors::Cursor::A, *session.cursorA);
    if (session.cursorB) cursors->Set(TimeCursors::Cursor::B, *session.cursorB);
  }
  if (MarkerSet* markers = canvas.Markers()) markers->Assign(session.markers);

  ViewModel model(view, canvas, plots);
  if (session.view.span > 0) {
    model.SetVisibleSpan(session.view.span);
    model.ScrollTo(session.view.start);
  }
  model.UpdateHorizontalScroll();
  view.ScrollTop = session.view.scrollTop;
  view.ScrollBottom = view.ScrollTop - view.CanvasHeight;
  model.UpdateVerticalScroll();
}

ExtractionParameters SessionRestore::Extraction(const Session& session, const std::string& sessionFolder) {
  ExtractionParameters parameters = session.extraction;
  parameters.OutputDirectory = SessionPaths::Resolved(parameters.OutputDirectory, sessionFolder);
  return parameters;
}

}  // namespace skelvane
