// Scaling a 6000 x 4000 photo that is already open, as the window's scale control and scroll
// bars will: one step of the scale (the centre kept), or one pixel of scrolling at a scale
// other than 100 %, each with the read-back of the window, the channel offsets and the
// conversion. And the first step after opening, which decodes the reduced level once.
#include <benchmark/benchmark.h>

#include <memory>

#include "bench/big_photo.h"
#include "colour/mix_colours.h"
#include "colour/palette.h"
#include "convert/conversion.h"
#include "core/converter_state.h"
#include "picture/channel_offsets.h"
#include "picture/photo.h"
#include "picture/picture_scale.h"
#include "picture/source_window.h"

namespace vantrel {
namespace {

std::unique_ptr<ConverterState> FreshState() {
  auto state = std::make_unique<ConverterState>();
  state->PictureLoaded = true;
  state->PreviewBitmap.SetSize(InitialBitmapWidth, InitialBitmapHeight);
  state->MixTable = BuildMixTable(RoleColours(DefaultColourRoles));
  return state;
}

// What one change of scale or crop runs after the geometry: draw and read back, offsets,
// conversion.
void Redraw(ConverterState& state, Photo& photo, int percent, CropCorner crop) {
  ReadScaledSourceWindow(state, photo, percent, -crop.left, -crop.top);
  ApplyChannelOffsets(state, 0, 0, 0, nullptr);
  ConvertPicture(state, true, nullptr);
}

// Steps back and forth between two neighbouring scales, keeping the centre; the levels
// both need are made before timing starts, as the window keeps them once made.
void BM_ScaleStep(benchmark::State& run) {
  const std::string& file = BenchFile();
  if (file.empty()) return run.SkipWithError("cannot make the 6000 x 4000 JPEG file");
  Photo photo = Photo::OpenFile(file);
  const int low = run.range(0) == 0 ? FitPercent(photo.Width(), photo.Height()) : run.range(0);
  const int high = low + 1;
  auto state = FreshState();
  CropCorner crop = CropKeepingCentre(photo.Width(), photo.Height(), 100,
                                      {photo.Width() / 2 - 96, photo.Height() / 2 - 100}, low);
  Redraw(*state, photo, low, crop);
  Redraw(*state, photo, high, crop);
  int percent = low;
  for (auto _ : run) {
    const int next = percent == low ? high : low;
    crop = CropKeepingCentre(photo.Width(), photo.Height(), percent, crop, next);
    percent = next;
    Redraw(*state, photo, percent, crop);
  }
  run.SetLabel(std::to_string(low) + " % <-> " + std::to_string(high) + " %");
}
BENCHMARK(BM_ScaleStep)->Arg(0)->Arg(37)->Arg(75)->Unit(benchmark::kMillisecond);

// One pixel of scrolling, alternately right and left, at a scale other than 100 %.
void BM_ScrollStep(benchmark::State& run) {
  const std::string& file = BenchFile();
  if (file.empty()) return run.SkipWithError("cannot make the 6000 x 4000 JPEG file");
  Photo photo = Photo::OpenFile(file);
  const int percent = run.range(0) == 0 ? FitPercent(photo.Width(), photo.Height()) : run.range(0);
  auto state = FreshState();
  CropCorner crop{ScaledLength(photo.Width(), percent) / 2, 0};
  Redraw(*state, photo, percent, crop);
  int direction = 1;
  for (auto _ : run) {
    crop.left += direction;
    direction = -direction;
    Redraw(*state, photo, percent, crop);
  }
  run.SetLabel(std::to_string(percent) + " %");
}
BENCHMARK(BM_ScrollStep)->Arg(0)->Arg(37)->Unit(benchmark::kMillisecond);

// The first step to a scale whose level is not made yet: the window has the file open
// (its bytes read, as for any open) and changes to Fit, which decodes the 1/8 level.
void BM_FirstStepToFit(benchmark::State& run) {
  const std::string& file = BenchFile();
  if (file.empty()) return run.SkipWithError("cannot make the 6000 x 4000 JPEG file");
  auto state = FreshState();
  for (auto _ : run) {
    run.PauseTiming();
    auto photo = std::make_unique<Photo>(Photo::OpenFile(file));
    const int fit = FitPercent(photo->Width(), photo->Height());
    const CropCorner crop = CropKeepingCentre(photo->Width(), photo->Height(), 100, {0, 0}, fit);
    run.ResumeTiming();
    Redraw(*state, *photo, fit, crop);
    run.PauseTiming();
    photo.reset();
    run.ResumeTiming();
  }
}
BENCHMARK(BM_FirstStepToFit)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vantrel
