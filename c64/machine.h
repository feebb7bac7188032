// The C64 models an executable can be made for. They differ in the VIC-II's raster timing,
// so each has a displayer of its own; the picture data is the same for all.
#pragma once

#include <array>
#include <optional>
#include <span>
#include <string_view>

namespace vantrel {

enum class Machine { Pal, Ntsc, OldNtsc, Drean, Any };

inline constexpr std::array<Machine, 5> AllMachines = {
    Machine::Pal, Machine::Ntsc, Machine::OldNtsc, Machine::Drean, Machine::Any};

// The window's caption: "PAL", "NTSC", "Old NTSC", "Drean", "Any C64".
std::string_view MachineCaption(Machine machine);

// The command line's name: pal, ntsc, ntsc-old, drean, any.
std::string_view MachineName(Machine machine);

// VICE's x64sc -model names of the emulated C64s that run the machine's executable: c64 and
// c64c for PAL, ntsc, oldntsc, drean, and all five for Any.
std::span<const std::string_view> ViceModels(Machine machine);

// The machine of a command-line name; nothing for any other text (case matters).
std::optional<Machine> MachineFromName(std::string_view name);

// Raster lines a frame and cycles a raster line of the VIC-II in a machine; Any has neither.
struct RasterTiming {
  int lines;
  int lineCycles;

  int FrameCycles() const { return lines * lineCycles; }
};
std::optional<RasterTiming> RasterTimingOf(Machine machine);

}  // namespace vantrel
