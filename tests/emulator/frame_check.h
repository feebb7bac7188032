// What a displayer must show: the colour of every screenshot pixel in frame 1 and frame 2,
// and the comparison of three consecutive screenshots with the two frames.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "core/cell_colours.h"
#include "core/types.h"
#include "screenshot.h"
#include "vice_machine.h"

namespace vantrel::emulator {

// The displayer shows its first frames between frame 25 and 35 after power-on (seen in x64sc),
// most of that time spent moving the banks; 50 leaves room and keeps the runs short.
inline constexpr long long SettledFrames = 50;
// A packed executable unpacks itself first: in about 2 s (100 to 120 frames), 3 s at most.
inline constexpr long long PackedSettledFrames = SettledFrames + 200;

// Cycle limits of three consecutive whole frames on `model`, once the displayer has settled.
std::vector<long long> ThreeFrameLimits(const ViceModel& model, long long settled = SettledFrames);

struct Comparison {
  int mismatches = 0;
  std::map<int, int> byRow;  // screenshot row -> wrong pixels in it
  int pictureTop = 0;        // screenshot row of picture line 0

  std::string Describe() const;
};

// Every pixel of `shot` against what `frame` (1 or 2) must show: the picture in columns 64..255
// of the screen, black everywhere else. With `cells`, each cell's own background and bitmap
// colours (the roles' sprite colours).
Comparison Compare(const Screenshot& shot, const ViceModel& model, const LayerPlanes& bits,
                   const ColourRoleSet& roles, int frame, const CellColours* cells = nullptr);

// Three screenshots of consecutive frames: the first two must be frame 1 and frame 2 in some
// order (which one comes first depends on when the displayer started), the third the same as
// the first.
struct FrameCheck {
  Comparison first;   // the screenshot that shows frame 1
  Comparison second;  // frame 2
  Comparison again;   // the third, against the frame the first one showed

  bool Exact() const {
    return first.mismatches == 0 && second.mismatches == 0 && again.mismatches == 0;
  }
};
FrameCheck CheckThreeFrames(const std::vector<std::string>& shots, const ViceModel& model,
                            const LayerPlanes& bits, const ColourRoleSet& roles,
                            const CellColours* cells = nullptr);

// Pseudo-random bits, independent in each plane: a line, sprite row or column shown from the
// wrong place or at the wrong time differs from the expected picture somewhere on it.
LayerPlanes SyntheticLayers();

// The sample photo converted with every setting at its default, as the window converts it.
LayerPlanes SamplePhotoLayers();

// Every cell colours of its own, pseudo-random, each frame's background and bitmap colour
// apart and the two frames' backgrounds apart in most cells.
CellColours SyntheticCellColours();

}  // namespace vantrel::emulator
