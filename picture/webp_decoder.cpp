// WebP through libwebp: stills directly into the bitmap, animations by their first frame,
// decoded straight onto the canvas at its place.
#include <webp/decode.h>
#include <webp/demux.h>

#include <cstring>
#include <memory>
#include <new>

#include "picture/orientation.h"
#include "picture/picture_decoders.h"

namespace vantrel {
namespace {

struct DemuxDelete {
  void operator()(WebPDemuxer* demux) const { WebPDemuxDelete(demux); }
};

[[noreturn]] void Fail(const EncodedPicture& file, VP8StatusCode status) {
  switch (status) {
    case VP8_STATUS_OUT_OF_MEMORY:
      throw std::bad_alloc();
    case VP8_STATUS_NOT_ENOUGH_DATA:
      ThrowUnreadable(PictureFormat::kWebp, file.name, Text(Message::kEndsEarly));
    case VP8_STATUS_UNSUPPORTED_FEATURE:
      ThrowUnreadable(PictureFormat::kWebp, file.name, Text(Message::kUnsupportedFeature));
    default:
      ThrowUnreadable(PictureFormat::kWebp, file.name, Text(Message::kDamagedFile));
  }
}

int Orientation(const WebPData& data) {
  std::unique_ptr<WebPDemuxer, DemuxDelete> demux(WebPDemux(&data));
  if (!demux) return kUpright;
  WebPChunkIterator chunk;
  int orientation = kUpright;
  if (WebPDemuxGetChunk(demux.get(), "EXIF", 1, &chunk)) {
    orientation = ExifOrientation(chunk.chunk.bytes, chunk.chunk.size);
  }
  WebPDemuxReleaseChunkIterator(&chunk);
  return orientation;
}

// Decodes the bitstream `bytes` (a still's file, or one frame's chunks) as blue, green,
// red, alpha bytes into rows of `stride` bytes starting at `out`, within `size` bytes.
void DecodeInto(const EncodedPicture& file, const std::uint8_t* bytes, std::size_t length,
                std::uint8_t* out, std::size_t stride, std::size_t size) {
  WebPDecoderConfig config;
  if (!WebPInitDecoderConfig(&config)) throw std::bad_alloc();
  config.output.colorspace = MODE_BGRA;
  config.output.is_external_memory = 1;
  config.output.u.RGBA.rgba = out;
  config.output.u.RGBA.stride = static_cast<int>(stride);
  config.output.u.RGBA.size = size;
  const VP8StatusCode status = WebPDecode(bytes, length, &config);
  WebPFreeDecBuffer(&config.output);  // external memory: frees nothing of ours
  if (status != VP8_STATUS_OK) Fail(file, status);
}

}  // namespace

int DecodeWebp(const EncodedPicture& file, Bitmap32& picture) {
  WebPBitstreamFeatures features;
  const VP8StatusCode status = WebPGetFeatures(file.bytes, file.size, &features);
  if (status != VP8_STATUS_OK) Fail(file, status);
  // For an animation these are the canvas's sides, which its frames never exceed.
  CheckDeclaredSize(PictureFormat::kWebp, file, features.width, features.height);
  const WebPData data{file.bytes, file.size};
  const std::size_t stride = std::size_t{4} * features.width;
  const std::size_t bytes = stride * features.height;

  Bitmap32 decoded;
  // The pixels the decode wrote; only they need compositing, the rest is black already.
  int left = 0, top = 0, width = features.width, height = features.height;
  if (!features.has_animation) {
    // Blue, green, red, alpha in memory: one 0xAARRGGBB word per pixel, every one written.
    decoded.SetSizeForOverwrite(features.width, features.height);
    DecodeInto(file, file.bytes, file.size, reinterpret_cast<std::uint8_t*>(decoded.Words()),
               stride, bytes);
  } else {
    // The first frame on a transparent canvas, as libwebp's animation decoder shows it (a
    // first frame is never blended), without that decoder's copies of the whole canvas.
    std::unique_ptr<WebPDemuxer, DemuxDelete> demux(WebPDemux(&data));
    WebPIterator frame;
    if (!demux || !WebPDemuxGetFrame(demux.get(), 1, &frame)) {
      ThrowUnreadable(PictureFormat::kWebp, file.name, Text(Message::kDamagedAnimation));
    }
    struct IteratorRelease {
      WebPIterator& frame;
      ~IteratorRelease() { WebPDemuxReleaseIterator(&frame); }
    } release{frame};
    left = frame.x_offset, top = frame.y_offset, width = frame.width, height = frame.height;
    if (WebPDemuxGetI(demux.get(), WEBP_FF_CANVAS_WIDTH) !=
            static_cast<std::uint32_t>(features.width) ||
        WebPDemuxGetI(demux.get(), WEBP_FF_CANVAS_HEIGHT) !=
            static_cast<std::uint32_t>(features.height) ||
        left < 0 || top < 0 || width <= 0 || height <= 0 || left + width > features.width ||
        top + height > features.height) {
      ThrowUnreadable(PictureFormat::kWebp, file.name, Text(Message::kDamagedAnimation));
    }
    decoded.SetSize(features.width, features.height);
    const std::size_t start = top * stride + std::size_t{4} * left;
    DecodeInto(file, frame.fragment.bytes, frame.fragment.size,
               reinterpret_cast<std::uint8_t*>(decoded.Words()) + start, stride, bytes - start);
  }
  for (int y = top; y < top + height; ++y) {
    std::uint32_t* row = decoded.ScanLine(y) + left;
    for (int x = 0; x < width; ++x) row[x] = OverBlack(row[x]);
  }
  const int orientation = Orientation(data);
  picture.Swap(decoded);
  return orientation;
}

}  // namespace vantrel
