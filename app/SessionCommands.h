#pragma once
// File > Save Session and Open Session, and a session named on the command line, dropped or picked from
// Recent Files: what the window shows written to a .skvs file, and such a file given back to the
// window (its recordings opened in place of those open, moved ones looked for in one folder the user
// is asked for once). Nothing is written back until the user saves. Owned by MainWindow.

#include <string>
#include <vector>

namespace skelvane {

class ExtractionRun;
class FileSession;
class IPlotCanvas;
class IPlotCollection;
class MarkerCommands;
class MeasuringCursors;
class SpikePanels;
class WindowView;
struct ViewState;

class SessionCommands {
 public:
  /// What the commands work on; all outlive them.
  struct Parts {
    IPlotCanvas& canvas;
    ViewState& view;
    IPlotCollection& plots;
    FileSession& files;
    ExtractionRun& extraction;
    MarkerCommands& markers;
    MeasuringCursors& cursors;
    SpikePanels& spikePanels;
    WindowView& window;
  };

  /// The chooser's title when recordings of a session are not where it says.
  static constexpr const char* kMovedFolderTitle = "Recordings of the session moved: choose the folder they are in";

  explicit SessionCommands(const Parts& parts);

  /// Save Session: asks for the file, then writes it, asking again after a name it could not write
  /// to; false when cancelled.
  bool Save();
  /// Writes what the window shows to `path`; false after a message naming the file.
  bool SaveTo(const std::string& path);
  /// Open Session: asks for the file, then opens it.
  void OpenWithChooser();
  /// Opens the session at `path` in place of what is open; whatever can be restored is, and what
  /// could not be is said in one message naming the file. False when nothing of it was read.
  bool Open(const std::string& path);

 private:
  Parts parts_;
};

}  // namespace skelvane
