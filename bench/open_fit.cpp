// What `vantrel-convert big.jpg --scale fit -o x.prg` will do, in a process of its own so
// that the whole run can be timed against djpeg and its peak memory measured: open the
// file, decode only the level the scale needs, draw and read back the top-left window,
// convert with the default settings and write the executable.
//   open_fit <file> <output.prg> [fit|PERCENT]
//     ->  "<peak bytes> <full-size bitmap bytes> <ratio>"
#include <sys/resource.h>

#include <cstdio>
#include <exception>
#include <memory>
#include <optional>

#include "c64/memory_image.h"
#include "c64/output_files.h"
#include "colour/mix_colours.h"
#include "colour/palette.h"
#include "convert/conversion.h"
#include "core/converter_state.h"
#include "picture/channel_offsets.h"
#include "picture/photo.h"
#include "picture/picture_scale.h"
#include "picture/source_window.h"

int main(int argc, char** argv) {
  using namespace vantrel;
  const std::optional<ScaleSetting> scale = ParseScale(argc == 4 ? argv[3] : "fit");
  if ((argc != 3 && argc != 4) || !scale) {
    std::fprintf(stderr, "usage: open_fit <file> <output.prg> [fit|PERCENT]\n");
    return 2;
  }
  double bitmap = 0;
  try {
    Photo photo = Photo::OpenFile(argv[1]);
    bitmap = 4.0 * photo.Width() * photo.Height();
    auto state = std::make_unique<ConverterState>();
    state->PictureLoaded = true;
    state->PreviewBitmap.SetSize(InitialBitmapWidth, InitialBitmapHeight);
    state->ColourRoles = DefaultColourRoles;
    state->MixTable = BuildMixTable(RoleColours(DefaultColourRoles));
    ReadScaledSourceWindow(*state, photo, ResolvePercent(*scale, photo.Width(), photo.Height()), 0,
                           0);
    ApplyChannelOffsets(*state, 0, 0, 0, nullptr);
    ConvertPicture(*state, true, nullptr);
    BuildMemoryImage(state->LayerBits, state->MemoryImage);
    FillScreenColours(state->ColourRoles, state->MemoryImage);
    AssembleExecutable(state->MemoryImage, state->ColourRoles, state->FileBuffer);
    WriteFileReplacing(argv[2], state->FileBuffer.data(), ExecutableFileSize);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "open_fit: %s\n", error.what());
    return 1;
  }
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const double peak = static_cast<double>(usage.ru_maxrss) * 1024.0;
  std::printf("%.0f %.0f %.4f\n", peak, bitmap, peak / bitmap);
  return 0;
}
