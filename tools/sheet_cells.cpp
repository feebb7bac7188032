// The cells of a contact sheet (tools/contact_sheet.py): for one window of a photo, Auto
// Colors for every goal and dithering, each conversion's preview and how it measures.
//
//   vantrel-sheet-cells PHOTO X,Y SCALE OUTDIR [cells [DITHERING]]
//
// writes OUTDIR/photo.ppm (the window), OUTDIR/<goal>-<dithering>.ppm (the previews) and prints
// one line per cell: goal, dithering, the five roles, S-CIELAB at 12 and 24 pixels per degree,
// flicker, blockiness. With "cells", colours per cell for every goal and dithering besides
// (only DITHERING's, none, fs or low-flicker, where one is named):
// OUTDIR/cells-<goal>-<dithering>.ppm, and lines whose goal is cells-<goal> (the roles then
// give the sprite colours and the roles the cells were found from).
#include <cstdio>
#include <exception>
#include <string>

#include "colour/blockiness.h"
#include "colour/perceptual.h"
#include "colour/scielab.h"
#include "convert/auto_colours.h"
#include "convert/dithering.h"
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
  if (argc < 5 || argc > 7 || (argc >= 6 && std::string(argv[5]) != "cells")) {
    std::fprintf(stderr, "usage: vantrel-sheet-cells PHOTO X,Y SCALE OUTDIR [cells [DITHERING]]\n");
    return 2;
  }
  const bool withCells = argc >= 6;
  int only = -1;  // the one dithering asked for, or every one
  if (argc == 7) {
    for (int d = 0; d < 3; ++d) {
      if (DitheringNames[d] == argv[6]) only = d;
    }
    if (only < 0) {
      std::fprintf(stderr, "vantrel-sheet-cells: no dithering called %s\n", argv[6]);
      return 2;
    }
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
    // One line and one preview for the conversion on show.
    const auto report = [&](const std::string& goal, int d) {
      const Bitmap32& preview = session.Preview();
      const std::string dithering(DitheringNames[d]);
      WritePpm(out + "/" + goal + "-" + dithering + ".ppm", preview.Words(), preview.Width());
      const auto measure = [&](double pixelsPerDegree) {
        return ScielabDifference(window, WindowWidth, preview.Words(), preview.Width(), WindowWidth,
                                 WindowHeight, pixelsPerDegree);
      };
      const ColourRoleSet& roles = session.Roles();
      const double flicker = session.CellTable()
                                 ? InterlaceFlicker(session.Layers(), roles, *session.CellTable())
                                 : InterlaceFlicker(session.Layers(), roles);
      std::printf("%s %s %d,%d,%d,%d,%d %.2f %.2f %.1f %.3f\n", goal.c_str(), dithering.c_str(),
                  roles[0], roles[1], roles[2], roles[3], roles[4], measure(NearPixelsPerDegree),
                  measure(FarPixelsPerDegree), flicker,
                  Blockiness(window, WindowWidth, preview.Words(), preview.Width()));
    };
    for (int d : {0, 1, 2}) {
      if (only >= 0 && d != only) continue;
      const auto dithering = static_cast<Dithering>(d);
      const auto choices = SearchColourRoleGoals(window, dithering);
      for (int goal = 0; goal < GoalCount; ++goal) {
        session.SetColourRoles(choices[goal].roles);
        session.ConvertPicture(dithering);
        report(std::string(ColourGoalNames[goal]), d);
        if (!withCells) continue;
        const auto cells =
            session.FindCellColours(dithering, static_cast<ColourGoal>(goal), choices[goal].roles);
        session.SetCellColours(cells->roles, cells->cells);
        session.ConvertPicture(dithering);
        report("cells-" + std::string(ColourGoalNames[goal]), d);
      }
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "vantrel-sheet-cells: %s\n", error.what());
    return 1;
  }
  return 0;
}
