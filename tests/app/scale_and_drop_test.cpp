// The scale control, drop to open, and the open dialog's filters.
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QTemporaryDir>
#include <QUrl>

#include "support/jpeg_writer.h"
#include "window_fixture.h"

namespace {

class ScaleAndDropTest : public WindowTest {
 protected:
  // The window the command line would read for the same file, scale and crop.
  vantrel::WindowWords Expected(const QString& file, int percent, int left, int top) {
    vantrel::Session session;
    session.OpenFile(file.toStdString(), {false, percent});
    session.ReadSourceWindow(-left, -top);
    return session.State().SourceWindow;
  }
  void Drop(const QList<QUrl>& urls) {
    QMimeData data;
    data.setUrls(urls);
    QDragEnterEvent enter(QPoint(300, 200), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(form.get(), &enter);
    if (!enter.isAccepted()) return;
    QDropEvent drop(QPointF(300, 200), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(form.get(), &drop);
  }

  QTemporaryDir dir;
};

// Each step of the scale keeps the picture point at the window's centre where the picture
// allows, and converts once; "Fit" is the smallest scale, and stays chosen for the next photo.
TEST_F(ScaleAndDropTest, TheScaleKeepsTheCentreAndFitHoldsForTheNextPhoto) {
  EXPECT_FALSE(form->TrackBar4->isEnabled()) << "no picture, nothing to scale";
  EXPECT_EQ(form->Label3->text(), "100 %");
  const QString sample = Data("astronaut.jpg");  // 512 x 512: Fit is 40 %
  Open(sample);
  ASSERT_TRUE(dialogs.errors.empty());
  EXPECT_TRUE(form->TrackBar4->isEnabled());
  EXPECT_EQ(form->TrackBar4->minimum(), 40);
  EXPECT_EQ(form->TrackBar4->maximum(), 100);
  EXPECT_EQ(form->TrackBar4->value(), 100);
  form->ScrollBar1->setValue(-160);  // the window's centre at picture point (256, 250)
  form->ScrollBar2->setValue(-150);

  struct Step {
    int percent, left, top;  // the window's corner in the scaled picture afterwards
    const char* label;
  } steps[] = {
      {50, 32, 25, "50 %"},      // the centre at (128, 125)
      {80, 109, 100, "80 %"},    // (204.8, 200) to the nearest pixel
      {40, 7, 0, "40 %"},        // (102.5, 100) to the nearest pixel
      {100, 162, 150, "100 %"},  // the centre the 40 % window had, (257.5, 250)
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.percent);
    progress.clear();
    form->TrackBar4->setValue(s.percent);
    EXPECT_EQ(form->State().ScalePercent, s.percent);
    EXPECT_EQ(-form->ScrollBar1->value(), s.left);
    EXPECT_EQ(-form->ScrollBar2->value(), s.top);
    EXPECT_EQ(form->ScrollBar1->minimum(), 192 - 512 * s.percent / 100);
    EXPECT_EQ(form->Label3->text(), s.label);
    EXPECT_EQ(FullSweeps(), 4) << "one offset application and one conversion";
    EXPECT_EQ(form->State().SourceWindow, Expected(sample, s.percent, s.left, s.top));
  }

  form->BitBtn2->click();
  EXPECT_EQ(form->State().ScalePercent, 40);
  EXPECT_EQ(form->Label3->text(), "Fit (40 %)");
  const QString wide = dir.filePath("wide.jpg");  // 1000 x 300: Fit is 67 %
  testsupport::WriteJpeg(wide.toStdString(), 1000, 300);
  Open(wide);
  EXPECT_EQ(form->State().ScalePercent, 67);
  EXPECT_EQ(form->State().PictureWidth, 670);
  EXPECT_EQ(form->State().PictureHeight, 201);
  EXPECT_EQ(form->Label3->text(), "Fit (67 %)");
  EXPECT_EQ(form->State().SourceWindow, Expected(wide, 67, 0, 0));
  form->TrackBar4->setValue(90);  // moving the scale leaves Fit
  EXPECT_EQ(form->Label3->text(), "90 %");
}

// Dropping a file opens it exactly as "Open JPEG" does, errors included; anything but one
// local file is not taken.
TEST_F(ScaleAndDropTest, DroppingAFileOpensItAsTheOpenDialogWould) {
  Drop({QUrl::fromLocalFile(Data("astronaut.jpg"))});
  ASSERT_TRUE(dialogs.errors.empty());
  EXPECT_TRUE(dialogs.openPresets.empty()) << "no dialog";
  FakeDialogs otherDialogs;
  TForm1 other(otherDialogs);
  otherDialogs.AnswerOpen(Data("astronaut.jpg"));
  other.OpenBitmap1->trigger();
  EXPECT_EQ(form->State().SourceWindow, other.State().SourceWindow);
  EXPECT_EQ(form->State().LayerBits.Sprite1Bits, other.State().LayerBits.Sprite1Bits);
  EXPECT_EQ(form->Image2->Picture(), other.Image2->Picture());

  const QString text = dir.filePath("text.jpg");
  QFile file(text);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("not a picture");
  file.close();
  const auto before = form->State().SourceWindow;
  Drop({QUrl::fromLocalFile(text)});
  ASSERT_EQ(dialogs.errors.size(), 1u);
  EXPECT_EQ(dialogs.errors[0].second, "JPEG error #53.");
  EXPECT_EQ(form->State().SourceWindow, before);

  Drop({QUrl::fromLocalFile(Data("astronaut.jpg")), QUrl::fromLocalFile(text)});
  Drop({QUrl(QStringLiteral("https://example.com/photo.jpg"))});
  EXPECT_EQ(dialogs.errors.size(), 1u) << "two files or a remote one are not taken";
}

// A file manager told a drop was a move may delete its copy of the photo: whatever the drag
// proposes, the window takes the file as a copy, or as a link when copying is not offered, and
// refuses a drag that only allows moving.
TEST_F(ScaleAndDropTest, ADropIsTakenAsACopyNeverAsAMove) {
  const struct {
    Qt::DropActions possible;
    Qt::DropAction proposed;
    Qt::DropAction taken;  // Qt::IgnoreAction: refused, nothing opens
  } cases[] = {
      {Qt::CopyAction | Qt::MoveAction, Qt::MoveAction, Qt::CopyAction},
      {Qt::CopyAction | Qt::MoveAction | Qt::LinkAction, Qt::MoveAction, Qt::CopyAction},
      {Qt::MoveAction | Qt::LinkAction, Qt::MoveAction, Qt::LinkAction},
      {Qt::CopyAction, Qt::CopyAction, Qt::CopyAction},
      {Qt::MoveAction, Qt::MoveAction, Qt::IgnoreAction},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.possible));
    FakeDialogs otherDialogs;
    TForm1 window(otherDialogs);
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(Data("astronaut.jpg"))});
    QDragEnterEvent enter(QPoint(300, 200), c.possible, &data, Qt::LeftButton, Qt::NoModifier);
    enter.setDropAction(c.proposed);
    QApplication::sendEvent(&window, &enter);
    QDragMoveEvent move(QPoint(310, 210), c.possible, &data, Qt::LeftButton, Qt::NoModifier);
    move.setDropAction(c.proposed);
    QApplication::sendEvent(&window, &move);
    QDropEvent drop(QPointF(310, 210), c.possible, &data, Qt::LeftButton, Qt::NoModifier);
    drop.setDropAction(c.proposed);
    QApplication::sendEvent(&window, &drop);
    const bool taken = c.taken != Qt::IgnoreAction;
    EXPECT_EQ(enter.isAccepted(), taken);
    EXPECT_EQ(move.isAccepted(), taken);
    EXPECT_EQ(drop.isAccepted(), taken);
    if (taken) {
      EXPECT_EQ(enter.dropAction(), c.taken);
      EXPECT_EQ(move.dropAction(), c.taken);
      EXPECT_EQ(drop.dropAction(), c.taken);
    }
    EXPECT_EQ(window.State().PictureLoaded, taken);
    EXPECT_TRUE(otherDialogs.errors.empty());
  }
}

TEST(OpenDialog, KeepsTheJpegPresetAndOffersEveryPicture) {
  const QStringList filters = OpenDialogFilters(QStringLiteral("*.jpg"));
  ASSERT_EQ(filters.size(), 4);
  EXPECT_EQ(filters[0], "*.jpg");
  for (const char* pattern : {"*.jpg", "*.JPG", "*.jpeg", "*.png", "*.PNG", "*.gif", "*.bmp",
                              "*.tif", "*.tiff", "*.webp", "*.heic", "*.avif"}) {
    EXPECT_TRUE(filters[1].contains(QString(" ") + pattern + " ") ||
                filters[1].contains(QString("(") + pattern + " ") ||
                filters[1].endsWith(QString(" ") + pattern + ")"))
        << pattern;
  }
  EXPECT_TRUE(filters[1].startsWith("Pictures ("));
  // Then projects and the files this program saves, which open as what they show.
  EXPECT_EQ(filters[2], "Vantrel projects (*.vantrel)");
  EXPECT_EQ(filters[3], "Saved C64 pictures (*.prg *.d64 *.bin)");
}

}  // namespace
