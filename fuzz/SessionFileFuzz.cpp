// Fuzzes a session file and a markers CSV as the window opens them: the document read field by field,
// given to a canvas and plot collection without recordings (the view, axes, cursors and markers), the
// markers laid out over the view; and the same bytes read as the Markers panel imports a CSV.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "datafile/DataSourceManager.h"
#include "display/CanvasOverlays.h"
#include "display/ColorTable.h"
#include "display/PlotCanvas.h"
#include "display/PlotCollection.h"
#include "display/ViewState.h"
#include "session/MarkerCsv.h"
#include "session/SessionFile.h"
#include "session/SessionRestore.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace skelvane;
  const std::string text(reinterpret_cast<const char*>(data), size);
  Session session;
  std::vector<std::string> problems;
  if (SessionFile::Parse(text, session, problems) == SessionFile::Outcome::Read) {
    DataSourceManager sources;
    ColorTable colours = PlotCanvas::MakePlotColours();
    PlotCollection plots(sources, colours);
    ViewState view;
    PlotCanvas canvas(view, nullptr, &plots, &sources);
    view.CanvasWidth = 640;
    view.CanvasHeight = 480;
    SessionRestore::ApplyDisplay(session, {}, canvas, view, plots, problems);
    CanvasOverlays::Markers(*canvas.Markers(), view.VisibleStart, view.VisibleSpan, view.CanvasWidth, 0, 0, 480,
                            {{"TT1a", 10, 100}}, 12, [](std::string_view t) { return static_cast<int32_t>(t.size()); });
    SessionFile::Text(session);
  }
  std::vector<MarkerSet::Marker> markers;
  std::string error;
  MarkerCsv::Parse(text, markers, error);
  return 0;
}
