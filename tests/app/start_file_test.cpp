// A picture named when the window starts (its command line, a file manager's "Open with")
// opens exactly as the open dialog would open it, errors included.
#include <QFile>
#include <QTemporaryDir>

#include "window_fixture.h"

namespace {

class StartFileTest : public WindowTest {
 protected:
  // A second window that opens `fileName` through "Open JPEG".
  void OpenThroughDialog(const QString& fileName) {
    viaDialog = std::make_unique<TForm1>(dialogDialogs);
    dialogDialogs.AnswerOpen(fileName);
    viaDialog->OpenBitmap1->trigger();
  }

  FakeDialogs dialogDialogs;
  std::unique_ptr<TForm1> viaDialog;
  QTemporaryDir dir;
};

TEST_F(StartFileTest, AFileGivenAtStartOpensAsTheOpenDialogWould) {
  form->show();
  form->OpenGivenFile(Data("astronaut.jpg"));
  OpenThroughDialog(Data("astronaut.jpg"));

  ASSERT_TRUE(dialogs.errors.empty());
  EXPECT_TRUE(dialogs.openPresets.empty()) << "no dialog";
  EXPECT_TRUE(form->State().PictureLoaded);
  EXPECT_TRUE(form->Button1->isEnabled());
  EXPECT_EQ(form->State().SourceWindow, viaDialog->State().SourceWindow);
  EXPECT_EQ(form->State().LayerBits.Sprite1Bits, viaDialog->State().LayerBits.Sprite1Bits);
  EXPECT_FALSE(form->Image2->Picture().isNull()) << "converted";
  EXPECT_EQ(form->Image1->Picture(), viaDialog->Image1->Picture());
  EXPECT_EQ(form->Image2->Picture(), viaDialog->Image2->Picture());

  // The save dialogs propose names after the picture opened, as after the open dialog.
  form->SaveC64Executable1->trigger();
  viaDialog->SaveC64Executable1->trigger();
  ASSERT_EQ(dialogs.savePresets.size(), 1u);
  EXPECT_EQ(dialogs.savePresets, dialogDialogs.savePresets);
}

TEST_F(StartFileTest, ABadFileGivenAtStartShowsTheOpenDialogsError) {
  const QString text = dir.filePath("text.jpg");
  QFile file(text);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("not a picture");
  file.close();

  for (const QString& bad : {text, dir.filePath("missing.jpg")}) {
    SCOPED_TRACE(bad.toStdString());
    dialogs.errors.clear();
    form->OpenGivenFile(bad);
    OpenThroughDialog(bad);
    ASSERT_EQ(dialogs.errors.size(), 1u);
    EXPECT_FALSE(dialogs.errors[0].second.isEmpty());
    EXPECT_EQ(dialogs.errors, dialogDialogs.errors);
    EXPECT_EQ(form->State().PictureLoaded, viaDialog->State().PictureLoaded);
    dialogDialogs.errors.clear();
  }
}

}  // namespace
