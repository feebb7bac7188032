// The sample photo through the window as a user drives it, against digests made by an
// independent model of the conversion rules.
#include <QRadioButton>

#include "convert/reference_digests.h"
#include "convert/sha256.h"
#include "window_fixture.h"

namespace {

using vantrel::testing_support::Sha256;

std::string LayerDigest(const vantrel::LayerPlanes& layers) {
  Sha256 hash;
  for (const auto* plane :
       {&layers.Bitmap1Bits, &layers.Sprite1Bits, &layers.Bitmap2Bits, &layers.Sprite2Bits}) {
    hash.Update(plane->data(), plane->size());
  }
  return hash.HexDigest();
}

std::string PreviewDigest(const QImage& preview) {
  Sha256 hash;
  for (int y = 0; y < 200; ++y) {
    for (int x = 0; x < 192; ++x) {
      const QRgb p = preview.pixel(x, y);
      const std::uint8_t rgb[3] = {static_cast<std::uint8_t>(qRed(p)),
                                   static_cast<std::uint8_t>(qGreen(p)),
                                   static_cast<std::uint8_t>(qBlue(p))};
      hash.Update(rgb, 3);
    }
  }
  return hash.HexDigest();
}

TEST_F(WindowTest, SamplePhotoConvertsAsTheReferenceModelSays) {
  Open(Data("astronaut.jpg"));
  ASSERT_TRUE(dialogs.errors.empty());
  EXPECT_EQ(LayerDigest(form->State().LayerBits), vantrel::reference::kAstronautDefault.layers);
  EXPECT_EQ(PreviewDigest(form->Image2->Picture()), vantrel::reference::kAstronautDefault.preview);

  // Dithering off takes effect at "CONVERT".
  form->RadioButton6->click();
  EXPECT_EQ(LayerDigest(form->State().LayerBits), vantrel::reference::kAstronautDefault.layers);
  form->Button1->click();
  EXPECT_EQ(LayerDigest(form->State().LayerBits), vantrel::reference::kAstronautPlain.layers);
  EXPECT_EQ(PreviewDigest(form->Image2->Picture()), vantrel::reference::kAstronautPlain.preview);
}

TEST_F(WindowTest, AdjustedSettingsConvertAsTheReferenceModelSays) {
  Open(Data("astronaut.jpg"));
  const auto& expected = vantrel::reference::kAstronautAdjusted;
  const std::array<QRadioButton*, 5> roles = {form->RadioButton1, form->RadioButton2,
                                              form->RadioButton3, form->RadioButton4,
                                              form->RadioButton5};
  for (int role = 0; role < 5; ++role) {
    roles[role]->click();
    Click(form->PalettePanels[expected.roles[role]]);
  }
  form->Edit1->setText("40");
  form->TrackBar2->setValue(-25);
  form->Edit3->setText("10");
  EXPECT_EQ(form->State().ColourRoles, (vantrel::ColourRoleSet{6, 1, 14, 3, 5}));
  EXPECT_EQ(form->TrackBar1->Position(), 40);
  EXPECT_EQ(form->TrackBar2->Position(), -25);
  EXPECT_EQ(form->TrackBar3->Position(), 10);
  EXPECT_EQ(LayerDigest(form->State().LayerBits), expected.layers);
  EXPECT_EQ(PreviewDigest(form->Image2->Picture()), expected.preview);

  form->RadioButton6->click();
  form->Button1->click();
  EXPECT_EQ(LayerDigest(form->State().LayerBits),
            vantrel::reference::kAstronautAdjustedPlain.layers);
}

}  // namespace
