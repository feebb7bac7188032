// "Run in VICE" from the real window, in the real emulator: with the C64's ROM images where
// the README says to put them (here free stand-ins made by the tests), VICE puts the program
// into memory, types RUN, and shows the picture the preview promised.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <filesystem>

#include "app/Overlay.h"
#include "app/fake_dialogs.h"
#include "frame_check.h"
#include "vice_machine.h"

namespace vantrel::emulator {
namespace {

void Copy(const std::filesystem::path& from, const std::filesystem::path& to) {
  std::filesystem::create_directories(to.parent_path());
  std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing);
}

// One run from the window: its target, whether it packs, the model VICE then runs.
struct WindowRun {
  const char* name;
  QAction* TForm1::*target;
  bool pack;
  const ViceModel* model;
};

TEST(RunInViceFromTheWindow, ShowsThePicture) {
  ViceMachine machine;
  const std::filesystem::path folder(machine.Folder());
  // A home of its own: the ROM images go where the README tells a user to put them.
  const std::filesystem::path home = folder / "home";
  const std::filesystem::path roms = home / ".local/share/vice/C64";
  Copy(VANTREL_STUB_KERNAL, roms / "kernal-901227-03.bin");
  Copy(folder / "basic.bin", roms / "basic-901226-01.bin");
  Copy(folder / "chargen.bin", roms / "chargen-901225-01.bin");
  const QByteArray oldHome = qgetenv("HOME");
  qputenv("HOME", QByteArray::fromStdString(home.string()));

  FakeDialogs dialogs;
  TForm1 form(dialogs);
  dialogs.AnswerOpen(QStringLiteral(VANTREL_TEST_DATA "/astronaut.jpg"));
  form.OpenBitmap1->trigger();

  // The plain program on PAL, and the packed one on NTSC: RUN unpacks it first.
  const WindowRun runs[] = {{"PAL", &TForm1::PAL1, false, &ViceC64},
                            {"NTSC, packed", &TForm1::NTSC1, true, &ViceNtsc}};
  for (const WindowRun& run : runs) {
    SCOPED_TRACE(run.name);
    // The emulator as the window starts it, under a virtual X server, with the window's own
    // arguments first; after them, what the test needs: exact colours and one screenshot
    // once the displayer runs (about 3 seconds of emulated time go to VICE's start and RUN,
    // two more to unpacking).
    const ViceModel& model = *run.model;
    const long long frames = 10'500'000 / model.FrameCycles();
    const long long limit = frames * model.FrameCycles() + model.LowerBorderCycles();
    const std::filesystem::path shot = folder / (std::string(model.name) + ".png");
    const std::filesystem::path wrapper = folder / "x64sc";
    {
      QFile file(QString::fromStdString(wrapper.string()));
      ASSERT_TRUE(file.open(QIODevice::WriteOnly));
      file.write(QStringLiteral("#!/bin/sh\nxvfb-run -a '%1' \"$@\" -sounddev dummy -VICIIextpal "
                                "-VICIIpalette '%2' -VICIIfilter 0 -limitcycles %3 "
                                "-exitscreenshot '%4' </dev/null\nexit 0\n")
                     .arg(QString::fromUtf8(VANTREL_X64SC),
                          QString::fromStdString((folder / "palette.vpl").string()))
                     .arg(limit)
                     .arg(QString::fromStdString(shot.string()))
                     .toUtf8());
      file.close();
      file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    form.EmulatorProgram = QString::fromStdString(wrapper.string());
    (form.*run.target)->trigger();
    form.PackExecutable1->setChecked(run.pack);
    form.RunInVICE1->trigger();
    const bool shown = QTest::qWaitFor([&] { return std::filesystem::exists(shot); }, 120000);
    QTest::qWait(500);  // the window watches the emulator's end
    ASSERT_TRUE(dialogs.errors.empty()) << dialogs.errors.back().second.toStdString();
    ASSERT_TRUE(shown) << "VICE wrote no screenshot; see " << machine.Folder();

    // The screenshot is frame 1 or frame 2, exactly.
    const Screenshot screen = ReadScreenshot(shot.string());
    const LayerPlanes& bits = form.State().LayerBits;
    const ColourRoleSet& roles = form.State().ColourRoles;
    const Comparison first = Compare(screen, model, bits, roles, 1);
    const Comparison second = Compare(screen, model, bits, roles, 2);
    EXPECT_TRUE(first.mismatches == 0 || second.mismatches == 0)
        << "frame 1: " << first.Describe() << "\nframe 2: " << second.Describe();
  }
  qputenv("HOME", oldHome);
  if (::testing::Test::HasFailure()) machine.KeepFiles();
}

}  // namespace
}  // namespace vantrel::emulator

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QTemporaryDir settings;
  qputenv("XDG_CONFIG_HOME", settings.path().toLocal8Bit());
  QApplication application(argc, argv);
  QApplication::setOrganizationName(QStringLiteral("Vantrel Software Tests"));
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
