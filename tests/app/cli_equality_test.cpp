// vantrel-convert against the window: the same photo and settings, made once by a user in
// the window and once on the command line, give byte-identical files and the same preview.
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRadioButton>
#include <QSet>
#include <QTemporaryDir>
#include <algorithm>
#include <functional>

#include "c64/machine.h"
#include "support/picture_writers.h"
#include "window_fixture.h"

namespace {

class CliEqualityTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    ASSERT_TRUE(dir.isValid());
    Open(Data("astronaut.jpg"));
    ASSERT_TRUE(dialogs.errors.empty());
  }

  QByteArray SaveFromWindow(QAction* action, const QString& name) {
    dialogs.AnswerSave(dir.filePath(name));
    dialogs.replaceAnswers = {true};  // each case saves over the last one's file
    action->trigger();
    dialogs.replaceAnswers.clear();
    EXPECT_TRUE(dialogs.errors.empty());
    return ReadFile(name);
  }

  QByteArray ReadFile(const QString& name) const {
    QFile file(dir.filePath(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }

  // Runs the program on the sample photo; the output names are taken inside `dir`.
  void RunCli(QStringList arguments, const QString& picture = Data("astronaut.jpg")) {
    for (qsizetype i = 0; i + 1 < arguments.size(); ++i) {
      if (arguments[i] == "-o") arguments[i + 1] = dir.filePath(arguments[i + 1]);
    }
    arguments.prepend(picture);
    QProcess program;
    program.start(QStringLiteral(VANTREL_CLI), arguments);
    ASSERT_TRUE(program.waitForFinished(60000)) << "vantrel-convert did not finish";
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0) << program.readAllStandardError().toStdString();
    // Only the automatic colours print something: the roles they chose.
    const bool prints = std::any_of(arguments.begin(), arguments.end(), [](const QString& a) {
      return a.startsWith(QStringLiteral("--auto-colours")) ||
             a.startsWith(QStringLiteral("--per-cell"));
    });
    EXPECT_EQ(program.readAllStandardOutput().isEmpty(), !prints);
  }

  // The preview file holds exactly what the window's result view shows.
  void ExpectPreviewAsShown(const QString& name) const {
    const QImage file(dir.filePath(name), "PNG");
    ASSERT_FALSE(file.isNull()) << name.toStdString() << " is no PNG";
    ASSERT_EQ(file.size(), QSize(192, 200));
    const QImage shown = form->Image2->Picture();
    int different = 0;
    for (int y = 0; y < 200; ++y) {
      for (int x = 0; x < 192; ++x) {
        if ((file.pixel(x, y) & 0xFFFFFF) != (shown.pixel(x, y) & 0xFFFFFF)) ++different;
      }
    }
    EXPECT_EQ(different, 0) << "pixels unlike the window's preview";
  }

  QTemporaryDir dir;

 public:
  // For the cases below, which act as the user through a reference to the fixture.
  TForm1& Form() { return *form; }

  void SetRoles(const std::array<int, 5>& palette) {
    const std::array<QRadioButton*, 5> roles = {form->RadioButton1, form->RadioButton2,
                                                form->RadioButton3, form->RadioButton4,
                                                form->RadioButton5};
    for (int role = 0; role < 5; ++role) {
      roles[role]->click();
      Click(form->PalettePanels[palette[role]]);
    }
  }
};

// Each case is what a user does in the window and the options that say the same.
TEST_F(CliEqualityTest, SameSettingsGiveTheWindowsFiles) {
  struct Case {
    const char* name;
    std::function<void(CliEqualityTest&)> inWindow;
    QStringList options;
  };
  const Case cases[] = {
      {"defaults", [](CliEqualityTest&) {}, {}},
      {"crop",
       [](CliEqualityTest& t) {
         t.Form().ScrollBar1->setValue(-37);  // the bars hold minus the window's corner
         t.Form().ScrollBar2->setValue(-120);
       },
       {"--crop", "37,120"}},
      {"crop at the far corner",
       [](CliEqualityTest& t) {
         t.Form().ScrollBar1->setValue(t.Form().ScrollBar1->minimum());
         t.Form().ScrollBar2->setValue(t.Form().ScrollBar2->minimum());
       },
       {"--crop=320,312"}},
      {"offsets",
       [](CliEqualityTest& t) {
         t.Form().Edit1->setText("40");
         t.Form().TrackBar2->setValue(-25);
         t.Form().Edit3->setText("300");  // clamped to 255 by the slider
       },
       {"--offsets", "40,-25,255"}},
      {"colours",
       [](CliEqualityTest& t) {
         t.SetRoles({6, 1, 14, 3, 5});
         t.Form().Button1->click();  // new colours take effect at "CONVERT"
       },
       {"--colours", "blue,1,light-blue,cyan,5"}},
      {"no dither",
       [](CliEqualityTest& t) {
         t.Form().RadioButton6->click();
         t.Form().Button1->click();
       },
       {"--no-dither"}},
      {"low-flicker dithering",
       [](CliEqualityTest& t) {
         t.Form().RadioButton8->click();
         t.Form().Button1->click();
       },
       {"--dither", "low-flicker"}},
      {"balanced automatic colours",
       [](CliEqualityTest& t) {
         t.Form().ScrollBar1->setValue(-130);
         t.Form().Balanced1->trigger();
       },
       {"--crop=130,0", "--auto-colours=balanced"}},
      {"calm automatic colours with the low-flicker dithering",
       [](CliEqualityTest& t) {
         t.Form().RadioButton8->click();
         t.Form().Calm1->trigger();
       },
       {"--dither=low-flicker", "--auto-colours=calm"}},
      {"scale and crop",
       [](CliEqualityTest& t) {
         t.Form().TrackBar4->setValue(50);
         t.Form().ScrollBar1->setValue(-32);
         t.Form().ScrollBar2->setValue(-25);
       },
       {"--scale", "50", "--crop", "32,25"}},
      {"fit",
       [](CliEqualityTest& t) {
         t.Form().BitBtn2->click();
         t.Form().ScrollBar1->setValue(t.Form().ScrollBar1->minimum());
       },
       {"--scale=fit", "--crop", "12,0"}},
      {"everything at once",
       [](CliEqualityTest& t) {
         t.Form().ScrollBar2->setValue(-200);
         t.Form().ScrollBar1->setValue(-300);
         t.Form().Edit2->setText("-255");
         t.Form().Edit1->setText("12");
         t.SetRoles({11, 15, 8, 12, 10});
         t.Form().RadioButton6->click();
         t.Form().Button1->click();
       },
       {"--no-dither", "--colours", "DARK-GREY,light-grey,orange,grey,10", "--offsets", "12,-255,0",
        "--crop", "300,200"}},
      {"calm colours per cell",
       [](CliEqualityTest& t) {
         t.Form().ScrollBar1->setValue(-130);
         t.Form().ColorsPerCell1->setChecked(true);
         t.Form().Calm1->trigger();
         t.Form().ColorsPerCell1->setChecked(false);
       },
       {"--crop=130,0", "--per-cell=calm"}},
      // Last: the palette and the mix stay chosen.
      {"colodore's colours mixed as a screen shows them",
       [](CliEqualityTest& t) {
         t.Form().Palettes[1]->trigger();  // Colodore
         t.Form().MixAsAScreenShowsIt1->trigger();
       },
       {"--palette", "colodore", "--mix", "light"}},
  };
  QSet<QByteArray> distinct;  // each case really changed what the window saves
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // Every case starts from a freshly opened photo with default settings.
    form->BitBtn1->click();
    form->TrackBar4->setValue(100);
    form->ScrollBar1->setValue(0);
    form->ScrollBar2->setValue(0);
    c.inWindow(*this);
    ASSERT_TRUE(dialogs.errors.empty());
    const QByteArray exe = SaveFromWindow(form->SaveC64Executable1, "window.prg");
    const QByteArray data = SaveFromWindow(form->SaveC64Data1, "window.bin");
    ASSERT_EQ(exe.size(), 35840);
    ASSERT_EQ(data.size(), 32768);
    distinct.insert(data);

    RunCli(c.options + QStringList{"-o", "cli.prg", "-o", "cli.bin", "-o", "cli.png"});
    EXPECT_TRUE(ReadFile("cli.prg") == exe) << "executable differs";
    EXPECT_TRUE(ReadFile("cli.bin") == data) << "data file differs";
    ExpectPreviewAsShown("cli.png");
  }
  EXPECT_EQ(distinct.size(), std::size(cases));
}

// Every target of File > Target and --machine: the same executable, and the same disk image
// (named after the photo) holding it.
TEST_F(CliEqualityTest, EveryTargetGivesTheCommandLinesExecutableAndDiskImage) {
  const std::array<QAction*, 5> targets = {form->PAL1, form->NTSC1, form->OldNTSC1, form->Drean1,
                                           form->AnyC641};
  QSet<QByteArray> executables;
  for (std::size_t m = 0; m < targets.size(); ++m) {
    const std::string name(vantrel::MachineName(vantrel::AllMachines[m]));
    SCOPED_TRACE(name);
    targets[m]->trigger();
    const QByteArray exe = SaveFromWindow(form->SaveC64Executable1, "window.prg");
    const QByteArray disk = SaveFromWindow(form->SaveC64DiskImage1, "window.d64");
    ASSERT_EQ(disk.size(), 174848);
    EXPECT_TRUE(disk.contains("ASTRONAUT")) << "the disk and its file take the photo's name";
    executables.insert(exe);
    RunCli({"--machine", QString::fromStdString(name), "-o", "cli.prg", "-o", "cli.d64"});
    EXPECT_TRUE(ReadFile("cli.prg") == exe) << "executable differs";
    EXPECT_TRUE(ReadFile("cli.d64") == disk) << "disk image differs";
  }
  // NTSC and Drean both have 65 cycles a line, and their displayers are the same; each other
  // target has one of its own.
  EXPECT_EQ(executables.size(), targets.size() - 1);
  EXPECT_TRUE(form->AnyC641->isChecked()) << "the last target chosen stays chosen";

  // "Pack Executable" and --pack: the same packed program, alone and on the disk; "Save
  // Assembler Source" in the syntax chosen and -o x.asm with --asm-syntax: the same source.
  form->NTSC1->trigger();
  form->PackExecutable1->setChecked(true);
  form->AssemblerSyntaxes[1]->trigger();  // ACME
  const QByteArray packed = SaveFromWindow(form->SaveC64Executable1, "window.prg");
  const QByteArray packedDisk = SaveFromWindow(form->SaveC64DiskImage1, "window.d64");
  const QByteArray source = SaveFromWindow(form->SaveAssemblerSource1, "window.asm");
  EXPECT_LT(packed.size(), 35840 / 2);
  EXPECT_TRUE(source.startsWith("; A picture from Vantrel Converter"));
  RunCli({"--machine", "ntsc", "--pack", "--asm-syntax", "acme", "-o", "cli.prg", "-o", "cli.d64",
          "-o", "cli.asm"});
  EXPECT_TRUE(ReadFile("cli.prg") == packed) << "packed executable differs";
  EXPECT_TRUE(ReadFile("cli.d64") == packedDisk) << "packed disk image differs";
  EXPECT_TRUE(ReadFile("cli.asm") == source) << "assembler source differs";
}

// Every picture format and orientation: the window opens the file, the command line reads it,
// and both write the same files (at 100 % where the picture fills the window, else at Fit).
TEST_F(CliEqualityTest, EveryFormatAndOrientationGivesTheWindowsFiles) {
  using picture_writers::Pixels;
  Pixels photo(240, 260);
  for (int y = 0; y < photo.height; ++y) {
    for (int x = 0; x < photo.width; ++x) {
      const std::uint32_t alpha = x < 40 ? 0x80u : 0xFFu;  // part see-through: over black
      photo.At(x, y) = alpha << 24 | static_cast<std::uint32_t>((x * 7) % 256 << 16 |
                                                                (y * 3) % 256 << 8 | (x ^ y) % 256);
    }
  }
  Pixels small(100, 90);  // few colours, as a GIF needs; smaller than the window: Fit
  for (int y = 0; y < small.height; ++y) {
    for (int x = 0; x < small.width; ++x) {
      small.At(x, y) =
          0xFF000000u |
          static_cast<std::uint32_t>((x / 13) * 36 << 16 | (y / 12) * 34 << 8 | (x + y) % 4 * 80);
    }
  }
  QFile sample(Data("astronaut.jpg"));
  ASSERT_TRUE(sample.open(QIODevice::ReadOnly));
  const QByteArray jpeg = sample.readAll();
  const std::vector<std::uint8_t> sideways = picture_writers::WithJpegExif(
      std::vector<std::uint8_t>(jpeg.begin(), jpeg.end()), 6);  // shown turned a quarter
  const struct {
    const char* name;
    std::vector<std::uint8_t> bytes;
  } files[] = {{"photo.png", picture_writers::EncodePng(photo)},
               {"photo.gif", picture_writers::EncodeGif({small})},
               {"photo.bmp", picture_writers::EncodeBmp(small)},
               {"photo.tif", picture_writers::EncodeTiff(photo)},
               {"photo.webp", picture_writers::EncodeWebp({photo})},
               {"sideways.jpg", sideways}};
  for (const auto& f : files) {
    SCOPED_TRACE(f.name);
    const QString name = dir.filePath(f.name);
    QFile out(name);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(reinterpret_cast<const char*>(f.bytes.data()),
              static_cast<qsizetype>(f.bytes.size()));
    out.close();
    form->TrackBar4->setValue(100);
    Open(name);
    ASSERT_TRUE(dialogs.errors.empty()) << dialogs.errors.back().second.toStdString();
    const QByteArray exe = SaveFromWindow(form->SaveC64Executable1, "window.prg");
    RunCli({"-o", "cli.prg", "-o", "cli.png"}, name);
    EXPECT_TRUE(ReadFile("cli.prg") == exe) << "executable differs";
    ExpectPreviewAsShown("cli.png");
  }
}

TEST_F(CliEqualityTest, FormatOverridesTheExtensionOfOneOutput) {
  const QByteArray exe = SaveFromWindow(form->SaveC64Executable1, "window.prg");
  const QByteArray data = SaveFromWindow(form->SaveC64Data1, "window.bin");
  RunCli({"--format", "data", "-o", "data.prg", "--format=exe", "-o", "exe.bin", "--format", "png",
          "-o", "preview.dat", "-o", "plain.prg"});
  EXPECT_TRUE(ReadFile("data.prg") == data);
  EXPECT_TRUE(ReadFile("exe.bin") == exe);
  EXPECT_TRUE(ReadFile("plain.prg") == exe) << "--format held for one output only";
  ExpectPreviewAsShown("preview.dat");
}

}  // namespace
