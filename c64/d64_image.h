// A 1541 floppy disk image (.d64, 35 tracks, no error bytes) holding one program file, as a
// 1541 would have written it: BAM and directory on track 18, the file's blocks from track
// 17 outwards with the 1541's interleave of 10.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

inline constexpr std::size_t D64ImageSize = 174848;  // 683 sectors of 256 bytes
inline constexpr std::size_t C64FileNameLength = 16;
// 664 free blocks of 254 data bytes on a fresh disk (track 18 holds BAM and directory).
inline constexpr std::size_t D64MaxProgramSize = 664 * 254;

// The C64 file name for a picture's file name: the base name without folder and extension,
// letters in upper case (PETSCII $41-$5a), what a C64 file name cannot hold (quotes,
// wildcards, separators of DOS commands, characters outside ASCII) as '-', no spaces at
// either end, at most 16 characters; "PICTURE" when nothing is left.
std::string C64FileName(std::string_view pictureFileName);

// The image of a disk named `name` (ID "VC") with one PRG file of that name holding
// `program` (its two-byte load address first). Throws VantrelError when the name is not 1 to
// 16 characters or the program is shorter than its load address or does not fit on the
// disk.
std::vector<std::uint8_t> BuildD64Image(std::span<const std::uint8_t> program,
                                        std::string_view name);

}  // namespace vantrel
