// What a conversion is made with besides the picture, and what its outputs are: the words the
// front ends, the project files and the session share.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "c64/machine.h"
#include "colour/palette.h"
#include "convert/dithering.h"
#include "core/cell_colours.h"
#include "core/types.h"
#include "picture/picture_scale.h"

namespace vantrel {

// What every change of the picture, the crop or an offset ends with: the offsets applied to
// the crop, then the conversion.
struct Adjustment {
  int red = 0;  // channel offsets, -255..255
  int green = 0;
  int blue = 0;
  Dithering dithering = Dithering::FloydSteinberg;
};

// The files a conversion can be saved as.
enum class OutputKind {
  Executable,  // the C64 program: displayer and picture, loads at $0800
  Data,        // the two video banks, 32 KiB
  Png,         // the preview as the eye sees it, 192 x 200
  DiskImage,   // a 1541 disk image (.d64) holding the executable
};
// Their names where a front end takes them as words (--format, the page), in enum order.
inline constexpr std::array<std::string_view, 4> OutputKindNames = {"exe", "data", "png", "d64"};

// What an output needs besides the conversion.
struct OutputOptions {
  Machine machine = Machine::Pal;  // whose timing the executable's displayer follows
  std::string c64Name;             // the file's name on a disk; empty: the picture's (DiskName)
};

// Everything one conversion takes besides the picture, given in one go (the command line,
// the page): the window sets the same things one control at a time.
struct ConversionSettings {
  ScaleSetting scale;       // Fit or a percentage; 100 % unless given
  bool scaleGiven = false;  // given: a scale the picture cannot take is refused, not adjusted
  CropCorner crop;          // top-left corner of the window in the scaled picture
  Adjustment adjustment;    // channel offsets and dithering
  ColourRoleSet roles = DefaultColourRoles;
  std::optional<ColourGoal> autoColours;  // search the roles for this goal instead
  // Colours per cell: the table to convert with (the roles give the sprite colours), or a goal
  // to search them for, starting from the roles above (or those autoColours finds).
  std::optional<CellColours> cells;
  std::optional<ColourGoal> perCell;
};

}  // namespace vantrel
