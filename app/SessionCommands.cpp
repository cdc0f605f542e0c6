#include "app/SessionCommands.h"

#include <algorithm>

#include "app/FileSession.h"
#include "app/MarkerCommands.h"
#include "app/MeasuringCursors.h"
#include "app/SpikePanels.h"
#include "app/SpikesPanel.h"
#include "app/WindowView.h"
#include "display/IPlotCanvas.h"
#include "display/IPlotCollection.h"
#include "display/MarkerSet.h"
#include "extract/ExtractionRun.h"
#include "platform/FileChooser.h"
#include "platform/PathHelpers.h"
#include "session/SessionFile.h"
#include "session/SessionPaths.h"
#include "session/SessionRestore.h"
#include "spikes/SpikeFile.h"

namespace skelvane {
namespace {

const std::vector<FileChooser::Filter> kSessionFilters = {{"Sessions (*.skvs)", {"*.skvs"}}};
constexpr const char* kSaveTitle = "Save Session";
constexpr const char* kOpenTitle = "Open Session";
constexpr const char* kSessionSuffix = "skvs";

}  // namespace

SessionCommands::SessionCommands(const Parts& parts) : parts_(parts) {}

bool SessionCommands::Save() {
  // A name that cannot take the session (a recording or a spike file there, a folder that cannot be
  // written) has been said why; the chooser comes back for another, until one is written or cancelled.
  for (;;) {
    const std::optional<std::string> path = FileChooser::Current().SaveFile(kSaveTitle, kSessionSuffix, kSessionFilters);
    if (!path) return false;
    if (SaveTo(*path)) return true;
  }
}

bool SessionCommands::SaveTo(const std::string& path) {
  const std::string folder = FolderOf(AbsolutePathOf(path));
  Session session = SessionRestore::Capture(parts_.canvas, parts_.view, parts_.plots,
                                            parts_.extraction.Parameters(), folder);
  session.markersPanel = parts_.markers.PanelShown();
  for (const SpikesPanel* panel : parts_.spikePanels.Panels()) {
    session.spikeFilePanels.push_back(SessionPaths::Stored(panel->File().Path(), folder));
  }
  if (SessionFile::Write(path, session) != 0) return false;
  parts_.files.RememberSession(path);
  return true;
}

void SessionCommands::OpenWithChooser() {
  const auto chosen = FileChooser::Current().OpenFiles(kOpenTitle, "", kSessionFilters, false);
  if (chosen && !chosen->empty()) Open(chosen->front());
}

bool SessionCommands::Open(const std::string& path) {
  Session session;
  std::vector<std::string> problems;
  if (SessionFile::Read(path, session, problems) != SessionFile::Outcome::Read) return false;
  const std::string folder = FolderOf(AbsolutePathOf(path));
  std::vector<std::string> stored;
  for (const Session::Recording& recording : session.recordings) stored.push_back(recording.path);
  std::vector<std::string> missing;
  const std::vector<std::string> paths = SessionPaths::Locate(
      stored, folder,
      [](const std::string& first) {
        return FileChooser::Current().ChooseFolder(kMovedFolderTitle, FolderOf(first)).value_or(std::string());
      },
      missing);

  // What was shown makes way for the session.
  parts_.files.CloseAll();
  parts_.cursors.Clear();
  std::vector<std::string> opened;
  std::vector<std::string> present;
  for (const std::string& candidate : paths) {
    const bool gone = std::find(missing.begin(), missing.end(), candidate) != missing.end();
    opened.push_back(gone ? std::string() : candidate);
    if (!gone) present.push_back(candidate);
  }
  for (const std::string& gone : missing) problems.push_back("missing: " + gone);
  parts_.files.OpenSessionRecordings(present);
  SessionRestore::ApplyDisplay(session, opened, parts_.canvas, parts_.view, parts_.plots, problems);
  parts_.extraction.Parameters() = SessionRestore::Extraction(session, folder);
  for (const std::string& spikeFile : session.spikeFilePanels) {
    parts_.spikePanels.Open(SessionPaths::Resolved(spikeFile, folder));
  }
  parts_.markers.ShowPanel(session.markersPanel);
  parts_.markers.MarkersChanged();
  parts_.files.RememberSession(path);
  parts_.window.UpdateHorizontalScroll();
  parts_.window.UpdateVerticalScroll();
  parts_.window.Redraw();
  SessionFile::ReportProblems(path, problems);
  return true;
}

}  // namespace skelvane
