#include "app/SettingsFile.h"

#include "display/IPlotCanvas.h"
#include "platform/ExecutablePath.h"
#include "platform/File.h"
#include "platform/ReportError.h"
#include "platform/StatusCodes.h"

namespace skelvane {
namespace {

constexpr const char* kCannotCreateMessage = "Error; Settings file could not be opened for writing.";
constexpr const char* kWriteFailedMessage = "Unable to write canvas properties information to file";

}  // namespace

int32_t SettingsFile::ReadSettingsFile(IPlotCanvas& canvas) {
  return ReadSettingsFileIn(canvas, ExecutablePath::Folder());
}

int32_t SettingsFile::WriteSettingsFile(IPlotCanvas& canvas) {
  return WriteSettingsFileIn(canvas, ExecutablePath::Folder());
}

int32_t SettingsFile::ReadSettingsFileIn(IPlotCanvas& canvas, const std::string& folder) {
  File file;
  if (file.Open(folder + "/" + kReadName, File::Mode::Read) != 0) return kStatusFailed;
  canvas.ReadSettings(file);
  file.Close();
  return kStatusOk;
}

int32_t SettingsFile::WriteSettingsFileIn(IPlotCanvas& canvas, const std::string& folder) {
  File file;
  if (file.Open(folder + "/" + kWriteName, File::Mode::CreateWrite) != 0) {
    ShowMessage(kCannotCreateMessage);
    return kStatusFailed;
  }
  const int32_t written = canvas.WriteSettings(file);
  // Data the system could not put on disk shows up only at close; the canvas has not seen it.
  if (const int32_t rc = file.Close(); rc != 0 && written == 0) ReportError(kWriteFailedMessage, rc);
  return kStatusOk;
}

}  // namespace skelvane
