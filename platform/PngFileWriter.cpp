#include "platform/PngFileWriter.h"

#include <png.h>

#include <algorithm>
#include <cctype>

#include "platform/ImageFileWriter.h"
#include "platform/MemoryBitmap.h"
#include "platform/ReportError.h"
#include "platform/StatusCodes.h"

namespace skelvane {
namespace {

constexpr int kBitDepth = 8;
constexpr const char* kPngSuffix = ".png";

void AppendBytes(png_structp png, png_bytep data, png_size_t length) {
  auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}

void NoFlush(png_structp) {}

// libpng reports through longjmp; nothing with a destructor may live between setjmp and the calls.
bool EncodeRows(png_structp png, png_infop info, const MemoryBitmap& bitmap, std::vector<png_bytep>& rows,
                std::vector<uint8_t>& out) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_write_fn(png, &out, AppendBytes, NoFlush);
  png_set_IHDR(png, info, static_cast<png_uint_32>(bitmap.Width()), static_cast<png_uint_32>(bitmap.Height()),
               kBitDepth, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  png_set_bgr(png);                            // the bitmap holds blue, green, red, unused
  png_set_filler(png, 0, PNG_FILLER_AFTER);    // and the unused byte is dropped
  png_write_image(png, rows.data());
  png_write_end(png, nullptr);
  return true;
}

}  // namespace

std::vector<uint8_t> PngFileWriter::Encode(const MemoryBitmap& bitmap) {
  std::vector<uint8_t> out;
  if (bitmap.Width() <= 0 || bitmap.Height() <= 0) return out;
  // The bitmap is bottom-up; a PNG starts with the top row.
  std::vector<png_bytep> rows(static_cast<std::size_t>(bitmap.Height()));
  for (int32_t y = 0; y < bitmap.Height(); ++y) {
    rows[static_cast<std::size_t>(y)] = const_cast<png_bytep>(bitmap.Bits()) +
                                        static_cast<std::size_t>(bitmap.Height() - 1 - y) * bitmap.BytesPerRow();
  }
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (png == nullptr) return out;
  png_infop info = png_create_info_struct(png);
  const bool ok = info != nullptr && EncodeRows(png, info, bitmap, rows, out);
  png_destroy_write_struct(&png, info != nullptr ? &info : nullptr);
  if (!ok) out.clear();
  return out;
}

int32_t PngFileWriter::WritePngFile(const std::string& path, const MemoryBitmap& bitmap) {
  const std::vector<uint8_t> bytes = Encode(bitmap);
  if (bytes.empty()) {
    ShowMessage(kWriteFailedMessage);
    return kStatusFailed;
  }
  return ImageFileWriter::WriteWhole(path, bytes, {kCreateFailedMessage, kWriteFailedMessage});
}

bool PngFileWriter::HasPngSuffix(const std::string& path) {
  const std::string suffix = kPngSuffix;
  if (path.size() < suffix.size()) return false;
  return std::equal(suffix.begin(), suffix.end(), path.end() - static_cast<std::ptrdiff_t>(suffix.size()),
                    [](char a, char b) { return a == std::tolower(static_cast<unsigned char>(b)); });
}

}  // namespace skelvane
