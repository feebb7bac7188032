// "Auto Colors": the roles a search finds for the goal chosen, set as palette picks would set
// them, then shown.
#include <QMenuBar>
#include <QRadioButton>
#include <array>
#include <vector>

#include "app/zoom_window.h"
#include "colour/mix_colours.h"
#include "colour/palette.h"
#include "convert/auto_colours.h"
#include "window_fixture.h"

namespace {

using vantrel::C64Palette;
using vantrel::ColourRoleSet;
using vantrel::TColor;

// What the colour model and the views show.
struct Shown {
  ColourRoleSet roles;
  std::array<TColor, 5> roleSwatches{};
  std::array<TColor, 9> mixSwatches{};
  vantrel::MixSlots mixTable{};
  std::vector<std::uint32_t> preview;
  QImage resultView;

  explicit Shown(const TForm1& form)
      : roles(form.State().ColourRoles), mixTable(form.State().MixTable) {
    const TPanel* panels[] = {form.Panel1, form.Panel2, form.Panel3, form.Panel4, form.Panel5};
    for (int role = 0; role < 5; ++role) roleSwatches[role] = panels[role]->Color();
    for (int slot = 0; slot < 9; ++slot) mixSwatches[slot] = form.MixPanels[slot]->Color();
    const auto& bitmap = form.State().PreviewBitmap;
    preview.assign(bitmap.Words(), bitmap.Words() + bitmap.Width() * bitmap.Height());
    resultView = form.Image2->Picture();
  }
};

using AutoColoursWindowTest = WindowTest;

// A menu after "File", "Edit" and "View", before "About", offering the three goals; the last one
// used stays checked.
TEST_F(AutoColoursWindowTest, StandsOnTheMenuBarBetweenFileAndAboutWithItsGoals) {
  const auto bar = form->menuBar()->actions();
  ASSERT_EQ(bar.size(), 5);
  EXPECT_EQ(bar[0]->menu(), form->File1);
  EXPECT_EQ(bar[1]->menu(), form->EditMenu1);
  EXPECT_EQ(bar[2]->menu(), form->View1);
  EXPECT_EQ(bar[3]->menu(), form->AutoColors1);
  EXPECT_EQ(bar[4], form->About1);
  EXPECT_EQ(form->AutoColors1->title(), "Auto Colors");
  const auto items = form->AutoColors1->actions();
  ASSERT_EQ(items.size(), 5);
  EXPECT_EQ(items.mid(0, 3), (QList<QAction*>{form->Faithful1, form->Balanced1, form->Calm1}));
  EXPECT_TRUE(items[3]->isSeparator());
  EXPECT_EQ(items[4], form->ColorsPerCell1);
  EXPECT_EQ(form->ColorsPerCell1->text(), "Colors per &Cell");
  EXPECT_TRUE(form->ColorsPerCell1->isCheckable());
  EXPECT_FALSE(form->ColorsPerCell1->isChecked()) << "off until the user checks it";
  EXPECT_EQ(form->Faithful1->text(), "Faithful");
  EXPECT_EQ(form->Balanced1->text(), "Balanced");
  EXPECT_EQ(form->Calm1->text(), "Calm");
  EXPECT_TRUE(form->Faithful1->isChecked());
  form->Calm1->trigger();
  EXPECT_TRUE(form->Calm1->isChecked());
  EXPECT_FALSE(form->Faithful1->isChecked());
  form->Calm1->trigger();  // choosing it again keeps it
  EXPECT_TRUE(form->Calm1->isChecked());
}

TEST_F(AutoColoursWindowTest, DoesNothingWithoutAPicture) {
  form->RadioButton4->setChecked(true);
  const Shown before(*form);
  form->Faithful1->trigger();
  const Shown after(*form);
  EXPECT_EQ(after.roles, before.roles);
  EXPECT_EQ(after.roleSwatches, before.roleSwatches);
  EXPECT_EQ(after.mixSwatches, before.mixSwatches);
  EXPECT_EQ(after.mixTable, before.mixTable);
  EXPECT_EQ(after.preview, before.preview);
  EXPECT_TRUE(progress.empty());
  EXPECT_TRUE(form->RadioButton4->isChecked());
  EXPECT_TRUE(dialogs.errors.empty());
}

TEST_F(AutoColoursWindowTest, SetsTheFoundRolesLikePalettePicksAndConvertsOnce) {
  struct Case {
    vantrel::Dithering dithering;
    vantrel::ColourGoal goal;
    int selectedRole;  // 0 "Background" .. 4 "Sprite 2"
    int red, green, blue;
  } cases[] = {
      {vantrel::Dithering::FloydSteinberg, vantrel::ColourGoal::Faithful, 2, 0, 0, 0},
      {vantrel::Dithering::None, vantrel::ColourGoal::Calm, 0, 40, -30, 0},
      {vantrel::Dithering::LowFlicker, vantrel::ColourGoal::Balanced, 4, 0, 20, -10},
  };
  const auto ditheringButton = [](TForm1& f, vantrel::Dithering d) {
    return std::array{f.RadioButton6, f.RadioButton7, f.RadioButton8}[static_cast<int>(d)];
  };
  const auto goalItem = [](TForm1& f, vantrel::ColourGoal g) {
    return std::array{f.Faithful1, f.Balanced1, f.Calm1}[static_cast<int>(g)];
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << static_cast<int>(c.dithering) << " " << static_cast<int>(c.goal));
    // A fresh window for each case; the fixture's first one is not needed.
    form = std::make_unique<TForm1>(dialogs);
    Open(Data("astronaut.jpg"));
    form->ScrollBar1->setValue(-130);
    form->ScrollBar2->setValue((form->ScrollBar2->minimum() + form->ScrollBar2->maximum()) / 2);
    form->TrackBar1->SetPosition(c.red);
    form->TrackBar2->SetPosition(c.green);
    form->TrackBar3->SetPosition(c.blue);
    ditheringButton(*form, c.dithering)->setChecked(true);
    QRadioButton* const roleButtons[] = {form->RadioButton1, form->RadioButton2, form->RadioButton3,
                                         form->RadioButton4, form->RadioButton5};
    QRadioButton* const selected = roleButtons[c.selectedRole];
    selected->setChecked(true);
    const int scroll1 = form->ScrollBar1->value(), scroll2 = form->ScrollBar2->value();
    const std::vector<std::uint32_t> adjusted(form->State().Image1.Words(),
                                              form->State().Image1.Words() + vantrel::PixelCount);
    const ColourRoleSet expected = vantrel::ChooseColourRoles(form->State(), c.dithering, c.goal);
    ASSERT_NE(expected, vantrel::DefaultColourRoles);
    const Shown before(*form);
    QObject::connect(form->ProgressBar1, &QProgressBar::valueChanged,
                     [this](int value) { progress.push_back(value); });
    progress.clear();

    goalItem(*form, c.goal)->trigger();

    const Shown after(*form);
    EXPECT_EQ(after.roles, expected);
    for (int role = 0; role < 5; ++role)
      EXPECT_EQ(after.roleSwatches[role], C64Palette[expected[role]]);
    EXPECT_EQ(after.mixTable, vantrel::BuildMixTable(vantrel::RoleColours(expected)));
    EXPECT_EQ(after.mixSwatches, after.mixTable);
    EXPECT_NE(after.mixSwatches, before.mixSwatches);
    EXPECT_NE(after.preview, before.preview);
    EXPECT_NE(after.resultView, before.resultView);
    // One conversion (three sweeps of the bar), then the bar back at 0.
    EXPECT_EQ(FullSweeps(), 3);
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), 0);
    // Nothing else moved.
    EXPECT_TRUE(selected->isChecked());
    EXPECT_TRUE(ditheringButton(*form, c.dithering)->isChecked());
    EXPECT_TRUE(goalItem(*form, c.goal)->isChecked());
    EXPECT_EQ(form->ScrollBar1->value(), scroll1);
    EXPECT_EQ(form->ScrollBar2->value(), scroll2);
    EXPECT_EQ(form->TrackBar1->Position(), c.red);
    EXPECT_EQ(form->TrackBar2->Position(), c.green);
    EXPECT_EQ(form->TrackBar3->Position(), c.blue);
    EXPECT_EQ(form->Edit1->Text(), QString::number(c.red));
    EXPECT_EQ(std::vector<std::uint32_t>(form->State().Image1.Words(),
                                         form->State().Image1.Words() + vantrel::PixelCount),
              adjusted);
    EXPECT_TRUE(dialogs.errors.empty());

    // A user picking the same five colours by hand and pressing "CONVERT" sees the same.
    FakeDialogs otherDialogs;
    TForm1 other(otherDialogs);
    otherDialogs.AnswerOpen(Data("astronaut.jpg"));
    other.OpenBitmap1->trigger();
    other.ScrollBar1->setValue(scroll1);
    other.ScrollBar2->setValue(scroll2);
    other.TrackBar1->SetPosition(c.red);
    other.TrackBar2->SetPosition(c.green);
    other.TrackBar3->SetPosition(c.blue);
    ditheringButton(other, c.dithering)->setChecked(true);
    QRadioButton* const otherRoleButtons[] = {other.RadioButton1, other.RadioButton2,
                                              other.RadioButton3, other.RadioButton4,
                                              other.RadioButton5};
    for (int role = 0; role < 5; ++role) {
      otherRoleButtons[role]->setChecked(true);
      Click(other.PalettePanels[expected[role]]);
    }
    other.Button1->click();
    const Shown byHand(other);
    EXPECT_EQ(byHand.roles, after.roles);
    EXPECT_EQ(byHand.roleSwatches, after.roleSwatches);
    EXPECT_EQ(byHand.mixSwatches, after.mixSwatches);
    EXPECT_EQ(byHand.preview, after.preview);
  }
}

// "Colors per Cell": Auto Colors gives every cell its own colours, as the library's search
// finds them, after a wait that shows its progress and can be cancelled; the role swatches show
// the sprite colours and the roles the search started from, the zoom's Paint row the mixes of
// the cell under the pointer; a palette pick goes back to the roles, and undo brings the cells
// back.
TEST_F(AutoColoursWindowTest, ColoursPerCellCancelUndoAndAPickBackToTheRoles) {
  Open(Data("astronaut.jpg"));
  form->ScrollBar1->setValue(-130);
  form->ColorsPerCell1->setChecked(true);
  const Shown before(*form);

  dialogs.cancelAtPermille = 0;
  form->Faithful1->trigger();
  ASSERT_EQ(dialogs.progressLabels.size(), 1u);
  EXPECT_FALSE(form->State().CellTable) << "cancelled: nothing changes";
  EXPECT_EQ(Shown(*form).preview, before.preview);
  EXPECT_FALSE(form->UndoHistory().Current().cells);

  dialogs.cancelAtPermille.reset();
  const auto choice = [&] {
    vantrel::Session session;
    session.OpenFile(Data("astronaut.jpg").toStdString());
    session.ReadSourceWindow(-130, 0);
    session.Reconvert({});
    return session.FindCellColours(vantrel::Dithering::FloydSteinberg,
                                   vantrel::ColourGoal::Faithful);
  }();
  ASSERT_TRUE(choice);
  form->Faithful1->trigger();
  ASSERT_TRUE(form->State().CellTable);
  EXPECT_EQ(*form->State().CellTable, choice->cells);
  EXPECT_EQ(form->State().ColourRoles, choice->roles);
  EXPECT_EQ(form->Panel3->Color(), C64Palette[choice->roles.Sprite1Colour]);
  EXPECT_EQ(form->Panel5->Color(), C64Palette[choice->roles.Sprite2Colour]);
  EXPECT_NE(Shown(*form).preview, before.preview);
  const std::vector<std::uint32_t> withCells = Shown(*form).preview;

  // The Paint row shows the nine mixes of the cell under the pointer.
  form->Zoom1->trigger();
  ZoomView* view = form->ZoomForm->View();
  for (const QPoint pixel : {QPoint(3, 3), QPoint(100, 150)}) {
    const QPointF at((pixel.x() + 0.5) * view->Zoom(), (pixel.y() + 0.5) * view->Zoom());
    QMouseEvent move(QEvent::MouseMove, at, view->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(view, &move);
    const vantrel::MixSlots& mixes =
        form->State().CellMixTables[vantrel::CellOf(pixel.x(), pixel.y())];
    for (int code = 1; code <= 9; ++code) {
      EXPECT_EQ(form->ZoomForm->Swatches()[code - 1]->Color(), mixes[code - 1]) << code;
    }
  }

  // A pick gives every cell the roles again, one step to undo.
  form->RadioButton2->setChecked(true);
  Click(form->PalettePanels[1]);
  EXPECT_FALSE(form->State().CellTable);
  form->Undo1->trigger();
  ASSERT_TRUE(form->State().CellTable);
  EXPECT_EQ(*form->State().CellTable, choice->cells);
  EXPECT_EQ(Shown(*form).preview, withCells);
  form->Undo1->trigger();  // before Auto Colors
  EXPECT_FALSE(form->State().CellTable);
  EXPECT_EQ(Shown(*form).preview, before.preview);
  form->Redo1->trigger();
  EXPECT_EQ(Shown(*form).preview, withCells);
  EXPECT_TRUE(dialogs.errors.empty());
}

}  // namespace
