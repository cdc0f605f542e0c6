#include "app/BitmapExport.h"

#include <cerrno>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "app/Preferences.h"
#include "platform/BitmapFileWriter.h"
#include "platform/FileChooser.h"
#include "platform/MemoryBitmap.h"
#include "platform/PathHelpers.h"
#include "platform/PngFileWriter.h"
#include "platform/ReportError.h"
#include "platform/UserQuestions.h"
#include "spikes/DataFileGuard.h"

namespace skelvane {
namespace {

constexpr const char* kNoImageMessage = "Unable to get object from bitmap";
constexpr const char* kNoBitmapInfoMessage = "Unable to create .bmp file; windows error:";
constexpr const char* kPngSuffix = "png";

bool Exists(const std::string& path) {
  struct stat status {};
  return ::stat(path.c_str(), &status) == 0;
}

}  // namespace

std::string BitmapExport::OverwriteQuestionText(const std::string& path) {
  return FileNameOf(path) + " already exists.\nDo you want to replace it?";
}

int32_t BitmapExport::SaveDisplayAsBitmap(const MemoryBitmap& windowImage) {
  // Before the window was first sized there is no image to describe: say so before asking for a name.
  if (windowImage.Width() <= 0 || windowImage.Height() <= 0) {
    ShowMessage(kNoImageMessage);
    ReportError(kNoBitmapInfoMessage, EINVAL);
    return EINVAL;
  }
  const std::vector<FileChooser::Filter> filters = {{"Bitmap Files (*.bmp)", {"*.bmp"}},
                                                    {"PNG Images (*.png)", {"*.png"}},
                                                    {"All Files (*.*)", {"*.*"}}};
  // No to replacing a file brings the chooser back for another name, and so does a recording or a
  // spike file at the name (after the message that says so): a picture never takes their place. The
  // type a name gets (PNG for ".png", else BMP) is offered again, after No as at the next save.
  std::optional<std::string> path;
  std::string type = Preferences::PictureType(kDefaultSuffix);
  do {
    path = FileChooser::Current().SaveFile(kChooserTitle, type, filters);
    if (!path) return 0;
    type = PngFileWriter::HasPngSuffix(*path) ? kPngSuffix : kDefaultSuffix;
    Preferences::SetPictureType(type);
  } while (!DataFileGuard::MayWrite(*path) ||
           (Exists(*path) && !UserQuestions::Current().AskYesNo(OverwriteQuestionText(*path))));
  // The whole canvas, time axis included: it is what the user sees below the scrollbar.
  if (PngFileWriter::HasPngSuffix(*path)) return PngFileWriter::WritePngFile(*path, windowImage);
  return BitmapFileWriter::WriteBitmapFile(*path, windowImage);
}

}  // namespace skelvane
