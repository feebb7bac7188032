// The library's one way in for front ends: a session holds one converter's state and takes
// the steps the window, the command line, the page, the fuzz targets and the benchmarks take.
//
// The session alone writes the state (the picture, the crop, the roles, the conversion, the
// buffers of the outputs); front ends read it. This header also brings the words front ends
// share with the library: the palettes, the mix rules and mix colours, the machines, the
// ditherings and goals, the scales.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "c64/machine.h"
#include "c64/saved_picture.h"
#include "colour/mix_colours.h"
#include "colour/palette.h"
#include "colour/palettes.h"
#include "convert/auto_colours.h"
#include "convert/cell_colours_search.h"
#include "convert/dithering.h"
#include "core/bitmap32.h"
#include "core/cell_colours.h"
#include "core/colour_model.h"
#include "core/converter_state.h"
#include "core/error.h"
#include "core/progress.h"
#include "core/types.h"
#include "picture/jpeg_decoder.h"
#include "picture/picture_scale.h"
#include "session/options.h"
#include "session/output_names.h"
#include "session/project.h"
#include "session/settings.h"

namespace vantrel {

// What a file holds, told by its content.
enum class FileKind {
  Picture,       // a photo of any supported format (or a file that is no picture at all)
  SavedPicture,  // an executable, a disk image or a data file this program saved
  Project,       // a project file
};

class Session {
 public:
  // The state as the window holds it once constructed: no picture, the default roles and
  // their mix colours, PictureBitmap and PreviewBitmap at 256 x 200. Pictures of more than
  // `maxPixels` are refused.
  explicit Session(long long maxPixels = MaxPicturePixels);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // --- The picture --------------------------------------------------------------------

  // What the file holds, from its first bytes and, where they do not tell, its name: a
  // .vantrel or .json file counts as a project and a .prg, .d64 or .bin file as a saved
  // picture, so that opening it says what it is not. A file that cannot be read, or is not
  // a regular file, counts as a picture (opening it says why); it is never waited on.
  static FileKind KindOfFile(const std::string& fileName);

  // Opens a picture of any supported format, recognised by its content and turned upright,
  // at the scale `scale` resolves to (Fit, or the percentage brought into the allowed
  // range). Sets PictureLoaded. The crop is not read: ReadSourceWindow does that. Throws
  // VantrelError naming the file (JPEG files keep the decoder's own messages) when the file
  // cannot be read or no scale fills the window; then nothing changes.
  //
  // A picture this program saved opens as what it shows, at 100 %, and its layers and roles
  // become the conversion, as read (no conversion runs); the crop, the offsets and a new
  // conversion then work on that picture as on a photo. Returns which of the two it was. A
  // file named as a saved picture that is neither a picture nor one this program can read
  // back is refused with what it is not (NotSavedHere).
  FileKind OpenFile(const std::string& fileName, const ScaleSetting& scale = {});
  // The same for a file already in memory; `name` stands for the file name.
  void OpenBytes(std::span<const std::uint8_t> bytes, const std::string& name,
                 const ScaleSetting& scale = {});
  // A picture already decoded and upright, standing for a file of another format than JPEG,
  // at the scale `scale` resolves to (100 % unless given), as OpenBytes.
  void OpenPixels(Bitmap32 picture, const std::string& name, const ScaleSetting& scale = {});
  // Whether OpenBytes and ConvertBytes decode the picture in `bytes` themselves. Where they
  // do not (the page, for formats besides JPEG and PNG), the front end decodes it and hands
  // over the pixels (OpenPixels, ConvertPixels).
  static bool DecodesPicture(std::span<const std::uint8_t> bytes);
  // The picture a browser decoded, `width` x `height` pixels of bytes red, green, blue and
  // alpha (not premultiplied), composited over black as the decoders do. Throws VantrelError
  // for a picture of no pixels or more than MaxPicturePixels.
  static Bitmap32 PictureFromRgba(std::span<const std::uint8_t> rgba, int width, int height);

  // The target the saved picture opened last was made for (PAL for a data file).
  Machine SavedMachine() const { return savedMachine_; }
  // Whether that saved picture's executable was packed.
  bool SavedPacked() const { return savedPacked_; }

  // --- Projects -----------------------------------------------------------------------

  // Opens a project: its photo, found by the path the project holds (relative to the
  // project's folder), must be the one the project was saved with; the conversion is made
  // again with the project's settings, then the roles chosen since and the edits go over it.
  // Returns the project, for a front end to show its settings. Throws VantrelError naming the
  // project, or the photo when it is missing or has changed; then nothing changes.
  Project OpenProject(const std::string& fileName, ProgressSink* progress = nullptr);
  // Writes a project of the picture opened last (from a file), its conversion, the roles
  // and the dithering chosen now, the scale setting, the target and the edits. Throws
  // VantrelError when there is no picture file or it changed since it was opened.
  void SaveProject(const std::string& fileName, const ScaleSetting& scale, Dithering dithering,
                   Machine machine) const;

  // What confirming the open dialog does before the file is read: from here on the actions
  // that need a picture run, even when the file then fails to open.
  void MarkPictureLoaded();

  bool PictureLoaded() const { return state_->PictureLoaded; }
  bool HasPicture() const { return state_->Picture != nullptr; }
  // The name the picture was opened by; empty before the first.
  const std::string& PictureName() const { return pictureName_; }
  // Whether writing `fileName` would replace that picture's file (IsSameFile, links too): no
  // output may.
  bool IsOpenPicture(const std::string& fileName) const;
  // What the user should be told about a picture that opened but is not whole; empty if
  // nothing.
  std::string PictureWarning() const;
  // The picture's size at 100 %, upright; 0 before the first.
  int SourceWidth() const;
  int SourceHeight() const;
  // The scales the picture may be shown at, and Fit's.
  PercentRange AllowedScales() const;
  int FitScale() const;

  // Where the window may stand in the picture at its scale, and where it stands: the corner
  // the crop was last read at.
  CropRange AllowedCrops() const;
  CropCorner Crop() const { return crop_; }

  // Shows the picture at another allowed scale: decodes what that needs, then sets
  // ScalePercent, PictureWidth and PictureHeight. On failure nothing changes. The crop is
  // not read again.
  void SetScale(int percent);

  // --- The steps of a conversion, each as the window takes it ---------------------------

  // Draws the picture at its scale into the source view at (x, y), 0 or negative (the crop's
  // DrawX and DrawY), and reads the 192 x 200 view back as the crop.
  void ReadSourceWindow(int x, int y);
  // The roles and, from them, the nine mix colours; the preview shows the last conversion
  // in them at once, as a save would write it. Colours per cell give way to the roles for
  // every cell (as a palette pick does). Throws std::logic_error for an index that is not a
  // palette colour.
  void SetColourRoles(const ColourRoleSet& roles);
  // The offsets added to the crop, into the source view and the planes.
  void ApplyChannelOffsets(int red, int green, int blue, ProgressSink* progress = nullptr);
  // Classifies (and dithers) the adjusted crop into LayerBits and the preview.
  void ConvertPicture(Dithering dithering, ProgressSink* progress = nullptr);
  // ApplyChannelOffsets, then ConvertPicture.
  void Reconvert(const Adjustment& adjustment, ProgressSink* progress = nullptr);
  // The roles Auto Colors finds for the adjusted crop, the dithering and the goal; nothing
  // when the caller cancelled. Changes nothing: the caller sets them.
  std::optional<ColourRoleSet> FindColourRoles(Dithering dithering, ColourGoal goal,
                                               const SearchControl& control = {}) const;

  // A conversion made before (a saved picture read back) becomes the session's: its layer
  // bits, roles and colours per cell if it has them, the preview painted from them. Sets
  // PictureLoaded; the picture and the crop stay as they were.
  void TakeConversion(const LayerPlanes& layers, const ColourRoleSet& roles,
                      const std::optional<CellColours>& cells = std::nullopt);

  // --- The colour model: the palette the colours are measured in, and how the frames mix ---

  // The palette and the mix rule: every mix colour is made again in them, and the preview shows
  // the last conversion in them at once, as a save would write it (what each frame shows, too);
  // the next conversion, Auto Colors and the search for colours per cell work in them. The C64
  // files hold colour numbers: only a conversion made in the new model changes them.
  void SetColourModel(const ColourModel& model);
  const ColourModel& Model() const { return state_->Model; }
  // The sixteen colours of the model's palette, index the C64 colour number: the palette
  // swatches, and the role swatches' colours.
  const std::array<TColor, 16>& Palette() const { return PaletteColours(state_->Model.palette); }

  // --- Colours per cell: each 8 x 8 cell its own background and bitmap colour per frame ------

  // Every cell's colours, with the roles: their sprite colours, and the roles shown beside the
  // cells (the ones the cells were found from). The preview shows the last conversion in them
  // at once, as a save would write it; the next conversion uses each cell's own nine mixes.
  // Throws std::logic_error for an index that is not a palette colour, changing nothing.
  void SetCellColours(const ColourRoleSet& roles, const CellColours& cells);
  // Back to the roles for every cell; the preview follows.
  void ClearCellColours();
  // The cells' colours; nothing while the roles colour every cell.
  const std::optional<CellColours>& CellTable() const { return state_->CellTable; }
  // The colours per cell the search finds for the adjusted crop, the dithering and the goal,
  // starting from `start`, or from the roles Auto Colors finds for the goal; nothing when the
  // caller cancelled. Changes nothing: the caller sets them (SetCellColours).
  std::optional<CellColourChoice> FindCellColours(
      Dithering dithering, ColourGoal goal,
      const std::optional<ColourRoleSet>& start = std::nullopt,
      const SearchControl& control = {}) const;
  // The nine mix colours of the cell holding pixel (x, y): its own with colours per cell, else
  // MixColours(); what a touch-up there can paint.
  const MixSlots& CellMixColours(int x, int y) const;

  // --- Edits: mix codes painted over the conversion, kept when it is made again -----------

  // Paints pixel (x, y) in mix colour `code` (1..9), or takes its paint away (0); the layers
  // and the preview show it at once.
  void PaintPixel(int x, int y, int code);
  void SetEdits(const Edits& edits);
  const Edits& PixelEdits() const { return state_->PixelEdits; }
  // The mix colour pixel (x, y) shows, edits included: a slot of CellMixColours(x, y).
  int MixCodeAt(int x, int y) const;

  // The whole conversion of a picture file with `settings`, as the command line and the
  // page run it: opened at the scale, cropped, the roles given (or those Auto Colors finds),
  // the offsets, the conversion. A scale or crop the picture cannot take throws a VantrelError that
  // IsSetting() before anything is converted; the file's own failures throw as OpenFile's.
  void ConvertFile(const std::string& fileName, const ConversionSettings& settings,
                   ProgressSink* progress = nullptr);
  void ConvertBytes(std::span<const std::uint8_t> bytes, const std::string& name,
                    const ConversionSettings& settings, ProgressSink* progress = nullptr);
  // The same for a picture decoded by the front end, upright.
  void ConvertPixels(Bitmap32 picture, const std::string& name, const ConversionSettings& settings,
                     ProgressSink* progress = nullptr);

  // --- Outputs ------------------------------------------------------------------------

  // The bytes of one output file, from the last conversion's LayerBits and the current
  // roles (and colours per cell, in the screens). They stay valid until the next call.
  std::span<const std::uint8_t> Output(OutputKind kind, const OutputOptions& options = {});
  // The same, written whole to `fileName`, replacing a file of that name only once the new
  // one is complete.
  void SaveOutput(OutputKind kind, const OutputOptions& options, const std::string& fileName);
  // The C64 file name a disk image gives the picture: its file's base name, "PICTURE" before
  // any; for a disk image opened, the name its program had there.
  std::string DiskName() const;

  // --- What a front end draws ---------------------------------------------------------

  const ConverterState& State() const { return *state_; }
  const ViewSurface& SourceView() const { return state_->Image1; }   // the adjusted crop
  const Bitmap32& Preview() const { return state_->PreviewBitmap; }  // columns 0..191
  const MixSlots& MixColours() const { return state_->MixTable; }
  const ColourRoleSet& Roles() const { return state_->ColourRoles; }
  const LayerPlanes& Layers() const { return state_->LayerBits; }
  // What frame 1 or frame 2 alone shows, edits included: 192 x 200 PackedRGB words, row after
  // row, each the colour of the role that frame shows there (its cell's background or bitmap
  // colour with colours per cell) in the model's palette. Shown one after the other the two
  // make the preview's mix colours, mixed by the model's rule.
  std::vector<PackedRGB> FramePicture(int frame) const;

 private:
  void TakePicture(std::shared_ptr<PictureSource> picture, const std::string& name,
                   const ScaleSetting& scale);
  void Convert(std::shared_ptr<PictureSource> picture, const std::string& name,
               const ConversionSettings& settings, ProgressSink* progress);

  void OpenSaved(const SavedPicture& saved, const std::string& name);
  // The picture file just opened, so a project can tell whether it changed since.
  void RememberFile(const std::string& fileName);
  Project CurrentProject(const std::string& projectFile, const ScaleSetting& scale,
                         Dithering dithering, Machine machine) const;

  long long maxPixels_;
  std::unique_ptr<ConverterState> state_;
  std::string pictureName_;
  // What the picture file was when it opened, so a project is never saved of a changed one.
  std::uintmax_t pictureSize_ = 0;
  std::int64_t pictureTime_ = 0;
  Machine savedMachine_ = Machine::Pal;
  bool savedPacked_ = false;
  std::string savedDiskName_;  // a saved disk image's name for its program, kept when saved again
  // What the conversion on show was made with: the crop, the offsets, the dithering, the roles
  // and the colour model; or that it is a saved picture's, as read.
  CropCorner crop_;
  Adjustment convertedWith_;
  ColourRoleSet convertedRoles_ = DefaultColourRoles;
  ColourModel convertedModel_;
  std::optional<CellColours> convertedCells_;
  bool conversionAsRead_ = false;
  bool pictureFromFile_ = false;
};

}  // namespace vantrel
