// The data path every front end walks, one step per function: the window from its handlers
// (in the order its actions take), the command line, the fuzz target, the tests and the
// benchmarks. A step reads only what the steps before it left in the state.
//
//   NewConverterState -> LoadPicture -> ReadSourceWindow (the crop) -> SetColourRoles
//   -> Reconvert (channel offsets + conversion; ConvertPicture alone for "CONVERT")
//   -> AssembleOutput -> WriteFileReplacing
#pragma once

#include <memory>
#include <span>
#include <string>

#include "c64/machine.h"
#include "convert/conversion.h"
#include "core/converter_state.h"
#include "core/progress.h"
#include "core/types.h"
#include "picture/picture_scale.h"
#include "picture/source_window.h"

namespace vantrel {

// A state as the window holds it once constructed: no picture, the default roles and their
// mix colours, PictureBitmap and PreviewBitmap at 256 x 200.
std::unique_ptr<ConverterState> NewConverterState();

// The two bitmaps as the window's constructor creates them: 256 x 200, cleared.
void CreateBitmaps(ConverterState& state);

// Opens a picture file of any supported format, recognised by its content and turned upright.
// A JPEG is only read to its header here; SetPicture decodes what its scale needs. Throws
// VantrelError naming the file (JPEG files keep the decoder's own messages).
std::shared_ptr<PictureSource> OpenPicture(const std::string& fileName);
// The same for a file already in memory; `name` stands for the file name in messages.
std::shared_ptr<PictureSource> OpenPicture(std::span<const std::uint8_t> bytes,
                                           const std::string& name);

// Takes `picture` shown at `percent` (one of AllowedPercents): decodes what that needs, then
// sets Picture, ScalePercent, PictureWidth and PictureHeight (the scaled size) and
// PictureLoaded. On failure nothing changes.
void SetPicture(ConverterState& state, std::shared_ptr<PictureSource> picture, int percent);
// A picture already decoded (upright), at 100 %.
void SetPicture(ConverterState& state, Bitmap32 picture);

// Takes an opened picture at the scale `scale` resolves to (ResolvePercent: Fit, or the
// percentage brought into the allowed range, so a picture smaller than the window is shown
// at Fit). Throws VantrelError "Picture too small (<w> x <h> pixels)" when no scale fills the
// window, or when the decode fails; on failure nothing changes.
void TakePicture(ConverterState& state, std::shared_ptr<PictureSource> picture,
                 const ScaleSetting& scale);

// OpenPicture, then TakePicture.
void LoadPicture(ConverterState& state, const std::string& fileName,
                 const ScaleSetting& scale = {});
void LoadPicture(ConverterState& state, std::span<const std::uint8_t> bytes,
                 const std::string& name, const ScaleSetting& scale = {});

// Shows the picture at another of its allowed scales: decodes what that needs, then sets
// ScalePercent, PictureWidth and PictureHeight. On failure nothing changes. The crop is not
// read again; the caller moves it (CropKeepingCentre) and reads it.
void SetScale(ConverterState& state, int percent);

// The roles and, from them, the nine mix colours. Throws std::logic_error for an index that
// is not a palette colour.
void SetColourRoles(ConverterState& state, const ColourRoleSet& roles);

// What every change of the picture, the crop or an offset ends with: the offsets applied to
// the crop, then the conversion. Does nothing while no picture is loaded.
struct Adjustment {
  int red = 0;  // channel offsets, -255..255
  int green = 0;
  int blue = 0;
  Dithering dithering = Dithering::FloydSteinberg;
};
void Reconvert(ConverterState& state, const Adjustment& adjustment, ProgressSink* progress);

// The files a conversion can be saved as.
enum class OutputKind {
  Executable,  // the C64 program: displayer and picture, loads at $0800
  Data,        // the two video banks, 32 KiB
  Png,         // the preview as the eye sees it, 192 x 200
  DiskImage,   // a 1541 disk image (.d64) holding the executable
};

// What an output needs besides the conversion.
struct OutputOptions {
  Machine machine = Machine::Pal;   // whose timing the executable's displayer follows
  std::string c64Name = "PICTURE";  // the file's name on the disk (see C64FileName)
};

// The bytes of one output file, from the last conversion's LayerBits and the current roles.
// The C64 files are assembled in FileBuffer (after MemoryImage is built afresh), the PNG and
// the disk image in EncodedOutput; the span stays valid until the next call.
std::span<const std::uint8_t> AssembleOutput(ConverterState& state, OutputKind kind,
                                             const OutputOptions& options = {});

}  // namespace vantrel
