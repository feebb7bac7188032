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

#include "colour/perceptual.h"
#include "colour/scielab.h"
#include "convert/auto_colours.h"
#include "session/session.h"

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
    Session session;
    session.OpenFile(argv[1], *scale);
    session.ReadSourceWindow(-left, -top);
    session.ApplyChannelOffsets(0, 0, 0);
    const std::uint32_t* window = session.SourceView().Words();
    WritePpm(out + "/photo.ppm", window, WindowWidth);
    for (int d : {0, 1, 2}) {
      const auto dithering = static_cast<Dithering>(d);
      const auto choices = SearchColourRoleGoals(window, dithering);
      for (int goal = 0; goal < GoalCount; ++goal) {
        const ColourRoleSet& roles = choices[goal].roles;
        session.SetColourRoles(roles);
        session.ConvertPicture(dithering);
        const Bitmap32& preview = session.Preview();
        const std::string name = std::string(ColourGoalNames[goal]) + "-" +
                                 std::string(DitheringNames[d]);
        WritePpm(out + "/" + name + ".ppm", preview.Words(), preview.Width());
        const auto measure = [&](double pixelsPerDegree) {
          return ScielabDifference(window, WindowWidth, preview.Words(), preview.Width(),
                                   WindowWidth, WindowHeight, pixelsPerDegree);
        };
        std::printf("%s %s %d,%d,%d,%d,%d %.2f %.2f %.1f\n", std::string(ColourGoalNames[goal]).c_str(),
                    std::string(DitheringNames[d]).c_str(), roles[0], roles[1], roles[2], roles[3],
                    roles[4], measure(NearPixelsPerDegree), measure(FarPixelsPerDegree),
                    InterlaceFlicker(session.Layers(), roles));
      }
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "vantrel-sheet-cells: %s\n", error.what());
    return 1;
  }
  return 0;
}
