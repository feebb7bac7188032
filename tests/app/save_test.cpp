// Saving through the window: what lands in the files and what happens when a save fails.
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRadioButton>
#include <QTemporaryDir>
#include <optional>

#include "c64/displayer_template.h"
#include "window_fixture.h"

namespace {

class SaveTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    Open(Data("astronaut.jpg"));
    ASSERT_TRUE(dialogs.errors.empty());
  }
  QByteArray Save(QAction* action, const QString& name) {
    dialogs.AnswerSave(name);
    action->trigger();
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }
  QTemporaryDir dir;
};

TEST_F(SaveTest, ExecutableAndDataFilesHoldTheLastConversion) {
  const QByteArray exe = Save(form->SaveC64Executable1, dir.filePath("picture.prg"));
  const QByteArray data = Save(form->SaveC64Data1, dir.filePath("picture.bin"));
  ASSERT_EQ(exe.size(), 35840);
  ASSERT_EQ(data.size(), 32768);
  EXPECT_TRUE(dialogs.errors.empty());

  for (int i = 0; i < 2562; ++i) {
    if (i == 530 || i == 1554) continue;
    ASSERT_EQ(static_cast<std::uint8_t>(exe[i]), vantrel::DisplayerTemplate[i]) << i;
  }
  EXPECT_EQ(exe[530], 0x03);
  EXPECT_EQ(exe[1554], 0x0A);
  EXPECT_EQ(data[2024], 0x03);
  EXPECT_EQ(data[2025], 0x0A);
  for (int i = 0; i < 32768; ++i) {
    const char expected = (i == 2024 || i == 2025) ? 0 : data[i];
    ASSERT_EQ(exe[2562 + i], expected) << i;
  }
  EXPECT_EQ(exe.mid(35330), QByteArray(510, 0));
  // The bitmap of frame 1 holds the layer bits of the conversion: pixel (0, 0) is bit 7
  // of bank offset 0x2040.
  const bool set = form->State().LayerBits.Bitmap1Bits[0] == 1;
  EXPECT_EQ((static_cast<std::uint8_t>(data[0x2040]) & 0x80) != 0, set);

  // Saving again without changes gives the same bytes; the dialog offers the last name.
  EXPECT_EQ(Save(form->SaveC64Data1, dir.filePath("again.bin")), data);
}

TEST_F(SaveTest, ARoleChangedAfterConvertingIsSavedWithTheOldLayerBits) {
  const QByteArray before = Save(form->SaveC64Data1, dir.filePath("before.bin"));
  form->RadioButton1->click();
  form->PaletteClick(6);  // background blue, no reconversion
  form->RadioButton5->click();
  form->PaletteClick(1);  // sprite 2 white
  const QByteArray after = Save(form->SaveC64Data1, dir.filePath("after.bin"));
  EXPECT_EQ(after.mid(0x2000, 8000), before.mid(0x2000, 8000)) << "same bitmap";
  EXPECT_EQ(after.mid(0x0800, 5120), before.mid(0x0800, 5120)) << "same sprites";
  EXPECT_EQ(static_cast<std::uint8_t>(after[8]), 0x26) << "bitmap 1 red over blue";
  EXPECT_EQ(static_cast<std::uint8_t>(after[0x4000 + 8]), 0x76) << "bitmap 2 yellow over blue";
  EXPECT_EQ(after[2025], 1);
}

TEST_F(SaveTest, CancellingWritesNothing) {
  const QString name = dir.filePath("never.prg");
  form->SaveC64Executable1->trigger();  // no answer scripted: the dialog is cancelled
  form->SaveC64Data1->trigger();
  EXPECT_EQ(dialogs.saveDialogs, 2);
  EXPECT_FALSE(QFile::exists(name));
  EXPECT_TRUE(dialogs.errors.empty());
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList());
}

TEST_F(SaveTest, AFailedSaveShowsWhyAndLeavesAnExistingFileAlone) {
  const QString existing = dir.filePath("existing.prg");
  {
    QFile file(existing);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("keep me");
  }
  QDir(dir.path()).mkdir("folder");
  struct Case {
    QString name;
    QString reason;
  } cases[] = {
      {dir.filePath("missing/picture.prg"), "No such file or directory"},
      {dir.filePath("folder"), ""},
  };
  for (const auto& c : cases) {
    dialogs.errors.clear();
    Save(form->SaveC64Executable1, c.name);
    ASSERT_EQ(dialogs.errors.size(), 1u) << c.name.toStdString();
    EXPECT_TRUE(dialogs.errors[0].second.startsWith("Cannot create file " + c.name))
        << dialogs.errors[0].second.toStdString();
    EXPECT_TRUE(dialogs.errors[0].second.contains(c.reason))
        << dialogs.errors[0].second.toStdString();
    EXPECT_TRUE(dialogs.errors[0].second.endsWith('.'));
  }
  QFile file(existing);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll(), "keep me");
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"existing.prg"})
      << "no temporary file left";
}

// No save replaces a file without the user's yes, and none replaces the open picture, also
// through a link; the dialog proposes the photo's name with the kind's extension.
TEST_F(WindowTest, NoSaveReplacesAFileWithoutAYesNorEverTheOpenPicture) {
  QTemporaryDir dir;
  const QString photo = dir.filePath("cat.jpg");
  ASSERT_TRUE(QFile::copy(Data("astronaut.jpg"), photo));
  Open(photo);
  ASSERT_TRUE(dialogs.errors.empty());
  QFile original(photo);
  ASSERT_TRUE(original.open(QIODevice::ReadOnly));
  const QByteArray photoBytes = original.readAll();
  ASSERT_TRUE(QFile::link(photo, dir.filePath("link.jpg")));
  ASSERT_EQ(::link(QFile::encodeName(photo).constData(),
                   QFile::encodeName(dir.filePath("hard.jpg")).constData()),
            0);
  const auto contents = [&](const QString& name) {
    QFile file(dir.filePath(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  };

  enum Outcome { kWritten, kKept, kRefused };
  const struct {
    const char* name;
    bool exists;
    std::optional<bool> answer;  // to "replace it?", if asked
    Outcome outcome;
  } cases[] = {
      {"new.prg", false, std::nullopt, kWritten}, {"old-yes.prg", true, true, kWritten},
      {"old-no.prg", true, false, kKept},         {"cat.jpg", true, std::nullopt, kRefused},
      {"link.jpg", true, std::nullopt, kRefused}, {"hard.jpg", true, std::nullopt, kRefused},
  };
  for (QAction* action : {form->SaveC64Executable1, form->SaveC64Data1, form->SaveC64DiskImage1}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(action->text().toStdString() + " to " + c.name);
      const QString name = dir.filePath(c.name);
      if (c.exists && !QFileInfo(name).isSymLink() && c.outcome != kRefused) {
        QFile file(name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("keep me");
      }
      dialogs.errors.clear();
      dialogs.replaceQuestions.clear();
      dialogs.AnswerSave(name);
      if (c.answer) dialogs.replaceAnswers = {*c.answer};
      action->trigger();
      EXPECT_EQ(dialogs.replaceQuestions,
                c.answer ? std::vector<QString>{name} : std::vector<QString>{});
      const QByteArray bytes = contents(c.name);
      switch (c.outcome) {
        case kWritten:
          EXPECT_TRUE(dialogs.errors.empty());
          EXPECT_GE(bytes.size(), 32768);
          break;
        case kKept:
          EXPECT_TRUE(dialogs.errors.empty());
          EXPECT_EQ(bytes, "keep me");
          break;
        case kRefused:
          ASSERT_EQ(dialogs.errors.size(), 1u);
          EXPECT_EQ(dialogs.errors[0].second,
                    name +
                        " is the picture that is open and was not replaced. Save under "
                        "another name.");
          EXPECT_EQ(bytes, photoBytes);
          break;
      }
      QFile::remove(dir.filePath("new.prg"));
    }
  }
  EXPECT_TRUE(QFileInfo(dir.filePath("link.jpg")).isSymLink());

  // The name field: the photo's name with the kind's extension, in the folder of the last
  // save, at first the photo's; each dialog lists its kind's files first; a name typed without
  // an extension gets the kind's, one with an extension is used as given.
  FakeDialogs fresh;
  TForm1 window(fresh);
  fresh.AnswerOpen(photo);
  window.OpenBitmap1->trigger();
  window.SaveC64Executable1->trigger();  // cancelled
  QDir(dir.path()).mkdir("out");
  fresh.AnswerSave(dir.filePath("out/mine"));
  window.SaveC64Data1->trigger();
  window.SaveC64DiskImage1->trigger();  // cancelled
  fresh.AnswerSave(dir.filePath("out/other.dat"));
  window.SaveC64Data1->trigger();
  EXPECT_EQ(fresh.savePresets,
            (std::vector<QString>{dir.filePath("cat.prg"), dir.filePath("cat.bin"),
                                  dir.filePath("out/cat.d64"), dir.filePath("out/cat.bin")}));
  EXPECT_EQ(fresh.saveFilters,
            (std::vector<QString>{"C64 programs (*.prg)", "C64 data files (*.bin)",
                                  "C64 disk images (*.d64)", "C64 data files (*.bin)"}));
  EXPECT_EQ(QDir(dir.filePath("out")).entryList(QDir::Files),
            (QStringList{"mine.bin", "other.dat"}));
  // The name with the extension added is the one asked about before it is replaced.
  {
    QFile mine(dir.filePath("out/mine.bin"));
    ASSERT_TRUE(mine.open(QIODevice::WriteOnly));
    mine.write("keep me");
  }
  fresh.replaceQuestions.clear();
  fresh.replaceAnswers = {false};
  fresh.AnswerSave(dir.filePath("out/mine"));
  window.SaveC64Data1->trigger();
  EXPECT_EQ(fresh.replaceQuestions, std::vector<QString>{dir.filePath("out/mine.bin")});
  EXPECT_EQ(contents("out/mine.bin"), "keep me");
  EXPECT_FALSE(QFileInfo::exists(dir.filePath("out/mine")));
}

}  // namespace
