#include "session/session.h"

#include <stdexcept>
#include <utility>

#include "c64/d64_image.h"
#include "c64/memory_image.h"
#include "c64/output_files.h"
#include "colour/mix_colours.h"
#include "convert/conversion.h"
#include "convert/preview_png.h"
#include "core/write_file.h"
#include "picture/channel_offsets.h"
#include "picture/photo.h"
#include "picture/source_window.h"

namespace vantrel {
namespace {

std::string Size(int width, int height) {
  return std::to_string(width) + " x " + std::to_string(height);
}

}  // namespace

Session::Session(long long maxPixels)
    : maxPixels_(maxPixels), state_(std::make_unique<ConverterState>()) {
  SetColourRoles(DefaultColourRoles);
  state_->PictureBitmap.SetSize(InitialBitmapWidth, InitialBitmapHeight);
  state_->PreviewBitmap.SetSize(InitialBitmapWidth, InitialBitmapHeight);
}

Session::~Session() = default;

// --- The picture -------------------------------------------------------------------------

void Session::TakePicture(std::shared_ptr<PictureSource> picture, const std::string& name,
                          const ScaleSetting& scale) {
  const int width = picture->Width(), height = picture->Height();
  const PercentRange range = AllowedPercents(width, height);
  if (range.min > range.max) {
    throw VantrelError("Picture too small (" + Size(width, height) + " pixels)");
  }
  SetPicture(*state_, std::move(picture), ResolvePercent(scale, width, height));
  pictureName_ = name;
}

void Session::OpenFile(const std::string& fileName, const ScaleSetting& scale) {
  TakePicture(std::make_shared<Photo>(Photo::OpenFile(fileName, maxPixels_)), fileName, scale);
}

void Session::OpenBytes(std::span<const std::uint8_t> bytes, const std::string& name,
                        const ScaleSetting& scale) {
  TakePicture(std::make_shared<Photo>(Photo::OpenBytes(
                  std::vector<std::uint8_t>(bytes.begin(), bytes.end()), name, maxPixels_)),
              name, scale);
}

void Session::OpenPixels(Bitmap32 picture, const std::string& name) {
  TakePicture(std::make_shared<Photo>(Photo::FromBitmap(std::move(picture), name)), name,
              {false, 100});
}

void Session::MarkPictureLoaded() { state_->PictureLoaded = true; }

std::string Session::PictureWarning() const {
  return state_->Picture ? state_->Picture->Warning() : std::string();
}

int Session::SourceWidth() const { return state_->Picture ? state_->Picture->Width() : 0; }
int Session::SourceHeight() const { return state_->Picture ? state_->Picture->Height() : 0; }

PercentRange Session::AllowedScales() const {
  return AllowedPercents(SourceWidth(), SourceHeight());
}

int Session::FitScale() const { return FitPercent(SourceWidth(), SourceHeight()); }

void Session::SetScale(int percent) { vantrel::SetScale(*state_, percent); }

// --- The steps -----------------------------------------------------------------------------

void Session::ReadSourceWindow(int x, int y) { vantrel::ReadSourceWindow(*state_, x, y); }

void Session::SetColourRoles(const ColourRoleSet& roles) {
  vantrel::SetColourRoles(*state_, roles);
  PaintPreviewFromLayers(*state_);
}

void Session::ApplyChannelOffsets(int red, int green, int blue, ProgressSink* progress) {
  vantrel::ApplyChannelOffsets(*state_, red, green, blue, progress);
}

void Session::ConvertPicture(Dithering dithering, ProgressSink* progress) {
  vantrel::ConvertPicture(*state_, dithering, progress);
}

void Session::Reconvert(const Adjustment& adjustment, ProgressSink* progress) {
  ApplyChannelOffsets(adjustment.red, adjustment.green, adjustment.blue, progress);
  ConvertPicture(adjustment.dithering, progress);
}

std::optional<ColourRoleSet> Session::FindColourRoles(Dithering dithering, ColourGoal goal,
                                                      const SearchControl& control) const {
  try {
    return ChooseColourRoles(*state_, dithering, goal, control);
  } catch (const SearchCancelled&) {
    return std::nullopt;
  }
}

void Session::TakeConversion(const LayerPlanes& layers, const ColourRoleSet& roles) {
  state_->PictureLoaded = true;
  state_->ConvertedLayers = layers;
  vantrel::SetColourRoles(*state_, roles);
  ApplyEdits(*state_);
}

// --- Edits ---------------------------------------------------------------------------------

void Session::PaintPixel(int x, int y, int code) {
  if (x < 0 || x >= WindowWidth || y < 0 || y >= WindowHeight || code < 0 || code > 9) {
    throw std::logic_error("PaintPixel: no such pixel or mix code");
  }
  state_->PixelEdits.codes[y * WindowWidth + x] = static_cast<std::uint8_t>(code);
  ApplyEdits(*state_);
}

void Session::SetEdits(const Edits& edits) {
  for (const std::uint8_t code : edits.codes) {
    if (code > 9) throw std::logic_error("SetEdits: no such mix code");
  }
  state_->PixelEdits = edits;
  ApplyEdits(*state_);
}

int Session::MixCodeAt(int x, int y) const {
  return MixCodeShown(state_->LayerBits, y * WindowWidth + x);
}

void Session::Convert(std::shared_ptr<PictureSource> picture, const std::string& name,
                      const ConversionSettings& settings, ProgressSink* progress) {
  const int width = picture->Width(), height = picture->Height();
  const PercentRange range = AllowedPercents(width, height);
  const ScaleSetting& scale = settings.scale;
  if (settings.scaleGiven && !scale.fit && range.min <= range.max &&
      !range.Contains(scale.percent)) {
    throw SettingError("--scale " + std::to_string(scale.percent) + " is outside " +
                       std::to_string(range.min) + ".." + std::to_string(range.max) + " for the " +
                       Size(width, height) + " picture " + name);
  }
  // The window's corner must leave it inside the picture at the scale it resolves to.
  if (range.min <= range.max) {
    const int percent = ResolvePercent(scale, width, height);
    const int scaledWidth = ScaledLength(width, percent);
    const int scaledHeight = ScaledLength(height, percent);
    const CropCorner& crop = settings.crop;
    if (crop.left < 0 || crop.top < 0 || crop.left > scaledWidth - WindowWidth ||
        crop.top > scaledHeight - WindowHeight) {
      throw SettingError("--crop " + std::to_string(crop.left) + "," + std::to_string(crop.top) +
                         " puts the window outside the " + Size(scaledWidth, scaledHeight) +
                         " picture at " + std::to_string(percent) + " % (X 0.." +
                         std::to_string(scaledWidth - WindowWidth) + ", Y 0.." +
                         std::to_string(scaledHeight - WindowHeight) + ")");
    }
  }
  TakePicture(std::move(picture), name, scale);
  SetColourRoles(settings.roles);
  // The scroll positions the window would show are the drawing offset: minus the corner.
  ReadSourceWindow(-settings.crop.left, -settings.crop.top);
  Reconvert(settings.adjustment, progress);
  if (settings.autoColours) {
    // As "Auto Colors" does: the search reads the adjusted crop, and the roles it finds are
    // converted once.
    SetColourRoles(*FindColourRoles(settings.adjustment.dithering, *settings.autoColours));
    ConvertPicture(settings.adjustment.dithering, progress);
  }
}

void Session::ConvertFile(const std::string& fileName, const ConversionSettings& settings,
                          ProgressSink* progress) {
  Convert(std::make_shared<Photo>(Photo::OpenFile(fileName, maxPixels_)), fileName, settings,
          progress);
}

void Session::ConvertBytes(std::span<const std::uint8_t> bytes, const std::string& name,
                           const ConversionSettings& settings, ProgressSink* progress) {
  Convert(std::make_shared<Photo>(Photo::OpenBytes(
              std::vector<std::uint8_t>(bytes.begin(), bytes.end()), name, maxPixels_)),
          name, settings, progress);
}

// --- Outputs -------------------------------------------------------------------------------

std::string Session::DiskName() const {
  return C64FileName(pictureName_.empty() ? std::string("PICTURE") : pictureName_);
}

std::span<const std::uint8_t> Session::Output(OutputKind kind, const OutputOptions& options) {
  ConverterState& state = *state_;
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
  state.EncodedOutput =
      BuildD64Image(executable, options.c64Name.empty() ? DiskName() : options.c64Name);
  return state.EncodedOutput;
}

void Session::SaveOutput(OutputKind kind, const OutputOptions& options,
                         const std::string& fileName) {
  WriteFileReplacing(fileName, Output(kind, options));
}

}  // namespace vantrel
