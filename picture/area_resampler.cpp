// Area-averaging resampling in linear light, row by row.
#include "picture/area_resampler.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "core/srgb.h"
#include "core/types.h"
#include "picture/picture_scale.h"

namespace vantrel {
namespace {

struct Tables {
  std::array<std::uint16_t, 256> linear;
  std::array<std::uint8_t, 65536> srgb;

  Tables() {
    for (int c = 0; c < 256; ++c) {
      linear[c] = static_cast<std::uint16_t>(std::lround(SrgbDecode(c / 255.0) * 65535.0));
    }
    // Back to sRGB, rounded there: linear values from the one halfway between codes c - 1
    // and c up to the one halfway to c + 1 become c. 256 powers instead of 65536 (the
    // command line builds this table on every run).
    int i = 0;
    for (int c = 0; c < 255; ++c) {
      const double upper = SrgbDecode((c + 0.5) / 255.0) * 65535.0;
      for (; i < 65536 && i < upper; ++i) srgb[i] = static_cast<std::uint8_t>(c);
    }
    for (; i < 65536; ++i) srgb[i] = 255;
  }
};

const Tables& Conversions() {
  static const Tables tables;
  return tables;
}

// The source pixels one output pixel covers along one side and how much of each, in
// hundredths of the output pixel: output X spans [100 X, 100 X + 100) and source pixel i
// spans [i * unit, (i + 1) * unit), unit = percent * reduction.
struct Footprint {
  int first;  // first source pixel
  int count;
  int weightsAt;  // index of its first weight in the shared weight list
};

std::vector<Footprint> Footprints(int from, int to, int unit, int levelLength,
                                  std::vector<int>& weights) {
  std::vector<Footprint> footprints;
  footprints.reserve(static_cast<std::size_t>(to - from));
  for (int X = from; X < to; ++X) {
    const long long start = 100LL * X;
    const long long end = start + 100;
    const int first = static_cast<int>(start / unit);
    const int last = static_cast<int>((end - 1) / unit);
    Footprint footprint{first, 0, static_cast<int>(weights.size())};
    for (int i = first; i <= last; ++i) {
      const long long lo = std::max(start, 1LL * i * unit);
      const long long hi = std::min(end, 1LL * (i + 1) * unit);
      weights.push_back(static_cast<int>(hi - lo));
      ++footprint.count;
    }
    // A level whose sides were rounded down would leave the last pixels short; its edge
    // pixel then takes their weight. Levels of the promised size never need this.
    const int valid = std::max(0, std::min(footprint.count, levelLength - first));
    if (valid < footprint.count) {
      int extra = 0;
      for (int k = valid; k < footprint.count; ++k) extra += weights[footprint.weightsAt + k];
      weights.resize(static_cast<std::size_t>(footprint.weightsAt + valid));
      if (valid == 0) {
        footprint.first = levelLength - 1;
        weights.push_back(extra);
        footprint.count = 1;
      } else {
        weights.back() += extra;
        footprint.count = valid;
      }
    }
    footprints.push_back(footprint);
  }
  return footprints;
}

}  // namespace

std::uint16_t LinearFromSrgb(std::uint8_t value) { return Conversions().linear[value]; }
std::uint8_t SrgbFromLinear(std::uint16_t value) { return Conversions().srgb[value]; }

Bitmap32 ReduceInLinearLight(const Bitmap32& picture, int reduction) {
  const Tables& tables = Conversions();
  const int width = picture.Width();
  const int height = picture.Height();
  const int outWidth = (width + reduction - 1) / reduction;
  const int outHeight = (height + reduction - 1) / reduction;
  Bitmap32 reduced(outWidth, outHeight);
  std::vector<std::uint32_t> sums(static_cast<std::size_t>(outWidth) * 3);
  for (int Y = 0; Y < outHeight; ++Y) {
    std::fill(sums.begin(), sums.end(), 0u);
    const int rowEnd = std::min(height, (Y + 1) * reduction);
    for (int y = Y * reduction; y < rowEnd; ++y) {
      const std::uint32_t* row = picture.ScanLine(y);
      for (int x = 0; x < width; ++x) {
        const std::uint32_t word = row[x];
        std::uint32_t* sum = &sums[static_cast<std::size_t>(x / reduction) * 3];
        sum[0] += tables.linear[(word >> 16) & 0xFF];
        sum[1] += tables.linear[(word >> 8) & 0xFF];
        sum[2] += tables.linear[word & 0xFF];
      }
    }
    std::uint32_t* out = reduced.ScanLine(Y);
    const std::uint32_t rows = static_cast<std::uint32_t>(rowEnd - Y * reduction);
    for (int X = 0; X < outWidth; ++X) {
      const std::uint32_t columns =
          static_cast<std::uint32_t>(std::min(width, (X + 1) * reduction) - X * reduction);
      const std::uint32_t count = rows * columns;
      const std::uint32_t* sum = &sums[static_cast<std::size_t>(X) * 3];
      auto mean = [&](int c) -> std::uint32_t { return tables.srgb[(sum[c] + count / 2) / count]; };
      out[X] = mean(0) << 16 | mean(1) << 8 | mean(2);
    }
  }
  return reduced;
}

void DrawScaledPicture(const Bitmap32& level, int reduction, int width, int height, int percent,
                       int x, int y, ViewSurface& surface) {
  const int scaledWidth = ScaledLength(width, percent);
  const int scaledHeight = ScaledLength(height, percent);
  // The part of the scaled picture that lands on the surface, in scaled-picture pixels.
  const int left = std::max(0, -x);
  const int right = static_cast<int>(std::min<long long>(scaledWidth, 0LL + WindowWidth - x));
  const int top = std::max(0, -y);
  const int bottom = static_cast<int>(std::min<long long>(scaledHeight, 0LL + WindowHeight - y));
  if (left >= right || top >= bottom || level.Width() <= 0 || level.Height() <= 0) return;

  const Tables& tables = Conversions();
  const int unit = percent * reduction;
  std::vector<int> weights;
  const std::vector<Footprint> columns = Footprints(left, right, unit, level.Width(), weights);
  const std::vector<Footprint> rows = Footprints(top, bottom, unit, level.Height(), weights);
  const int columnCount = right - left;

  // Each level row's weighted sums of linear light per output column (three channels)
  // are made once: output rows go down the level in order and share at most their edge
  // row, which is kept from one output row to the next. The row's pixels are turned into
  // linear light before the taps read them.
  const int firstColumn = columns.front().first;
  const int lastColumn = columns.back().first + columns.back().count;  // exclusive
  std::vector<std::uint32_t> linear(static_cast<std::size_t>(lastColumn - firstColumn) * 3);
  std::vector<std::uint32_t> rowSums(static_cast<std::size_t>(columnCount) * 3);
  int rowSummed = -1;  // the level row rowSums holds
  auto sumRow = [&](int ly) {
    if (ly == rowSummed) return;
    const std::uint32_t* source = level.ScanLine(ly) + firstColumn;
    for (int i = 0; i < lastColumn - firstColumn; ++i) {
      const std::uint32_t word = source[i];
      linear[3 * i] = tables.linear[(word >> 16) & 0xFF];
      linear[3 * i + 1] = tables.linear[(word >> 8) & 0xFF];
      linear[3 * i + 2] = tables.linear[word & 0xFF];
    }
    std::uint32_t* out = rowSums.data();
    for (const Footprint& column : columns) {
      std::uint32_t r = 0, g = 0, b = 0;
      const int* w = &weights[column.weightsAt];
      const std::uint32_t* pixel =
          &linear[static_cast<std::size_t>(column.first - firstColumn) * 3];
      for (int k = 0; k < column.count; ++k, pixel += 3) {
        r += w[k] * pixel[0];
        g += w[k] * pixel[1];
        b += w[k] * pixel[2];
      }
      *out++ = r;
      *out++ = g;
      *out++ = b;
    }
    rowSummed = ly;
  };

  // Vertical pass, then back to sRGB. Weights sum to 100 along each side: divide by 10000.
  std::vector<std::uint32_t> sums(rowSums.size());
  for (int Y = top; Y < bottom; ++Y) {
    const Footprint& row = rows[Y - top];
    std::fill(sums.begin(), sums.end(), 0u);
    const int* w = &weights[row.weightsAt];
    for (int k = 0; k < row.count; ++k) {
      sumRow(row.first + k);
      for (std::size_t i = 0; i < sums.size(); ++i) sums[i] += w[k] * rowSums[i];
    }
    for (int X = left; X < right; ++X) {
      const std::uint32_t* sum = &sums[static_cast<std::size_t>(X - left) * 3];
      auto channel = [&](int c) -> unsigned { return tables.srgb[(sum[c] + 5000) / 10000]; };
      surface.SetPixel(X + x, Y + y, MakeTColor(channel(0), channel(1), channel(2)));
    }
  }
}

}  // namespace vantrel
