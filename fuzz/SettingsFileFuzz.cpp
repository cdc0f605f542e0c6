// Fuzzes the settings file as read at start-up: the file beside the program, read into the canvas's
// display settings, which the canvas then lays a frame out with (no renderer: nothing is drawn).
#include <cstddef>
#include <cstdint>
#include <string>

#include "app/SettingsFile.h"
#include "display/CanvasProperties.h"
#include "display/PlotCanvas.h"
#include "display/ViewState.h"
#include "fuzz/FuzzScratch.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace skelvane;
  const std::string folder = fuzz::FuzzScratch::EmptyFolder("settings");
  fuzz::FuzzScratch::WriteFile(std::string("settings/") + SettingsFile::kReadName, data, size);
  ViewState view;
  PlotCanvas canvas(view, nullptr, nullptr, nullptr);
  SettingsFile::ReadSettingsFileIn(canvas, folder);
  // The section's own decoder, at every length the file could be cut to.
  CanvasProperties properties;
  properties.Decode(data, size);
  canvas.RedrawAll();
  return 0;
}
