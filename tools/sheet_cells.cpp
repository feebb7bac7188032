// The cells of a contact sheet (tools/contact_sheet.py): for one window of a photo, Auto
// Colors for every goal and dithering, each conversion's preview and how it measures.
//
//   vantrel-sheet-cells PHOTO X,Y SCALE OUTDIR
//
// writes OUTDIR/photo.ppm (the window), OUTDIR/<goal>-<dithering>.ppm (the previews) and prints
// one line per cell: goal, dithering, the five roles, S-CIELAB at 12 and 24 pixels per degree,
// flicker.
#include <cstdio>
#include <exception>
#include <string>

#include "colour/mix_colours.h"
#include "colour/perceptual.h"
#include "colour/scielab.h"
#include "convert/auto_colours.h"
#include "convert/conversion.h"
#include "convert/data_path.h"
#include "picture/channel_offsets.h"
#include "picture/picture_scale.h"
#include "picture/source_window.h"

namespace {

using namespace vantrel;

void WritePpm(const std::string& path, const PackedRGB* words, int stride) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) throw std::runtime_error("cannot write " + path);
  std::fprintf(file, "P6 %d %d 255\n", WindowWidth, WindowHeight);
  for (int y = 0; y < WindowHeight; ++y) {
    for (int x = 0; x < WindowWidth; ++x) {
      const PackedRGB c = words[y * stride + x];
      const unsigned char rgb[3] = {static_cast<unsigned char>(c >> 16),
                                    static_cast<unsigned char>(c >> 8),
                                    static_cast<unsigned char>(c)};
      std::fwrite(rgb, 1, 3, file);
    }
  }
  std::fclose(file);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: vantrel-sheet-cells PHOTO X,Y SCALE OUTDIR\n");
    return 2;
  }
  try {
    int left = 0, top = 0;
    if (std::sscanf(argv[2], "%d,%d", &left, &top) != 2) throw std::runtime_error("bad crop");
    const auto scale = ParseScale(argv[3]);
    if (!scale) throw std::runtime_error("bad scale");
    const std::string out = argv[4];
    auto state = NewConverterState();
    LoadPicture(*state, argv[1], *scale);
    ReadSourceWindow(*state, -left, -top);
    ApplyChannelOffsets(*state, 0, 0, 0, nullptr);
    WritePpm(out + "/photo.ppm", state->Image1.Words(), WindowWidth);
    for (int d : {0, 1, 2}) {
      const auto dithering = static_cast<Dithering>(d);
      const auto choices = SearchColourRoleGoals(state->Image1.Words(), dithering);
      for (int goal = 0; goal < GoalCount; ++goal) {
        const ColourRoleSet& roles = choices[goal].roles;
        state->ColourRoles = roles;
        state->MixTable = BuildMixTable(RoleColours(roles));
        ConvertPicture(*state, dithering, nullptr);
        const std::string name = std::string(ColourGoalNames[goal]) + "-" +
                                 std::string(DitheringNames[d]);
        WritePpm(out + "/" + name + ".ppm", state->PreviewBitmap.Words(),
                 state->PreviewBitmap.Width());
        const auto measure = [&](double pixelsPerDegree) {
          return ScielabDifference(state->Image1.Words(), WindowWidth,
                                   state->PreviewBitmap.Words(), state->PreviewBitmap.Width(),
                                   WindowWidth, WindowHeight, pixelsPerDegree);
        };
        std::printf("%s %s %d,%d,%d,%d,%d %.2f %.2f %.1f\n", std::string(ColourGoalNames[goal]).c_str(),
                    std::string(DitheringNames[d]).c_str(), roles[0], roles[1], roles[2], roles[3],
                    roles[4], measure(NearPixelsPerDegree), measure(FarPixelsPerDegree),
                    InterlaceFlicker(state->LayerBits, roles));
      }
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "vantrel-sheet-cells: %s\n", error.what());
    return 1;
  }
  return 0;
}
