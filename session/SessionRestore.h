#pragma once
// Between a Session and the display: what the canvas, the plots and the view show now as a session,
// and a session given back to them once its recordings are open. The window's Save and Open Session
// and `skelvane-cli snapshot --session` go through the same code, so both draw the same picture.

#include <string>
#include <vector>

#include "session/Session.h"

namespace skelvane {

class IPlotCanvas;
class IPlotCollection;
struct ViewState;

class SessionRestore {
 public:
  /// What is shown now, its paths (recordings and output folder) stored as a session in
  /// `sessionFolder` stores them. The panels are the caller's to fill in.
  static Session Capture(IPlotCanvas& canvas, const ViewState& view, const IPlotCollection& plots,
                         const ExtractionParameters& extraction, const std::string& sessionFolder);
  /// Gives the plots opened from the session's recordings (`opened`: the path each recording was
  /// opened from, empty for one that was not) their heights, gains, colours and threshold lines; the
  /// canvas its axes, scale bars, cursors and markers; the view its span, start and scroll, held to
  /// the data as a scroll would hold them. A recording that has no plot adds a line to `problems`.
  static void ApplyDisplay(const Session& session, const std::vector<std::string>& opened, IPlotCanvas& canvas,
                           ViewState& view, IPlotCollection& plots, std::vector<std::string>& problems);
  /// The session's extraction properties, its output folder found from `sessionFolder`.
  static ExtractionParameters Extraction(const Session& session, const std::string& sessionFolder);
};

}  // namespace skelvane
