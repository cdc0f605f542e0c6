#include "app/SettingsFile.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "display/IPlotCanvas.h"
#include "platform/AtomicFile.h"
#include "platform/ExecutablePath.h"
#include "platform/File.h"
#include "platform/ReportError.h"
#include "platform/StatusCodes.h"

namespace skelvane {
namespace {

constexpr const char* kCannotCreateMessage = "Error; Settings file could not be opened for writing.";
constexpr const char* kWriteFailedMessage = "Unable to write canvas properties information to file";
constexpr const char* kConfigHomeVariable = "XDG_CONFIG_HOME";
constexpr const char* kDefaultConfigHome = "/.config";

bool IsWritableFolder(const std::string& folder) { return ::access(folder.c_str(), W_OK | X_OK) == 0; }

std::string NonEmptyVariable(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string() : std::string(value);
}

}  // namespace

std::string SettingsFile::UserFolder() {
  std::string home = NonEmptyVariable(kConfigHomeVariable);
  if (home.empty()) home = NonEmptyVariable("HOME") + kDefaultConfigHome;
  return home + "/" + kUserSubfolder;
}

std::vector<std::string> SettingsFile::ReadCandidates(const std::string& folder) {
  std::vector<std::string> folders;
  // Where the program cannot write, the file it wrote last lives in the user folder.
  if (!IsWritableFolder(folder)) folders.push_back(UserFolder());
  folders.push_back(folder);
  std::vector<std::string> paths;
  for (const std::string& f : folders) {
    paths.push_back(f + "/" + kWriteName);
    paths.push_back(f + "/" + kReadName);
  }
  return paths;
}

int32_t SettingsFile::ReadSettingsFile(IPlotCanvas& canvas) {
  return ReadSettingsFileIn(canvas, ExecutablePath::Folder());
}

int32_t SettingsFile::WriteSettingsFile(IPlotCanvas& canvas) {
  return WriteSettingsFileIn(canvas, ExecutablePath::Folder());
}

int32_t SettingsFile::ReadSettingsFileIn(IPlotCanvas& canvas, const std::string& folder) {
  for (const std::string& path : ReadCandidates(folder)) {
    File file;
    if (file.Open(path, File::Mode::Read) != 0) continue;
    // An empty file (a full disk or a crash at some earlier time) holds nothing to hide another behind.
    if (file.Length() == 0) continue;
    canvas.ReadSettings(file);
    file.Close();
    return kStatusOk;
  }
  return kStatusFailed;
}

int32_t SettingsFile::WriteSettingsFileIn(IPlotCanvas& canvas, const std::string& folder) {
  std::string target = folder;
  if (!IsWritableFolder(folder)) {
    target = UserFolder();
    std::error_code ignored;
    std::filesystem::create_directories(target, ignored);
  }
  const std::string path = target + "/" + kWriteName;
  AtomicFile file;
  // A link here was put there by the user (to keep the settings elsewhere): its target is replaced.
  if (const int32_t rc = file.Open(path, AtomicFile::Links::Follow); rc != 0) {
    ReportFileError(kCannotCreateMessage, 0, path, rc);
    return kStatusFailed;
  }
  // The canvas reports its own write failures; the earlier file then stays as it was.
  if (canvas.WriteSettings(file.Handle()) != 0) {
    file.Discard();
    return kStatusOk;
  }
  // Data the system could not put on disk shows up only at the flush; the canvas has not seen it.
  if (const int32_t rc = file.Commit(); rc != 0) ReportFileError(kWriteFailedMessage, rc, path, rc);
  return kStatusOk;
}

}  // namespace skelvane
