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
#include "core/error.h"
#include "picture/channel_offsets.h"
#include "picture/jpeg_decoder.h"
#include "picture/photo.h"

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

std::shared_ptr<PictureSource> OpenPicture(const std::string& fileName) {
  return std::make_shared<Photo>(Photo::OpenFile(fileName));
}

std::shared_ptr<PictureSource> OpenPicture(std::span<const std::uint8_t> bytes,
                                           const std::string& name) {
  return std::make_shared<Photo>(
      Photo::OpenBytes(std::vector<std::uint8_t>(bytes.begin(), bytes.end()), name));
}

namespace {
void ShowAt(ConverterState& state, int percent) {
  state.ScalePercent = percent;
  state.PictureWidth = ScaledLength(state.Picture->Width(), percent);
  state.PictureHeight = ScaledLength(state.Picture->Height(), percent);
}
}  // namespace

void SetPicture(ConverterState& state, std::shared_ptr<PictureSource> picture, int percent) {
  picture->Prepare(percent);
  state.Picture = std::move(picture);
  ShowAt(state, percent);
  state.PictureLoaded = true;
}

void SetPicture(ConverterState& state, Bitmap32 picture) {
  SetPicture(state, std::make_shared<Photo>(Photo::FromBitmap(std::move(picture), "the picture")),
             100);
}

void TakePicture(ConverterState& state, std::shared_ptr<PictureSource> picture,
                 const ScaleSetting& scale) {
  const int width = picture->Width(), height = picture->Height();
  const PercentRange range = AllowedPercents(width, height);
  if (range.min > range.max) {
    throw VantrelError("Picture too small (" + std::to_string(width) + " x " +
                       std::to_string(height) + " pixels)");
  }
  SetPicture(state, std::move(picture), ResolvePercent(scale, width, height));
}

void LoadPicture(ConverterState& state, const std::string& fileName, const ScaleSetting& scale) {
  TakePicture(state, OpenPicture(fileName), scale);
}

void LoadPicture(ConverterState& state, std::span<const std::uint8_t> bytes,
                 const std::string& name, const ScaleSetting& scale) {
  TakePicture(state, OpenPicture(bytes, name), scale);
}

void SetScale(ConverterState& state, int percent) {
  state.Picture->Prepare(percent);
  ShowAt(state, percent);
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
