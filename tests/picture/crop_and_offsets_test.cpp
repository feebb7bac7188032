// Tests of the crop and the channel offsets.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "picture/channel_offsets.h"
#include "picture/source_window.h"

namespace vantrel {
namespace {

class RecordingProgress : public ProgressSink {
 public:
  void SetProgress(int row) override { rows.push_back(row); }
  std::vector<int> rows;
};

// A picture whose every pixel tells where it came from.
Bitmap32 CoordinatePicture(int width, int height) {
  Bitmap32 picture(width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x)
      picture.ScanLine(y)[x] =
          0xFF000000u | MakePackedRGB(x & 0xFF, y & 0xFF, (x >> 8) * 16 + (y >> 8));
  }
  return picture;
}

TEST(ReadSourceWindow, CropIsThePictureShiftedByTheOffsets) {
  auto state = std::make_unique<ConverterState>();
  state->PictureBitmap = CoordinatePicture(640, 480);
  struct Case {
    int p1, p2;
  } cases[] = {{0, 0}, {-448, -280}, {-1, 0}, {0, -279}, {-300, -17}};
  for (const auto& c : cases) {
    ReadSourceWindow(*state, c.p1, c.p2);
    for (int y : {0, 1, 198, 199}) {
      for (int x : {0, 100, 191}) {
        const PackedRGB expected = state->PictureBitmap.ScanLine(y - c.p2)[x - c.p1] & 0xFFFFFFu;
        ASSERT_EQ(state->SourceWindow[y * 192 + x], expected)
            << c.p1 << "," << c.p2 << " at " << x << "," << y;
      }
    }
  }
}

TEST(ReadSourceWindow, PixelsThePictureDoesNotCoverKeepTheirValue) {
  auto state = std::make_unique<ConverterState>();
  for (int y = 0; y < 200; ++y) {
    for (int x = 0; x < 192; ++x) state->Image1.SetPixel(x, y, MakeTColor(1, 2, 3));
  }
  state->PictureBitmap = CoordinatePicture(150, 120);
  ReadSourceWindow(*state, 0, 0);
  EXPECT_EQ(state->SourceWindow[0], state->PictureBitmap.ScanLine(0)[0] & 0xFFFFFFu);
  EXPECT_EQ(state->SourceWindow[119 * 192 + 149],
            state->PictureBitmap.ScanLine(119)[149] & 0xFFFFFFu);
  EXPECT_EQ(state->SourceWindow[119 * 192 + 150], MakePackedRGB(1, 2, 3));
  EXPECT_EQ(state->SourceWindow[120 * 192 + 0], MakePackedRGB(1, 2, 3));
  // Offsets far outside the picture draw nothing and never overflow.
  ReadSourceWindow(*state, -2000000000, 2000000000);
  EXPECT_EQ(state->SourceWindow[0], state->PictureBitmap.ScanLine(0)[0] & 0xFFFFFFu);
}

class ChannelOffsetsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    state->PictureLoaded = true;
    for (int i = 0; i < PixelCount; ++i)
      state->SourceWindow[i] = MakePackedRGB(i % 256, (i / 7) % 256, 250);
    state->SourceWindow[0] = MakePackedRGB(250, 5, 128);
  }
  void ExpectAdjusted(int red, int green, int blue) {
    for (int i = 0; i < PixelCount; i += 13) {
      const PackedRGB w = state->SourceWindow[i];
      const int r = std::clamp(static_cast<int>((w >> 16) & 0xFF) + red, 0, 255);
      const int g = std::clamp(static_cast<int>((w >> 8) & 0xFF) + green, 0, 255);
      const int b = std::clamp(static_cast<int>(w & 0xFF) + blue, 0, 255);
      ASSERT_EQ(state->WorkPlanes.red[i], r);
      ASSERT_EQ(state->WorkPlanes.green[i], g);
      ASSERT_EQ(state->WorkPlanes.blue[i], b);
      ASSERT_EQ(state->Image1.Pixel(i % 192, i / 192), MakeTColor(r, g, b));
    }
  }
  std::unique_ptr<ConverterState> state = std::make_unique<ConverterState>();
};

TEST_F(ChannelOffsetsTest, AddsClampsAndNeverAccumulates) {
  struct Case {
    int red, green, blue;
  } cases[] = {{0, 0, 0}, {255, 0, -255}, {-255, 255, 0}, {10, -10, 3}, {50, 0, 0}, {20, 0, 0}};
  for (const auto& c : cases) {
    ApplyChannelOffsets(*state, c.red, c.green, c.blue, nullptr);
    ExpectAdjusted(c.red, c.green, c.blue);
  }
  ApplyChannelOffsets(*state, 10, 0, 0, nullptr);
  EXPECT_EQ(state->WorkPlanes.red[0], 255);
  ApplyChannelOffsets(*state, -10, 0, 0, nullptr);
  EXPECT_EQ(state->WorkPlanes.red[0], 240);
}

TEST_F(ChannelOffsetsTest, SweepsTheProgressOnceAndEndsAtZero) {
  RecordingProgress progress;
  ApplyChannelOffsets(*state, 1, 2, 3, &progress);
  ASSERT_EQ(progress.rows.size(), 201u);
  for (int y = 0; y < 200; ++y) EXPECT_EQ(progress.rows[y], y);
  EXPECT_EQ(progress.rows.back(), 0);
}

TEST_F(ChannelOffsetsTest, DoesNothingWithoutAPicture) {
  state->PictureLoaded = false;
  RecordingProgress progress;
  ApplyChannelOffsets(*state, 100, 100, 100, &progress);
  EXPECT_TRUE(progress.rows.empty());
  EXPECT_EQ(state->WorkPlanes.red[5], 0);
  EXPECT_EQ(state->Image1.Pixel(5, 0), 0u);
}

}  // namespace
}  // namespace vantrel
