// One slider step as the user experiences it: the sample open in the real window (Qt's
// offscreen platform), TrackBar1 moved between two positions, and both views repainted.
// A step runs the whole handler chain (two offset applications and conversions, since
// the slider rewrites its edit box, whose own handler converts too) and every progress
// bar update on the way.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QProgressBar>
#include <memory>

#include "app/Overlay.h"
#include "bench/window_benchmark_main.h"
#include "fake_dialogs.h"

namespace {

struct OpenWindow {
  FakeDialogs dialogs;
  std::unique_ptr<TForm1> form;
  int progressUpdates = 0;

  OpenWindow() : form(std::make_unique<TForm1>(dialogs)) {
    dialogs.AnswerOpen(QStringLiteral(VANTREL_TEST_DATA "/astronaut.jpg"));
    form->OpenBitmap1->trigger();
    form->show();
    QApplication::processEvents();
    QObject::connect(form->ProgressBar1, &QProgressBar::valueChanged,
                     [this](int) { ++progressUpdates; });
  }
};

void BM_SliderStep(benchmark::State& state) {
  OpenWindow window;
  if (!window.dialogs.errors.empty()) {
    state.SkipWithError("the sample did not open");
    return;
  }
  TForm1& form = *window.form;
  // Without the progress bar on screen, for comparison: what its paints cost.
  if (state.range(0) == 0) form.ProgressBar1->hide();
  int position = 0;
  for (auto _ : state) {
    position = position == 20 ? 10 : 20;
    form.TrackBar1->setValue(position);
    form.Image1->repaint();
    form.Image2->repaint();
    QApplication::processEvents();
  }
  if (form.Edit1->text() != QString::number(position)) state.SkipWithError("the step did not run");
  state.counters["progress_updates/step"] =
      static_cast<double>(window.progressUpdates) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_SliderStep)->ArgName("progress_bar")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) { return RunWindowBenchmarks(argc, argv); }
