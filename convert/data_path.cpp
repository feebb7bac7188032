#include "convert/data_path.h"

#include <stdexcept>
#include <utility>

#include "c64/d64_image.h"
#include "c64/memory_image.h"
#include "c64/output_files.h"
#include "colour/mix_colours.h"
#include "colour/palette.h"
#include "convert/conversion.h"
#include "convert/preview_png.h"
#include "picture/channel_offsets.h"
#include "picture/jpeg_decoder.h"

namespace vantrel {

std::unique_ptr<ConverterState> NewConverterState() {
  auto state = std::make_unique<ConverterState>();
  SetColourRoles(*state, DefaultColourRoles);
  CreateBitmaps(*state);
  return state;
}

void CreateBitmaps(ConverterState& state) {
  state.PictureBitmap.SetSize(InitialBitmapWidth, InitialBitmapHeight);
  state.PreviewBitmap.SetSize(InitialBitmapWidth, InitialBitmapHeight);
}

void SetPicture(ConverterState& state, Bitmap32 picture) {
  state.PictureBitmap.Swap(picture);
  state.PictureWidth = state.PictureBitmap.Width();
  state.PictureHeight = state.PictureBitmap.Height();
  state.PictureLoaded = true;
}

// The decoders leave the bitmap they were given untouched when they fail.
void LoadPicture(ConverterState& state, const std::string& fileName) {
  Bitmap32 picture;
  DecodeJpegFile(fileName, picture);
  SetPicture(state, std::move(picture));
}

void LoadPicture(ConverterState& state, std::span<const std::uint8_t> bytes,
                 const std::string& name) {
  Bitmap32 picture;
  DecodeJpegMemory(bytes.data(), bytes.size(), picture, name);
  SetPicture(state, std::move(picture));
}

void SetColourRoles(ConverterState& state, const ColourRoleSet& roles) {
  for (int role = 0; role < RoleCount; ++role) {
    if (roles[role] < 0 || roles[role] > 15) {
      throw std::logic_error("SetColourRoles: colour role outside the palette");
    }
  }
  state.ColourRoles = roles;
  state.MixTable = BuildMixTable(RoleColours(roles));
}

void Reconvert(ConverterState& state, const Adjustment& adjustment, ProgressSink* progress) {
  ApplyChannelOffsets(state, adjustment.red, adjustment.green, adjustment.blue, progress);
  ConvertPicture(state, adjustment.dithering, progress);
}

std::span<const std::uint8_t> AssembleOutput(ConverterState& state, OutputKind kind,
                                             const OutputOptions& options) {
  if (kind == OutputKind::Png) {
    state.EncodedOutput = EncodePreviewPng(state.PreviewBitmap);
    return state.EncodedOutput;
  }
  BuildMemoryImage(state.LayerBits, state.MemoryImage);
  FillScreenColours(state.ColourRoles, state.MemoryImage);
  if (kind == OutputKind::Data) {
    AssembleDataFile(state.MemoryImage, state.ColourRoles, state.FileBuffer);
    return {state.FileBuffer.data(), DataFileSize};
  }
  AssembleExecutable(state.MemoryImage, state.ColourRoles, state.FileBuffer, options.machine);
  const std::span<const std::uint8_t> executable(state.FileBuffer.data(), ExecutableFileSize);
  if (kind == OutputKind::Executable) return executable;
  state.EncodedOutput = BuildD64Image(executable, options.c64Name);
  return state.EncodedOutput;
}

}  // namespace vantrel
