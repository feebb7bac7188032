// The conversion's inner loops. The plain C++ set is the reference; each instruction set that
// speeds them up has a set of its own, in a file of its own, giving exactly the reference's
// results. Which set runs is decided once, in one place: ActiveKernels().
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "core/cell_colours.h"
#include "core/progress.h"
#include "core/types.h"

namespace vantrel {

struct LowFlickerSlots;  // convert/low_flicker_dither.h

// MixCode of every pixel.
using MixCodes = std::array<std::uint8_t, PixelCount>;

struct ConversionKernels {
  const char* name;

  // Pass 1: 200 rows of 192 PackedRGB words into the three planes, reporting each row at its
  // start.
  void (*read)(const std::uint32_t* words, ColourPlanes& work, ProgressSink* progress);

  // The nearest mix code of every pixel of `work`, which stays as it is (no dithering).
  // Reports each row at its start.
  void (*classify)(const ColourPlanes& work, const MixSlots& mixTable, MixCodes& codes,
                   ProgressSink* progress);

  // Floyd-Steinberg: walks the pixels in row order, reporting each row at its start. Each
  // pixel's working colour (holding the error earlier pixels passed on) gets its nearest mix
  // code; the error e = (working - mix) / 16 per channel, truncated toward zero, goes as 7e,
  // 3e, 5e and e to the indices i + 1, i + 191, i + 192 and i + 193 of the same plane, each
  // addition clamped to 0..255 on its own. The planes are one run of bytes, so shares wrap at
  // the side edges, and those past the last pixel are dropped. Every share goes to a later
  // pixel, so each pixel's colour is final at its turn.
  void (*diffuse)(ColourPlanes& work, const MixSlots& mixTable, MixCodes& codes,
                  ProgressSink* progress);

  // The four layer bits and the mix colour of every pixel from its code, reporting each row
  // at its start. Code 3 sets the frame-1 bitmap as well as the sprite, unlike codes 8 and 9.
  void (*expand)(const MixCodes& codes, const MixSlots& mixTable, LayerPlanes& layers,
                 ColourPlanes& work, ProgressSink* progress);

  // Pass 4: row y of the planes into words 0..191 of rows[y] as PackedRGB; nothing else of
  // the rows is written.
  void (*draw)(const ColourPlanes& work, std::uint32_t* const* rows);

  // The adjusted planes in CIELAB sixteenths, each pixel exactly as SrgbToLab16 gives it.
  void (*toLab)(const ColourPlanes& adjusted, LabPlanes16& out);

  // The low-flicker dithering over a picture of any size (see LowFlickerDither).
  void (*lowFlicker)(const std::int16_t* L, const std::int16_t* a, const std::int16_t* b, int width,
                     int height, const LowFlickerSlots& slots, std::uint8_t* codes,
                     ProgressSink* progress);

  // Colours per cell: classify, diffuse, expand and the low-flicker dithering as above, each
  // pixel (x, y) with the nine mixes of its own cell (CellOf(x, y); for the low-flicker pass
  // cell (x / 8, y / 8) of a picture (width + 7) / 8 cells wide). The error still goes to the
  // same neighbours, across the cells' borders. With every cell's table the same they give
  // exactly what the passes above give with it.
  void (*classifyCells)(const ColourPlanes& work, const CellMixSlots& tables, MixCodes& codes,
                        ProgressSink* progress);
  void (*diffuseCells)(ColourPlanes& work, const CellMixSlots& tables, MixCodes& codes,
                       ProgressSink* progress);
  void (*expandCells)(const MixCodes& codes, const CellMixSlots& tables, LayerPlanes& layers,
                      ColourPlanes& work, ProgressSink* progress);
  void (*lowFlickerCells)(const std::int16_t* L, const std::int16_t* a, const std::int16_t* b,
                          int width, int height, const LowFlickerSlots* cellSlots,
                          std::uint8_t* codes, ProgressSink* progress);
};

// The reference: plain C++, compiled and tested on every build.
const ConversionKernels& PortableKernels();

// The set the program runs, chosen on the first call and kept for the run: the one the
// environment variable VANTREL_KERNELS names ("portable", "sse4.1", "avx2") if this
// processor runs it, else the fastest.
const ConversionKernels& ActiveKernels();

// That choice among `available` (the reference first, the fastest last) for a wanted name,
// which may be null.
const ConversionKernels& ChooseKernels(const std::vector<const ConversionKernels*>& available,
                                       const char* wanted);

// Every set this processor runs, the reference first: for tests and benchmarks.
std::vector<const ConversionKernels*> AvailableKernels();

}  // namespace vantrel
