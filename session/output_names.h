// What a file name means for an output, the same in the window and on the command line: the
// kind of file its extension asks for, the extension each kind is saved with, and whether
// writing it would replace the picture it is made from.
#pragma once

#include <string>
#include <string_view>

#include "session/settings.h"

namespace vantrel {

// What an output's file name asks for.
struct OutputTarget {
  OutputKind kind = OutputKind::Data;
  bool project = false;  // a project file instead of `kind`
  bool operator==(const OutputTarget&) const = default;
};

inline constexpr std::string_view ProjectExtension = ".vantrel";

// The output a file name asks for by its extension, case ignored: .prg the executable, .d64 a
// disk image, .png the preview, .asm an assembler source, .vantrel a project, anything else
// (no extension too) the data file. Throws VantrelError (a setting: kNotWrittenPictureFormat) for
// the extension of a picture format this program reads but does not write (.jpg, .gif, .bmp, .webp,
// .tif, .heic
// ...): a file of that name would lie about what it holds.
OutputTarget OutputTargetOfName(const std::string& fileName);

// The extension a file of `kind` is saved under: ".prg", ".bin", ".png", ".d64", ".asm"; for
// a project, ProjectExtension.
std::string_view OutputExtension(OutputKind kind);
std::string_view OutputExtension(const OutputTarget& target);

// Whether writing `fileName` would replace the file `picture`: the same file by this name or
// another (a symbolic link, a hard link, a path through other folders). A name that is no
// file yet replaces nothing.
bool IsSameFile(const std::string& fileName, const std::string& picture);

}  // namespace vantrel
