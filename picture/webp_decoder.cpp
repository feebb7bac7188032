// WebP through libwebp: stills directly into the bitmap, animations by their first frame.
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
struct AnimDelete {
  void operator()(WebPAnimDecoder* decoder) const { WebPAnimDecoderDelete(decoder); }
};

[[noreturn]] void Fail(const EncodedPicture& file, VP8StatusCode status) {
  switch (status) {
    case VP8_STATUS_OUT_OF_MEMORY:
      throw std::bad_alloc();
    case VP8_STATUS_NOT_ENOUGH_DATA:
      ThrowUnreadable(PictureFormat::kWebp, file.name, "file ends early");
    case VP8_STATUS_UNSUPPORTED_FEATURE:
      ThrowUnreadable(PictureFormat::kWebp, file.name, "unsupported feature");
    default:
      ThrowUnreadable(PictureFormat::kWebp, file.name, "damaged file");
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

}  // namespace

int DecodeWebp(const EncodedPicture& file, Bitmap32& picture) {
  WebPBitstreamFeatures features;
  const VP8StatusCode status = WebPGetFeatures(file.bytes, file.size, &features);
  if (status != VP8_STATUS_OK) Fail(file, status);
  // For an animation these are the canvas's sides, which its frames never exceed.
  CheckDeclaredSize(PictureFormat::kWebp, file, features.width, features.height);
  const WebPData data{file.bytes, file.size};

  Bitmap32 decoded(features.width, features.height);
  const std::size_t stride = std::size_t{4} * features.width;
  const std::size_t bytes = stride * features.height;
  auto* out = reinterpret_cast<std::uint8_t*>(decoded.Words());
  if (!features.has_animation) {
    // Blue, green, red, alpha in memory: one 0xAARRGGBB word per pixel.
    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config)) throw std::bad_alloc();
    config.output.colorspace = MODE_BGRA;
    config.output.is_external_memory = 1;
    config.output.u.RGBA.rgba = out;
    config.output.u.RGBA.stride = static_cast<int>(stride);
    config.output.u.RGBA.size = bytes;
    const VP8StatusCode decodedStatus = WebPDecode(file.bytes, file.size, &config);
    WebPFreeDecBuffer(&config.output);  // external memory: frees nothing of ours
    if (decodedStatus != VP8_STATUS_OK) Fail(file, decodedStatus);
  } else {
    WebPAnimDecoderOptions options;
    if (!WebPAnimDecoderOptionsInit(&options)) throw std::bad_alloc();
    options.color_mode = MODE_BGRA;
    options.use_threads = 0;
    std::unique_ptr<WebPAnimDecoder, AnimDelete> decoder(WebPAnimDecoderNew(&data, &options));
    if (!decoder) ThrowUnreadable(PictureFormat::kWebp, file.name, "damaged animation");
    WebPAnimInfo info;
    std::uint8_t* frame = nullptr;
    int timestamp = 0;
    if (!WebPAnimDecoderGetInfo(decoder.get(), &info) ||
        info.canvas_width != static_cast<std::uint32_t>(features.width) ||
        info.canvas_height != static_cast<std::uint32_t>(features.height) ||
        !WebPAnimDecoderGetNext(decoder.get(), &frame, &timestamp)) {
      ThrowUnreadable(PictureFormat::kWebp, file.name, "damaged animation");
    }
    std::memcpy(out, frame, bytes);
  }
  const std::size_t count = static_cast<std::size_t>(features.width) * features.height;
  std::uint32_t* words = decoded.Words();
  for (std::size_t i = 0; i < count; ++i) words[i] = OverBlack(words[i]);
  const int orientation = Orientation(data);
  picture.Swap(decoded);
  return orientation;
}

}  // namespace vantrel
