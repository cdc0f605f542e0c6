#include "app/BitmapExport.h"

#include <cerrno>
#include <string>
#include <vector>

#include "platform/BitmapFileWriter.h"
#include "platform/FileChooser.h"
#include "platform/MemoryBitmap.h"
#include "platform/ReportError.h"

namespace skelvane {
namespace {

constexpr const char* kNoImageMessage = "Unable to get object from bitmap";
constexpr const char* kNoBitmapInfoMessage = "Unable to create .bmp file; windows error:";

}  // namespace

int32_t BitmapExport::SaveDisplayAsBitmap(const MemoryBitmap& windowImage) {
  // Before the window was first sized there is no image to describe: say so before asking for a name.
  if (windowImage.Width() <= 0 || windowImage.Height() <= 0) {
    ShowMessage(kNoImageMessage);
    ReportError(kNoBitmapInfoMessage, EINVAL);
    return EINVAL;
  }
  const std::vector<FileChooser::Filter> filters = {{"Bitmap Files (*.bmp)", {"*.bmp"}},
                                                    {"All Files (*.*)", {"*.*"}}};
  const auto path = FileChooser::Current().SaveFile(kChooserTitle, kDefaultSuffix, filters);
  if (!path) return 0;
  // The whole canvas, time axis included: it is what the user sees below the scrollbar.
  return BitmapFileWriter::WriteBitmapFile(*path, windowImage);
}

}  // namespace skelvane
