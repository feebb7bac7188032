// The two files a save writes: the C64 executable (displayer + image, loaded at $0800) and
// the bare 32 KiB data file, both assembled in a FileBuffer, and the save itself.
#pragma once

#include <cstddef>
#include <cstdint>

#include "c64/machine.h"
#include "core/types.h"

namespace vantrel {

inline constexpr std::size_t ExecutableFileSize = 35840;
inline constexpr std::size_t DataFileSize = 32768;

// Executable (the same layout and size for every target machine): the immediate operands of the
// sprite-colour loads at $0a10 and $0e10, and the image at $1200. File offset k loads to $0800 + k
// - 2.
inline constexpr std::size_t Sprite1ColourPatchOffset = 530;
inline constexpr std::size_t Sprite2ColourPatchOffset = 1554;
inline constexpr std::size_t ExecutableImageOffset = 2562;

// Data file: the two sprite colours in the spare bytes after frame 1's second screen.
inline constexpr std::size_t DataSprite1ColourOffset = 2024;
inline constexpr std::size_t DataSprite2ColourOffset = 2025;

static_assert(ExecutableImageOffset + MemoryImageSize + 510 == ExecutableFileSize);
static_assert(ExecutableFileSize == FileBufferSize && DataFileSize == MemoryImageSize);

// Buffer bytes 0..2999 from the machine's displayer template, then the image over bytes
// 2562..35329, then the sprite colours (AND 0x0F) into the two operands. Bytes 35330.. are
// left as they are.
void AssembleExecutable(const C64Memory& image, const ColourRoleSet& roles, FileBytes& buffer,
                        Machine machine);

// Buffer bytes 0..32767 from the image, with the low eight bits of the two sprite colours at
// 2024 and 2025.
void AssembleDataFile(const C64Memory& image, const ColourRoleSet& roles, FileBytes& buffer);

}  // namespace vantrel
