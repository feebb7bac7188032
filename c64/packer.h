// The LZ packing of executables: a stream that c64/depacker/depacker.asm unpacks on the C64
// front to back, and the same unpacking on the desktop.
//
// The stream interleaves bytes and bits. Bits are read most significant first from a bit byte
// taken from the stream whenever the last one is used up, so the packer puts each bit byte
// where the depacker stands when it needs its first bit. Tokens:
//
//   literal run   gamma(n), then n bytes                       (the first token, without flag)
//   repeat match  gamma(n): n bytes from the last offset       (after a literal run only)
//   new match     gamma(hi + 1), then a byte: bits 7..1 the low seven bits of offset - 1, bit
//                 0 the first bit of gamma(n - 1); the rest of that gamma follows. n >= 2,
//                 hi = (offset - 1) >> 7 (0..254)
//   end           gamma(256) where a new match's gamma(hi + 1) would be
//
// After a literal run a flag bit tells a new match (1) from a repeat match (0); after a match
// it tells a new match (1) from a literal run (0). The last offset starts at 1.
// gamma(v), v >= 1: for each bit of v after its leading one, highest first, a 0 and that bit;
// then a 1.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace vantrel {

// Offsets reach this far back: the 255 values of hi, 128 offsets each.
inline constexpr std::size_t PackMaxOffset = 255 * 128;

// Packs `data` (any length; empty data gives an empty stream) with a near-optimal parse; the
// same bytes always give the same stream. The 6502 depacker counts lengths in 16 bits, which
// anything shorter than 64 KiB keeps to. `lead`, when given, gets the stream's lead as
// UnpackLz tells it.
std::vector<std::uint8_t> PackLz(std::span<const std::uint8_t> data,
                                 std::ptrdiff_t* lead = nullptr);

// Unpacks a stream that must give exactly `size` bytes and end where `stream` ends. Throws
// VantrelError (kPackedDataDamaged) for anything else, reading nothing outside `stream`.
// `lead`, when given, gets how far the unpacking runs ahead of its reading: the most by which
// the bytes written, up to and including any one write, exceed the stream bytes read before
// it. An unpacker that writes from below its stream upwards must start the stream at least that
// far above its first write, or it overwrites stream bytes it has still to read.
std::vector<std::uint8_t> UnpackLz(std::span<const std::uint8_t> stream, std::size_t size,
                                   std::ptrdiff_t* lead = nullptr);

}  // namespace vantrel
