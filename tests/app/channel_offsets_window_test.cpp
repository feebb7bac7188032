// The sliders, their edit boxes and "Default": how the handlers chain and what they leave.
#include <QRadioButton>
#include <QSet>

#include "colour/palette.h"
#include "window_fixture.h"

namespace {

class OffsetsTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    Open(Data("astronaut.jpg"));
    ASSERT_TRUE(dialogs.errors.empty());
    progress.clear();
  }
  // Offset runs since the log was cleared (each run: one offset sweep + three conversion sweeps).
  int Runs() const { return FullSweeps() / 4; }

  // Every red value equals the unadjusted one plus the offset, clamped.
  void ExpectRedOffset(int offset) {
    const auto& s = form->State();
    for (int i = 0; i < vantrel::PixelCount; i += 97) {
      const int unadjusted = (s.SourceWindow[i] >> 16) & 0xFF;
      ASSERT_EQ(vantrel::RedOf(s.Image1.Pixel(i % 192, i / 192)),
                std::clamp(unadjusted + offset, 0, 255));
    }
  }
};

TEST_F(OffsetsTest, TypedTextsChainAsTheHandlersDo) {
  struct Case {
    int sliderBefore;
    const char* typed;
    int runs;
    int sliderAfter;
    const char* textAfter;
  } cases[] = {
      {0, "300", 3, 255, "255"},  {0, "-300", 3, -255, "-255"}, {0, "007", 3, 7, "7"},
      {7, "007", 1, 7, "007"},    {0, "abc", 3, 100, "100"},    {100, "abc", 1, 100, "abc"},
      {0, "", 3, 100, "100"},     {0, "-", 3, 100, "100"},      {0, "40", 2, 40, "40"},
      {40, "40 ", 3, 100, "100"}, {-20, "$10", 3, 16, "16"},
  };
  for (const auto& c : cases) {
    form->TrackBar1->SetPosition(c.sliderBefore);
    progress.clear();
    form->Edit1->setText(c.typed);  // the whole text at once, as pasted
    EXPECT_EQ(Runs(), c.runs) << '"' << c.typed << '"';
    EXPECT_EQ(form->TrackBar1->Position(), c.sliderAfter) << '"' << c.typed << '"';
    EXPECT_EQ(form->Edit1->Text(), c.textAfter) << '"' << c.typed << '"';
    EXPECT_EQ(form->ProgressBar1->value(), 0);
    ExpectRedOffset(c.sliderAfter);
  }
}

TEST_F(OffsetsTest, MovingASliderRewritesItsBoxAndConvertsTwice) {
  struct Case {
    TTrackBar* bar;
    TEdit* edit;
    int position;
  } cases[] = {{form->TrackBar1, form->Edit1, 50},
               {form->TrackBar2, form->Edit2, -255},
               {form->TrackBar3, form->Edit3, 1}};
  for (const auto& c : cases) {
    progress.clear();
    c.bar->setValue(c.position);  // as the user drags it
    EXPECT_EQ(Runs(), 2);
    EXPECT_EQ(c.edit->Text(), QString::number(c.position));
  }
  // Out of range positions clamp; setting the same position again runs nothing.
  progress.clear();
  form->TrackBar1->SetPosition(1000);
  EXPECT_EQ(form->TrackBar1->Position(), 255);
  progress.clear();
  form->TrackBar1->SetPosition(255);
  EXPECT_EQ(Runs(), 0);
}

TEST_F(OffsetsTest, OffsetsDoNotAccumulate) {
  form->TrackBar1->setValue(50);
  form->TrackBar1->setValue(20);
  ExpectRedOffset(20);
  form->TrackBar1->setValue(255);
  ExpectRedOffset(255);
  form->TrackBar1->setValue(-255);
  ExpectRedOffset(-255);
}

TEST_F(OffsetsTest, DefaultPutsEverythingBackAndReconverts) {
  const auto layersAtDefaults = form->State().LayerBits.Bitmap1Bits;
  form->RadioButton4->setChecked(true);
  form->PaletteClick(1);
  form->RadioButton6->setChecked(true);
  form->TrackBar1->setValue(30);
  form->Edit3->setText("-12");
  progress.clear();
  form->BitBtn1->click();

  const auto& s = form->State();
  EXPECT_EQ(s.ColourRoles, (vantrel::ColourRoleSet{0, 2, 3, 7, 10}));
  EXPECT_TRUE(form->RadioButton1->isChecked());
  EXPECT_TRUE(form->RadioButton7->isChecked());
  for (TTrackBar* bar : {form->TrackBar1, form->TrackBar2, form->TrackBar3})
    EXPECT_EQ(bar->Position(), 0);
  for (TEdit* edit : {form->Edit1, form->Edit2, form->Edit3}) EXPECT_EQ(edit->Text(), "0");
  // Two sliders away from 0 run their own chains (two runs each), then "Default" once more.
  EXPECT_EQ(Runs(), 5);
  EXPECT_EQ(form->ProgressBar1->value(), 0);
  EXPECT_EQ(s.LayerBits.Bitmap1Bits, layersAtDefaults);
  ExpectRedOffset(0);
}

// A pick does not convert, but the preview shows the last conversion in the new colours at
// once, since that is what a save now writes: every pixel that showed mix colour k shows the
// new mix colour k.
TEST_F(OffsetsTest, PickingAColourOrTheDitheringNeverReconvertsButTheNewColoursShow) {
  const auto layers = form->State().LayerBits;
  const vantrel::MixSlots oldMix = form->State().MixTable;
  ASSERT_EQ(QSet<vantrel::TColor>(oldMix.begin(), oldMix.end()).size(), 9) << "slots tell apart";
  const QImage preview = form->Image2->Picture();
  form->RadioButton2->setChecked(true);
  form->PaletteClick(5);
  form->RadioButton5->setChecked(true);
  form->PaletteClick(1);
  form->RadioButton6->setChecked(true);
  EXPECT_EQ(FullSweeps(), 0);
  EXPECT_EQ(form->State().LayerBits.Bitmap1Bits, layers.Bitmap1Bits);
  EXPECT_EQ(form->State().LayerBits.Sprite2Bits, layers.Sprite2Bits);
  const vantrel::MixSlots newMix = form->State().MixTable;
  const QImage repainted = form->Image2->Picture();
  int changed = 0;
  for (int y = 0; y < 200; ++y) {
    for (int x = 0; x < 192; ++x) {
      const auto old = vantrel::ToTColor(preview.pixel(x, y) & 0xFFFFFF);
      const auto slot = std::find(oldMix.begin(), oldMix.end(), old) - oldMix.begin();
      ASSERT_LT(slot, 9) << x << "," << y;
      ASSERT_EQ(vantrel::ToTColor(repainted.pixel(x, y) & 0xFFFFFF), newMix[slot]) << x << "," << y;
      changed += newMix[slot] != oldMix[slot];
    }
  }
  EXPECT_GT(changed, 1000);

  form->Button1->click();  // "CONVERT" dithers anew with the new colours and "None"
  EXPECT_EQ(FullSweeps(), 3);
  EXPECT_NE(form->Image2->Picture(), repainted);
  EXPECT_EQ(form->ProgressBar1->value(), 0);
}

TEST_F(WindowTest, TypingBeforeAnyPictureMovesTheDisabledSlider) {
  form->Edit2->setText("50");
  EXPECT_EQ(form->TrackBar2->Position(), 50);
  EXPECT_FALSE(form->TrackBar2->isEnabled());
  EXPECT_EQ(FullSweeps(), 0);
  EXPECT_EQ(form->ProgressBar1->value(), 0);

  Open(Data("astronaut.jpg"));
  const auto& s = form->State();
  for (int i = 0; i < vantrel::PixelCount; i += 101) {
    const int green = (s.SourceWindow[i] >> 8) & 0xFF;
    ASSERT_EQ(vantrel::GreenOf(s.Image1.Pixel(i % 192, i / 192)), std::min(green + 50, 255));
  }
}

}  // namespace
