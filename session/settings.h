// What a conversion is made with besides the picture, and what its outputs are: the words the
// front ends, the project files and the session share.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "c64/assembler_source.h"
#include "c64/machine.h"
#include "colour/palette.h"
#include "convert/dithering.h"
#include "core/cell_colours.h"
#include "core/colour_model.h"
#include "core/types.h"
#include "picture/picture_scale.h"

namespace vantrel {

// How far a channel offset goes either way: -255 darkens any level to 0, 255 lightens it to 255.
inline constexpr int MaxChannelOffset = 255;

// What every change of the picture, the crop or an offset ends with: the offsets applied to
// the crop, then the conversion.
struct Adjustment {
  int red = 0;  // channel offsets, -MaxChannelOffset..MaxChannelOffset
  int green = 0;
  int blue = 0;
  Dithering dithering = Dithering::FloydSteinberg;
};

// The files a conversion can be saved as.
enum class OutputKind {
  Executable,       // the C64 program: displayer and picture, loads at $0800
  Data,             // the two video banks, 32 KiB
  Png,              // the preview as the eye sees it, 192 x 200
  DiskImage,        // a 1541 disk image (.d64) holding the executable
  AssemblerSource,  // the data file as an assembler's source, with labels
};
// Their names where a front end takes them as words (--format, the page), in enum order.
inline constexpr std::array<std::string_view, 5> OutputKindNames = {"exe", "data", "png", "d64",
                                                                    "asm"};

// What an output needs besides the conversion.
struct OutputOptions {
  Machine machine = Machine::Pal;  // whose timing the executable's displayer follows
  std::string c64Name;             // the file's name on a disk; empty: the picture's (DiskName)
  bool pack = false;               // the executable (alone or on a disk) packed
  AsmSyntax asmSyntax = AsmSyntax::Tass64;  // the assembler a source is written for
};

// Everything one conversion takes besides the picture, given in one go (the command line,
// the page): the window sets the same things one control at a time.
struct ConversionSettings {
  ScaleSetting scale;       // Fit or a percentage; 100 % unless given
  bool scaleGiven = false;  // given: a scale the picture cannot take is refused, not adjusted
  CropCorner crop;          // top-left corner of the window in the scaled picture
  Adjustment adjustment;    // channel offsets and dithering
  ColourRoleSet roles = DefaultColourRoles;
  bool rolesGiven = false;                // the roles were chosen, not left at the defaults
  std::optional<ColourGoal> autoColours;  // search the roles for this goal instead
  ColourModel model;  // the palette and the mix the conversion, the searches and the preview use
  // Colours per cell: the table to convert with (the roles give the sprite colours), or a goal
  // to search them for, starting from the roles given (or those autoColours finds; with
  // neither, from the roles Auto Colors finds for the same goal).
  std::optional<CellColours> cells;
  std::optional<ColourGoal> perCell;
};

}  // namespace vantrel
