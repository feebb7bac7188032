// GIF through giflib: the first frame, on a canvas of the logical screen's size.
#include <gif_lib.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "picture/orientation.h"
#include "picture/picture_decoders.h"

namespace vantrel {
namespace {

struct Reader {
  const std::uint8_t* bytes;
  std::size_t size;
  std::size_t position;
};

int ReadBytes(GifFileType* gif, GifByteType* out, int length) {
  auto* reader = static_cast<Reader*>(gif->UserData);
  const std::size_t count = std::min<std::size_t>(length, reader->size - reader->position);
  std::memcpy(out, reader->bytes + reader->position, count);
  reader->position += count;
  return static_cast<int>(count);
}

struct GifCloser {
  void operator()(GifFileType* gif) const {
    int ignored;
    DGifCloseFile(gif, &ignored);
  }
};

[[noreturn]] void Fail(const EncodedPicture& file, int code) {
  if (code == D_GIF_ERR_NOT_ENOUGH_MEM) throw std::bad_alloc();
  const char* text = GifErrorString(code);
  ThrowUnreadable(PictureFormat::kGif, file.name,
                  text ? std::string(text) : Text(Message::kDamagedFile));
}

}  // namespace

int DecodeGif(const EncodedPicture& file, Bitmap32& picture) {
  Reader reader{file.bytes, file.size, 0};
  int error = 0;
  std::unique_ptr<GifFileType, GifCloser> gif(DGifOpen(&reader, ReadBytes, &error));
  if (!gif) Fail(file, error);

  int transparent = NO_TRANSPARENT_COLOR;
  for (;;) {
    GifRecordType record;
    if (DGifGetRecordType(gif.get(), &record) == GIF_ERROR) Fail(file, gif->Error);
    if (record == TERMINATE_RECORD_TYPE) {
      ThrowUnreadable(PictureFormat::kGif, file.name, Text(Message::kNoPictureInTheFile));
    }
    if (record == EXTENSION_RECORD_TYPE) {
      int code = 0;
      GifByteType* block = nullptr;
      if (DGifGetExtension(gif.get(), &code, &block) == GIF_ERROR) Fail(file, gif->Error);
      // The graphics control block before the first frame says which index is transparent.
      if (code == GRAPHICS_EXT_FUNC_CODE && block != nullptr) {
        GraphicsControlBlock control;
        if (DGifExtensionToGCB(block[0], block + 1, &control) == GIF_OK) {
          transparent = control.TransparentColor;
        }
      }
      while (block != nullptr) {
        if (DGifGetExtensionNext(gif.get(), &block) == GIF_ERROR) Fail(file, gif->Error);
      }
      continue;
    }
    if (record == IMAGE_DESC_RECORD_TYPE) break;
  }
  if (DGifGetImageDesc(gif.get()) == GIF_ERROR) Fail(file, gif->Error);

  const GifImageDesc frame = gif->Image;
  const ColorMapObject* colours = frame.ColorMap ? frame.ColorMap : gif->SColorMap;
  if (colours == nullptr)
    ThrowUnreadable(PictureFormat::kGif, file.name, Text(Message::kNoColourTable));
  // Frames may reach beyond a too small logical screen; the canvas holds both. What the
  // frame leaves uncovered is transparent, so black.
  const long long width = std::max<long long>(gif->SWidth, 0LL + frame.Left + frame.Width);
  const long long height = std::max<long long>(gif->SHeight, 0LL + frame.Top + frame.Height);
  CheckDeclaredSize(PictureFormat::kGif, file, width, height);
  if (frame.Width <= 0 || frame.Height <= 0) {
    ThrowUnreadable(PictureFormat::kGif, file.name, Text(Message::kEmptyFrame));
  }

  std::uint32_t palette[256] = {};
  for (int i = 0; i < std::min(colours->ColorCount, 256); ++i) {
    const GifColorType& c = colours->Colors[i];
    palette[i] = std::uint32_t{c.Red} << 16 | std::uint32_t{c.Green} << 8 | c.Blue;
  }
  if (transparent >= 0 && transparent < 256) palette[transparent] = 0;

  Bitmap32 decoded(static_cast<int>(width), static_cast<int>(height));
  std::vector<GifPixelType> line(static_cast<std::size_t>(frame.Width));
  auto readRow = [&](int y) {
    if (DGifGetLine(gif.get(), line.data(), frame.Width) == GIF_ERROR) Fail(file, gif->Error);
    std::uint32_t* row = decoded.ScanLine(frame.Top + y) + frame.Left;
    for (int x = 0; x < frame.Width; ++x) row[x] = palette[line[x]];
  };
  if (frame.Interlace) {
    static constexpr int kStart[] = {0, 4, 2, 1};
    static constexpr int kStep[] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass) {
      for (int y = kStart[pass]; y < frame.Height; y += kStep[pass]) readRow(y);
    }
  } else {
    for (int y = 0; y < frame.Height; ++y) readRow(y);
  }
  picture.Swap(decoded);
  return kUpright;
}

}  // namespace vantrel
