// The reference kernels: plain C++ that follows the rules step by step.
#include <algorithm>
#include <array>
#include <cstdlib>
#include <vector>

#include "colour/perceptual.h"
#include "convert/diffusion_rows.h"
#include "convert/kernels.h"
#include "convert/lab16.h"
#include "convert/low_flicker_dither.h"
#include "convert/nearest_mix.h"

namespace vantrel {
namespace {

using namespace diffusion;

void Read(const std::uint32_t* words, ColourPlanes& work, ProgressSink* progress) {
  for (int y = 0; y < WindowHeight; ++y) {
    ReportProgress(progress, y);
    for (int i = y * WindowWidth; i < (y + 1) * WindowWidth; ++i) {
      work.red[i] = static_cast<std::uint8_t>(words[i] >> 16);
      work.green[i] = static_cast<std::uint8_t>(words[i] >> 8);
      work.blue[i] = static_cast<std::uint8_t>(words[i]);
    }
  }
}

// The mix tables a row of pixels is classified with: one for the whole picture, or each
// cell's own. `At(x)` is the table of pixel x of the row last started.
struct OneTable {
  explicit OneTable(const MixSlots& table) : mix(table), codes(MakeCodeTables(table)) {}
  void StartRow(int) {}
  const MixChannels& At(int) const { return mix; }
  const CodeTables& Codes(int) const { return codes; }
  MixChannels mix;
  CodeTables codes;
};

struct TablePerCell {
  explicit TablePerCell(const CellMixSlots& tables) : tables(tables) {}
  void StartRow(int y) {
    if (y % CellSize != 0) return;
    for (int column = 0; column < CellColumns; ++column) {
      const MixSlots& table = tables[CellOf(column * CellSize, y)];
      mix[column] = MixChannels(table);
      codes[column] = MakeCodeTables(table);
    }
  }
  const MixChannels& At(int x) const { return mix[x / CellSize]; }
  const CodeTables& Codes(int x) const { return codes[x / CellSize]; }
  const CellMixSlots& tables;
  std::array<MixChannels, CellColumns> mix{};
  std::array<CodeTables, CellColumns> codes{};
};

template <typename Tables>
void ClassifyWith(const ColourPlanes& work, Tables& tables, MixCodes& codes,
                  ProgressSink* progress) {
  for (int y = 0; y < WindowHeight; ++y) {
    ReportProgress(progress, y);
    tables.StartRow(y);
    for (int x = 0, i = y * WindowWidth; x < WindowWidth; ++x, ++i) {
      codes[i] = static_cast<std::uint8_t>(
          NearestMixCode(tables.At(x), work.red[i], work.green[i], work.blue[i]));
    }
  }
}

template <typename Tables>
void DiffuseWith(ColourPlanes& work, Tables& tables, MixCodes& codes, ProgressSink* progress) {
  std::uint8_t* const red = work.red.data();
  std::uint8_t* const green = work.green.data();
  std::uint8_t* const blue = work.blue.data();
  RowErrors e;
  for (int y = 0; y < WindowHeight; ++y) {
    ReportProgress(progress, y);
    tables.StartRow(y);
    const int row = y * WindowWidth;
    // The working colour travels in registers: the right share is the last one a pixel
    // receives before its own turn.
    int r = red[row], g = green[row], b = blue[row];
    for (int x = 0; x < WindowWidth; ++x) {
      const int i = row + x;
      const MixChannels& mix = tables.At(x);
      const int code = NearestMixCode(mix, r, g, b);
      codes[i] = static_cast<std::uint8_t>(code);
      const int er = Error(r, mix.red[code - 1]);
      const int eg = Error(g, mix.green[code - 1]);
      const int eb = Error(b, mix.blue[code - 1]);
      e.red[x + 1] = static_cast<std::int8_t>(er);
      e.green[x + 1] = static_cast<std::int8_t>(eg);
      e.blue[x + 1] = static_cast<std::int8_t>(eb);
      if (x == 0) AddWrappedShare(work, e, row);
      if (x + 1 < WindowWidth) {
        r = Clamp255(red[i + 1] + 7 * er);
        g = Clamp255(green[i + 1] + 7 * eg);
        b = Clamp255(blue[i + 1] + 7 * eb);
        red[i + 1] = static_cast<std::uint8_t>(r);
        green[i + 1] = static_cast<std::uint8_t>(g);
        blue[i + 1] = static_cast<std::uint8_t>(b);
      }
    }
    if (!FinishRow<AddBelowShares>(work, e, y)) break;
  }
}

template <typename Tables>
void ExpandWith(const MixCodes& codes, Tables& tables, LayerPlanes& layers, ColourPlanes& work,
                ProgressSink* progress) {
  for (int y = 0; y < WindowHeight; ++y) {
    ReportProgress(progress, y);
    tables.StartRow(y);
    for (int x = 0, i = y * WindowWidth; x < WindowWidth; ++x, ++i) {
      const CodeTables& t = tables.Codes(x);
      const int code = codes[i];
      layers.Bitmap1Bits[i] = t.bitmap1[code];
      layers.Sprite1Bits[i] = t.sprite1[code];
      layers.Bitmap2Bits[i] = t.bitmap2[code];
      layers.Sprite2Bits[i] = t.sprite2[code];
      work.red[i] = t.red[code];
      work.green[i] = t.green[code];
      work.blue[i] = t.blue[code];
    }
  }
}

void Classify(const ColourPlanes& work, const MixSlots& mixTable, MixCodes& codes,
              ProgressSink* progress) {
  OneTable tables(mixTable);
  ClassifyWith(work, tables, codes, progress);
}

void Diffuse(ColourPlanes& work, const MixSlots& mixTable, MixCodes& codes,
             ProgressSink* progress) {
  OneTable tables(mixTable);
  DiffuseWith(work, tables, codes, progress);
}

void Expand(const MixCodes& codes, const MixSlots& mixTable, LayerPlanes& layers,
            ColourPlanes& work, ProgressSink* progress) {
  OneTable tables(mixTable);
  ExpandWith(codes, tables, layers, work, progress);
}

void ClassifyCells(const ColourPlanes& work, const CellMixSlots& cellTables, MixCodes& codes,
                   ProgressSink* progress) {
  TablePerCell tables(cellTables);
  ClassifyWith(work, tables, codes, progress);
}

void DiffuseCells(ColourPlanes& work, const CellMixSlots& cellTables, MixCodes& codes,
                  ProgressSink* progress) {
  TablePerCell tables(cellTables);
  DiffuseWith(work, tables, codes, progress);
}

void ExpandCells(const MixCodes& codes, const CellMixSlots& cellTables, LayerPlanes& layers,
                 ColourPlanes& work, ProgressSink* progress) {
  TablePerCell tables(cellTables);
  ExpandWith(codes, tables, layers, work, progress);
}

void Draw(const ColourPlanes& work, std::uint32_t* const* rows) {
  for (int y = 0; y < WindowHeight; ++y) {
    for (int x = 0, i = y * WindowWidth; x < WindowWidth; ++x, ++i) {
      rows[y][x] = MakePackedRGB(work.red[i], work.green[i], work.blue[i]);
    }
  }
}

void ToLab(const ColourPlanes& adjusted, LabPlanes16& out) {
  const std::array<float, 256>& linear = LinearTable();
  for (int i = 0; i < PixelCount; ++i) {
    const auto lab =
        lab16::Lab16(linear[adjusted.red[i]], linear[adjusted.green[i]], linear[adjusted.blue[i]]);
    out.L[i] = static_cast<std::int16_t>(lab[0]);
    out.a[i] = static_cast<std::int16_t>(lab[1]);
    out.b[i] = static_cast<std::int16_t>(lab[2]);
  }
}

using lab16::Clamp;
using lab16::ErrorPassed;

// Errors received by one row, per channel, at index x + 1: the pads at 0 and width + 1 catch
// the shares that fall beside the picture.
struct LabRowErrors {
  explicit LabRowErrors(int width) : L(width + 2), a(width + 2), b(width + 2) {}
  void Clear() {
    std::fill(L.begin(), L.end(), 0);
    std::fill(a.begin(), a.end(), 0);
    std::fill(b.begin(), b.end(), 0);
  }
  std::vector<int> L, a, b;
};

// `slotsAt(x, y)`: the slots of pixel (x, y).
template <typename SlotsAt>
void DitherLowFlickerWith(const std::int16_t* L, const std::int16_t* a, const std::int16_t* b,
                          int width, int height, SlotsAt slotsAt, std::uint8_t* codes,
                          ProgressSink* progress) {
  LabRowErrors current(width), next(width);
  // Each pixel's lightness error (its slot's L minus its input L), for this row and the one
  // above: the neighbours the contrast term compares with.
  std::vector<int> above(width, 0), here(width, 0);
  for (int y = 0; y < height; ++y) {
    ReportProgress(progress, y);
    int carryL = 0, carryA = 0, carryB = 0;  // the right share
    for (int x = 0; x < width; ++x) {
      const int i = y * width + x;
      const int wL = L[i] + Clamp(current.L[x + 1] + carryL, ErrorBound);
      const int wa = a[i] + Clamp(current.a[x + 1] + carryA, ErrorBound);
      const int wb = b[i] + Clamp(current.b[x + 1] + carryB, ErrorBound);
      const LowFlickerSlots& slots = slotsAt(x, y);
      const int neighbours = 2 * L[i] + (x > 0 ? here[x - 1] : 0) + (y > 0 ? above[x] : 0);
      unsigned best = ~0u;
      for (int k = 0; k < 9; ++k) {
        const int dL = wL - slots.lab[k][0], da = wa - slots.lab[k][1], db = wb - slots.lab[k][2];
        const int contrast = 2 * slots.lab[k][0] - neighbours;
        const unsigned cost = static_cast<unsigned>(dL * dL + da * da + db * db + slots.penalty[k] +
                                                    ((contrast * contrast) >> ContrastShift));
        best = std::min(best, cost << 4 | static_cast<unsigned>(k + 1));
      }
      const int code = static_cast<int>(best & 15);
      codes[i] = static_cast<std::uint8_t>(code);
      const auto& m = slots.lab[code - 1];
      here[x] = m[0] - L[i];
      const int e[3] = {ErrorPassed(wL - m[0]), ErrorPassed(wa - m[1]), ErrorPassed(wb - m[2])};
      int* below[3] = {next.L.data(), next.a.data(), next.b.data()};
      int* carry[3] = {&carryL, &carryA, &carryB};
      for (int c = 0; c < 3; ++c) {
        const int right = (7 * e[c] + 8) >> 4, behind = (3 * e[c] + 8) >> 4,
                  under = (5 * e[c] + 8) >> 4;
        *carry[c] = right;
        below[c][x] += behind;
        below[c][x + 1] += under;
        below[c][x + 2] += e[c] - right - behind - under;
      }
    }
    std::swap(current, next);
    next.Clear();
    std::swap(above, here);
  }
}

void DitherLowFlicker(const std::int16_t* L, const std::int16_t* a, const std::int16_t* b,
                      int width, int height, const LowFlickerSlots& slots, std::uint8_t* codes,
                      ProgressSink* progress) {
  DitherLowFlickerWith(
      L, a, b, width, height, [&slots](int, int) -> const LowFlickerSlots& { return slots; }, codes,
      progress);
}

void DitherLowFlickerCells(const std::int16_t* L, const std::int16_t* a, const std::int16_t* b,
                           int width, int height, const LowFlickerSlots* cellSlots,
                           std::uint8_t* codes, ProgressSink* progress) {
  const int columns = (width + CellSize - 1) / CellSize;
  DitherLowFlickerWith(
      L, a, b, width, height,
      [cellSlots, columns](int x, int y) -> const LowFlickerSlots& {
        return cellSlots[(y / CellSize) * columns + x / CellSize];
      },
      codes, progress);
}

}  // namespace

const ConversionKernels& PortableKernels() {
  static constexpr ConversionKernels kernels{
      "portable",    Read,         Classify,    Diffuse,
      Expand,        Draw,         ToLab,       DitherLowFlicker,
      ClassifyCells, DiffuseCells, ExpandCells, DitherLowFlickerCells};
  return kernels;
}

}  // namespace vantrel
