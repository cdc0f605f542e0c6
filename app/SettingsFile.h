#pragma once
// Keeps the canvas's display settings between runs in a headerless file beside the executable:
// read from "SkelvaneV3.set" at start, written to "Skelvane.set" at close. Used by the main window.

#include <cstdint>
#include <string>

namespace skelvane {

class IPlotCanvas;

class SettingsFile {
 public:
  /// Name of the file read at start.
  static constexpr const char* kReadName = "SkelvaneV3.set";
  /// Name of the file written at close.
  static constexpr const char* kWriteName = "Skelvane.set";

  /// Lets the canvas read its settings from "SkelvaneV3.set" beside the executable; 0 when the file
  /// was opened (whatever the canvas made of it), -1 silently when it could not be.
  static int32_t ReadSettingsFile(IPlotCanvas& canvas);
  /// Creates "Skelvane.set" beside the executable and lets the canvas write its settings; 0 when the
  /// file was created, -1 after a plain message when it could not be.
  static int32_t WriteSettingsFile(IPlotCanvas& canvas);

  /// As ReadSettingsFile, from the given folder.
  static int32_t ReadSettingsFileIn(IPlotCanvas& canvas, const std::string& folder);
  /// As WriteSettingsFile, into the given folder.
  static int32_t WriteSettingsFileIn(IPlotCanvas& canvas, const std::string& folder);
};

}  // namespace skelvane
