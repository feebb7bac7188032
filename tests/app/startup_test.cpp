// The window as it comes up, its layout, the colour model behind the swatches and the
// actions that need a picture before one is open.
#include <QButtonGroup>
#include <QGroupBox>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include "app/window_frame.h"
#include "colour/mix_colours.h"
#include "colour/palette.h"
#include "window_fixture.h"

using vantrel::C64Palette;
using vantrel::TColor;

namespace {

const std::array<TColor, 5> DefaultRoleSwatches = {0x000000, 0x2B3768, 0xB2A470, 0x6FC7B8,
                                                   0x59679A};
const std::array<TColor, 9> DefaultMixSwatches = {0x000000, 0x151B34, 0x595238, 0x37635C, 0x2C334D,
                                                  0x4D7F90, 0x424F81, 0x90B594, 0x858585};

std::array<TPanel*, 5> RolePanels(TForm1& f) {
  return {f.Panel1, f.Panel2, f.Panel3, f.Panel4, f.Panel5};
}
std::array<QRadioButton*, 5> RoleButtons(TForm1& f) {
  return {f.RadioButton1, f.RadioButton2, f.RadioButton3, f.RadioButton4, f.RadioButton5};
}

TEST_F(WindowTest, StartsWithDefaultsAndTheSixPictureControlsDisabled) {
  for (QWidget* w :
       std::initializer_list<QWidget*>{form->Button1, form->TrackBar1, form->TrackBar2,
                                       form->TrackBar3, form->ScrollBar1, form->ScrollBar2}) {
    EXPECT_FALSE(w->isEnabled()) << w->metaObject()->className();
  }
  for (QWidget* w : std::initializer_list<QWidget*>{form->Edit1, form->Edit2, form->Edit3,
                                                    form->BitBtn1, form->RadioButton6,
                                                    form->RadioButton7, form->PalettePanels[0]}) {
    EXPECT_TRUE(w->isEnabled());
  }
  for (QAction* a : {form->OpenBitmap1, form->SaveC64Executable1, form->SaveC64Data1, form->Exit1,
                     form->About1}) {
    EXPECT_TRUE(a->isEnabled());
  }
  EXPECT_EQ(form->Edit1->Text(), "0");
  EXPECT_EQ(form->Edit2->Text(), "0");
  EXPECT_EQ(form->Edit3->Text(), "0");
  EXPECT_TRUE(form->RadioButton1->isChecked());
  EXPECT_TRUE(form->RadioButton7->isChecked());
  EXPECT_FALSE(form->RadioButton6->isChecked());
  for (TTrackBar* bar : {form->TrackBar1, form->TrackBar2, form->TrackBar3})
    EXPECT_EQ(bar->Position(), 0);
  EXPECT_EQ(form->ProgressBar1->value(), 0);

  for (int i = 0; i < 16; ++i)
    EXPECT_EQ(form->PalettePanels[i]->Color(), C64Palette[i]) << "palette " << i;
  for (int r = 0; r < 5; ++r)
    EXPECT_EQ(RolePanels(*form)[r]->Color(), DefaultRoleSwatches[r]) << "role " << r;
  for (int s = 0; s < 9; ++s) {
    EXPECT_EQ(form->MixPanels[s]->Color(), DefaultMixSwatches[s]) << "mix swatch " << s + 1;
    EXPECT_EQ(form->State().MixTable[s], DefaultMixSwatches[s]) << "mix slot " << s + 1;
  }
  EXPECT_EQ(form->State().ColourRoles, (vantrel::ColourRoleSet{0, 2, 3, 7, 10}));
  EXPECT_FALSE(form->State().PictureLoaded);
  EXPECT_EQ(form->State().PictureBitmap.Width(), 256);
  EXPECT_EQ(form->State().PictureBitmap.Height(), 200);
  EXPECT_EQ(form->State().PreviewBitmap.Width(), 256);
  EXPECT_EQ(form->State().PreviewBitmap.Height(), 200);
  EXPECT_TRUE(form->Image1->Picture().isNull()) << "the source view is empty at start";
  EXPECT_TRUE(form->Image2->Picture().isNull()) << "the preview is empty at start";
}

TEST_F(WindowTest, ControlsStandWhereTheLayoutPutsThem) {
  struct Place {
    QWidget* widget;
    QWidget* parent;
    QRect geometry;
  };
  QWidget* client = form->centralWidget();
  const std::vector<Place> places = {
      {form->Image3, client, {24, 8, 601, 41}},
      {form->Bevel1, client, {8, 56, 209, 217}},
      {form->Image1, client, {16, 64, 192, 200}},
      {form->ScrollBar2, client, {224, 56, 16, 217}},
      {form->Bevel2, client, {248, 56, 209, 217}},
      {form->Image2, client, {256, 64, 192, 200}},
      {form->RadioGroup1, client, {464, 56, 121, 129}},
      {form->RadioButton1, client, {496, 77, 81, 17}},
      {form->RadioButton2, client, {496, 96, 73, 17}},
      {form->RadioButton3, client, {496, 115, 65, 17}},
      {form->RadioButton4, client, {496, 134, 73, 17}},
      {form->RadioButton5, client, {496, 153, 65, 17}},
      {form->Panel1, client, {472, 78, 20, 14}},
      {form->Panel2, client, {472, 97, 20, 14}},
      {form->Panel3, client, {472, 116, 20, 14}},
      {form->Panel4, client, {472, 136, 20, 14}},
      {form->Panel5, client, {472, 155, 20, 14}},
      {form->GroupBox1, client, {464, 184, 121, 89}},
      {form->MixPanels[0], form->GroupBox1, {9, 19, 20, 14}},
      {form->MixPanels[1], form->GroupBox1, {50, 19, 20, 14}},
      {form->MixPanels[2], form->GroupBox1, {92, 19, 20, 14}},
      {form->MixPanels[3], form->GroupBox1, {9, 43, 20, 14}},
      {form->MixPanels[8], form->GroupBox1, {92, 67, 20, 14}},
      {form->GroupBox2, client, {592, 56, 54, 169}},
      {form->PalettePanels[0], form->GroupBox2, {5, 27, 20, 14}},
      {form->PalettePanels[7], form->GroupBox2, {5, 139, 20, 14}},
      {form->PalettePanels[8], form->GroupBox2, {29, 27, 20, 14}},
      {form->PalettePanels[15], form->GroupBox2, {29, 139, 20, 14}},
      {form->Button1, client, {592, 232, 54, 41}},
      {form->ScrollBar1, client, {8, 280, 209, 16}},
      {form->ProgressBar1, client, {248, 280, 321, 17}},
      {form->Bevel3, client, {8, 304, 289, 89}},
      {form->TrackBar1, client, {16, 312, 241, 32}},
      {form->TrackBar2, client, {16, 336, 241, 32}},
      {form->TrackBar3, client, {16, 360, 241, 25}},
      {form->Edit1, client, {256, 312, 33, 21}},
      {form->Edit2, client, {256, 336, 33, 21}},
      {form->Edit3, client, {256, 360, 33, 21}},
      {form->Panel31, client, {304, 304, 113, 81}},  // tall enough for three choices
      {form->RadioButton6, form->Panel31, {8, 24, 73, 17}},
      {form->RadioButton7, form->Panel31, {8, 40, 97, 17}},
      {form->RadioButton8, form->Panel31, {8, 56, 97, 17}},
      {form->BitBtn1, client, {424, 304, 49, 17}},
  };
  for (const Place& p : places) {
    EXPECT_EQ(p.widget->parentWidget(), p.parent) << p.widget->metaObject()->className();
    EXPECT_EQ(p.widget->geometry(), p.geometry) << p.widget->metaObject()->className();
  }
  EXPECT_EQ(form->Label1->pos(), QPoint(8, 8));
  EXPECT_GE(form->Label1->width(), form->Label1->sizeHint().width())
      << "the caption is not clipped";
  for (int i = 1; i < 8; ++i) {
    EXPECT_EQ(form->PalettePanels[i]->y(), 27 + 16 * i);
    EXPECT_EQ(form->PalettePanels[8 + i]->y(), 27 + 16 * i);
  }

  struct Caption {
    QString actual, expected;
  } captions[] = {
      {form->RadioGroup1->title(), "Selected colors"},
      {form->GroupBox1->title(), "Calculated Mix Colors"},
      {form->GroupBox2->title(), "Palette"},
      {form->Button1->text(), "CONVERT"},
      {form->BitBtn1->text(), "Default"},
      {form->Label1->text(), "Dithering"},
      {form->RadioButton1->text(), "Background"},
      {form->RadioButton2->text(), "Bitmap 1"},
      {form->RadioButton3->text(), "Sprite 1"},
      {form->RadioButton4->text(), "Bitmap 2"},
      {form->RadioButton5->text(), "Sprite 2"},
      {form->RadioButton6->text(), "None"},
      {form->RadioButton7->text(), "Floyd Steinberg"},
      {form->File1->title(), "&File"},
      {form->OpenBitmap1->text(), "Open JPEG"},
      {form->SaveC64Executable1->text(), "Save C64 Executable"},
      {form->SaveC64Data1->text(), "Save C64 Data"},
      {form->Exit1->text(), "Exit"},
      {form->About1->text(), "About"},
  };
  for (const auto& c : captions) EXPECT_EQ(c.actual, c.expected);

  // Menu order: File with "Open JPEG", "Save C64 Executable" and "Save C64 Data" first, second
  // and third (a script choosing the second item must get the save) and "Exit" last, then
  // About last on the bar.
  const auto barActions = form->menuBar()->actions();
  ASSERT_GE(barActions.size(), 2);
  EXPECT_EQ(barActions.first()->menu(), form->File1);
  EXPECT_EQ(barActions.last(), form->About1);
  EXPECT_EQ(form->File1->actions(),
            (QList<QAction*>{form->OpenBitmap1, form->SaveC64Executable1, form->SaveC64Data1,
                             form->SaveC64DiskImage1, form->SavePreviewPNG1,
                             form->SaveAssemblerSource1, form->OpenProject1, form->SaveProject1,
                             form->Target1->menuAction(), form->AssemblerSyntax1->menuAction(),
                             form->PackExecutable1, form->RunInVICE1, form->Exit1}));
  EXPECT_EQ(form->SaveC64DiskImage1->text(), "Save C64 Disk Image");
  EXPECT_EQ(form->Target1->title(), "Target");
  EXPECT_EQ(form->RunInVICE1->text(), "Run in VICE");
  QStringList targets;
  for (QAction* target : form->Target1->actions()) targets << target->text();
  EXPECT_EQ(targets, (QStringList{"PAL", "NTSC", "Old NTSC", "Drean", "Any C64"}));
  EXPECT_TRUE(form->PAL1->isChecked());

  struct Range {
    QAbstractSlider* slider;
    int min, max;
  } ranges[] = {{form->ScrollBar1, -400, 0},
                {form->ScrollBar2, 0, 0},
                {form->TrackBar1, -255, 255},
                {form->TrackBar2, -255, 255},
                {form->TrackBar3, -255, 255}};
  for (const auto& r : ranges) {
    EXPECT_EQ(r.slider->minimum(), r.min);
    EXPECT_EQ(r.slider->maximum(), r.max);
    EXPECT_EQ(r.slider->value(), 0);
  }
  EXPECT_EQ(form->ProgressBar1->minimum(), 0);
  EXPECT_EQ(form->ProgressBar1->maximum(), 200);
  EXPECT_EQ(form->Image3->Picture().size(), QSize(601, 43));
  EXPECT_TRUE(form->windowTitle().contains("Vantrel Converter"));
}

TEST_F(WindowTest, TabOrderFollowsTheLayout) {
  const std::vector<QWidget*> order = {form->RadioButton1, form->RadioButton2, form->RadioButton3,
                                       form->RadioButton4, form->RadioButton5, form->Button1,
                                       form->TrackBar1,    form->TrackBar2,    form->TrackBar3,
                                       form->Edit1,        form->Edit2,        form->Edit3,
                                       form->BitBtn1,      form->ScrollBar1,   form->ScrollBar2};
  // Walk the chain from the first focusable control and keep the ones we list.
  std::vector<QWidget*> walked;
  QWidget* w = form->RadioGroup1;
  for (int guard = 0; guard < 200 && walked.size() < order.size(); ++guard) {
    w = w->nextInFocusChain();
    if (std::find(order.begin(), order.end(), w) != order.end() &&
        std::find(walked.begin(), walked.end(), w) == walked.end()) {
      walked.push_back(w);
    }
  }
  EXPECT_EQ(walked, order);
}

TEST_F(WindowTest, PalettePickGivesTheSelectedRoleThatColour) {
  for (int role = 0; role < 5; ++role) {
    for (int index : {0, 8, 15}) {
      form = std::make_unique<TForm1>(dialogs);
      RoleButtons(*form)[role]->setChecked(true);
      const vantrel::ColourRoleSet rolesBefore = form->State().ColourRoles;
      const vantrel::MixSlots mixBefore = form->State().MixTable;
      Click(form->PalettePanels[index]);

      vantrel::ColourRoleSet expected = rolesBefore;
      expected[role] = index;
      EXPECT_EQ(form->State().ColourRoles, expected) << "role " << role << " index " << index;
      for (int r = 0; r < 5; ++r) {
        EXPECT_EQ(RolePanels(*form)[r]->Color(), C64Palette[expected[r]]);
      }
      for (int code = 1; code <= 9; ++code) {
        const auto [first, second] = vantrel::MixSlotRoles[code - 1];
        const TColor mixed =
            vantrel::MixColours(C64Palette[expected[first]], C64Palette[expected[second]]);
        EXPECT_EQ(form->State().MixTable[code - 1], mixed);
        EXPECT_EQ(form->MixPanels[code - 1]->Color(), mixed);
        if (first != role && second != role) {
          EXPECT_EQ(mixed, mixBefore[code - 1]);
        }
      }
    }
  }
}

// Only a left click, pressed and released on the swatch, picks; like a push button.
TEST_F(WindowTest, OnlyALeftClickOnTheSwatchPicksAColour) {
  struct Case {
    const char* what;
    Qt::MouseButton button;
    QPointF releaseAt;  // relative to the swatch's centre
    bool picks;
  } cases[] = {
      {"left click", Qt::LeftButton, {0, 0}, true},
      {"left click released at the edge", Qt::LeftButton, {9, 6}, true},
      {"right click", Qt::RightButton, {0, 0}, false},
      {"middle click", Qt::MiddleButton, {0, 0}, false},
      {"left press dragged off to the right", Qt::LeftButton, {40, 0}, false},
      {"left press dragged off to the swatch below", Qt::LeftButton, {0, 16}, false},
  };
  for (const Case& c : cases) {
    form->RadioButton2->setChecked(true);
    form->PaletteClick(2);
    TPanel* swatch = form->PalettePanels[12];
    const QPointF centre(swatch->width() / 2.0, swatch->height() / 2.0);
    const QPointF release = centre + c.releaseAt;
    QMouseEvent press(QEvent::MouseButtonPress, centre, swatch->mapToGlobal(centre), c.button,
                      c.button, Qt::NoModifier);
    QMouseEvent move(QEvent::MouseMove, release, swatch->mapToGlobal(release), Qt::NoButton,
                     c.button, Qt::NoModifier);
    QMouseEvent up(QEvent::MouseButtonRelease, release, swatch->mapToGlobal(release), c.button,
                   Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(swatch, &press);
    QApplication::sendEvent(swatch, &move);
    QApplication::sendEvent(swatch, &up);
    EXPECT_EQ(form->State().ColourRoles.Bitmap1Colour, c.picks ? 12 : 2) << c.what;
  }
}

// The window keeps its controls where they are at any size, also smaller than its layout;
// both windows take their outer size (frame included) from the layout the same way; the
// "Selected colors" group is painted in the menu colour, not white.
TEST_F(WindowTest, WindowsAreSizedByTheirOuterSizeAndMayShrink) {
  form->show();
  const QRect convert = form->Button1->geometry();
  for (const QSize size : {QSize(300, 200), QSize(120, 90), QSize(900, 600)}) {
    form->resize(size);
    EXPECT_EQ(form->size(), size) << "the window refused " << size.width() << "x" << size.height();
    EXPECT_EQ(form->Button1->geometry(), convert);
  }
  EXPECT_EQ(QSize(661, 444) - ClassicClientSize(QSize(661, 444)),
            QSize(230, 122) - ClassicClientSize(QSize(230, 122)));
  const TForm1 fresh(dialogs);
  EXPECT_EQ(fresh.size(), ClassicClientSize(QSize(661, 444)));
  EXPECT_EQ(about->size(), ClassicClientSize(QSize(230, 122)));
  EXPECT_LT(about->width(), 230);

  const QColor menu = QApplication::palette("QMenu").color(QPalette::Window);
  const QImage group = form->RadioGroup1->grab().toImage();
  EXPECT_EQ(group.pixelColor(110, 1), menu) << "beside the caption, above the frame";
  EXPECT_NE(menu, QColor(Qt::white));
}

TEST_F(WindowTest, RoleAndDitheringButtonsAreSeparateGroups) {
  form->RadioButton1->click();  // clicking the selected role keeps it selected
  EXPECT_TRUE(form->RadioButton1->isChecked());
  form->RadioButton3->click();
  EXPECT_TRUE(form->RadioButton7->isChecked()) << "selecting a role leaves the dithering alone";
  form->RadioButton6->click();
  EXPECT_TRUE(form->RadioButton3->isChecked()) << "choosing the dithering leaves the role alone";
  EXPECT_FALSE(form->RadioButton7->isChecked());
  form->RadioButton6->click();
  EXPECT_TRUE(form->RadioButton6->isChecked());
}

TEST_F(WindowTest, Sprite2PickChangesOnlySlotsFiveSevenAndNine) {
  form->RadioButton5->setChecked(true);
  const vantrel::MixSlots before = form->State().MixTable;
  Click(form->PalettePanels[8]);  // Panel23, orange
  EXPECT_EQ(form->State().ColourRoles.Sprite2Colour, 8);
  EXPECT_EQ(form->Panel5->Color(), 0x254F6Fu);
  for (int code = 1; code <= 9; ++code) {
    EXPECT_EQ(form->State().MixTable[code - 1] != before[code - 1],
              code == 5 || code == 7 || code == 9)
        << "slot " << code;
  }
}

TEST_F(WindowTest, PickWithNoRoleSelectedDoesNothing) {
  form->RadioButton1->group()->setExclusive(false);
  for (QRadioButton* b : RoleButtons(*form)) b->setChecked(false);
  const auto roles = form->State().ColourRoles;
  const auto mix = form->State().MixTable;
  Click(form->PalettePanels[1]);
  EXPECT_EQ(form->State().ColourRoles, roles);
  EXPECT_EQ(form->State().MixTable, mix);
  for (int r = 0; r < 5; ++r) EXPECT_EQ(RolePanels(*form)[r]->Color(), DefaultRoleSwatches[r]);
}

TEST_F(WindowTest, PictureActionsDoNothingBeforeAPictureIsOpen) {
  form->RadioButton3->setChecked(true);
  Click(form->PalettePanels[1]);
  form->RadioButton6->setChecked(true);
  const auto roles = form->State().ColourRoles;
  progress.clear();

  dialogs.AnswerSave("/nonexistent/should-not-be-asked");
  form->SaveC64Executable1->trigger();
  form->SaveC64Data1->trigger();
  Click(form->BitBtn1);

  EXPECT_EQ(dialogs.saveDialogs, 0);
  EXPECT_TRUE(dialogs.errors.empty());
  EXPECT_EQ(form->State().ColourRoles, roles) << "\"Default\" must not reset before a picture";
  EXPECT_TRUE(form->RadioButton6->isChecked());
  EXPECT_TRUE(progress.empty());
  const auto& image = form->State().MemoryImage;
  EXPECT_TRUE(std::all_of(image.begin(), image.end(), [](auto b) { return b == 0; }));
}

TEST_F(WindowTest, AboutShowsTheAboutBoxModallyEveryTime) {
  form->About1->trigger();
  form->About1->trigger();
  ASSERT_EQ(dialogs.modals.size(), 2u);
  EXPECT_EQ(dialogs.modals[0], about.get());
  EXPECT_EQ(about->windowTitle(), "About");
  EXPECT_EQ(about->Label1->text(), "Vantrel Converter");
  EXPECT_TRUE(about->Label1->font().bold());
  EXPECT_TRUE(about->Label2->text().contains("2005"));
  EXPECT_EQ(about->Button1->text(), "OK");
  EXPECT_EQ(about->Button1->geometry(), QRect(120, 56, 75, 25));
  EXPECT_EQ(about->Image1->pixmap().size(), QSize(80, 80));
}

TEST_F(WindowTest, ExitAndClosingTheWindowEndTheEventLoop) {
  form->show();
  QTimer::singleShot(0, form->Exit1, &QAction::trigger);
  QTimer::singleShot(5000, [] { QApplication::exit(99); });  // the loop must not need this
  EXPECT_EQ(QApplication::exec(), 0);

  form->show();
  QTimer::singleShot(0, form.get(), &QWidget::close);
  QTimer::singleShot(5000, [] { QApplication::exit(99); });
  EXPECT_EQ(QApplication::exec(), 0);
  EXPECT_TRUE(dialogs.errors.empty());
}

TEST(ErrorDisplay, AddsAFullStopUnlessTheMessageEndsInOneOrBelowIt) {
  struct Case {
    QString message, shown;
  } cases[] = {
      {"abc", "abc."},
      {"abc.", "abc."},
      {"", ""},
      {"JPEG error #55", "JPEG error #55."},
      {"ends in a dash-", "ends in a dash-"},
      {"ends in a space ", "ends in a space "},
      {"ends in a comma,", "ends in a comma,"},
      {"ends in a slash/", "ends in a slash/."},
      {"ends in a bracket)", "ends in a bracket)"},
      {"ends in a colon:", "ends in a colon:."},
  };
  for (const auto& c : cases)
    EXPECT_EQ(WithFullStop(c.message), c.shown) << c.message.toStdString();
  EXPECT_EQ(ApplicationTitle(), "Vantrel Converter");
}

}  // namespace
