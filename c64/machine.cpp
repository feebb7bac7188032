// The table of machines: captions, names, VICE models and raster timings.
#include "c64/machine.h"

namespace vantrel {
namespace {

constexpr std::array<std::string_view, 2> PalModels = {"c64", "c64c"};
constexpr std::array<std::string_view, 1> NtscModels = {"ntsc"};
constexpr std::array<std::string_view, 1> OldNtscModels = {"oldntsc"};
constexpr std::array<std::string_view, 1> DreanModels = {"drean"};
constexpr std::array<std::string_view, 5> AnyModels = {"c64", "c64c", "ntsc", "oldntsc", "drean"};

struct MachineInfo {
  std::string_view caption;
  std::string_view name;
  std::span<const std::string_view> viceModels;
  std::optional<RasterTiming> timing;
};

// In the order of the enum.
constexpr std::array<MachineInfo, AllMachines.size()> Machines = {{
    {"PAL", "pal", PalModels, RasterTiming{312, 63}},                // 6569, 8565
    {"NTSC", "ntsc", NtscModels, RasterTiming{263, 65}},             // 6567R8, 8562
    {"Old NTSC", "ntsc-old", OldNtscModels, RasterTiming{262, 64}},  // 6567R56A
    {"Drean", "drean", DreanModels, RasterTiming{312, 65}},          // 6572 (PAL-N)
    {"Any C64", "any", AnyModels, std::nullopt},
}};

const MachineInfo& InfoOf(Machine machine) { return Machines[static_cast<std::size_t>(machine)]; }

}  // namespace

std::string_view MachineCaption(Machine machine) { return InfoOf(machine).caption; }

std::string_view MachineName(Machine machine) { return InfoOf(machine).name; }

std::span<const std::string_view> ViceModels(Machine machine) { return InfoOf(machine).viceModels; }

std::optional<Machine> MachineFromName(std::string_view name) {
  for (const Machine machine : AllMachines) {
    if (InfoOf(machine).name == name) return machine;
  }
  return std::nullopt;
}

std::optional<RasterTiming> RasterTimingOf(Machine machine) { return InfoOf(machine).timing; }

}  // namespace vantrel
