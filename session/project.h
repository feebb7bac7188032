// Project files (.vantrel): the photo and every setting that converts it, with the pixel
// edits, as JSON, so that the same files can be made again later or elsewhere.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "c64/machine.h"
#include "core/cell_colours.h"
#include "core/colour_model.h"
#include "core/types.h"
#include "session/settings.h"

namespace vantrel {

// The newest version this program writes; it reads this one and the ones before it. Each
// project is written as the oldest version that holds it, which every earlier program reads
// too: version 1 without colours per cell, version 2 adds the cells' colours, version 3 a
// palette or a mix other than the program's own (a program before them refuses the project
// rather than convert it in colours it does not have).
inline constexpr int ProjectVersion = 3;

// The largest project file read: a few times the largest project there can be (every pixel
// painted, each in a run of its own, is under 1 MiB), so that a huge file is refused before
// it is read.
inline constexpr long long MaxProjectBytes = 4LL << 20;
// How deep lists and objects nest in a project: the top object, "conversion" and the list of
// edits in it, the colours and the runs in those.
inline constexpr int ProjectNesting = 3;

// A conversion is remade from what it was made with; the roles and the dithering chosen since
// (a pick does not convert) are kept beside it, so the files come out as they were.
struct Project {
  std::string photo;        // the photo's path, relative to the project's folder where it can be
  std::string photoSha256;  // of the photo's bytes, lower-case hex
  // The scale, the crop, the offsets, the dithering and the roles the conversion was made
  // with (never a search). For a saved picture shown as it was read, no conversion at all.
  ConversionSettings settings;
  bool converted = true;
  ColourRoleSet roles = DefaultColourRoles;         // the roles now
  std::optional<CellColours> cells;                 // the colours per cell now, if any
  ColourModel model;                                // the palette and the mix now
  Dithering dithering = Dithering::FloydSteinberg;  // the dithering chosen now
  Machine machine = Machine::Pal;
  Edits edits;
};

// The file's text: pretty-printed JSON ending in a newline.
std::string ProjectText(const Project& project);

// Reads a project file's text; `name` stands for the file in messages. Throws VantrelError
// ("<name> is not a usable project file: <why>") for anything but a project this program can
// read, a text longer than MaxProjectBytes or nested deeper than ProjectNesting among them.
Project ParseProject(std::string_view text, const std::string& name);

// The text of the project file `fileName`, read as any file the user names (core/read_file.h);
// a file larger than MaxProjectBytes is refused as ParseProject refuses its text, unread.
std::string ReadProjectFile(const std::string& fileName);

// Whether a file's name says it is a project: .vantrel, or .json, which is read as one.
bool NamedAsProject(std::string_view fileName);

// Whether the bytes are a project file, told by their content (a JSON object naming its
// version under "vantrel").
bool LooksLikeProject(std::span<const std::uint8_t> bytes);

// The SHA-256 of the bytes, lower-case hex.
std::string Sha256Hex(std::span<const std::uint8_t> bytes);

}  // namespace vantrel
