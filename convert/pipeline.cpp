#include "convert/pipeline.h"

#include <stdexcept>

#include "colour/mix_colours.h"
#include "convert/conversion.h"
#include "core/error.h"
#include "picture/channel_offsets.h"
#include "picture/jpeg_decoder.h"
#include "picture/source_window.h"

namespace vantrel {

void LoadPicture(ConverterState& state, const std::string& fileName) {
  Bitmap32 picture;
  DecodeJpegFile(fileName, picture);
  // The window refuses such a picture when it sets its scroll ranges; without scroll bars
  // the size itself is the clearer reason.
  if (picture.Width() < WindowWidth || picture.Height() < WindowHeight) {
    throw VantrelError("Picture too small (" + std::to_string(picture.Width()) + " x " +
                       std::to_string(picture.Height()) + " pixels, at least " +
                       std::to_string(WindowWidth) + " x " + std::to_string(WindowHeight) +
                       " needed)");
  }
  state.PictureBitmap.Swap(picture);
  state.PictureWidth = state.PictureBitmap.Width();
  state.PictureHeight = state.PictureBitmap.Height();
  state.PictureLoaded = true;
}

bool CropFits(const ConverterState& state, int left, int top) {
  return left >= 0 && top >= 0 && left <= state.PictureWidth - WindowWidth &&
         top <= state.PictureHeight - WindowHeight;
}

void ConvertLoadedPicture(ConverterState& state, const ConversionSettings& settings,
                          ProgressSink* progress) {
  if (!state.PictureLoaded) throw std::invalid_argument("no picture loaded");
  if (!CropFits(state, settings.cropLeft, settings.cropTop)) {
    throw std::invalid_argument("crop outside the picture");
  }
  for (const int offset : {settings.redOffset, settings.greenOffset, settings.blueOffset}) {
    if (offset < -255 || offset > 255) throw std::invalid_argument("offset out of range");
  }
  for (int role = 0; role < RoleCount; ++role) {
    if (settings.roles[role] < 0 || settings.roles[role] > 15) {
      throw std::invalid_argument("colour role outside the palette");
    }
  }
  if (state.PreviewBitmap.Width() < WindowWidth || state.PreviewBitmap.Height() < WindowHeight) {
    state.PreviewBitmap.SetSize(InitialBitmapWidth, InitialBitmapHeight);
  }

  state.ColourRoles = settings.roles;
  state.MixTable = BuildMixTable(RoleColours(settings.roles));
  // The window's scroll positions are the drawing offset: minus the window's corner.
  ReadSourceWindow(state, -settings.cropLeft, -settings.cropTop);
  ApplyChannelOffsets(state, settings.redOffset, settings.greenOffset, settings.blueOffset,
                      progress);
  ConvertPicture(state, settings.dither, progress);
}

}  // namespace vantrel
