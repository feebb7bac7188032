// The main window's controls and menus, placed as the layout has them, and what each is bound
// to.
#include <QActionGroup>
#include <QApplication>
#include <QButtonGroup>
#include <QGroupBox>
#include <QLabel>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>

#include "app/Overlay.h"
#include "app/artwork.h"
#include "app/preferences.h"
#include "app/window_frame.h"
#include "app/zoom_window.h"
#include "session/options.h"

using namespace vantrel;

namespace {

template <typename Widget>
Widget* Place(Widget* widget, int left, int top, int width, int height) {
  widget->setGeometry(left, top, width, height);
  return widget;
}

QFrame* MakeBevel(QWidget* parent, int left, int top, int width, int height) {
  auto* bevel = new QFrame(parent);
  bevel->setFrameStyle(QFrame::Box | QFrame::Sunken);
  bevel->setAttribute(Qt::WA_TransparentForMouseEvents);
  return Place(bevel, left, top, width, height);
}

}  // namespace

void TForm1::CreateMenu() {
  File1 = menuBar()->addMenu(QStringLiteral("&File"));
  OpenBitmap1 = File1->addAction(QStringLiteral("Open JPEG"));
  OpenBitmap1->setShortcut(QKeySequence::Open);
  SaveC64Executable1 = File1->addAction(QStringLiteral("Save C64 Executable"));
  SaveC64Executable1->setShortcut(QKeySequence::Save);
  SaveC64Data1 = File1->addAction(QStringLiteral("Save C64 Data"));
  // Everything added to the menu comes after the first three, which keep their places.
  SaveC64DiskImage1 = File1->addAction(QStringLiteral("Save C64 Disk Image"));
  SavePreviewPNG1 = File1->addAction(QStringLiteral("Save Preview P&NG..."));
  SaveAssemblerSource1 = File1->addAction(QStringLiteral("Save &Assembler Source..."));
  OpenProject1 = File1->addAction(QStringLiteral("Open &Project..."));
  SaveProject1 = File1->addAction(QStringLiteral("Save Pro&ject..."));
  Target1 = File1->addMenu(QStringLiteral("Target"));
  auto* targets = new QActionGroup(this);
  const std::array<QAction**, 5> machines = {&PAL1, &NTSC1, &OldNTSC1, &Drean1, &AnyC641};
  for (std::size_t m = 0; m < machines.size(); ++m) {
    QAction*& item = *machines[m];
    item = Target1->addAction(QString::fromLatin1(MachineCaption(AllMachines[m])));
    item->setCheckable(true);
    targets->addAction(item);
  }
  PAL1->setChecked(true);
  // The assemblers a source is written for, as the option table names them.
  AssemblerSyntax1 = File1->addMenu(QStringLiteral("Assembler Syntax"));
  auto* syntaxes = new QActionGroup(this);
  const ConversionOption& syntaxOption = *FindOption("asm-syntax");
  for (std::size_t s = 0; s < AssemblerSyntaxes.size(); ++s) {
    const std::string_view caption = syntaxOption.choices[s].caption;
    QAction* item = AssemblerSyntax1->addAction(
        QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size())));
    item->setCheckable(true);
    syntaxes->addAction(item);
    AssemblerSyntaxes[s] = item;
  }
  AssemblerSyntaxes[0]->setChecked(true);
  PackExecutable1 = File1->addAction(QStringLiteral("Pac&k Executable"));
  PackExecutable1->setCheckable(true);
  RunInVICE1 = File1->addAction(QStringLiteral("Run in VICE"));
  Exit1 = File1->addAction(QStringLiteral("Exit"));
  Exit1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));

  EditMenu1 = menuBar()->addMenu(QStringLiteral("&Edit"));
  Undo1 = EditMenu1->addAction(QStringLiteral("&Undo"));
  Undo1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
  Redo1 = EditMenu1->addAction(QStringLiteral("&Redo"));
  Redo1->setShortcuts(
      {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
  EditMenu1->addSeparator();
  ClearEdits1 = EditMenu1->addAction(QStringLiteral("&Clear Edits"));
  View1 = menuBar()->addMenu(QStringLiteral("&View"));
  Zoom1 = View1->addAction(QStringLiteral("&Zoom"));
  Zoom1->setCheckable(true);
  Palette1 = View1->addMenu(QStringLiteral("&Palette"));
  auto* palettes = new QActionGroup(this);
  for (const PaletteData& palette : AllPalettes()) {
    QAction* item = Palette1->addAction(
        QString::fromUtf8(palette.caption.data(), static_cast<qsizetype>(palette.caption.size())));
    item->setCheckable(true);
    palettes->addAction(item);
    Palettes.push_back(item);
  }
  Palettes.front()->setChecked(true);
  MixAsAScreenShowsIt1 = View1->addAction(QStringLiteral("&Mix as a Screen Shows It"));
  MixAsAScreenShowsIt1->setCheckable(true);

  AutoColors1 = menuBar()->addMenu(QStringLiteral("Auto Colors"));
  auto* goals = new QActionGroup(this);
  const std::array<QAction**, 3> items = {&Faithful1, &Balanced1, &Calm1};
  for (std::size_t goal = 0; goal < items.size(); ++goal) {
    QAction*& item = *items[goal];
    item = AutoColors1->addAction(QString::fromLatin1(ColourGoalCaptions[goal]));
    item->setCheckable(true);
    goals->addAction(item);
  }
  Faithful1->setChecked(true);
  AutoColors1->addSeparator();
  ColorsPerCell1 = AutoColors1->addAction(QStringLiteral("Colors per &Cell"));
  ColorsPerCell1->setCheckable(true);
  About1 = menuBar()->addAction(QStringLiteral("About"));
}

void TForm1::CreateControls() {
  // No layout and no minimum size: the window may shrink below its layout, clipping the
  // controls, which keep their places whatever its size.
  auto* client = new QWidget(this);
  client->setBackgroundRole(QPalette::Button);
  client->setAutoFillBackground(true);
  setCentralWidget(client);

  CreateViews(client);
  CreateColourControls(client);
  CreateOffsetControls(client);
  CreateScaleControls(client);
  setAcceptDrops(true);

  SetOuterSize(*this, OuterSize);
}

// The banner, the source view with its scroll bars, the preview and the progress bar.
void TForm1::CreateViews(QWidget* client) {
  Image3 = Place(new TImage(client), 24, 8, 601, 41);
  Image3->ShowImage(MakeBannerPicture());
  Bevel1 = MakeBevel(client, 8, 56, 209, 217);
  Image1 = Place(new SourceView(client), 16, 64, 192, 200);
  ScrollBar2 = Place(new TScrollBar(Qt::Vertical, client), 224, 56, 16, 217);
  ScrollBar2->setRange(0, 0);
  Bevel2 = MakeBevel(client, 248, 56, 209, 217);
  Image2 = Place(new TImage(client), 256, 64, 192, 200);
  ScrollBar1 = Place(new TScrollBar(Qt::Horizontal, client), 8, 280, 209, 16);
  ScrollBar1->setRange(-400, 0);
  ProgressBar1 = Place(new QProgressBar(client), 248, 280, 321, 17);
  ProgressBar1->setRange(0, 200);
  ProgressBar1->setValue(0);
  ProgressBar1->setTextVisible(false);
}

// The five roles with their swatches, the nine mix colours, the palette and "CONVERT".
void TForm1::CreateColourControls(QWidget* client) {
  RadioGroup1 = Place(new QGroupBox(QStringLiteral("Selected colors"), client), 464, 56, 121, 129);
  // Painted in the system's menu colour, like the group it stands for.
  QPalette menuColours = RadioGroup1->palette();
  menuColours.setColor(QPalette::Window, QApplication::palette("QMenu").color(QPalette::Window));
  RadioGroup1->setPalette(menuColours);
  RadioGroup1->setBackgroundRole(QPalette::Window);
  RadioGroup1->setAutoFillBackground(true);
  const std::array<const char*, 5> roleCaptions = {"Background", "Bitmap 1", "Sprite 1", "Bitmap 2",
                                                   "Sprite 2"};
  const std::array<int, 5> roleTops = {77, 96, 115, 134, 153};
  const std::array<int, 5> roleWidths = {81, 73, 65, 73, 65};
  const std::array<int, 5> swatchTops = {78, 97, 116, 136, 155};
  std::array<QRadioButton*, 5> roleButtons{};
  std::array<TPanel*, 5> rolePanels{};
  for (int role = 0; role < 5; ++role) {
    roleButtons[role] = Place(new QRadioButton(QString::fromLatin1(roleCaptions[role]), client),
                              496, roleTops[role], roleWidths[role], 17);
    rolePanels[role] = Place(new TPanel(client), 472, swatchTops[role], 20, 14);
  }
  // Explicit groups: Qt's automatic grouping would also reach into Panel31 and let the role
  // buttons and the dithering buttons uncheck each other.
  auto* roleGroup = new QButtonGroup(this);
  for (QRadioButton* button : roleButtons) roleGroup->addButton(button);
  RadioButton1 = roleButtons[0];
  RadioButton2 = roleButtons[1];
  RadioButton3 = roleButtons[2];
  RadioButton4 = roleButtons[3];
  RadioButton5 = roleButtons[4];
  Panel1 = rolePanels[0];
  Panel2 = rolePanels[1];
  Panel3 = rolePanels[2];
  Panel4 = rolePanels[3];
  Panel5 = rolePanels[4];

  GroupBox1 =
      Place(new QGroupBox(QStringLiteral("Calculated Mix Colors"), client), 464, 184, 121, 89);
  for (int slot = 0; slot < 9; ++slot) {
    const int left = std::array<int, 3>{9, 50, 92}[slot % 3];
    const int top = std::array<int, 3>{19, 43, 67}[slot / 3];
    MixPanels[slot] = Place(new TPanel(GroupBox1), left, top, 20, 14);
  }

  GroupBox2 = Place(new QGroupBox(QStringLiteral("Palette"), client), 592, 56, 54, 169);
  for (int index = 0; index < 16; ++index) {
    PalettePanels[index] =
        Place(new TPanel(GroupBox2), index < 8 ? 5 : 29, 27 + 16 * (index % 8), 20, 14);
  }

  Button1 = Place(new QPushButton(QStringLiteral("CONVERT"), client), 592, 232, 54, 41);
  QFont buttonFont(QStringLiteral("Arial"));
  buttonFont.setStyleHint(QFont::SansSerif);
  buttonFont.setPixelSize(8);
  Button1->setFont(buttonFont);
}

// The offset sliders with their edit boxes, the dithering choices and "Default".
void TForm1::CreateOffsetControls(QWidget* client) {
  Bevel3 = MakeBevel(client, 8, 304, 289, 89);
  TrackBar1 = Place(new TTrackBar(client), 16, 312, 241, 32);
  TrackBar2 = Place(new TTrackBar(client), 16, 336, 241, 32);
  TrackBar3 = Place(new TTrackBar(client), 16, 360, 241, 25);
  for (TTrackBar* bar : {TrackBar1, TrackBar2, TrackBar3}) {
    bar->setRange(-MaxChannelOffset, MaxChannelOffset);
  }
  Edit1 = Place(new TEdit(client), 256, 312, 33, 21);
  Edit2 = Place(new TEdit(client), 256, 336, 33, 21);
  Edit3 = Place(new TEdit(client), 256, 360, 33, 21);
  for (TEdit* edit : {Edit1, Edit2, Edit3}) edit->setText(QStringLiteral("0"));

  // Tall enough for three choices.
  Panel31 = Place(new QFrame(client), 304, 304, 113, 81);
  Panel31->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  Label1 = Place(new QLabel(QStringLiteral("Dithering"), Panel31), 8, 8, 42, 13);
  Label1->adjustSize();  // labels size themselves to their caption
  RadioButton6 = Place(new QRadioButton(QStringLiteral("None"), Panel31), 8, 24, 73, 17);
  RadioButton7 = Place(new QRadioButton(QStringLiteral("Floyd Steinberg"), Panel31), 8, 40, 97, 17);
  RadioButton8 = Place(new QRadioButton(QStringLiteral("Low Flicker"), Panel31), 8, 56, 97, 17);
  auto* ditheringGroup = new QButtonGroup(this);
  for (QRadioButton* button : {RadioButton6, RadioButton7, RadioButton8}) {
    ditheringGroup->addButton(button);
  }
  RadioButton7->setChecked(true);

  BitBtn1 = Place(new QPushButton(QStringLiteral("Default"), client), 424, 304, 49, 17);
}

// The scale: its caption, the scale shown, "Fit" and the percentage slider.
void TForm1::CreateScaleControls(QWidget* client) {
  Label2 = Place(new QLabel(QStringLiteral("Scale"), client), 480, 306, 34, 13);
  Label2->adjustSize();
  Label3 = Place(new QLabel(client), 516, 306, 76, 13);
  BitBtn2 = Place(new QPushButton(QStringLiteral("Fit"), client), 597, 304, 49, 17);
  TrackBar4 = Place(new TTrackBar(client), 480, 324, 166, 25);
  TrackBar4->setPageStep(10);
  TrackBar4->SetRangeQuietly(100, 100, 100);
  TrackBar4->setEnabled(false);  // until a picture is open
  ShowScale();
}

void TForm1::BindHandlers() {
  // Each user change is one step to undo, recorded once the handler has done its work.
  const auto changes = [this](ChangeSource source, auto handler) {
    return [this, source, handler] {
      Guard([&] {
        handler();
        Record(source);
      });
    };
  };
  for (int index = 0; index < 16; ++index) {
    connect(PalettePanels[index], &TPanel::clicked, this,
            changes(ChangeSource::Role, [this, index] { PaletteClick(index); }));
    PalettePanels[index]->SetKeyboardReachable();
    // The palette is two columns of eight: up and down within a column, left and right across.
    connect(PalettePanels[index], &TPanel::arrowPressed, this, [this, index](int key) {
      const int step = key == Qt::Key_Up     ? -1
                       : key == Qt::Key_Down ? 1
                       : key == Qt::Key_Left ? -8
                                             : 8;
      const int next = index + step;
      if (next >= 0 && next < 16) PalettePanels[next]->setFocus(Qt::TabFocusReason);
    });
  }
  connect(Button1, &QPushButton::clicked, this,
          changes(ChangeSource::Convert, [this] { Button1Click(); }));
  connect(BitBtn1, &QPushButton::clicked, this,
          changes(ChangeSource::Default, [this] { BitBtn1Click(); }));
  connect(BitBtn2, &QPushButton::clicked, this,
          changes(ChangeSource::Scale, [this] { BitBtn2Click(); }));
  TrackBar4->OnChange = [this] { TrackBar4Change(); };
  connect(TrackBar4, &QSlider::valueChanged, this,
          changes(ChangeSource::Scale, [this] { TrackBar4Change(); }));

  ScrollBar1->OnChange = [this] { ScrollBar1Change(); };
  ScrollBar2->OnChange = [this] { ScrollBar2Change(); };
  connect(ScrollBar1, &QScrollBar::valueChanged, this,
          changes(ChangeSource::Crop, [this] { ScrollBar1Change(); }));
  connect(ScrollBar2, &QScrollBar::valueChanged, this,
          changes(ChangeSource::Crop, [this] { ScrollBar2Change(); }));
  // The wheel over the source view scrolls the crop, dragging the view moves it: a drag is
  // one step to undo, however far it goes.
  connect(Image1, &SourceView::scrolled, this, [this](QPoint step) {
    Guard([&] {
      MoveCropBy(step.x(), step.y());
      Record(ChangeSource::Crop);
    });
  });
  connect(Image1, &SourceView::dragStarted, this, [this] { dragCrop_ = session_.Crop(); });
  connect(Image1, &SourceView::dragged, this, [this](QPoint moved) {
    Guard([&] {
      MoveCropBy(dragCrop_.DrawX() + moved.x() - ScrollBar1->Position(),
                 dragCrop_.DrawY() + moved.y() - ScrollBar2->Position());
    });
  });
  connect(Image1, &SourceView::dragEnded, this, [this] { Record(ChangeSource::None); });

  const std::array<ChangeSource, 3> channels = {ChangeSource::Red, ChangeSource::Green,
                                                ChangeSource::Blue};
  for (int channel = 1; channel <= 3; ++channel) {
    TrackBar(channel)->OnChange = [this, channel] { TrackBarChange(channel); };
    Edit(channel)->OnChange = [this, channel] { EditChange(channel); };
    connect(TrackBar(channel), &QSlider::valueChanged, this,
            changes(channels[channel - 1], [this, channel] { TrackBarChange(channel); }));
    connect(Edit(channel), &QLineEdit::textChanged, this,
            changes(channels[channel - 1], [this, channel] { EditChange(channel); }));
  }
  for (QRadioButton* button : {RadioButton6, RadioButton7, RadioButton8}) {
    connect(button, &QRadioButton::clicked, this, changes(ChangeSource::Dithering, [] {}));
  }

  BindMenu();

  connect(ZoomForm, &ZoomWindow::painted, this,
          [this](const QList<QPoint>& pixels) { Guard([&] { PaintPixels(pixels); }); });
  connect(ZoomForm, &ZoomWindow::strokeEnded, this, [this] { Record(ChangeSource::Paint); });
  connect(ZoomForm, &ZoomWindow::picked, this, [this](QPoint pixel) { PickPixel(pixel); });
  connect(ZoomForm, &ZoomWindow::visibilityChanged, this, [this](bool visible) {
    Zoom1->setChecked(visible);
    if (visible) ZoomForm->Refresh();
    if (!closing_) SaveZoomPreferences();
  });
}

// The menu items: the actions of the File menu and the others, each run through the error
// guard; those that change the settings or the edits are a step to undo.
void TForm1::BindMenu() {
  const auto guarded = [this](auto handler) {
    return [this, handler] { Guard([&] { handler(); }); };
  };
  const auto changes = [this](ChangeSource source, auto handler) {
    return [this, source, handler] {
      Guard([&] {
        handler();
        Record(source);
      });
    };
  };
  // A cancelled open converts once more, as CONVERT would; a new picture starts a new history.
  connect(OpenBitmap1, &QAction::triggered, this,
          changes(ChangeSource::Convert, [this] { OpenBitmap1Click(); }));
  connect(SaveC64Executable1, &QAction::triggered, this,
          guarded([this] { SaveC64Executable1Click(); }));
  connect(SaveC64Data1, &QAction::triggered, this, guarded([this] { SaveC64Data1Click(); }));
  connect(SaveC64DiskImage1, &QAction::triggered, this,
          guarded([this] { SaveC64DiskImage1Click(); }));
  connect(SavePreviewPNG1, &QAction::triggered, this, guarded([this] { SavePreviewPNG1Click(); }));
  connect(SaveAssemblerSource1, &QAction::triggered, this,
          guarded([this] { SaveAssemblerSource1Click(); }));
  for (std::size_t s = 0; s < AssemblerSyntaxes.size(); ++s) {
    connect(AssemblerSyntaxes[s], &QAction::triggered, this, [s] {
      const std::string_view name = AsmSyntaxName(AllAsmSyntaxes[s]);
      preferences::AssemblerSyntax.Write(
          QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())));
    });
  }
  connect(PackExecutable1, &QAction::toggled, this, [](bool on) { preferences::Pack.Write(on); });
  connect(ColorsPerCell1, &QAction::toggled, this,
          [](bool on) { preferences::ColorsPerCell.Write(on); });
  connect(OpenProject1, &QAction::triggered, this, guarded([this] { OpenProject1Click(); }));
  connect(SaveProject1, &QAction::triggered, this, guarded([this] { SaveProject1Click(); }));
  for (QAction* target : TargetActions()) {
    connect(target, &QAction::triggered, this, [this] { SetMachine(CurrentMachine()); });
  }
  connect(RunInVICE1, &QAction::triggered, this, guarded([this] { RunInVICE1Click(); }));
  connect(Exit1, &QAction::triggered, this, guarded([this] { Exit1Click(); }));
  connect(Undo1, &QAction::triggered, this, guarded([this] { Undo1Click(); }));
  connect(Redo1, &QAction::triggered, this, guarded([this] { Redo1Click(); }));
  connect(ClearEdits1, &QAction::triggered, this,
          changes(ChangeSource::Clear, [this] { ClearEdits1Click(); }));
  connect(Zoom1, &QAction::triggered, this, guarded([this] { Zoom1Click(); }));
  for (QAction* palette : Palettes) {
    connect(palette, &QAction::triggered, this,
            changes(ChangeSource::Model, [this] { ColourModelClick(); }));
  }
  connect(MixAsAScreenShowsIt1, &QAction::triggered, this,
          changes(ChangeSource::Model, [this] { ColourModelClick(); }));
  const std::array<QAction*, 3> goals = GoalActions();
  for (std::size_t goal = 0; goal < goals.size(); ++goal) {
    connect(goals[goal], &QAction::triggered, this, changes(ChangeSource::Auto, [this, goal] {
              preferences::Goal.Write(static_cast<int>(goal));
              AutoColorsClick(static_cast<ColourGoal>(goal));
            }));
  }
  connect(About1, &QAction::triggered, this, guarded([this] { About1Click(); }));
}

void TForm1::SetTabOrder() {
  std::vector<QWidget*> order = {
      RadioGroup1,  RadioButton1, RadioButton2, RadioButton3, RadioButton4, RadioButton5, Panel1,
      Panel2,       Panel3,       Panel4,       Panel5,       GroupBox1,    GroupBox2,    Button1,
      ProgressBar1, TrackBar1,    TrackBar2,    TrackBar3,    Edit1,        Edit2,        Edit3,
      Panel31,      BitBtn1,      ScrollBar1,   ScrollBar2,   BitBtn2,      TrackBar4};
  // The palette swatches follow the roles they colour.
  order.insert(std::find(order.begin(), order.end(), GroupBox2) + 1, PalettePanels.begin(),
               PalettePanels.end());
  // Frames and panels take no focus; the chain links the controls that do.
  std::erase_if(order, [](QWidget* w) { return !(w->focusPolicy() & Qt::TabFocus); });
  for (std::size_t i = 1; i < order.size(); ++i) setTabOrder(order[i - 1], order[i]);
}

TTrackBar* TForm1::TrackBar(int channel) const {
  return channel == 1 ? TrackBar1 : channel == 2 ? TrackBar2 : TrackBar3;
}

TEdit* TForm1::Edit(int channel) const {
  return channel == 1 ? Edit1 : channel == 2 ? Edit2 : Edit3;
}

std::array<QRadioButton*, 5> TForm1::RoleButtons() const {
  return {RadioButton1, RadioButton2, RadioButton3, RadioButton4, RadioButton5};
}

std::array<TPanel*, 5> TForm1::RolePanels() const {
  return {Panel1, Panel2, Panel3, Panel4, Panel5};
}

std::array<QAction*, 5> TForm1::TargetActions() const {
  return {PAL1, NTSC1, OldNTSC1, Drean1, AnyC641};
}

std::array<QAction*, 3> TForm1::GoalActions() const { return {Faithful1, Balanced1, Calm1}; }

std::array<QWidget*, 6> TForm1::PictureControls() const {
  return {Button1, TrackBar1, TrackBar2, TrackBar3, ScrollBar1, ScrollBar2};
}
