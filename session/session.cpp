// The session's steps over one converter state, and the projects and outputs made from it.
#include "session/session.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <utility>

#include "c64/d64_image.h"
#include "c64/memory_image.h"
#include "c64/output_files.h"
#include "c64/packed_executable.h"
#include "colour/mix_colours.h"
#include "convert/conversion.h"
#include "convert/preview_png.h"
#include "core/read_file.h"
#include "core/write_file.h"
#include "picture/channel_offsets.h"
#include "picture/photo.h"
#include "picture/picture_decoders.h"
#include "picture/picture_format.h"
#include "picture/source_window.h"

namespace vantrel {

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
    throw VantrelError(Message::kPictureTooSmall, width, height);
  }
  SetPicture(*state_, std::move(picture), ResolvePercent(scale, width, height));
  pictureName_ = name;
  pictureFromFile_ = false;
  savedDiskName_.clear();
  // The paint of the picture before does not belong on this one.
  state_->PixelEdits = {};
}

namespace {

// A picture's own signature, whatever the file is named.
bool LooksLikePicture(std::span<const std::uint8_t> bytes) {
  return SniffFormat(bytes.data(), bytes.size()) != PictureFormat::kJpeg ||
         (bytes.size() >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF);
}

// What a file holds, told by its content and, where the content does not tell, by its name:
// a project, or a saved picture of the kind the name says, is read as one so that it is
// refused for what it is not; anything else meets the picture decoders. `head` is the
// start of the file, `size` its whole size.
FileKind KindOf(std::span<const std::uint8_t> head, std::uintmax_t size,
                const std::string& fileName) {
  if (LooksLikeProject(head)) return FileKind::Project;
  // An executable is told by its first bytes, a data file by all of its 32 KiB, a disk image
  // by its size alone (reading it tells the rest).
  if (SniffSavedPicture(head) || (size != head.size() && IsDiskImageSize(size))) {
    return FileKind::SavedPicture;
  }
  if (LooksLikePicture(head)) return FileKind::Picture;
  if (NamedAsProject(fileName)) return FileKind::Project;
  if (SavedKindNamed(fileName)) return FileKind::SavedPicture;
  return FileKind::Picture;
}

}  // namespace

FileKind Session::KindOfFile(const std::string& fileName) {
  std::vector<std::uint8_t> head(36864);
  long long size = 0;
  try {
    std::FILE* file = OpenRegularFile(fileName, size);
    head.resize(std::fread(head.data(), 1, head.size(), file));
    std::fclose(file);
  } catch (const VantrelError&) {
    return FileKind::Picture;
  }
  return KindOf(head, static_cast<std::uintmax_t>(size), fileName);
}

FileKind Session::OpenFile(const std::string& fileName, const ScaleSetting& scale) {
  std::vector<std::uint8_t> bytes;
  try {
    bytes = ReadPictureFile(fileName);
  } catch (const std::bad_alloc&) {
    throw VantrelError(Message::kNotEnoughMemoryToOpen, fileName);
  }
  FileKind kind = FileKind::Picture;
  if (KindOf(bytes, bytes.size(), fileName) == FileKind::SavedPicture) {
    if (!SniffSavedPicture(bytes)) throw NotSavedHere(bytes, *SavedKindNamed(fileName), fileName);
    OpenSaved(ReadSavedPicture(bytes, fileName), fileName);
    kind = FileKind::SavedPicture;
  } else {
    TakePicture(std::make_shared<Photo>(Photo::OpenBytes(std::move(bytes), fileName, maxPixels_)),
                fileName, scale);
  }
  RememberFile(fileName);
  return kind;
}

bool Session::IsOpenPicture(const std::string& fileName) const {
  return pictureFromFile_ && IsSameFile(fileName, pictureName_);
}

void Session::RememberFile(const std::string& fileName) {
  std::error_code ignored;
  pictureSize_ = std::filesystem::file_size(fileName, ignored);
  pictureTime_ = std::filesystem::last_write_time(fileName, ignored).time_since_epoch().count();
  pictureFromFile_ = true;
}

namespace {

// The 192 x 200 picture a saved file shows in `model`: its mix colours (each cell's, with colours
// per cell).
Bitmap32 PictureShown(const SavedPicture& saved, const ColourModel& model) {
  Bitmap32 shown(WindowWidth, WindowHeight);
  const MixSlots mixes = BuildMixTable(RoleColours(saved.roles, model), model);
  auto cellMixes = std::make_unique<CellMixSlots>();
  if (saved.cells) BuildCellMixTables(*saved.cells, saved.roles, *cellMixes, model);
  for (int y = 0; y < WindowHeight; ++y) {
    for (int x = 0; x < WindowWidth; ++x) {
      const MixSlots& table = saved.cells ? (*cellMixes)[CellOf(x, y)] : mixes;
      shown.ScanLine(y)[x] =
          ToPackedRGB(table[MixCodeShown(saved.layers, y * WindowWidth + x) - 1]);
    }
  }
  return shown;
}

}  // namespace

// The picture a saved file shows becomes the picture, and its layers and roles the conversion.
void Session::OpenSaved(const SavedPicture& saved, const std::string& name) {
  TakePicture(std::make_shared<Photo>(Photo::FromBitmap(PictureShown(saved, state_->Model), name)),
              name, {false, 100});
  TakeConversion(saved.layers, saved.roles, saved.cells);
  savedMachine_ = saved.machine;
  savedPacked_ = saved.packed;
  savedDiskName_ = saved.kind == SavedKind::DiskImage ? saved.c64Name : std::string();
  conversionAsRead_ = true;
}

void Session::OpenBytes(std::span<const std::uint8_t> bytes, const std::string& name,
                        const ScaleSetting& scale) {
  TakePicture(std::make_shared<Photo>(Photo::OpenBytes(
                  std::vector<std::uint8_t>(bytes.begin(), bytes.end()), name, maxPixels_)),
              name, scale);
}

void Session::OpenPixels(Bitmap32 picture, const std::string& name, const ScaleSetting& scale) {
  TakePicture(std::make_shared<Photo>(Photo::FromBitmap(std::move(picture), name)), name, scale);
}

bool Session::DecodesPicture(std::span<const std::uint8_t> bytes) {
  return DecodedHere(SniffFormat(bytes.data(), bytes.size()));
}

Bitmap32 Session::PictureFromRgba(std::span<const std::uint8_t> rgba, int width, int height) {
  if (width <= 0 || height <= 0) throw std::invalid_argument("a picture has pixels");
  if (static_cast<long long>(width) * height > MaxPicturePixels) {
    throw VantrelError(Message::kPictureTooLarge, width, height);
  }
  if (rgba.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4) {
    throw std::invalid_argument("RGBA pixels do not match the picture's size");
  }
  Bitmap32 picture;
  picture.SetSizeForOverwrite(width, height);
  for (int y = 0; y < height; ++y) {
    RgbaRowOverBlack(rgba.data() + static_cast<std::size_t>(y) * width * 4, picture.ScanLine(y),
                     width);
  }
  return picture;
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

CropRange Session::AllowedCrops() const {
  return CropRangeOf(state_->PictureWidth, state_->PictureHeight);
}

// --- The steps -----------------------------------------------------------------------------

void Session::ReadSourceWindow(int x, int y) {
  vantrel::ReadSourceWindow(*state_, x, y);
  crop_ = CropCorner::AtDrawingOffset(x, y);
}

void Session::SetColourRoles(const ColourRoleSet& roles) {
  vantrel::SetColourRoles(*state_, roles);
  vantrel::ClearCellColours(*state_);
  PaintPreviewFromLayers(*state_);
}

void Session::SetColourModel(const ColourModel& model) {
  vantrel::SetColourModel(*state_, model);
  PaintPreviewFromLayers(*state_);
}

void Session::SetCellColours(const ColourRoleSet& roles, const CellColours& cells) {
  vantrel::SetCellColours(*state_, roles, cells);
  PaintPreviewFromLayers(*state_);
}

void Session::ClearCellColours() {
  vantrel::ClearCellColours(*state_);
  PaintPreviewFromLayers(*state_);
}

std::optional<CellColourChoice> Session::FindCellColours(Dithering dithering, ColourGoal goal,
                                                         const std::optional<ColourRoleSet>& start,
                                                         const SearchControl& control) const {
  try {
    return SearchCellColours(state_->Image1.Words(), dithering, goal, start, control,
                             state_->Model);
  } catch (const SearchCancelled&) {
    return std::nullopt;
  }
}

const MixSlots& Session::CellMixColours(int x, int y) const {
  if (x < 0 || x >= WindowWidth || y < 0 || y >= WindowHeight) {
    throw std::logic_error("CellMixColours: no such pixel");
  }
  return MixTableAt(*state_, x, y);
}

void Session::ApplyChannelOffsets(int red, int green, int blue, ProgressSink* progress) {
  vantrel::ApplyChannelOffsets(*state_, red, green, blue, progress);
  if (state_->PictureLoaded) {
    convertedWith_.red = red;
    convertedWith_.green = green;
    convertedWith_.blue = blue;
  }
}

void Session::ConvertPicture(Dithering dithering, ProgressSink* progress) {
  vantrel::ConvertPicture(*state_, dithering, progress);
  if (state_->PictureLoaded) {
    convertedWith_.dithering = dithering;
    convertedRoles_ = state_->ColourRoles;
    convertedCells_ = state_->CellTable;
    convertedModel_ = state_->Model;
    conversionAsRead_ = false;
  }
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

void Session::TakeConversion(const LayerPlanes& layers, const ColourRoleSet& roles,
                             const std::optional<CellColours>& cells) {
  // Either refuses colours outside the palette before it changes anything.
  if (cells) {
    vantrel::SetCellColours(*state_, roles, *cells);
  } else {
    vantrel::SetColourRoles(*state_, roles);
    vantrel::ClearCellColours(*state_);
  }
  state_->PictureLoaded = true;
  state_->ConvertedLayers = layers;
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

std::vector<PackedRGB> Session::FramePicture(int frame) const {
  if (frame != 1 && frame != 2) throw std::logic_error("FramePicture: no such frame");
  std::vector<PackedRGB> words(PixelCount);
  for (int y = 0; y < WindowHeight; ++y) {
    for (int x = 0; x < WindowWidth; ++x) {
      words[y * WindowWidth + x] = ToPackedRGB(FrameColourAt(*state_, x, y, frame));
    }
  }
  return words;
}

void Session::Convert(std::shared_ptr<PictureSource> picture, const std::string& name,
                      const ConversionSettings& settings, ProgressSink* progress) {
  const int width = picture->Width(), height = picture->Height();
  const PercentRange range = AllowedPercents(width, height);
  const ScaleSetting& scale = settings.scale;
  if (settings.scaleGiven && !scale.fit && range.min <= range.max &&
      !range.Contains(scale.percent)) {
    throw VantrelError(Message::kScaleOutside, scale.percent, range.min, range.max, width, height,
                       name);
  }
  // The window's corner must leave it inside the picture at the scale it resolves to.
  if (range.min <= range.max) {
    const int percent = ResolvePercent(scale, width, height);
    const int scaledWidth = ScaledLength(width, percent);
    const int scaledHeight = ScaledLength(height, percent);
    const CropCorner& crop = settings.crop;
    const CropRange allowed = CropRangeOf(scaledWidth, scaledHeight);
    if (!allowed.Contains(crop)) {
      throw VantrelError(Message::kCropOutside, crop.left, crop.top, scaledWidth, scaledHeight,
                         percent, allowed.maxLeft, allowed.maxTop);
    }
  }
  TakePicture(std::move(picture), name, scale);
  vantrel::SetColourModel(*state_, settings.model);
  SetColourRoles(settings.roles);
  if (settings.cells) SetCellColours(settings.roles, *settings.cells);
  ReadSourceWindow(settings.crop.DrawX(), settings.crop.DrawY());
  Reconvert(settings.adjustment, progress);
  if (settings.autoColours) {
    // As "Auto Colors" does: the search reads the adjusted crop, and the roles it finds are
    // converted once.
    SetColourRoles(*FindColourRoles(settings.adjustment.dithering, *settings.autoColours));
    ConvertPicture(settings.adjustment.dithering, progress);
  }
  if (settings.perCell) {
    // From the roles the conversion has now, the given ones or those just found; else from the
    // roles Auto Colors finds for the goal, as the window's search starts.
    std::optional<ColourRoleSet> start;
    if (settings.rolesGiven || settings.autoColours) start = state_->ColourRoles;
    const CellColourChoice choice =
        *FindCellColours(settings.adjustment.dithering, *settings.perCell, start);
    SetCellColours(choice.roles, choice.cells);
    ConvertPicture(settings.adjustment.dithering, progress);
  }
}

void Session::ConvertFile(const std::string& fileName, const ConversionSettings& settings,
                          ProgressSink* progress) {
  Convert(std::make_shared<Photo>(Photo::OpenFile(fileName, maxPixels_)), fileName, settings,
          progress);
  RememberFile(fileName);
}

void Session::ConvertBytes(std::span<const std::uint8_t> bytes, const std::string& name,
                           const ConversionSettings& settings, ProgressSink* progress) {
  Convert(std::make_shared<Photo>(Photo::OpenBytes(
              std::vector<std::uint8_t>(bytes.begin(), bytes.end()), name, maxPixels_)),
          name, settings, progress);
}

void Session::ConvertPixels(Bitmap32 picture, const std::string& name,
                            const ConversionSettings& settings, ProgressSink* progress) {
  Convert(std::make_shared<Photo>(Photo::FromBitmap(std::move(picture), name)), name, settings,
          progress);
}

// --- Projects ------------------------------------------------------------------------------

Project Session::OpenProject(const std::string& fileName, ProgressSink* progress) {
  const Project project = ParseProject(ReadProjectFile(fileName), fileName);
  const std::filesystem::path photoPath =
      std::filesystem::path(fileName).parent_path() / std::filesystem::path(project.photo);
  const std::string photo = photoPath.lexically_normal().string();
  std::error_code missing;
  if (!std::filesystem::exists(photoPath, missing)) {
    throw VantrelError(Message::kProjectPhotoMissing, photo, fileName);
  }
  std::vector<std::uint8_t> bytes = ReadPictureFile(photo);
  if (Sha256Hex(bytes) != project.photoSha256) {
    throw VantrelError(Message::kProjectPhotoChanged, photo, fileName);
  }
  const ConversionSettings& settings = project.settings;
  if (SniffSavedPicture(bytes)) {
    const SavedPicture saved = ReadSavedPicture(bytes, photo);
    if (project.converted) {
      // The picture it shows was converted again: from that picture, as from a photo.
      Convert(
          std::make_shared<Photo>(Photo::FromBitmap(PictureShown(saved, settings.model), photo)),
          photo, settings, progress);
    } else {
      vantrel::SetColourModel(*state_, settings.model);
      OpenSaved(saved, photo);
      ReadSourceWindow(settings.crop.DrawX(), settings.crop.DrawY());
      ApplyChannelOffsets(settings.adjustment.red, settings.adjustment.green,
                          settings.adjustment.blue, progress);
    }
  } else {
    Convert(std::make_shared<Photo>(Photo::OpenBytes(std::move(bytes), photo, maxPixels_)), photo,
            settings, progress);
  }
  vantrel::SetColourModel(*state_, project.model);
  SetColourRoles(project.roles);
  if (project.cells) SetCellColours(project.roles, *project.cells);
  SetEdits(project.edits);
  RememberFile(photo);
  return project;
}

Project Session::CurrentProject(const std::string& projectFile, const ScaleSetting& scale,
                                Dithering dithering, Machine machine) const {
  if (!pictureFromFile_) throw VantrelError(Message::kProjectNeedsAFile);
  std::error_code error;
  const bool unchanged =
      std::filesystem::file_size(pictureName_, error) == pictureSize_ && !error &&
      std::filesystem::last_write_time(pictureName_, error).time_since_epoch().count() ==
          pictureTime_ &&
      !error;
  if (!unchanged) {
    throw VantrelError(Message::kPhotoChangedSinceOpened, pictureName_);
  }
  Project project;
  project.photoSha256 = Sha256Hex(ReadPictureFile(pictureName_));
  const std::filesystem::path folder = std::filesystem::absolute(projectFile).parent_path();
  const std::filesystem::path photo = std::filesystem::absolute(pictureName_);
  const std::filesystem::path relative = photo.lexically_relative(folder);
  project.photo = (relative.empty() ? photo : relative).generic_string();
  ConversionSettings& settings = project.settings;
  // A percentage is kept as the picture shows it: the one chosen may have been brought into
  // this picture's range (and a project whose scale the photo cannot take does not open).
  settings.scale = scale.fit ? scale : ScaleSetting{false, state_->ScalePercent};
  settings.scaleGiven = true;
  settings.crop = crop_;
  settings.adjustment = convertedWith_;
  settings.roles = convertedRoles_;
  settings.cells = convertedCells_;
  settings.model = convertedModel_;
  project.converted = !conversionAsRead_;
  project.roles = state_->ColourRoles;
  project.model = state_->Model;
  project.cells = state_->CellTable;
  project.dithering = dithering;
  project.machine = machine;
  project.edits = state_->PixelEdits;
  return project;
}

void Session::SaveProject(const std::string& fileName, const ScaleSetting& scale,
                          Dithering dithering, Machine machine) const {
  const std::string text = ProjectText(CurrentProject(fileName, scale, dithering, machine));
  WriteFileReplacing(fileName, reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

// --- Outputs -------------------------------------------------------------------------------

std::string Session::DiskName() const {
  if (!savedDiskName_.empty()) return savedDiskName_;
  return C64FileName(pictureName_.empty() ? std::string("PICTURE") : pictureName_);
}

std::span<const std::uint8_t> Session::Output(OutputKind kind, const OutputOptions& options) {
  ConverterState& state = *state_;
  if (kind == OutputKind::Png) {
    state.EncodedOutput = EncodePreviewPng(state.PreviewBitmap);
    return state.EncodedOutput;
  }
  BuildMemoryImage(state.LayerBits, state.MemoryImage);
  if (state.CellTable) {
    FillScreenColours(*state.CellTable, state.MemoryImage);
  } else {
    FillScreenColours(state.ColourRoles, state.MemoryImage);
  }
  if (kind == OutputKind::Data || kind == OutputKind::AssemblerSource) {
    AssembleDataFile(state.MemoryImage, state.ColourRoles, state.FileBuffer);
    const std::span<const std::uint8_t> data(state.FileBuffer.data(), DataFileSize);
    if (kind == OutputKind::Data) return data;
    const std::string source = AssemblerSource(data, options.asmSyntax);
    state.EncodedOutput.assign(source.begin(), source.end());
    return state.EncodedOutput;
  }
  AssembleExecutable(state.MemoryImage, state.ColourRoles, state.FileBuffer, options.machine);
  std::span<const std::uint8_t> executable(state.FileBuffer.data(), ExecutableFileSize);
  if (options.pack) {
    state.EncodedOutput = PackExecutable(executable);
    executable = state.EncodedOutput;
  }
  if (kind == OutputKind::Executable) return executable;
  // Built aside: a packed executable is EncodedOutput itself.
  std::vector<std::uint8_t> disk =
      BuildD64Image(executable, options.c64Name.empty() ? DiskName() : options.c64Name);
  state.EncodedOutput = std::move(disk);
  return state.EncodedOutput;
}

void Session::SaveOutput(OutputKind kind, const OutputOptions& options,
                         const std::string& fileName) {
  WriteFileReplacing(fileName, Output(kind, options));
}

}  // namespace vantrel
