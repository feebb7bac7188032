// Screenshot pixels compared with the colours each frame must show.
#include "frame_check.h"

#include <sstream>
#include <stdexcept>

#include "colour/palette.h"
#include "session/session.h"

namespace vantrel::emulator {
namespace {

constexpr int PictureLeft = 64;  // screen x of picture column 0 (character column 8)

// The colour the C64 should show at screenshot pixel (sx, sy) in frame 1 or 2.
int ExpectedColour(const LayerPlanes& bits, const ColourRoleSet& roles, const CellColours* cells,
                   int frame, int x, int y) {
  if (x < 0 || x >= WindowWidth || y < 0 || y >= WindowHeight) return 0;
  const int pixel = y * WindowWidth + x;
  const bool first = frame == 1;
  if ((first ? bits.Sprite1Bits : bits.Sprite2Bits)[pixel] == 1) {
    return first ? roles.Sprite1Colour : roles.Sprite2Colour;
  }
  const CellColourSet own = cells ? (*cells)[(y / 8) * 24 + x / 8] : CellColoursOfRoles(roles);
  if ((first ? bits.Bitmap1Bits : bits.Bitmap2Bits)[pixel] == 1) {
    return first ? own.Bitmap1Colour : own.Bitmap2Colour;
  }
  return first ? own.Background1Colour : own.Background2Colour;
}

}  // namespace

std::vector<long long> ThreeFrameLimits(const ViceModel& model, long long settled) {
  std::vector<long long> limits;
  for (long long frame = settled; frame < settled + 3; ++frame) {
    limits.push_back(frame * model.FrameCycles() + model.LowerBorderCycles());
  }
  return limits;
}

std::string Comparison::Describe() const {
  std::ostringstream text;
  text << mismatches << " wrong pixels";
  int shown = 0;
  for (const auto& [row, count] : byRow) {
    if (++shown > 12) {
      text << " ...";
      break;
    }
    const int line = row - pictureTop;
    text << (shown == 1 ? ": " : ", ");
    if (line >= 0 && line < WindowHeight) {
      text << "picture line " << line;
    } else {
      text << "border row " << row;
    }
    text << " (" << count << ")";
  }
  return text.str();
}

Comparison Compare(const Screenshot& shot, const ViceModel& model, const LayerPlanes& bits,
                   const ColourRoleSet& roles, int frame, const CellColours* cells) {
  if (shot.width != ShotWidth || shot.height != model.shotHeight) {
    throw std::runtime_error("a " + std::string(model.name) + " screenshot is " +
                             std::to_string(ShotWidth) + " x " + std::to_string(model.shotHeight) +
                             ", not " + std::to_string(shot.width) + " x " +
                             std::to_string(shot.height));
  }
  Comparison result;
  result.pictureTop = model.pictureTop;
  for (int sy = 0; sy < shot.height; ++sy) {
    for (int sx = 0; sx < shot.width; ++sx) {
      const int expected = ExpectedColour(bits, roles, cells, frame,
                                          sx - ShotScreenLeft - PictureLeft, sy - model.pictureTop);
      if (shot.At(sx, sy) != expected) {
        ++result.mismatches;
        ++result.byRow[sy];
      }
    }
  }
  return result;
}

FrameCheck CheckThreeFrames(const std::vector<std::string>& shots, const ViceModel& model,
                            const LayerPlanes& bits, const ColourRoleSet& roles,
                            const CellColours* cells) {
  if (shots.size() != 3) throw std::invalid_argument("three screenshots expected");
  const Screenshot a = ReadScreenshot(shots[0]);
  const Screenshot b = ReadScreenshot(shots[1]);
  const Screenshot c = ReadScreenshot(shots[2]);
  const Comparison a1 = Compare(a, model, bits, roles, 1, cells);
  const Comparison a2 = Compare(a, model, bits, roles, 2, cells);
  const Comparison b1 = Compare(b, model, bits, roles, 1, cells);
  const Comparison b2 = Compare(b, model, bits, roles, 2, cells);
  const bool aShowsFirst = a1.mismatches + b2.mismatches <= a2.mismatches + b1.mismatches;
  return {aShowsFirst ? a1 : b1, aShowsFirst ? b2 : a2,
          Compare(c, model, bits, roles, aShowsFirst ? 1 : 2, cells)};
}

// Every line and column (0 and 191, lines 104/105, 188/189, each sprite row's first and last
// line) carries set and clear pixels of every plane.
LayerPlanes SyntheticLayers() {
  LayerPlanes bits;
  Plane* planes[] = {&bits.Bitmap1Bits, &bits.Sprite1Bits, &bits.Bitmap2Bits, &bits.Sprite2Bits};
  for (std::uint32_t plane = 0; plane < 4; ++plane) {
    for (std::uint32_t y = 0; y < WindowHeight; ++y) {
      for (std::uint32_t x = 0; x < WindowWidth; ++x) {
        std::uint32_t h = x * 0x9E3779B1u ^ y * 0x85EBCA77u ^ (plane + 1) * 0xC2B2AE3Du;
        h ^= h >> 15;
        h *= 0x2C1B3C6Du;
        h ^= h >> 12;
        // Sprites cover a third of the pixels, bitmaps half, so all three colours show.
        const bool set = plane % 2 == 1 ? h % 3 == 0 : h % 2 == 0;
        (*planes[plane])[y * WindowWidth + x] = set ? 1 : 0;
      }
    }
  }
  return bits;
}

CellColours SyntheticCellColours() {
  CellColours cells;
  for (std::uint32_t cell = 0; cell < cells.size(); ++cell) {
    std::uint32_t h = (cell + 1) * 0x9E3779B1u;
    h ^= h >> 13;
    h *= 0x85EBCA77u;
    h ^= h >> 16;
    const auto colour = [&](int shift) { return static_cast<std::uint8_t>((h >> shift) & 15); };
    cells[cell] = {colour(0), colour(4), colour(8), colour(12)};
    // Bitmap and background apart in each frame, so every bit shows.
    if (cells[cell].Bitmap1Colour == cells[cell].Background1Colour) cells[cell].Bitmap1Colour ^= 8;
    if (cells[cell].Bitmap2Colour == cells[cell].Background2Colour) cells[cell].Bitmap2Colour ^= 8;
  }
  return cells;
}

LayerPlanes SamplePhotoLayers() {
  Session session;
  session.ConvertFile(std::string(VANTREL_TEST_DATA) + "/astronaut.jpg", {});
  return session.Layers();
}

}  // namespace vantrel::emulator
