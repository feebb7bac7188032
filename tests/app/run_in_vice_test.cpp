// "Run in VICE": the executable for the chosen target goes to the emulator with the matching
// C64 model, the window stays usable, and nothing is left behind when the program ends.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include "c64/machine.h"
#include "window_fixture.h"

namespace {

class RunInViceTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    ASSERT_TRUE(dir.isValid());
    // A stand-in emulator: it records its arguments and a copy of the program it was given.
    const QString script = dir.filePath("x64sc");
    QFile file(script);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(
        "#!/bin/sh\n"
        "for argument; do program=$argument; done\n"
        "cp \"$program\" \"$(dirname \"$0\")/program.prg\"\n"
        "printf '%s\\n' \"$@\" > \"$(dirname \"$0\")/arguments.tmp\"\n"
        "mv \"$(dirname \"$0\")/arguments.tmp\" \"$(dirname \"$0\")/arguments\"\n");
    file.close();
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    form->EmulatorProgram = script;
  }

  // The stand-in runs on its own; wait for what it recorded.
  QStringList Recorded() {
    QFile file(dir.filePath("arguments"));
    for (int tries = 0; tries < 500 && !file.exists(); ++tries) QThread::msleep(10);
    if (!file.open(QIODevice::ReadOnly)) return {};
    const QStringList lines = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
    file.remove();
    return lines;
  }

  QTemporaryDir dir;
};

TEST_F(RunInViceTest, HandsTheTargetsExecutableToTheEmulatorWithItsModel) {
  Open(Data("astronaut.jpg"));
  const struct {
    QAction* target;
    vantrel::Machine machine;
    const char* model;
    int paletteItem;  // View > Palette's item
    const char* paletteFile;
  } cases[] = {{form->PAL1, vantrel::Machine::Pal, "c64", 0, "pepto-pal.vpl"},
               {form->NTSC1, vantrel::Machine::Ntsc, "ntsc", 1, "colodore.vpl"},
               {form->OldNTSC1, vantrel::Machine::OldNtsc, "oldntsc", 0, "pepto-pal.vpl"},
               {form->Drean1, vantrel::Machine::Drean, "drean", 3, "vice.vpl"},
               {form->AnyC641, vantrel::Machine::Any, "c64", 0, "pepto-pal.vpl"}};
  QStringList programs;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.model);
    c.target->trigger();
    form->Palettes[c.paletteItem]->trigger();
    form->RunInVICE1->trigger();
    ASSERT_TRUE(dialogs.errors.empty()) << dialogs.errors.back().second.toStdString();
    const QStringList arguments = Recorded();
    // VICE shows the palette's colours, puts the program into memory and types RUN (its usual
    // way needs a drive ROM).
    ASSERT_EQ(arguments.size(), 9);
    EXPECT_EQ(arguments.mid(0, 8),
              (QStringList{"-model", c.model, "-VICIIextpal", "-VICIIpalette", c.paletteFile,
                           "-autostartprgmode", "1", "-autostart"}));
    EXPECT_TRUE(arguments[8].endsWith(".prg"));
    programs << arguments[8];

    vantrel::Session session;
    session.TakeConversion(form->State().LayerBits, form->State().ColourRoles);
    const auto expected = session.Output(vantrel::OutputKind::Executable, {c.machine, {}});
    QFile copy(dir.filePath("program.prg"));
    ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
    const QByteArray bytes = copy.readAll();
    EXPECT_EQ(bytes, QByteArray(reinterpret_cast<const char*>(expected.data()),
                                static_cast<qsizetype>(expected.size())));
  }
  // The window goes on as before, and its temporary programs go with it.
  EXPECT_TRUE(form->Button1->isEnabled());
  for (const QString& program : programs) EXPECT_TRUE(QFile::exists(program));
  form.reset();
  for (const QString& program : programs) EXPECT_FALSE(QFile::exists(program));
}

// Nothing that fails says nothing: without a picture the two actions that need one say so
// (the two saves keep their silence), a missing emulator says how to install it, and an
// emulator that quits in its first seconds, or says it could not start the program, is told in
// a line or two: what is missing and where it goes, everything it printed behind "Details".
TEST_F(RunInViceTest, EveryFailureToRunSaysWhatHappened) {
  for (QAction* action : {form->SaveC64Executable1, form->SaveC64Data1}) action->trigger();
  EXPECT_TRUE(dialogs.errors.empty());
  EXPECT_EQ(dialogs.saveDialogs, 0);
  form->RunInVICE1->trigger();
  form->SaveC64DiskImage1->trigger();
  ASSERT_EQ(dialogs.errors.size(), 2u);
  EXPECT_EQ(dialogs.errors[0].second, "Open a picture first.");
  EXPECT_EQ(dialogs.errors[1].second, "Open a picture first.");
  EXPECT_EQ(dialogs.saveDialogs, 0);
  EXPECT_FALSE(QFile::exists(dir.filePath("arguments")));

  Open(Data("astronaut.jpg"));
  // What Debian's VICE prints at every start and does without.
  const QByteArray noise =
      "echo 'DriveROM: Error - 1541 ROM image not found. Hardware-level 1541 emulation is not "
      "available.'\n"
      "echo \"MPS-803: Error - Could not load MPS-803 charset 'mps803.bin'.\"\n"
      "echo 'Error - pa_simple_new(): Connection refused'\n";
  const struct {
    const char* name;
    QByteArray script;  // the stand-in emulator's body; empty: no such program
    QString message;    // empty: no message
    bool details;       // what the emulator printed is behind "Details"
  } cases[] = {
      {"not installed", "",
       "The C64 emulator no-such-c64-emulator is not installed. Install VICE (on Debian: "
       "apt install vice, from the contrib section) and try again.",
       false},
      {"without ROM images",
       noise + "echo \"C64MEM: Error - Couldn't load kernal ROM \\`kernal-901227-03.bin'.\" >&2\n"
               "echo 'Error - Machine initialization failed.'\nexit 255\n",
       "The C64 emulator cannot start without the C64's ROM image kernal-901227-03.bin, which "
       "is missing.\nPut it in ~/.local/share/vice/C64 (or, for every user, /usr/share/vice/C64) "
       "and try again.",
       true},
      {"another failure", noise + "echo 'Error - Cannot open display.' >&2\nexit 1\n",
       "The C64 emulator stopped at once (exit status 1): Cannot open display.", true},
      {"the program does not start",
       noise + "echo 'AUTOSTART: Error - No idea what disk image format to use.'\n"
               "echo 'AUTOSTART: Error - Turned off.'\nsleep 1\n",
       "The C64 emulator could not start the picture: No idea what disk image format to use.",
       true},
      {"closed by the user at once", "exit 0\n", "", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    dialogs.errors.clear();
    dialogs.errorDetails.clear();
    if (c.script.isEmpty()) {
      form->EmulatorProgram = QStringLiteral("no-such-c64-emulator");
    } else {
      const QString script = dir.filePath(QStringLiteral("emulator-%1").arg(&c - cases));
      QFile file(script);
      ASSERT_TRUE(file.open(QIODevice::WriteOnly));
      file.write("#!/bin/sh\n" + c.script);
      file.close();
      file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
      form->EmulatorProgram = script;
    }
    form->RunInVICE1->trigger();
    // The window watches the emulator while the event loop runs; the stand-ins end at once.
    static_cast<void>(QTest::qWaitFor([&] { return !dialogs.errors.empty(); },
                                      c.message.isEmpty() ? 1500 : 10000));
    if (c.message.isEmpty()) {
      EXPECT_TRUE(dialogs.errors.empty());
    } else {
      ASSERT_EQ(dialogs.errors.size(), 1u);
      EXPECT_EQ(dialogs.errors[0].second, c.message);
      if (c.details) {
        ASSERT_EQ(dialogs.errorDetails.size(), 1u);
        EXPECT_TRUE(dialogs.errorDetails[0].contains("DriveROM: Error - 1541 ROM image"))
            << dialogs.errorDetails[0].toStdString();
      }
    }
    EXPECT_TRUE(form->Button1->isEnabled());
  }
}

}  // namespace
