// Opening pictures through the window, the crop window and the error table.
#include <jerror.h>

#include <QFile>
#include <QLabel>
#include <QTemporaryDir>

#include "picture/jpeg_decoder.h"
#include "support/jpeg_writer.h"
#include "window_fixture.h"

namespace {

using testsupport::WriteJpeg;

class PictureInputTest : public WindowTest {
 protected:
  QString Make(const char* name, int width, int height, bool greyscale = false) {
    const QString path = dir.filePath(name);
    WriteJpeg(path.toStdString(), width, height, greyscale);
    return path;
  }
  void Open(const QString& fileName) {
    WindowTest::Open(fileName);
    if (dialogs.errors.empty()) {
      opened = fileName;
      decodedName.clear();  // the same name may hold another picture now
    }
  }
  QString MakeBytes(const char* name, const QByteArray& bytes) {
    const QString path = dir.filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    return path;
  }
  // The pixel of the picture last opened, decoded on its own, as the crop holds it (PackedRGB
  // without the spare byte).
  vantrel::PackedRGB PicturePixel(int x, int y) {
    if (decodedName != opened) {
      vantrel::DecodeJpegFile(opened.toStdString(), decoded);
      decodedName = opened;
    }
    return decoded.ScanLine(y)[x] & 0xFFFFFFu;
  }
  void ExpectCropAt(int left, int top) {
    const auto& s = form->State();
    for (int y : {0, 1, 100, 199}) {
      for (int x : {0, 1, 95, 191}) {
        ASSERT_EQ(s.SourceWindow[y * 192 + x], PicturePixel(x + left, y + top)) << x << "," << y;
      }
    }
  }

  QTemporaryDir dir;
  QString opened, decodedName;
  vantrel::Bitmap32 decoded;
};

TEST_F(PictureInputTest, OpeningShowsTheTopLeftCropAndSetsTheRanges) {
  Open(Data("astronaut.jpg"));
  ASSERT_TRUE(dialogs.errors.empty()) << dialogs.errors.front().second.toStdString();
  const auto& s = form->State();
  EXPECT_TRUE(s.PictureLoaded);
  for (QWidget* w :
       std::initializer_list<QWidget*>{form->Button1, form->TrackBar1, form->TrackBar2,
                                       form->TrackBar3, form->ScrollBar1, form->ScrollBar2}) {
    EXPECT_TRUE(w->isEnabled());
  }
  EXPECT_EQ(s.PictureWidth, 512);
  EXPECT_EQ(s.PictureHeight, 512);
  EXPECT_EQ(form->ScrollBar1->minimum(), 192 - 512);
  EXPECT_EQ(form->ScrollBar2->minimum(), 200 - 512);
  EXPECT_EQ(form->ScrollBar1->maximum(), 0);
  EXPECT_EQ(form->ScrollBar2->maximum(), 0);
  ExpectCropAt(0, 0);
  EXPECT_EQ(dialogs.openPresets, std::vector<QString>{"*.jpg"});
  EXPECT_EQ(form->ProgressBar1->value(), 0);
  // The source view shows the crop, the preview shows a conversion of it.
  const QImage shown = form->Image1->Picture();
  ASSERT_EQ(shown.size(), QSize(192, 200));
  EXPECT_EQ(shown.pixel(5, 7) & 0xFFFFFFu, s.SourceWindow[7 * 192 + 5]);
  EXPECT_FALSE(form->Image2->Picture().isNull());

  // The dialog starts from "*.jpg" again, not from the last name.
  dialogs.CancelOpen();
  form->OpenBitmap1->trigger();
  EXPECT_EQ(dialogs.openPresets.back(), "*.jpg");
}

TEST_F(PictureInputTest, CropGeometryOfA640By480Picture) {
  Open(Make("wide.jpg", 640, 480));
  EXPECT_EQ(form->ScrollBar1->minimum(), -448);
  EXPECT_EQ(form->ScrollBar2->minimum(), -280);
  ExpectCropAt(0, 0);
  form->ScrollBar1->setValue(-448);  // as the user drags the thumbs to their minimum ends
  form->ScrollBar2->setValue(-280);
  ExpectCropAt(448, 280);
  EXPECT_EQ(form->State().SourceWindow[199 * 192 + 191], PicturePixel(639, 479));
  form->ScrollBar2->setValue(-3);
  ExpectCropAt(448, 3);
}

TEST_F(PictureInputTest, SizeLimitsOfTheCrop) {
  struct Case {
    int width, height, min1, min2;
  } cases[] = {{192, 200, 0, 0}, {193, 200, -1, 0}, {640, 480, -448, -280}};
  for (const auto& c : cases) {
    Open(Make("size.jpg", c.width, c.height));
    EXPECT_TRUE(dialogs.errors.empty());
    EXPECT_EQ(form->ScrollBar1->minimum(), c.min1) << c.width << "x" << c.height;
    EXPECT_EQ(form->ScrollBar2->minimum(), c.min2) << c.width << "x" << c.height;
    ExpectCropAt(0, 0);
  }
}

TEST_F(PictureInputTest, OpeningAfterACropMoveReconvertsInTheMiddleAndEndsAtTopLeft) {
  Open(Make("first.jpg", 640, 480));
  form->ScrollBar1->setValue(-20);
  form->ScrollBar2->setValue(-30);
  const QString second = Make("second.jpg", 300, 260);
  progress.clear();
  Open(second);
  // Both bars were away from 0: each one's change handler runs nested in the open,
  // then the open itself applies and converts: three runs of four sweeps each.
  EXPECT_EQ(FullSweeps(), 12);
  EXPECT_EQ(form->ScrollBar1->value(), 0);
  EXPECT_EQ(form->ScrollBar2->value(), 0);
  EXPECT_EQ(form->ScrollBar1->minimum(), 192 - 300);
  EXPECT_EQ(form->ScrollBar2->minimum(), 200 - 260);
  ExpectCropAt(0, 0);

  // The end state equals a fresh open of the same file.
  const auto layers = form->State().LayerBits;
  FakeDialogs otherDialogs;
  TForm1 other(otherDialogs);
  otherDialogs.AnswerOpen(second);
  other.OpenBitmap1->trigger();
  EXPECT_EQ(other.State().SourceWindow, form->State().SourceWindow);
  EXPECT_EQ(other.State().LayerBits.Bitmap1Bits, layers.Bitmap1Bits);
  EXPECT_EQ(other.State().LayerBits.Sprite2Bits, layers.Sprite2Bits);
}

TEST_F(PictureInputTest, FailedOpensShowTheErrorAndLeaveTheStateAsTheTableSays) {
  Open(Make("good.jpg", 640, 480));
  form->ScrollBar1->setValue(-5);
  const auto before = form->State().SourceWindow;
  const vantrel::PictureSource* pictureBefore = form->State().Picture.get();
  const auto preview = form->Image2->Picture();

  const QString missing = dir.filePath("missing.jpg");
  QByteArray damaged;
  {
    QFile sample(Data("astronaut.jpg"));
    EXPECT_TRUE(sample.open(QIODevice::ReadOnly));
    damaged = sample.readAll();
    const int frame = damaged.indexOf(QByteArray("\xFF\xC0", 2));
    EXPECT_GT(frame, 0);
    damaged[frame + 4] = 13;  // a sample precision the decoder does not support
  }
  struct Case {
    QString file;
    QString message;
  } cases[] = {
      {missing, "Cannot open file " + missing + "."},
      {MakeBytes("text.jpg", "This is not a picture.\n"),
       QString("JPEG error #%1.").arg(JERR_NO_SOI)},
      {MakeBytes("empty.jpg", QByteArray()), QString("JPEG error #%1.").arg(JERR_INPUT_EMPTY)},
      {MakeBytes("damaged.jpg", damaged), QString("JPEG error #%1.").arg(JERR_BAD_PRECISION)},
  };
  for (const auto& c : cases) {
    dialogs.errors.clear();
    progress.clear();
    Open(c.file);
    ASSERT_EQ(dialogs.errors.size(), 1u) << c.file.toStdString();
    EXPECT_EQ(dialogs.errors[0].first, "Vantrel Converter");
    EXPECT_EQ(dialogs.errors[0].second, c.message);
    const auto& s = form->State();
    EXPECT_TRUE(s.PictureLoaded);
    EXPECT_TRUE(form->TrackBar1->isEnabled());
    EXPECT_EQ(s.SourceWindow, before);
    EXPECT_EQ(s.PictureWidth, 640);
    EXPECT_EQ(s.Picture.get(), pictureBefore);
    EXPECT_EQ(form->ScrollBar1->value(), -5);
    EXPECT_EQ(form->ScrollBar1->minimum(), -448);
    EXPECT_EQ(form->ScrollBar2->minimum(), -280);
    EXPECT_TRUE(progress.empty()) << "no offsets, no conversion, progress untouched";
    EXPECT_EQ(form->Image2->Picture(), preview);
  }
}

// A picture smaller than the window opens scaled up to Fit, so that it fills the window; one
// too small to fill it at any scale is refused and changes nothing.
TEST_F(PictureInputTest, PicturesSmallerThanTheWindowOpenAtFit) {
  struct Case {
    int width, height, percent, scaledWidth, scaledHeight;
  } cases[] = {{150, 300, 128, 192, 384}, {300, 150, 134, 402, 201}, {191, 200, 101, 192, 202}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << " x " << c.height);
    dialogs.errors.clear();
    progress.clear();
    const QString file = Make("small.jpg", c.width, c.height);
    Open(file);
    ASSERT_TRUE(dialogs.errors.empty()) << dialogs.errors.front().second.toStdString();
    const auto& s = form->State();
    EXPECT_EQ(s.ScalePercent, c.percent);
    EXPECT_EQ(s.PictureWidth, c.scaledWidth);
    EXPECT_EQ(s.PictureHeight, c.scaledHeight);
    EXPECT_EQ(form->ScrollBar1->minimum(), 192 - c.scaledWidth);
    EXPECT_EQ(form->ScrollBar2->minimum(), 200 - c.scaledHeight);
    EXPECT_EQ(FullSweeps(), 4) << "offsets and conversion as for any open";
    EXPECT_EQ(form->Label3->text(), QString("%1 %").arg(c.percent));
    // The window is the scaled picture's top-left corner, covered all over.
    vantrel::Session fresh;
    fresh.OpenFile(file.toStdString(), {false, c.percent});
    fresh.ReadSourceWindow(0, 0);
    EXPECT_EQ(s.SourceWindow, fresh.State().SourceWindow);
  }

  dialogs.errors.clear();
  const auto layers = form->State().LayerBits.Bitmap1Bits;
  Open(Make("tiny.jpg", 5, 5));
  ASSERT_EQ(dialogs.errors.size(), 1u);
  // No full stop after a closing bracket, as after any text ending in a character below ".".
  EXPECT_EQ(dialogs.errors[0].second, "Picture too small (5 x 5 pixels)");
  EXPECT_EQ(form->State().PictureWidth, 192);
  EXPECT_EQ(form->State().LayerBits.Bitmap1Bits, layers);
}

TEST_F(PictureInputTest, FirstFileNotAJpegStillEnablesTheControls) {
  Open(MakeBytes("text.jpg", "plain text"));
  EXPECT_EQ(dialogs.errors.size(), 1u);
  const auto& s = form->State();
  EXPECT_TRUE(s.PictureLoaded);
  EXPECT_TRUE(form->Button1->isEnabled());
  EXPECT_TRUE(
      std::all_of(s.SourceWindow.begin(), s.SourceWindow.end(), [](auto w) { return w == 0; }));
}

TEST_F(PictureInputTest, CancellingTheDialog) {
  // Before any picture: only the progress bar is set; the controls stay disabled.
  form->ProgressBar1->setValue(50);
  progress.clear();
  dialogs.CancelOpen();
  form->OpenBitmap1->trigger();
  EXPECT_EQ(progress, std::vector<int>{0});
  EXPECT_FALSE(form->Button1->isEnabled());
  EXPECT_FALSE(form->State().PictureLoaded);

  // After one: the unchanged window is adjusted and converted again, with the same result.
  Open(Data("astronaut.jpg"));
  const auto layers = form->State().LayerBits.Sprite1Bits;
  progress.clear();
  dialogs.CancelOpen();
  form->OpenBitmap1->trigger();
  EXPECT_EQ(FullSweeps(), 4);
  EXPECT_EQ(form->State().LayerBits.Sprite1Bits, layers);
}

TEST_F(PictureInputTest, GreyscalePicturesArriveAsGreyWords) {
  Open(Make("grey.jpg", 320, 240, /*greyscale=*/true));
  ASSERT_TRUE(dialogs.errors.empty());
  for (vantrel::PackedRGB w : form->State().SourceWindow) {
    ASSERT_EQ((w >> 16) & 0xFF, w & 0xFF);
    ASSERT_EQ((w >> 8) & 0xFF, w & 0xFF);
  }
}

// A JPEG cut short opens, the library completing it in grey, and the window says so once the
// open is done, however it was opened; a whole one says nothing.
TEST_F(PictureInputTest, AJpegCutShortOpensAndTheUserIsTold) {
  QFile sample(Data("astronaut.jpg"));
  ASSERT_TRUE(sample.open(QIODevice::ReadOnly));
  const QByteArray whole = sample.readAll();
  const QString cut = MakeBytes("cut.jpg", whole.left(whole.size() * 2 / 3));
  const QString warning = cut + ": the file ends early; the rest of the picture is grey.";
  const struct {
    const char* how;
    QString file;
    std::vector<std::pair<QString, QString>> warnings;
  } cases[] = {
      {"dialog", cut, {{ApplicationTitle(), warning}}},
      {"start", cut, {{ApplicationTitle(), warning}}},
      {"dialog", Data("astronaut.jpg"), {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.how) + " " + c.file.toStdString());
    dialogs.warnings.clear();
    if (std::string(c.how) == "dialog") {
      Open(c.file);
    } else {
      form->OpenGivenFile(c.file);
    }
    EXPECT_TRUE(dialogs.errors.empty());
    EXPECT_EQ(dialogs.warnings, c.warnings);
    EXPECT_TRUE(form->Button1->isEnabled());
  }
}

}  // namespace
