// What the user sees when a file goes away under a dialog, the disk is full or a picture is
// absurdly large: the error box, and a window that has lost nothing.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QScrollBar>
#include <QTemporaryDir>
#include <cerrno>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "app/Overlay.h"
#include "app/Unit2.h"
#include "fake_dialogs.h"

namespace {

// Scripted dialogs that can do something to the file system just before they return, as
// another program might while the user reads the dialog.
class MeddlingDialogs : public FakeDialogs {
 public:
  std::function<void()> beforeOpenReturns;
  std::function<void()> beforeSaveReturns;

  bool ExecuteOpen(QWidget* parent, QString& fileName, const QString& folder) override {
    const bool confirmed = FakeDialogs::ExecuteOpen(parent, fileName, folder);
    if (beforeOpenReturns) std::exchange(beforeOpenReturns, nullptr)();
    return confirmed;
  }
  bool ExecuteSave(QWidget* parent, QString& fileName, const QString& filter) override {
    const bool confirmed = FakeDialogs::ExecuteSave(parent, fileName, filter);
    if (beforeSaveReturns) std::exchange(beforeSaveReturns, nullptr)();
    return confirmed;
  }
};

// Everything an open or a save could damage.
struct Snapshot {
  int pictureWidth, pictureHeight, scroll1Min, scroll2Min, scroll1, scroll2;
  const void* picture;  // the opened picture itself
  int scale;
  std::vector<std::uint32_t> sourceWindow, view, preview;
  std::vector<std::uint8_t> layerBits;

  bool operator==(const Snapshot&) const = default;
};

class FailuresTest : public ::testing::Test {
 protected:
  void SetUp() override {
    form = std::make_unique<TForm1>(dialogs);
    about = std::make_unique<TForm2>();
    form->Form2 = about.get();
    ASSERT_TRUE(folder.isValid());
    dialogs.AnswerOpen(QStringLiteral(VANTREL_TEST_DATA "/astronaut.jpg"));
    form->OpenBitmap1->trigger();
    ASSERT_TRUE(dialogs.errors.empty());
    // A crop away from the corner, so that a reset to (0, 0) would show.
    form->ScrollBar1->setValue(-100);
    form->ScrollBar2->setValue(-50);
  }

  Snapshot Take() const {
    const vantrel::ConverterState& s = form->State();
    Snapshot shot{s.PictureWidth,
                  s.PictureHeight,
                  form->ScrollBar1->minimum(),
                  form->ScrollBar2->minimum(),
                  form->ScrollBar1->value(),
                  form->ScrollBar2->value(),
                  s.Picture.get(),
                  s.ScalePercent,
                  {},
                  {},
                  {},
                  {}};
    const auto words = [](const std::uint32_t* begin, std::size_t count) {
      return std::vector<std::uint32_t>(begin, begin + count);
    };
    shot.sourceWindow = words(s.SourceWindow.data(), s.SourceWindow.size());
    shot.view = words(s.Image1.Words(), vantrel::PixelCount);
    shot.preview = words(s.PreviewBitmap.Words(), 256 * 200);
    for (const auto* plane : {&s.LayerBits.Bitmap1Bits, &s.LayerBits.Sprite1Bits,
                              &s.LayerBits.Bitmap2Bits, &s.LayerBits.Sprite2Bits}) {
      shot.layerBits.insert(shot.layerBits.end(), plane->begin(), plane->end());
    }
    return shot;
  }

  void TriggerSave(QAction* action, const QString& name) {
    dialogs.AnswerSave(name);
    action->trigger();
  }
  QByteArray Save(QAction* action, const QString& name) {
    TriggerSave(action, name);
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }

  static QString Reason(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

  MeddlingDialogs dialogs;
  std::unique_ptr<TForm1> form;
  std::unique_ptr<TForm2> about;
  QTemporaryDir folder;
};

TEST_F(FailuresTest, FailedSavesShowTheErrorAndLoseNothing) {
  struct Kind {
    const char* name;
    QAction* action;
  };
  const Kind kinds[] = {{"executable", form->SaveC64Executable1}, {"data", form->SaveC64Data1}};
  for (const Kind& kind : kinds) {
    SCOPED_TRACE(kind.name);
    const QByteArray expected = Save(kind.action, folder.filePath("reference.bin"));
    ASSERT_FALSE(expected.isEmpty());
    const Snapshot before = Take();

    struct Failure {
      const char* what;
      QString name;
      std::function<void()> meddle;
      int error;
    };
    const QString vanishing = folder.filePath("vanishing");
    const Failure failures[] = {
        {"full disk", QStringLiteral("/dev/full"), nullptr, ENOSPC},
        {"folder removed while the dialog was open", vanishing + "/picture.bin",
         [vanishing] { ASSERT_TRUE(QDir(vanishing).removeRecursively()); }, ENOENT},
    };
    for (const Failure& failure : failures) {
      SCOPED_TRACE(failure.what);
      if (failure.error == ENOSPC && !QFile::exists("/dev/full")) continue;
      if (failure.meddle) QDir().mkpath(vanishing);
      dialogs.errors.clear();
      dialogs.beforeSaveReturns = failure.meddle;
      dialogs.replaceAnswers = {true};  // /dev/full exists: replace it
      TriggerSave(kind.action, failure.name);
      dialogs.replaceAnswers.clear();
      ASSERT_EQ(dialogs.errors.size(), 1u);
      EXPECT_EQ(dialogs.errors[0].second.toStdString(),
                ("Cannot create file " + failure.name + ": " + Reason(failure.error) + ".")
                    .toStdString());
      EXPECT_FALSE(dialogs.errors[0].first.isEmpty()) << "captioned with the title";
      EXPECT_FALSE(QDir(vanishing).exists()) << "the folder is not made again";
      EXPECT_TRUE(Take() == before);
      // The next save writes the same bytes as before the failure.
      EXPECT_EQ(Save(kind.action, folder.filePath("after.bin")), expected);
      EXPECT_TRUE(dialogs.errors.size() == 1u);
    }
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files),
              (QStringList{"after.bin", "reference.bin"}))
        << "no temporary file left behind";
    QFile::remove(folder.filePath("after.bin"));
    QFile::remove(folder.filePath("reference.bin"));
  }
}

// A file or folder that disappears between the dialog and the read, and a header that claims
// the largest picture a JPEG can describe: the error box, and the picture, crop and previews of
// before.
TEST_F(FailuresTest, FailedOpensShowTheErrorAndKeepThePicture) {
  QByteArray sample;
  {
    QFile file(QStringLiteral(VANTREL_TEST_DATA "/astronaut.jpg"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    sample = file.readAll();
  }
  const int frame = sample.indexOf("\xFF\xC0");
  ASSERT_GT(frame, 0);
  QByteArray absurd = sample;
  absurd.replace(frame + 5, 4, QByteArray("\xFF\xDC\xFF\xDC", 4));  // 65500 x 65500

  const QString gone = folder.filePath("gone.jpg");
  const QString inGoneFolder = folder.filePath("sub/picture.jpg");
  const QString huge = folder.filePath("huge.jpg");
  struct Case {
    const char* what;
    QString name;
    QByteArray content;
    std::function<void()> meddle;
    QString message;
  };
  const Case cases[] = {
      {"file removed", gone, sample, [gone] { QFile::remove(gone); },
       "Cannot open file " + gone + "."},
      {"folder removed", inGoneFolder, sample,
       [this] { QDir(folder.filePath("sub")).removeRecursively(); },
       "Cannot open file " + inGoneFolder + "."},
      {"absurd size", huge, absurd, nullptr,
       "Picture too large (65500 x 65500 pixels)"},  // ")" sorts before "."
  };
  const Snapshot before = Take();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    QDir().mkpath(folder.filePath("sub"));
    QFile file(c.name);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(c.content);
    file.close();
    dialogs.errors.clear();
    dialogs.beforeOpenReturns = c.meddle;
    dialogs.AnswerOpen(c.name);
    form->OpenBitmap1->trigger();
    ASSERT_EQ(dialogs.errors.size(), 1u);
    EXPECT_EQ(dialogs.errors[0].second.toStdString(), c.message.toStdString());
    EXPECT_TRUE(Take() == before);
  }
}

}  // namespace
