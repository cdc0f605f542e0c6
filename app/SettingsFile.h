#pragma once
// Keeps the canvas's display settings between runs in a headerless 104-byte file beside the program
// (or in the user's configuration folder when the program's folder is read-only). Used by the main window.

#include <cstdint>
#include <string>
#include <vector>

namespace skelvane {

class IPlotCanvas;

class SettingsFile {
 public:
  /// Name of the file written at close, and the first name looked for at start.
  static constexpr const char* kWriteName = "Skelvane.set";
  /// Name of the settings file of earlier versions, read when there is no "Skelvane.set".
  static constexpr const char* kReadName = "SkelvaneV3.set";
  /// Folder under the user's configuration folder that holds the settings file.
  static constexpr const char* kUserSubfolder = "skelvane";

  /// Lets the canvas read its settings from the first file found that is not empty (ReadSettingsFileIn,
  /// beside the executable); 0 when one was opened (whatever the canvas made of it), -1 silently when none was.
  static int32_t ReadSettingsFile(IPlotCanvas& canvas);
  /// Writes "Skelvane.set" whole or not at all (WriteSettingsFileIn, beside the executable), through a
  /// link the user put there, keeping the mode of the file it replaces; 0 when it could be created, -1
  /// after a message naming it and the reason when it could not be.
  static int32_t WriteSettingsFile(IPlotCanvas& canvas);

  /// As ReadSettingsFile with `folder` as the program's folder: "Skelvane.set", then "SkelvaneV3.set",
  /// in the user folder first when `folder` is not writable, then in `folder`.
  static int32_t ReadSettingsFileIn(IPlotCanvas& canvas, const std::string& folder);
  /// As WriteSettingsFile into `folder`, or into the user folder (created) when `folder` is not writable.
  static int32_t WriteSettingsFileIn(IPlotCanvas& canvas, const std::string& folder);

  /// The user's folder for the file: $XDG_CONFIG_HOME/skelvane, or ~/.config/skelvane when unset or empty.
  static std::string UserFolder();
  /// The files looked for at start, in order, for a program folder `folder`.
  static std::vector<std::string> ReadCandidates(const std::string& folder);
};

}  // namespace skelvane
