#pragma once
// Everything a session file holds: the recordings in display order with each plot's looks, the view,
// the axes, the cursors, the extraction properties, the markers and the panels open. SessionFile reads
// and writes it, SessionRestore takes it from and gives it to the display; the window and the CLI use it.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "display/IPlotCanvas.h"
#include "display/MarkerSet.h"
#include "extract/ExtractionParameters.h"

namespace skelvane {

struct Session {
  /// One recording and how its plot is drawn.
  struct Recording {
    std::string path;  // as stored: relative to the session file's folder when below it, else absolute
    int32_t height = 100;
    double gain = 1.0;
    uint32_t colour = 0xFFFFFF;  // 0x00BBGGRR
    std::string filter = "none";  // the display filter, none|spike|lfp|LO:HI
  };
  struct View {
    int64_t start = 0;  // microseconds, raw timestamp at the left edge
    int64_t span = 0;   // microseconds; 0: not saved (the view the files open with)
    int32_t scrollTop = 0;
    int32_t canvasWidth = 0;  // the canvas the view was saved from, pixels
    int32_t canvasHeight = 0;
  };

  std::vector<Recording> recordings;
  View view;
  IPlotCanvas::TimeLabelStyle timeAxis = IPlotCanvas::TimeLabelStyle::Microseconds;
  bool dataAxisInMicrovolts = false;
  bool scaleBars = false;
  std::optional<int64_t> cursorA;
  std::optional<int64_t> cursorB;
  ExtractionParameters extraction;   // OutputDirectory stored as the paths are
  std::vector<MarkerSet::Marker> markers;
  bool markersPanel = false;
  std::vector<std::string> spikeFilePanels;  // stored as the paths are
};

}  // namespace skelvane
