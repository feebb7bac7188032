// Pictures this program saved, read back: the executable of any target, a disk image holding
// one, and the data file. They give back the layer bits and the roles exactly.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "c64/machine.h"
#include "core/cell_colours.h"
#include "core/error.h"
#include "core/types.h"

namespace vantrel {

enum class SavedKind { Executable, Data, DiskImage };

struct SavedPicture {
  SavedKind kind = SavedKind::Data;
  LayerPlanes layers;
  ColourRoleSet roles;
  // Each cell's colours, when the screens give cells colours of their own (the roles then hold
  // the first cell's and the sprite colours); nothing when every cell shows the roles.
  std::optional<CellColours> cells;
  // Whose displayer the executable carries (PAL for data). Machines with the same displayer
  // (Drean's is NTSC's) read as the first of them in AllMachines.
  Machine machine = Machine::Pal;
  std::string c64Name;  // the program's name on the disk, for a disk image
  bool packed = false;  // the executable (on its own or on the disk) was a packed one
};

// Which kind of saved picture the bytes are, told by their content: an executable begins with
// a displayer of this program (a packed one with its depacker), a disk image has the size of
// one, a data file is 32 KiB laid out as this program lays out its two banks. Nothing for
// anything else.
std::optional<SavedKind> SniffSavedPicture(std::span<const std::uint8_t> bytes);

// Whether a file of this size can be a disk image (683 sectors, with or without error bytes).
bool IsDiskImageSize(std::uintmax_t size);

// The kind of saved picture a file's name says it is (.prg, .d64, .bin), if any.
std::optional<SavedKind> SavedKindNamed(std::string_view fileName);

// What to tell of bytes that a file named as a saved picture of `kind` holds but that are
// no such picture (SniffSavedPicture finds nothing): what they are not, and why ("<name> is
// not a program this converter saved: it loads at $C000").
VantrelError NotSavedHere(std::span<const std::uint8_t> bytes, SavedKind kind,
                          const std::string& name);

// Reads a saved picture; `name` stands for the file in messages. Throws VantrelError when the
// bytes are not such a picture or are cut short, saying which.
SavedPicture ReadSavedPicture(std::span<const std::uint8_t> bytes, const std::string& name);

// The two banks back into layer bits, roles and, where the cells have colours of their own,
// the cell table: the inverse of BuildMemoryImage followed by FillScreenColours (of the roles,
// or of the cells). False when the image holds anything those never write (the two spare
// bytes after frame 1's screen excepted), such as two screens of a bank that differ.
bool UnpackMemoryImage(std::span<const std::uint8_t> image, LayerPlanes& layers,
                       ColourRoleSet& roles, std::optional<CellColours>& cells);

}  // namespace vantrel
