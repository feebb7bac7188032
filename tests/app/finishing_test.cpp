// Finishing a picture in the window: undo and redo, the zoom window's touch-up, files opened by
// what they hold, projects, the preferences and where the windows stand.
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QRadioButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <QWheelEvent>
#include <functional>
#include <optional>

#include "app/window_frame.h"
#include "app/zoom_window.h"
#include "convert/conversion.h"
#include "window_fixture.h"

namespace {

using vantrel::OutputKind;

QByteArray ReadAll(const QString& name) {
  QFile file(name);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class FinishingTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    ASSERT_TRUE(dir.isValid());
    zoom = form->ZoomForm;
  }

  // A mouse event on the zoom view at the centre of picture pixel `pixel`.
  void Mouse(QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons held, QPoint pixel) {
    ZoomView* view = zoom->View();
    const QPointF at((pixel.x() + 0.5) * view->Zoom(), (pixel.y() + 0.5) * view->Zoom());
    QMouseEvent event(type, at, view->mapToGlobal(at), button, held, Qt::NoModifier);
    QApplication::sendEvent(view, &event);
  }

  // Presses the left button on the first pixel, moves through the others, lets go.
  void Stroke(std::initializer_list<QPoint> pixels) {
    Mouse(QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, *pixels.begin());
    for (const QPoint& p : pixels) Mouse(QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, p);
    Mouse(QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton, *(pixels.end() - 1));
  }

  void RightClick(QPoint pixel) {
    Mouse(QEvent::MouseButtonPress, Qt::RightButton, Qt::RightButton, pixel);
    Mouse(QEvent::MouseButtonRelease, Qt::RightButton, Qt::NoButton, pixel);
  }

  QByteArray SaveAs(QAction* action, const QString& name) {
    dialogs.AnswerSave(dir.filePath(name));
    action->trigger();
    EXPECT_TRUE(dialogs.errors.empty()) << dialogs.errors.back().second.toStdString();
    return ReadAll(dir.filePath(name));
  }

  int MixCodeAt(int x, int y) const {
    return vantrel::MixCodeShown(form->State().LayerBits, y * vantrel::WindowWidth + x);
  }

  QTemporaryDir dir;
  ZoomWindow* zoom = nullptr;
};

// Every kind of change is one step: undoing them one by one brings back each state before, the
// preview and the zoom view with it; redoing goes forward again.
TEST_F(FinishingTest, UndoAndRedoRetraceEveryKindOfChange) {
  Open(Data("astronaut.jpg"));
  form->Zoom1->trigger();
  ASSERT_TRUE(zoom->isVisible());
  EXPECT_FALSE(form->Undo1->isEnabled());

  const std::pair<const char*, std::function<void()>> steps[] = {
      {"dithering", [&] { form->RadioButton6->click(); }},
      {"offset", [&] { form->TrackBar1->setValue(40); }},
      {"typed offset", [&] { form->Edit3->setText("-25"); }},
      {"crop", [&] { form->ScrollBar1->setValue(-30); }},
      {"scale", [&] { form->TrackBar4->setValue(80); }},
      {"role",
       [&] {
         form->RadioButton2->click();
         Click(form->PalettePanels[5]);
       }},
      {"paint",
       [&] {
         zoom->SetChosenCode(9);
         Stroke({{10, 10}, {14, 12}});
       }},
      {"convert", [&] { form->Button1->click(); }},
      {"default", [&] { form->BitBtn1->click(); }},
      {"fit", [&] { form->BitBtn2->click(); }},
      // Across a change of the dithering: the buttons show the one chosen, the preview the one
      // converted with, in every step undone and redone.
      {"low flicker", [&] { form->RadioButton8->click(); }},
      {"convert with low flicker", [&] { form->Button1->click(); }},
      {"none", [&] { form->RadioButton6->click(); }},
      {"convert with none", [&] { form->Button1->click(); }},
      {"palette", [&] { form->Palettes[1]->trigger(); }},
      {"mix as a screen shows it", [&] { form->MixAsAScreenShowsIt1->trigger(); }},
  };
  std::vector<Snapshot> states = {form->TakeSnapshot()};
  std::vector<QImage> previews = {form->Image2->Picture()};
  for (const auto& [name, act] : steps) {
    act();
    ASSERT_TRUE(dialogs.errors.empty()) << name;
    EXPECT_NE(form->TakeSnapshot(), states.back()) << name << " changed nothing";
    states.push_back(form->TakeSnapshot());
    previews.push_back(form->Image2->Picture());
  }
  const auto expectState = [&](std::size_t k, const char* when) {
    SCOPED_TRACE(std::string(when) + " state " + std::to_string(k));
    EXPECT_TRUE(form->TakeSnapshot() == states[k]);
    EXPECT_TRUE(form->Image2->Picture() == previews[k]);
    EXPECT_TRUE(zoom->View()->Picture() == previews[k].copy(0, 0, 192, 200));
  };
  for (std::size_t k = states.size() - 1; k > 0; --k) {
    form->Undo1->trigger();
    expectState(k - 1, "undone");
  }
  EXPECT_FALSE(form->Undo1->isEnabled());
  EXPECT_EQ(form->TrackBar1->Position(), 0);
  EXPECT_EQ(form->Edit3->Text(), "0");
  EXPECT_TRUE(form->RadioButton7->isChecked());
  for (std::size_t k = 1; k < states.size(); ++k) {
    form->Redo1->trigger();
    expectState(k, "redone");
  }
  EXPECT_FALSE(form->Redo1->isEnabled());

  // A change after an undo drops what could be redone.
  form->Undo1->trigger();
  form->TrackBar2->setValue(-12);
  EXPECT_FALSE(form->Redo1->isEnabled());
  form->Undo1->trigger();
  expectState(states.size() - 2, "undone after a new change");
  EXPECT_TRUE(dialogs.errors.empty());
}

// The left button paints the chosen mix colour along the pointer's way, the right button picks;
// the paint stays through conversions, goes into the files, and Clear Edits takes it away.
TEST_F(FinishingTest, TouchUpPaintsPicksAndReachesTheFiles) {
  Open(Data("astronaut.jpg"));
  form->Zoom1->trigger();
  zoom->SetZoom(3);

  // A swatch chosen by a click, the next one by the arrow key.
  Click(zoom->Swatches()[6]);
  EXPECT_EQ(zoom->ChosenCode(), 7);
  zoom->Swatches()[6]->setFocus();
  QTest::keyClick(zoom->Swatches()[6], Qt::Key_Right);
  EXPECT_EQ(zoom->ChosenCode(), 8);

  // One move from (5, 5) to (12, 9) paints every pixel of the line between.
  Stroke({{5, 5}, {12, 9}});
  int painted = 0;
  for (std::uint8_t code : form->State().PixelEdits.codes) painted += code == 8;
  EXPECT_EQ(painted, 8);
  for (const QPoint p : {QPoint(5, 5), QPoint(12, 9), QPoint(8, 7)}) {
    EXPECT_EQ(MixCodeAt(p.x(), p.y()), 8) << p.x() << "," << p.y();
  }
  // Each frame alone shows its own role of the code: sprite 1 over the bitmap, bitmap 2.
  const auto roles = form->State().ColourRoles;
  const std::pair<ZoomMode, int> frames[] = {{ZoomMode::Frame1, roles.Sprite1Colour},
                                             {ZoomMode::Frame2, roles.Bitmap2Colour}};
  for (const auto& [mode, index] : frames) {
    zoom->SetMode(mode);
    const vantrel::TColor colour = vantrel::C64Palette[index];
    EXPECT_EQ(zoom->View()->Picture().pixel(5, 5) & 0xFFFFFFu, vantrel::ToPackedRGB(colour));
  }
  zoom->SetMode(ZoomMode::Mix);
  EXPECT_TRUE(zoom->View()->Picture() == form->Image2->Picture().copy(0, 0, 192, 200));

  // The right button takes the colour under the pointer.
  zoom->SetChosenCode(1);
  RightClick({12, 9});
  EXPECT_EQ(zoom->ChosenCode(), 8);
  const int under = MixCodeAt(100, 100);
  RightClick({100, 100});
  EXPECT_EQ(zoom->ChosenCode(), under);

  // The paint is in every file, as the session writes it for the same conversion and edits.
  vantrel::Session same;
  same.ConvertFile(Data("astronaut.jpg").toStdString(), {});
  same.SetEdits(form->State().PixelEdits);
  const auto expected = [&](OutputKind kind) {
    const auto bytes = same.Output(kind);
    return QByteArray(reinterpret_cast<const char*>(bytes.data()),
                      static_cast<qsizetype>(bytes.size()));
  };
  EXPECT_EQ(SaveAs(form->SaveC64Executable1, "painted.prg"), expected(OutputKind::Executable));
  EXPECT_EQ(SaveAs(form->SavePreviewPNG1, "painted.png"), expected(OutputKind::Png));

  // Converted again, the paint stays; one stroke is one undo step.
  form->TrackBar2->setValue(20);
  EXPECT_EQ(MixCodeAt(8, 7), 8);
  form->Undo1->trigger();
  form->Undo1->trigger();
  EXPECT_TRUE(form->State().PixelEdits.Empty());
  form->Redo1->trigger();
  EXPECT_EQ(MixCodeAt(8, 7), 8);

  form->ClearEdits1->trigger();
  EXPECT_TRUE(form->State().PixelEdits.Empty());
  vantrel::Session plain;
  plain.ConvertFile(Data("astronaut.jpg").toStdString(), {});
  const auto bytes = plain.Output(OutputKind::Executable);
  EXPECT_EQ(SaveAs(form->SaveC64Executable1, "plain.prg"),
            QByteArray(reinterpret_cast<const char*>(bytes.data()),
                       static_cast<qsizetype>(bytes.size())));
  form->Undo1->trigger();
  EXPECT_EQ(MixCodeAt(8, 7), 8) << "Clear Edits is undone like any change";
}

// The flicker alternates the two frames at the target's refresh rate while it is on show.
TEST_F(FinishingTest, FlickerAlternatesTheFramesAtTheTargetsRate) {
  Open(Data("astronaut.jpg"));
  form->Zoom1->trigger();
  zoom->SetMode(ZoomMode::Flicker);
  EXPECT_EQ(zoom->FlickerInterval(), 20);
  form->NTSC1->trigger();
  EXPECT_EQ(zoom->FlickerInterval(), 17);
  form->Drean1->trigger();
  EXPECT_EQ(zoom->FlickerInterval(), 20);

  zoom->SetMode(ZoomMode::Frame1);
  const QImage frame1 = zoom->View()->Picture();
  zoom->SetMode(ZoomMode::Frame2);
  const QImage frame2 = zoom->View()->Picture();
  ASSERT_FALSE(frame1 == frame2);
  zoom->SetMode(ZoomMode::Flicker);
  // Each change of frame shows the other frame's picture (however busy the machine is, it
  // comes within a second).
  for (int change = 0; change < 4; ++change) {
    const int before = zoom->FlickerFrame();
    for (int waited = 0; waited < 1000 && zoom->FlickerFrame() == before; waited += 5) {
      QTest::qWait(5);
    }
    ASSERT_NE(zoom->FlickerFrame(), before) << "change " << change;
    EXPECT_TRUE(zoom->View()->Picture() == (zoom->FlickerFrame() == 1 ? frame1 : frame2));
  }
  zoom->hide();
  const int frame = zoom->FlickerFrame();
  QTest::qWait(60);
  EXPECT_EQ(zoom->FlickerFrame(), frame) << "no flicker while hidden";
}

// A file opens as what it holds, however it is named and opened; one that cannot be opened
// leaves everything as it was.
TEST_F(FinishingTest, FilesOpenByWhatTheyHold) {
  ASSERT_TRUE(QFile::copy(Data("astronaut.jpg"), dir.filePath("photo.jpg")));
  Open(dir.filePath("photo.jpg"));
  form->NTSC1->trigger();
  form->RadioButton8->click();  // low flicker
  form->TrackBar1->setValue(30);
  form->ScrollBar1->setValue(-20);
  form->RadioButton3->click();
  Click(form->PalettePanels[7]);  // a pick after the conversion
  form->Zoom1->trigger();
  zoom->SetChosenCode(5);
  Stroke({{3, 3}, {9, 3}});
  const QByteArray exe = SaveAs(form->SaveC64Executable1, "made.prg");
  SaveAs(form->SaveC64DiskImage1, "made.d64");
  SaveAs(form->SaveC64Data1, "made.bin");
  SaveAs(form->SaveProject1, "made.vantrel");
  const vantrel::LayerPlanes layers = form->State().LayerBits;
  const vantrel::ColourRoleSet roles = form->State().ColourRoles;
  {
    QFile bad(dir.filePath("bad.vantrel"));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("{\n  \"vantrel\": 1,\n  \"photo\": \"photo.jpg\",\n  \"sett");
  }
  // A project known by its content alone.
  ASSERT_TRUE(QFile::copy(dir.filePath("made.vantrel"), dir.filePath("project.txt")));

  struct Case {
    const char* file;
    bool dropped;             // else through the open dialog
    vantrel::Machine target;  // checked afterwards
    bool settingsBack;        // the project's offsets, crop and dithering come back
    const char* error;        // part of the error shown, or nothing
  };
  const Case cases[] = {
      {"made.vantrel", false, vantrel::Machine::Ntsc, true, nullptr},
      {"project.txt", true, vantrel::Machine::Ntsc, true, nullptr},
      {"made.prg", false, vantrel::Machine::Ntsc, false, nullptr},
      {"made.d64", true, vantrel::Machine::Ntsc, false, nullptr},
      {"made.bin", false, vantrel::Machine::Pal, false, nullptr},
      {"bad.vantrel", false, vantrel::Machine::Pal, false, "is not a usable project file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    FakeDialogs other;
    TForm1 window(other);
    other.AnswerOpen(QStringLiteral(VANTREL_TEST_DATA "/chelsea.jpg"));
    window.OpenBitmap1->trigger();
    const vantrel::LayerPlanes before = window.State().LayerBits;
    const Snapshot settingsBefore = window.TakeSnapshot();
    int sweeps = 0;  // a conversion sweeps the progress bar to its end three times
    QObject::connect(window.ProgressBar1, &QProgressBar::valueChanged,
                     [&sweeps](int value) { sweeps += value == 199; });
    if (c.dropped) {
      window.OpenGivenFile(dir.filePath(c.file));
    } else {
      other.AnswerOpen(dir.filePath(c.file));
      window.OpenBitmap1->trigger();
    }
    if (c.error) {
      ASSERT_EQ(other.errors.size(), 1u);
      EXPECT_TRUE(other.errors[0].second.contains(c.error)) << other.errors[0].second.toStdString();
      EXPECT_EQ(window.State().LayerBits.Bitmap1Bits, before.Bitmap1Bits);
      EXPECT_EQ(window.State().LayerBits.Sprite2Bits, before.Sprite2Bits);
      EXPECT_TRUE(window.TakeSnapshot() == settingsBefore);
      continue;
    }
    ASSERT_TRUE(other.errors.empty()) << other.errors[0].second.toStdString();
    // What the C64 shows comes back as it was saved, the paint included.
    EXPECT_EQ(window.State().LayerBits.Bitmap1Bits, layers.Bitmap1Bits);
    EXPECT_EQ(window.State().LayerBits.Sprite1Bits, layers.Sprite1Bits);
    EXPECT_EQ(window.State().LayerBits.Bitmap2Bits, layers.Bitmap2Bits);
    EXPECT_EQ(window.State().LayerBits.Sprite2Bits, layers.Sprite2Bits);
    EXPECT_EQ(window.State().ColourRoles, roles);
    EXPECT_EQ(window.Panel3->Color(), vantrel::C64Palette[roles.Sprite1Colour]);
    EXPECT_EQ(window.CurrentMachine(), c.target);
    if (c.settingsBack) {
      EXPECT_EQ(window.TrackBar1->Position(), 30);
      EXPECT_EQ(window.Edit1->Text(), "30");
      EXPECT_EQ(window.ScrollBar1->Position(), -20);
      EXPECT_TRUE(window.RadioButton8->isChecked());
      // The same executable as before, byte for byte.
      other.AnswerSave(dir.filePath("again.prg"));
      other.replaceAnswers = {true};
      window.SaveC64Executable1->trigger();
      EXPECT_EQ(ReadAll(dir.filePath("again.prg")), exe);
      // Saving the project over its photo is refused, whatever the answer.
      other.AnswerSave(dir.filePath("photo.jpg"));
      other.replaceAnswers = {true};
      window.SaveProject1->trigger();
      ASSERT_EQ(other.errors.size(), 1u);
      EXPECT_EQ(ReadAll(dir.filePath("photo.jpg")), ReadAll(Data("astronaut.jpg")));
    } else {
      EXPECT_LT(sweeps, 3) << "shown as read, not converted";
    }
  }
}

// A project saved and opened again gives the same files; an existing project is replaced only
// after a yes.
TEST_F(FinishingTest, ProjectRoundTripGivesTheSameExecutable) {
  Open(Data("coffee.jpg"));
  form->BitBtn2->click();  // Fit
  form->TrackBar3->setValue(-40);
  form->Zoom1->trigger();
  Stroke({{50, 50}, {50, 60}});
  const QByteArray exe = SaveAs(form->SaveC64Executable1, "coffee.prg");
  const QByteArray png = SaveAs(form->SavePreviewPNG1, "coffee.png");
  SaveAs(form->SaveProject1, "coffee.vantrel");
  const QByteArray project = ReadAll(dir.filePath("coffee.vantrel"));
  ASSERT_FALSE(project.isEmpty());

  form->TrackBar3->setValue(0);
  dialogs.AnswerSave(dir.filePath("coffee.vantrel"));
  dialogs.replaceAnswers = {false};
  form->SaveProject1->trigger();
  EXPECT_EQ(dialogs.replaceQuestions.size(), 1u);
  EXPECT_EQ(ReadAll(dir.filePath("coffee.vantrel")), project) << "kept after a no";

  FakeDialogs other;
  TForm1 window(other);
  other.AnswerOpen(dir.filePath("coffee.vantrel"));
  window.OpenProject1->trigger();
  ASSERT_TRUE(other.errors.empty()) << other.errors[0].second.toStdString();
  EXPECT_TRUE(window.Label3->text().startsWith("Fit"));
  other.AnswerSave(dir.filePath("again.prg"));
  window.SaveC64Executable1->trigger();
  other.AnswerSave(dir.filePath("again.png"));
  window.SavePreviewPNG1->trigger();
  EXPECT_EQ(ReadAll(dir.filePath("again.prg")), exe);
  EXPECT_EQ(ReadAll(dir.filePath("again.png")), png);
}

// What the user chose stays for the next start; colours, offsets and dithering start afresh.
TEST_F(FinishingTest, PreferencesAreRememberedForTheNextStart) {
  EXPECT_FALSE(QSettings().fileName().startsWith(QDir::homePath() + "/.config"))
      << "the tests keep to preferences of their own";
  QDir(dir.path()).mkdir("in");
  QDir(dir.path()).mkdir("out");
  ASSERT_TRUE(QFile::copy(Data("astronaut.jpg"), dir.filePath("in/photo.jpg")));
  {
    FakeDialogs first;
    TForm1 window(first);
    window.NTSC1->trigger();
    window.BitBtn2->click();
    window.Calm1->trigger();  // no picture yet: only the goal is chosen
    first.AnswerOpen(dir.filePath("in/photo.jpg"));
    window.OpenBitmap1->trigger();
    first.AnswerSave(dir.filePath("out/first.prg"));
    window.SaveC64Executable1->trigger();
    window.TrackBar1->setValue(50);
    window.Zoom1->trigger();
    window.ZoomForm->SetZoom(6);
    window.ZoomForm->SetMode(ZoomMode::Frame2);
    window.ZoomForm->SetGrid(true);
    window.ZoomForm->resize(700, 500);
    window.Palettes[2]->trigger();  // Community Colors
    window.MixAsAScreenShowsIt1->trigger();
    window.ColorsPerCell1->trigger();
    window.PackExecutable1->trigger();
    window.AssemblerSyntaxes[2]->trigger();  // Kick Assembler
    ASSERT_TRUE(first.errors.empty());
  }
  FakeDialogs second;
  TForm1 window(second);
  EXPECT_TRUE(window.NTSC1->isChecked());
  EXPECT_TRUE(window.Label3->text().startsWith("Fit"));
  EXPECT_TRUE(window.Calm1->isChecked());
  EXPECT_EQ(window.TrackBar1->Position(), 0);
  EXPECT_TRUE(window.RadioButton7->isChecked());
  EXPECT_EQ(window.ZoomForm->Zoom(), 6);
  EXPECT_EQ(window.ZoomForm->Mode(), ZoomMode::Frame2);
  EXPECT_TRUE(window.ZoomForm->Grid());
  EXPECT_EQ(window.ZoomForm->size(), QSize(700, 500));
  EXPECT_TRUE(window.Palettes[2]->isChecked());
  EXPECT_TRUE(window.MixAsAScreenShowsIt1->isChecked());
  EXPECT_EQ(window.State().Model,
            (vantrel::ColourModel{vantrel::PaletteId::CommunityColors, vantrel::MixRule::Light}));
  // The swatches show the palette's colours.
  for (int index = 0; index < 16; ++index) {
    EXPECT_EQ(window.PalettePanels[index]->Color(),
              vantrel::PaletteColours(vantrel::PaletteId::CommunityColors)[index]);
  }
  EXPECT_EQ(window.Panel2->Color(),
            vantrel::PaletteColours(vantrel::PaletteId::CommunityColors)[2]);
  EXPECT_TRUE(window.ColorsPerCell1->isChecked());
  EXPECT_TRUE(window.PackExecutable1->isChecked());
  EXPECT_TRUE(window.AssemblerSyntaxes[2]->isChecked());
  window.show();
  EXPECT_TRUE(window.ZoomForm->isVisible()) << "open last time, open again";
  window.OpenBitmap1->trigger();  // cancelled
  ASSERT_EQ(second.openFolders.size(), 1u);
  EXPECT_EQ(second.openFolders[0], dir.filePath("in"));
  second.AnswerOpen(dir.filePath("in/photo.jpg"));
  window.OpenBitmap1->trigger();
  window.SaveC64Data1->trigger();  // cancelled
  EXPECT_EQ(second.savePresets.back(), dir.filePath("out/photo.bin"));
  window.close();
}

// The wheel over the source view scrolls the crop, dragging the view moves the picture with the
// pointer; each run of them is one step to undo. The palette is reached and picked from the
// keyboard.
TEST_F(FinishingTest, SourceViewScrollsAndDragsAndThePaletteTakesKeys) {
  Open(Data("astronaut.jpg"));
  const auto wheel = [&](QPoint angle, Qt::KeyboardModifiers modifiers) {
    const QPointF at(96, 100);
    QWheelEvent event(at, form->Image1->mapToGlobal(at), QPoint(), angle, Qt::NoButton, modifiers,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(form->Image1, &event);
  };
  const auto mouse = [&](QEvent::Type type, QPoint at, Qt::MouseButton button,
                         Qt::MouseButtons held) {
    QMouseEvent event(type, QPointF(at), form->Image1->mapToGlobal(QPointF(at)), button, held,
                      Qt::NoModifier);
    QApplication::sendEvent(form->Image1, &event);
  };
  struct Case {
    const char* what;
    std::function<void()> act;
    QPoint bars;  // the scroll bars' positions afterwards
  } cases[] = {
      {"wheel down two notches",
       [&] {
         wheel({0, -240}, Qt::NoModifier);
       },
       {0, -16}},
      {"shift and wheel: across",
       [&] {
         wheel({0, -120}, Qt::ShiftModifier);
       },
       {-8, -16}},
      {"wheel up past the top",
       [&] {
         wheel({0, 1200}, Qt::NoModifier);
       },
       {-8, 0}},
      {"drag left and up",
       [&] {
         mouse(QEvent::MouseButtonPress, {100, 100}, Qt::LeftButton, Qt::LeftButton);
         mouse(QEvent::MouseMove, {80, 90}, Qt::NoButton, Qt::LeftButton);
         mouse(QEvent::MouseMove, {60, 70}, Qt::NoButton, Qt::LeftButton);
         mouse(QEvent::MouseButtonRelease, {60, 70}, Qt::LeftButton, Qt::NoButton);
       },
       {-48, -30}},
  };
  for (const Case& c : cases) {
    c.act();
    EXPECT_EQ(QPoint(form->ScrollBar1->Position(), form->ScrollBar2->Position()), c.bars) << c.what;
  }
  EXPECT_TRUE(dialogs.errors.empty());
  // The drag is one step, the wheel turned in quick succession another.
  for (QPoint back : {QPoint(-8, 0), QPoint(0, 0)}) {
    form->Undo1->trigger();
    EXPECT_EQ(QPoint(form->ScrollBar1->Position(), form->ScrollBar2->Position()), back);
  }

  // Tab reaches the palette after the roles; arrows move through it, the space bar picks.
  form->show();
  form->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
  form->RadioButton4->click();  // bitmap 2
  form->RadioButton5->setFocus();
  QTest::keyClick(form->RadioButton5, Qt::Key_Tab);
  ASSERT_EQ(QApplication::focusWidget(), form->PalettePanels[0]);
  QTest::keyClick(form->PalettePanels[0], Qt::Key_Down);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Right);
  ASSERT_EQ(QApplication::focusWidget(), form->PalettePanels[9]);
  QTest::keyClick(form->PalettePanels[9], Qt::Key_Space);
  EXPECT_EQ(form->State().ColourRoles.Bitmap2Colour, 9);
  form->Undo1->trigger();
  EXPECT_EQ(form->State().ColourRoles.Bitmap2Colour, vantrel::DefaultColourRoles.Bitmap2Colour);
}

// A window goes where it is meant to, unless that would leave part of it off the screen: then
// it moves just enough.
TEST(WindowPlace, MovesJustEnoughToFitTheScreen) {
  struct Case {
    QRect available;
    QPoint place;
    QSize outer;
    QPoint expected;
  } cases[] = {
      {{0, 0, 1280, 800}, {176, 163}, {661, 444}, {176, 163}},      // fits
      {{0, 0, 800, 600}, {176, 163}, {661, 444}, {139, 156}},       // too far right and down
      {{0, 0, 640, 400}, {176, 163}, {661, 444}, {0, 0}},           // larger than the screen
      {{0, 30, 1024, 738}, {236, 10}, {230, 122}, {236, 30}},       // under a panel at the top
      {{1280, 0, 1024, 768}, {176, 163}, {661, 444}, {1280, 163}},  // a second screen
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FittedPlace(c.available, c.place, c.outer), c.expected) << c.available.width();
  }
  // The real window on the test screen.
  FakeDialogs dialogs;
  TForm1 form(dialogs);
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  EXPECT_EQ(form.pos(), FittedPlace(screen, {176, 163}, {661, 444}));
}

}  // namespace

namespace {

// Paint, or changes to a project, that no project holds are not lost without a question:
// "Exit", closing the window and opening another picture or project ask first, and do what
// the answer says. Without such work nothing is asked.
TEST_F(FinishingTest, NoPaintIsLostUnasked) {
  const QString photo = dir.filePath("photo.jpg");
  const QString other = dir.filePath("other.jpg");
  ASSERT_TRUE(QFile::copy(Data("astronaut.jpg"), photo));
  ASSERT_TRUE(QFile::copy(Data("coffee.jpg"), other));
  const QString project = dir.filePath("photo.vantrel");

  enum Work { kNone, kPaint, kProjectChanged, kProjectUnchanged };
  enum Action { kExit, kClose, kOpenPicture, kOpenProject };
  struct Case {
    const char* name;
    Work work;
    Action action;
    std::optional<SaveFirst> answer;  // the question is asked exactly when there is an answer
    bool goesOn;                      // the action is done
    bool projectWritten;              // the work went into the project first
  } cases[] = {
      {"exit without work", kNone, kExit, std::nullopt, true, false},
      {"exit with a project as saved", kProjectUnchanged, kExit, std::nullopt, true, false},
      {"exit with paint, cancelled", kPaint, kExit, SaveFirst::Cancel, false, false},
      {"exit with paint, discarded", kPaint, kExit, SaveFirst::Discard, true, false},
      {"exit with paint, saved", kPaint, kExit, SaveFirst::Save, true, true},
      {"close with paint, cancelled", kPaint, kClose, SaveFirst::Cancel, false, false},
      {"close with paint, saved", kPaint, kClose, SaveFirst::Save, true, true},
      {"another picture, cancelled", kPaint, kOpenPicture, SaveFirst::Cancel, false, false},
      {"another picture, discarded", kPaint, kOpenPicture, SaveFirst::Discard, true, false},
      {"a changed project, saved", kProjectChanged, kOpenPicture, SaveFirst::Save, true, true},
      {"another project, cancelled", kPaint, kOpenProject, SaveFirst::Cancel, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    QFile::remove(project);
    FakeDialogs answers;
    TForm1 window(answers);
    answers.AnswerOpen(photo);
    window.OpenBitmap1->trigger();
    if (c.work != kPaint) {
      answers.AnswerSave(project);
      window.SaveProject1->trigger();
      ASSERT_TRUE(QFile::exists(project));
    }
    const QByteArray projectBefore = ReadAll(project);
    if (c.work == kPaint) {
      ZoomView* view = window.ZoomForm->View();
      const QPointF at(20.5 * view->Zoom(), 30.5 * view->Zoom());
      QMouseEvent press(QEvent::MouseButtonPress, at, view->mapToGlobal(at), Qt::LeftButton,
                        Qt::LeftButton, Qt::NoModifier);
      QMouseEvent release(QEvent::MouseButtonRelease, at, view->mapToGlobal(at), Qt::LeftButton,
                          Qt::NoButton, Qt::NoModifier);
      QApplication::sendEvent(view, &press);
      QApplication::sendEvent(view, &release);
      ASSERT_FALSE(window.State().PixelEdits.Empty());
    } else if (c.work == kProjectChanged) {
      window.TrackBar2->setValue(30);
    }
    const vantrel::Edits edits = window.State().PixelEdits;
    if (c.answer) answers.saveFirstAnswers = {*c.answer};
    if (c.answer == SaveFirst::Save && c.work == kPaint) answers.AnswerSave(project);

    bool quit = false;
    switch (c.action) {
      case kExit:
      case kClose: {
        window.show();
        QTimer::singleShot(0, &window, [&] {
          c.action == kExit ? window.Exit1->trigger() : static_cast<void>(window.close());
        });
        // The loop ends by itself when the action goes on; otherwise after half a second.
        QTimer::singleShot(c.goesOn ? 10000 : 500, [] { QApplication::exit(99); });
        const int status = QApplication::exec();
        quit = status == 0;
        EXPECT_EQ(quit, c.goesOn) << status;
        break;
      }
      case kOpenPicture: {
        const vantrel::PictureSource* before = window.State().Picture.get();
        answers.AnswerOpen(other);
        window.OpenBitmap1->trigger();
        EXPECT_EQ(window.State().Picture.get() != before, c.goesOn);
        break;
      }
      case kOpenProject:
        answers.AnswerOpen(project);
        window.OpenProject1->trigger();
        break;
    }
    EXPECT_EQ(answers.saveFirstQuestions, c.answer ? 1 : 0);
    if (!c.goesOn) {
      EXPECT_TRUE(window.State().PixelEdits == edits) << "the paint is still there";
    }
    EXPECT_EQ(ReadAll(project) != projectBefore, c.projectWritten);
    if (c.projectWritten) {
      // The project holds the work: opened on its own it shows the paint and the offsets.
      vantrel::Session session;
      session.OpenProject(project.toStdString());
      EXPECT_TRUE(session.PixelEdits() == edits);
    }
    EXPECT_TRUE(answers.errors.empty()) << answers.errors.back().second.toStdString();
  }
}

}  // namespace
