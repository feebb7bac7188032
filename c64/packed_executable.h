// Packed executables: a BASIC line, the 6502 depacker (c64/depacker/depacker.asm) and the
// plain executable's loaded bytes as an LZ stream. RUN unpacks them to $0800-$93fd and starts
// the displayer as the plain executable's RUN does; a quarter of the size or so loads four
// times as fast from a disk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace vantrel {

inline constexpr std::uint16_t PackedLoadAddress = 0x0801;  // loads with or without ",1"
inline constexpr unsigned PackedEntry = 2061;               // its SYS

// The depacker's bytes, load address first, with its three patched operands zero. The
// stream follows them in a packed executable.
std::span<const std::uint8_t> DepackerTemplate();

// The packed executable of a plain one (35840 bytes loading at $0800, as AssembleExecutable
// makes them, for any target); the same bytes always pack the same. Throws VantrelError for
// another program and, for bytes no picture gives, when the stream cannot sit far enough
// ahead of the unpacking in the C64's memory.
std::vector<std::uint8_t> PackExecutable(std::span<const std::uint8_t> plainExecutable);

// Whether the bytes begin as a packed executable does (told by the depacker; the rest may be
// missing or damaged).
bool IsPackedExecutable(std::span<const std::uint8_t> bytes);

// The plain executable a packed one unpacks to on the C64. Throws VantrelError
// (kNotASavedPicture, naming `name`) for a packed executable that is cut short or damaged, or
// that the C64 could not unpack as it is.
std::vector<std::uint8_t> UnpackExecutable(std::span<const std::uint8_t> packed,
                                           const std::string& name);

}  // namespace vantrel
