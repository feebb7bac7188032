// The scale control as the user experiences it: a 6000 x 4000 photo open in the real window
// (Qt's offscreen platform), the scale slider stepped between two neighbouring percentages
// (the centre kept), or the crop scrolled by a pixel at a scale other than 100 %, each with
// the read-back of the window, the offsets, the conversion and the repaint of both views.
// And the first step to Fit after opening, which decodes the reduced level once.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QPushButton>
#include <QScrollBar>
#include <memory>

#include "app/Overlay.h"
#include "bench/big_photo.h"
#include "bench/window_benchmark_main.h"
#include "fake_dialogs.h"

namespace {

struct OpenWindow {
  FakeDialogs dialogs;
  std::unique_ptr<TForm1> form;

  explicit OpenWindow(const std::string& file) : form(std::make_unique<TForm1>(dialogs)) {
    dialogs.AnswerOpen(QString::fromStdString(file));
    form->OpenBitmap1->trigger();
    form->show();
    QApplication::processEvents();
  }
  void Repaint() {
    form->Image1->repaint();
    form->Image2->repaint();
    QApplication::processEvents();
  }
};

// Steps back and forth between two neighbouring scales; the levels both need are made
// before timing starts, as the window keeps them once made. 0 stands for Fit.
void BM_ScaleStep(benchmark::State& run) {
  const std::string& file = vantrel::BenchFile();
  if (file.empty()) return run.SkipWithError("cannot make the 6000 x 4000 JPEG file");
  OpenWindow window(file);
  TForm1& form = *window.form;
  if (!window.dialogs.errors.empty()) return run.SkipWithError("the photo did not open");
  const int low = run.range(0) == 0 ? form.TrackBar4->minimum() : static_cast<int>(run.range(0));
  const int high = low + 1;
  form.TrackBar4->setValue(low);
  form.TrackBar4->setValue(high);
  int percent = high;
  for (auto _ : run) {
    percent = percent == low ? high : low;
    form.TrackBar4->setValue(percent);
    window.Repaint();
  }
  if (form.State().ScalePercent != percent) run.SkipWithError("the step did not run");
  run.SetLabel(std::to_string(low) + " % <-> " + std::to_string(high) + " %");
}
BENCHMARK(BM_ScaleStep)->Arg(0)->Arg(37)->Arg(75)->Unit(benchmark::kMillisecond);

// One pixel of scrolling, alternately right and left, at a scale other than 100 %.
void BM_ScrollStep(benchmark::State& run) {
  const std::string& file = vantrel::BenchFile();
  if (file.empty()) return run.SkipWithError("cannot make the 6000 x 4000 JPEG file");
  OpenWindow window(file);
  TForm1& form = *window.form;
  form.TrackBar4->setValue(run.range(0) == 0 ? form.TrackBar4->minimum()
                                             : static_cast<int>(run.range(0)));
  const int middle = form.ScrollBar1->minimum() / 2;
  form.ScrollBar1->setValue(middle);
  int position = middle;
  for (auto _ : run) {
    position = position == middle ? middle - 1 : middle;
    form.ScrollBar1->setValue(position);
    window.Repaint();
  }
  run.SetLabel(std::to_string(form.State().ScalePercent) + " %");
}
BENCHMARK(BM_ScrollStep)->Arg(0)->Arg(37)->Unit(benchmark::kMillisecond);

// "Fit" pressed right after opening at 100 %: the 1/8 level is decoded then.
void BM_FirstStepToFit(benchmark::State& run) {
  const std::string& file = vantrel::BenchFile();
  if (file.empty()) return run.SkipWithError("cannot make the 6000 x 4000 JPEG file");
  for (auto _ : run) {
    run.PauseTiming();
    auto window = std::make_unique<OpenWindow>(file);
    run.ResumeTiming();
    window->form->BitBtn2->click();
    window->Repaint();
    run.PauseTiming();
    window.reset();
    run.ResumeTiming();
  }
}
BENCHMARK(BM_FirstStepToFit)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

int main(int argc, char** argv) { return RunWindowBenchmarks(argc, argv); }
