// The main window: its menus and controls wired to the session, the opens, saves, undo and preferences.
#include "app/Overlay.h"

#include <QActionGroup>
#include <QApplication>
#include <QButtonGroup>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSignalBlocker>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <QWheelEvent>
#include <filesystem>

#include "app/Unit2.h"
#include "app/artwork.h"
#include "app/window_frame.h"
#include "app/zoom_window.h"
#include "core/str_to_int.h"
#include "core/write_file.h"

using namespace vantrel;

namespace {

// The window's outer size, frame, title bar and menu bar included.
constexpr QSize OuterSize(661, 444);

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

// The passes report every row, 600 to 800 times per conversion. QProgressBar repaints
// synchronously on each visible change, which cost ten times the conversion itself; so the
// bar takes every value at once but paints it with the next frame, unless the last paint
// is a frame old (a slow pass still shows the bar moving).
class TForm1::ProgressBarSink : public ProgressSink {
 public:
  explicit ProgressBarSink(TForm1& form) : form_(form) {}
  void SetProgress(int row) override {
    QProgressBar* bar = form_.ProgressBar1;
    if (!lastPaint_.isValid() || lastPaint_.hasExpired(kFrameMilliseconds)) {
      lastPaint_.start();
      bar->setValue(row);
      return;
    }
    bar->setUpdatesEnabled(false);
    bar->setValue(row);
    bar->setUpdatesEnabled(true);  // schedules the paint instead
  }

 private:
  static constexpr qint64 kFrameMilliseconds = 16;
  TForm1& form_;
  QElapsedTimer lastPaint_;
};

TForm1::TForm1(Dialogs& dialogs, QWidget* parent)
    : QMainWindow(parent), dialogs_(dialogs), progress_(std::make_unique<ProgressBarSink>(*this)) {
  setWindowTitle(QStringLiteral("Vantrel Converter - by Vantrel Software"));
  setFont(WindowFont());
  setWindowIcon(QIcon(QPixmap::fromImage(MakeAboutPicture().scaled(32, 32))));
  CreateMenu();
  CreateControls();
  ZoomForm = new ZoomWindow(session_, this);
  // Undo and redo work from the zoom window too.
  ZoomForm->addActions({Undo1, Redo1});
  BindHandlers();
  SetTabOrder();
  PlaceOnScreen(*this, QPoint(176, 163), OuterSize);

  // The session made both bitmaps with the rest of the state; every step that would use
  // them waits for PictureLoaded.
  ResetSettings();
  for (QWidget* control : PictureControls()) control->setEnabled(false);
  LoadPreferences();
  history_.Reset(TakeSnapshot());
  UpdateUndoActions();
}

TForm1::~TForm1() {
  if (!closing_) SaveZoomPreferences();
  ZoomForm->disconnect(this);
}

// The zoom window closes with the main window, and opens with it next time.
void TForm1::closeEvent(QCloseEvent* event) {
  SaveZoomPreferences();
  closing_ = true;
  ZoomForm->hide();
  QMainWindow::closeEvent(event);
}

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
  Image1 = Place(new TImage(client), 16, 64, 192, 200);
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
  for (TTrackBar* bar : {TrackBar1, TrackBar2, TrackBar3}) bar->setRange(-255, 255);
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
  // The wheel over the source view scrolls the crop, dragging the view moves it.
  Image1->installEventFilter(this);
  Image1->setCursor(Qt::OpenHandCursor);

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

  connect(OpenBitmap1, &QAction::triggered, this, [this] { Guard([&] { OpenBitmap1Click(); }); });
  connect(OpenProject1, &QAction::triggered, this, [this] { Guard([&] { OpenProject1Click(); }); });
  connect(SaveC64Executable1, &QAction::triggered, this,
          [this] { Guard([&] { SaveC64Executable1Click(); }); });
  connect(SaveC64Data1, &QAction::triggered, this, [this] { Guard([&] { SaveC64Data1Click(); }); });
  connect(SaveC64DiskImage1, &QAction::triggered, this,
          [this] { Guard([&] { SaveC64DiskImage1Click(); }); });
  connect(SaveProject1, &QAction::triggered, this, [this] { Guard([&] { SaveProject1Click(); }); });
  connect(SavePreviewPNG1, &QAction::triggered, this,
          [this] { Guard([&] { SavePreviewPNG1Click(); }); });
  for (QAction* target : {PAL1, NTSC1, OldNTSC1, Drean1, AnyC641}) {
    connect(target, &QAction::triggered, this, [this] {
      const Machine machine = CurrentMachine();
      ZoomForm->SetMachine(machine);
      QSettings().setValue(QStringLiteral("target"), QString::fromLatin1(MachineName(machine)));
    });
  }
  connect(RunInVICE1, &QAction::triggered, this, [this] { Guard([&] { RunInVICE1Click(); }); });
  connect(Exit1, &QAction::triggered, this, [this] { Guard([&] { Exit1Click(); }); });
  connect(Undo1, &QAction::triggered, this, [this] { Guard([&] { Undo1Click(); }); });
  connect(Redo1, &QAction::triggered, this, [this] { Guard([&] { Redo1Click(); }); });
  connect(ClearEdits1, &QAction::triggered, this,
          changes(ChangeSource::Clear, [this] { ClearEdits1Click(); }));
  connect(Zoom1, &QAction::triggered, this, [this] { Guard([&] { Zoom1Click(); }); });
  connect(Faithful1, &QAction::triggered, this,
          changes(ChangeSource::Auto, [this] { AutoColorsClick(ColourGoal::Faithful); }));
  connect(Balanced1, &QAction::triggered, this,
          changes(ChangeSource::Auto, [this] { AutoColorsClick(ColourGoal::Balanced); }));
  connect(Calm1, &QAction::triggered, this,
          changes(ChangeSource::Auto, [this] { AutoColorsClick(ColourGoal::Calm); }));
  connect(About1, &QAction::triggered, this, [this] { Guard([&] { About1Click(); }); });

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

std::array<QWidget*, 6> TForm1::PictureControls() const {
  return {Button1, TrackBar1, TrackBar2, TrackBar3, ScrollBar1, ScrollBar2};
}

void TForm1::SetProgress(int position) { ProgressBar1->setValue(position); }

void TForm1::ShowException(const QString& message) {
  dialogs_.ShowError(this, ApplicationTitle(), WithFullStop(message));
}

// --- Colour model ---------------------------------------------------------------------

// The edit boxes are written twice on purpose: first to match the sliders (a box still showing
// "007" becomes "7"), then "0" once the sliders are at 0. Each write that changes a text runs
// its chain as the user's own typing would, and with a picture loaded each chain converts.
void TForm1::ResetSettings() {
  for (int index = 0; index < 16; ++index) PalettePanels[index]->SetColor(C64Palette[index]);
  RadioButton1->setChecked(true);
  for (int channel = 1; channel <= 3; ++channel) {
    Edit(channel)->SetText(QString::fromStdString(IntToStr(TrackBar(channel)->Position())));
  }
  for (int role = 0; role < RoleCount; ++role) SetRole(role, DefaultColourRoles[role]);
  SetProgress(0);
  RadioButton7->setChecked(true);
  for (int channel = 1; channel <= 3; ++channel) TrackBar(channel)->SetPosition(0);
  for (int channel = 1; channel <= 3; ++channel) Edit(channel)->SetText(QStringLiteral("0"));
}

// A role always changes the same way: its swatch, then its index, then the mix colours.
void TForm1::SetRole(int role, int index) {
  RolePanels()[role]->SetColor(C64Palette[index]);
  ColourRoleSet roles = session_.Roles();
  roles[role] = index;
  session_.SetColourRoles(roles);
  UpdateMixColours();
}

// The session worked out the mix colours with the roles. A pick does not convert, but a save
// takes the new colours at once: the preview shows the last conversion in them, so it always
// shows what a save writes.
void TForm1::UpdateMixColours() {
  for (int code = 1; code <= 9; ++code)
    MixPanels[code - 1]->SetColor(session_.MixColours()[code - 1]);
  if (session_.PictureLoaded()) {
    RedrawPreview();
  } else {
    RefreshZoom();  // its swatches
  }
}

void TForm1::PaletteClick(int index) {
  const auto buttons = RoleButtons();
  for (int role = 0; role < RoleCount; ++role) {
    if (!buttons[role]->isChecked()) continue;
    SetRole(role, index);
    return;
  }
}

// --- Picture input and conversion -----------------------------------------------------

void TForm1::RedrawSourceView() {
  Image1->ShowWords(session_.SourceView().Words(), WindowWidth, WindowHeight);
}

void TForm1::RedrawPreview() {
  const Bitmap32& preview = session_.Preview();
  Image2->ShowWords(preview.Words(), preview.Width(), preview.Height());
  RefreshZoom();
}

// The zoom window follows every change while it is open (and catches up when it opens).
void TForm1::RefreshZoom() {
  if (ZoomForm && ZoomForm->isVisible()) ZoomForm->Refresh();
}

// The offsets are the sliders' positions. Floyd-Steinberg dithering is on exactly when
// "Floyd Steinberg" is checked, the low-flicker one when "Low Flicker" is; "None" is never
// asked.
Adjustment TForm1::CurrentAdjustment() const {
  const Dithering dithering = RadioButton7->isChecked()   ? Dithering::FloydSteinberg
                              : RadioButton8->isChecked() ? Dithering::LowFlicker
                                                          : Dithering::None;
  return {TrackBar1->Position(), TrackBar2->Position(), TrackBar3->Position(), dithering};
}

void TForm1::ConvertPicture() {
  if (!session_.PictureLoaded()) return;
  session_.ConvertPicture(CurrentAdjustment().dithering, progress_.get());
  NoteConversion(session_.Roles(), CurrentAdjustment().dithering);
  RedrawPreview();
}

// How every change of the picture, the crop, an offset or "Default" ends: the offsets applied
// to the crop, the conversion, and the progress bar back to 0.
void TForm1::Reconvert() {
  if (session_.PictureLoaded()) {
    session_.Reconvert(CurrentAdjustment(), progress_.get());
    NoteConversion(session_.Roles(), CurrentAdjustment().dithering);
    RedrawSourceView();
    RedrawPreview();
  }
  SetProgress(0);
}

// The roles a search finds for the current crop, offsets and dithering and the goal chosen,
// set as five palette picks would set them (the selected role stays selected), then one
// conversion to show them. The goal stays checked in the menu as the last one used.
void TForm1::AutoColorsClick(ColourGoal goal) {
  if (!session_.PictureLoaded()) return;
  const std::optional<ColourRoleSet> roles =
      session_.FindColourRoles(CurrentAdjustment().dithering, goal);
  if (!roles) return;
  for (int role = 0; role < RoleCount; ++role) SetRole(role, (*roles)[role]);
  ConvertPicture();
  SetProgress(0);
}

void TForm1::Button1Click() {
  ConvertPicture();
  SetProgress(0);
}

void TForm1::OpenBitmap1Click() {
  QString fileName = QStringLiteral("*.jpg");
  const bool chosen = dialogs_.ExecuteOpen(this, fileName, openFolder_);
  if (chosen) {
    openFolder_ = QFileInfo(fileName).absolutePath();
    QSettings().setValue(QStringLiteral("folders/open"), openFolder_);
    if (OpenByKind(fileName)) return;
  }
  Reconvert();
  if (chosen) {
    ShowPictureWarning();
    AfterOpen();
  }
}

// Projects and saved pictures open as what they are; a photo is left to the caller, which
// converts it. Returns whether the file was opened here.
bool TForm1::OpenByKind(const QString& fileName) {
  const std::string name = QFile::encodeName(fileName).toStdString();
  // A file named as a project is read as one, so a damaged project says what is wrong with it.
  if (fileName.endsWith(QStringLiteral(".vantrel"), Qt::CaseInsensitive) ||
      Session::KindOfFile(name) == FileKind::Project) {
    OpenProjectFile(fileName);
    return true;
  }
  if (OpenPictureFile(fileName) != FileKind::SavedPicture) return false;
  ShowSavedPicture();
  AfterOpen();
  return true;
}

void TForm1::OpenProject1Click() {
  QString fileName = QStringLiteral("*.vantrel");
  if (!dialogs_.ExecuteOpen(this, fileName, openFolder_)) return;
  openFolder_ = QFileInfo(fileName).absolutePath();
  QSettings().setValue(QStringLiteral("folders/open"), openFolder_);
  OpenProjectFile(fileName);
}

// The session remade the project's conversion; the controls are set to match without
// converting again. A project that cannot be opened changes nothing.
void TForm1::OpenProjectFile(const QString& fileName) {
  const Project project =
      session_.OpenProject(QFile::encodeName(fileName).toStdString(), progress_.get());
  SetProgress(0);
  session_.MarkPictureLoaded();
  NoteConversion(project.settings.roles, project.settings.adjustment.dithering);
  for (QWidget* control : PictureControls()) control->setEnabled(true);
  openedFile_ = QFile::decodeName(QByteArray::fromStdString(session_.PictureName()));
  SetScaleSetting(project.settings.scale);
  ShowScale();
  ScrollBar1->SetMinQuietly(WindowWidth - session_.State().PictureWidth,
                            -project.settings.crop.left);
  ScrollBar2->SetMinQuietly(WindowHeight - session_.State().PictureHeight,
                            -project.settings.crop.top);
  const Adjustment& adjustment = project.settings.adjustment;
  SetOffsetsQuietly(adjustment.red, adjustment.green, adjustment.blue);
  SetDithering(project.dithering);
  ShowRoles();
  SetMachine(project.machine);
  RedrawSourceView();
  RedrawPreview();
  AfterOpen();
}

// A saved picture shows its conversion as it was read: the roles and the target it was saved
// with, the crop at its corner, the offsets applied to the source view but nothing converted.
void TForm1::ShowSavedPicture() {
  ScrollBar1->SetMinQuietly(WindowWidth - session_.State().PictureWidth, 0);
  ScrollBar2->SetMinQuietly(WindowHeight - session_.State().PictureHeight, 0);
  session_.ReadSourceWindow(0, 0);
  const Adjustment adjustment = CurrentAdjustment();
  session_.ApplyChannelOffsets(adjustment.red, adjustment.green, adjustment.blue, progress_.get());
  SetProgress(0);
  RedrawSourceView();
  ShowRoles();
  NoteConversion(session_.Roles(), adjustment.dithering);
  SetMachine(session_.SavedMachine());
  RedrawPreview();
}

// A new picture starts a new history.
void TForm1::AfterOpen() {
  history_.Reset(TakeSnapshot());
  UpdateUndoActions();
}

// A picture that opened but is not whole (a JPEG cut short) is shown as it came, and the user
// is told once the open is done.
void TForm1::ShowPictureWarning() {
  const std::string warning = session_.PictureWarning();
  if (!warning.empty()) {
    dialogs_.ShowWarning(this, ApplicationTitle(), WithFullStop(QString::fromLocal8Bit(warning)));
  }
}

// What confirming the open dialog does, and dropping a file on the window. A saved picture
// opens as it was read, with the scroll bars set quietly: nothing converts it.
FileKind TForm1::OpenPictureFile(const QString& fileName) {
  // Confirming the dialog is what enters the picture-loaded state, so the flag and the
  // controls come before the decode: they stay so when the file then fails to open.
  session_.MarkPictureLoaded();
  for (QWidget* control : PictureControls()) control->setEnabled(true);
  const FileKind kind = session_.OpenFile(QFile::encodeName(fileName).toStdString(), scaleSetting_);
  openedFile_ = fileName;
  ShowScale();
  if (kind == FileKind::SavedPicture) return kind;
  session_.ReadSourceWindow(0, 0);
  RedrawSourceView();
  // Setting a position that was not 0 runs that bar's crop move at once, nested in the
  // open; the end state is the window at (0, 0) either way.
  ScrollBar1->SetPosition(0);
  ScrollBar2->SetPosition(0);
  ScrollBar1->SetMin(WindowWidth - session_.State().PictureWidth);
  ScrollBar2->SetMin(WindowHeight - session_.State().PictureHeight);
  return kind;
}

namespace {

// A drop is taken as a copy (or a link), never as a move: a file manager told "moved" may
// delete its own copy of the photo. Returns false for a drop we do not take.
bool AcceptAsCopy(QDropEvent* event) {
  const QList<QUrl> urls = event->mimeData()->urls();
  if (urls.size() != 1 || !urls.front().isLocalFile()) return false;
  const Qt::DropActions possible = event->possibleActions();
  if (possible & Qt::CopyAction) {
    event->setDropAction(Qt::CopyAction);
  } else if (possible & Qt::LinkAction) {
    event->setDropAction(Qt::LinkAction);
  } else {
    return false;
  }
  event->accept();
  return true;
}

}  // namespace

void TForm1::dragEnterEvent(QDragEnterEvent* event) { AcceptAsCopy(event); }
void TForm1::dragMoveEvent(QDragMoveEvent* event) {
  if (!AcceptAsCopy(event)) event->ignore();
}

// A picture dropped on the window opens as if chosen in the open dialog.
void TForm1::dropEvent(QDropEvent* event) {
  if (!AcceptAsCopy(event)) {
    event->ignore();
    return;
  }
  OpenGivenFile(event->mimeData()->urls().front().toLocalFile());
}

void TForm1::OpenGivenFile(const QString& fileName) {
  Guard([&] {
    if (OpenByKind(fileName)) return;
    Reconvert();
    ShowPictureWarning();
    AfterOpen();
  });
}

// The scale control shows the picture's allowed scales and the one it is shown at.
void TForm1::ShowScale() {
  const int percent = session_.State().ScalePercent;
  if (session_.HasPicture()) {
    const PercentRange range = session_.AllowedScales();
    TrackBar4->SetRangeQuietly(range.min, range.max, percent);
    TrackBar4->setEnabled(true);
  }
  Label3->setText(scaleSetting_.fit ? QStringLiteral("Fit (%1 %)").arg(percent)
                                    : QStringLiteral("%1 %").arg(percent));
}

// Another scale keeps the picture point at the window's centre where the picture allows.
// The setting is kept only once the picture is shown at the new scale: a decode that fails
// leaves setting, scale and control as they were.
void TForm1::ChangeScale(const ScaleSetting& setting, int percent) {
  const int old = session_.State().ScalePercent;
  if (percent != old) {
    try {
      session_.SetScale(percent);
    } catch (...) {
      ShowScale();  // the slider the user moved goes back to the scale shown
      throw;
    }
    const CropCorner moved =
        CropKeepingCentre(session_.SourceWidth(), session_.SourceHeight(), old,
                          {-ScrollBar1->Position(), -ScrollBar2->Position()}, percent);
    ScrollBar1->SetMinQuietly(WindowWidth - session_.State().PictureWidth, -moved.left);
    ScrollBar2->SetMinQuietly(WindowHeight - session_.State().PictureHeight, -moved.top);
  }
  SetScaleSetting(setting);
  ShowScale();
  if (percent != old) CropMove();
}

void TForm1::TrackBar4Change() {
  if (!session_.HasPicture()) return;
  ChangeScale({false, TrackBar4->Position()}, TrackBar4->Position());
}

// "Fit" holds for the pictures opened later too, until the scale is moved.
void TForm1::BitBtn2Click() {
  if (!session_.HasPicture()) {
    SetScaleSetting({true, 100});
    ShowScale();
    return;
  }
  ChangeScale({true, 100}, session_.FitScale());
}

void TForm1::CropMove() {
  session_.ReadSourceWindow(ScrollBar1->Position(), ScrollBar2->Position());
  Reconvert();
}

void TForm1::ScrollBar1Change() { CropMove(); }
void TForm1::ScrollBar2Change() { CropMove(); }

void TForm1::TrackBarChange(int channel) {
  Edit(channel)->SetText(QString::fromStdString(IntToStr(TrackBar(channel)->Position())));
  Reconvert();
}

// Text that is not a whole number reads as 100, not 0: so an emptied box or a lone minus sign
// jumps the slider to 100, and a negative number is typed by putting the sign before digits.
void TForm1::EditChange(int channel) {
  TrackBar(channel)->SetPosition(StrToIntDef(Edit(channel)->Text().toStdString(), 100));
  Reconvert();
}

void TForm1::BitBtn1Click() {
  if (!session_.PictureLoaded()) return;
  ResetSettings();
  Reconvert();
}

// --- Output ---------------------------------------------------------------------------

// The target checked under File > Target, and the picture's name for a disk.
OutputOptions TForm1::CurrentOutputOptions() const { return {CurrentMachine(), {}}; }

Machine TForm1::CurrentMachine() const {
  const std::array<QAction*, 5> machines = {PAL1, NTSC1, OldNTSC1, Drean1, AnyC641};
  for (std::size_t m = 0; m < machines.size(); ++m) {
    if (machines[m]->isChecked()) return AllMachines[m];
  }
  return Machine::Pal;
}

void TForm1::SetMachine(Machine machine) {
  const std::array<QAction*, 5> machines = {PAL1, NTSC1, OldNTSC1, Drean1, AnyC641};
  for (std::size_t m = 0; m < machines.size(); ++m) {
    if (AllMachines[m] == machine) machines[m]->setChecked(true);
  }
  ZoomForm->SetMachine(machine);
  QSettings().setValue(QStringLiteral("target"), QString::fromLatin1(MachineName(machine)));
}

// The photo's name with the extension, in the folder of the last save, else the photo's own.
QString TForm1::ProposedSaveName(const QString& extension) const {
  const QFileInfo photo(openedFile_);
  const QString base = openedFile_.isEmpty() ? QStringLiteral("picture") : photo.completeBaseName();
  const QString folder = !saveFolder_.isEmpty()   ? saveFolder_
                         : !openedFile_.isEmpty() ? photo.absolutePath()
                                                  : QDir::currentPath();
  return QDir(folder).filePath(base + extension);
}

// The same file as the open picture, also under another name (a link).
bool TForm1::IsOpenPicture(const QString& fileName) const {
  if (openedFile_.isEmpty()) return false;
  std::error_code error;
  return std::filesystem::equivalent(QFile::encodeName(fileName).toStdString(),
                                     QFile::encodeName(openedFile_).toStdString(), error) &&
         !error;
}

// The name the user gives is used exactly as given. An existing file is replaced only after a
// yes, and the open picture never.
QString TForm1::AskSaveName(const QString& extension) {
  QString fileName = ProposedSaveName(extension);
  if (!dialogs_.ExecuteSave(this, fileName)) return {};
  const QFileInfo chosen(fileName);
  saveFolder_ = chosen.absolutePath();
  QSettings().setValue(QStringLiteral("folders/save"), saveFolder_);
  if (IsOpenPicture(fileName)) {
    throw VantrelError(Message::kIsTheOpenPicture, QFile::encodeName(fileName).toStdString());
  }
  if (chosen.exists() && !chosen.isDir() && !dialogs_.AskReplace(this, fileName)) return {};
  return fileName;
}

// The file is assembled before the dialog asks for its name, from the last conversion and
// the roles of this moment.
void TForm1::Save(OutputKind kind) {
  if (!session_.PictureLoaded()) {
    if (kind == OutputKind::DiskImage || kind == OutputKind::Png) {
      throw VantrelError(Message::kOpenAPictureFirst);
    }
    return;
  }
  const std::span<const std::uint8_t> bytes = session_.Output(kind, CurrentOutputOptions());
  const QString extension = kind == OutputKind::Executable  ? QStringLiteral(".prg")
                            : kind == OutputKind::DiskImage ? QStringLiteral(".d64")
                            : kind == OutputKind::Png       ? QStringLiteral(".png")
                                                            : QStringLiteral(".bin");
  const QString fileName = AskSaveName(extension);
  if (fileName.isEmpty()) return;
  WriteFileReplacing(QFile::encodeName(fileName).toStdString(), bytes);
}

void TForm1::SavePreviewPNG1Click() { Save(OutputKind::Png); }

// A project of the picture file open, with the settings, the target and the edits of now.
void TForm1::SaveProject1Click() {
  if (!session_.PictureLoaded() || !session_.HasPicture()) {
    throw VantrelError(Message::kOpenAPictureFirst);
  }
  const QString fileName = AskSaveName(QStringLiteral(".vantrel"));
  if (fileName.isEmpty()) return;
  session_.SaveProject(QFile::encodeName(fileName).toStdString(), scaleSetting_,
                       CurrentAdjustment().dithering, CurrentMachine());
}

void TForm1::SaveC64Executable1Click() { Save(OutputKind::Executable); }
void TForm1::SaveC64Data1Click() { Save(OutputKind::Data); }
void TForm1::SaveC64DiskImage1Click() { Save(OutputKind::DiskImage); }

// The executable for the chosen target, written to a folder of our own that goes when the
// program ends, and handed to the emulator with the matching C64 model. The emulator runs on
// its own; the window stays usable.
void TForm1::RunInVICE1Click() {
  if (!session_.PictureLoaded()) throw VantrelError(Message::kOpenAPictureFirst);
  const QString emulator = QStandardPaths::findExecutable(EmulatorProgram);
  if (emulator.isEmpty()) {
    throw VantrelError(Message::kEmulatorNotInstalled, EmulatorProgram.toStdString());
  }
  const OutputOptions options = CurrentOutputOptions();
  const std::span<const std::uint8_t> bytes = session_.Output(OutputKind::Executable, options);
  if (!runFolder_) runFolder_ = std::make_unique<QTemporaryDir>();
  if (!runFolder_->isValid()) {
    throw VantrelError(Message::kCannotCreateTemporaryFolder,
                       runFolder_->errorString().toStdString());
  }
  const int run = ++runs_;
  const QString program = runFolder_->filePath(QStringLiteral("picture%1.prg").arg(run));
  const QString output = runFolder_->filePath(QStringLiteral("emulator%1.log").arg(run));
  const QString status = runFolder_->filePath(QStringLiteral("emulator%1.status").arg(run));
  WriteFileReplacing(QFile::encodeName(program).toStdString(), bytes);
  // A small shell runs the emulator detached, so it outlives the window, and leaves its
  // output and exit status where WatchEmulator finds them.
  const QStringList arguments = {
      QStringLiteral("-c"),
      QStringLiteral("out=$1 status=$2; shift 2; \"$@\" >\"$out\" 2>&1; "
                     "echo $? >\"$status.tmp\" && mv \"$status.tmp\" \"$status\""),
      QStringLiteral("sh"),
      output,
      status,
      emulator,
      QStringLiteral("-model"),
      QString::fromLatin1(ViceModels(options.machine).front()),
      QStringLiteral("-autostart"),
      program};
  if (!QProcess::startDetached(QStringLiteral("/bin/sh"), arguments)) {
    throw VantrelError(Message::kCannotStartEmulator, emulator.toStdString());
  }
  WatchEmulator(status, output);
}

namespace {

// How long an emulator that quits counts as one that could not start.
constexpr int kEmulatorStartMilliseconds = 5000;

// The emulator's own reason, from what it printed: its error lines without their prefixes
// ("C64MEM: Error - Couldn't load kernal ROM `kernal-901227-03.bin'.").
QString EmulatorReason(const QString& output) {
  QStringList reasons;
  for (const QString& line : output.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
    const qsizetype error = line.indexOf(QStringLiteral("Error - "));
    if (error >= 0) reasons << line.mid(error + 8).trimmed();
  }
  return reasons.join(QLatin1Char(' '));
}

}  // namespace

// An emulator that ends within its first seconds with a failure could not start: the user
// is told its reason and, for missing ROM images (Debian's VICE has none), where they go.
void TForm1::WatchEmulator(const QString& status, const QString& output) {
  auto* timer = new QTimer(this);
  QElapsedTimer clock;
  clock.start();
  connect(timer, &QTimer::timeout, this, [this, timer, clock, status, output] {
    QFile statusFile(status);
    const bool ended = statusFile.open(QIODevice::ReadOnly);
    if (!ended && !clock.hasExpired(kEmulatorStartMilliseconds)) return;
    timer->stop();
    timer->deleteLater();
    if (!ended) return;  // still running: it started
    const int exitCode = QString::fromLatin1(statusFile.readAll()).trimmed().toInt();
    if (exitCode == 0) return;  // closed by the user
    QFile log(output);
    const QString printed =
        log.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(log.readAll()) : QString();
    const QString reason = EmulatorReason(printed);
    std::string message = reason.isEmpty() ? Text(Message::kEmulatorStopped, exitCode)
                                           : Text(Message::kEmulatorStoppedBecause, exitCode,
                                                  reason.toLocal8Bit().toStdString());
    if (printed.contains(QStringLiteral("ROM"))) {
      message += "\n\n" + Text(Message::kEmulatorNeedsRoms);
    }
    dialogs_.ShowError(this, ApplicationTitle(), WithFullStop(QString::fromLocal8Bit(message)));
  });
  timer->start(100);
}

// --- Undo and redo ----------------------------------------------------------------------

Snapshot TForm1::TakeSnapshot() const {
  Snapshot snapshot;
  snapshot.roles = session_.Roles();
  snapshot.convertedRoles = convertedRoles_;
  snapshot.convertedDithering = convertedDithering_;
  snapshot.red = TrackBar1->Position();
  snapshot.green = TrackBar2->Position();
  snapshot.blue = TrackBar3->Position();
  snapshot.dithering = CurrentAdjustment().dithering;
  snapshot.cropX = ScrollBar1->Position();
  snapshot.cropY = ScrollBar2->Position();
  snapshot.scale = scaleSetting_;
  snapshot.percent = session_.State().ScalePercent;
  snapshot.edits = session_.PixelEdits();
  return snapshot;
}

void TForm1::Record(ChangeSource source) {
  history_.Record(TakeSnapshot(), source);
  UpdateUndoActions();
}

void TForm1::UpdateUndoActions() {
  Undo1->setEnabled(history_.CanUndo());
  Redo1->setEnabled(history_.CanRedo());
}

void TForm1::NoteConversion(const ColourRoleSet& roles, Dithering dithering) {
  convertedRoles_ = roles;
  convertedDithering_ = dithering;
}

// Puts the controls where the snapshot has them, the way the controls themselves change the
// session. When the conversion on show is not the snapshot's, it is made again from the
// snapshot's scale, crop, offsets and the roles and dithering it was made with; then the roles
// and the dithering chosen since are set as picks and clicks set them (no conversion).
void TForm1::Restore(const Snapshot& snapshot) {
  const Snapshot now = TakeSnapshot();
  const bool scaled = snapshot.percent != now.percent && session_.HasPicture();
  const bool convert =
      session_.PictureLoaded() &&
      (scaled || snapshot.cropX != now.cropX || snapshot.cropY != now.cropY ||
       snapshot.red != now.red || snapshot.green != now.green || snapshot.blue != now.blue ||
       snapshot.convertedRoles != now.convertedRoles ||
       snapshot.convertedDithering != now.convertedDithering);
  if (snapshot.edits != now.edits) session_.SetEdits(snapshot.edits);
  if (scaled) session_.SetScale(snapshot.percent);
  SetScaleSetting(snapshot.scale);
  ShowScale();
  ScrollBar1->SetMinQuietly(WindowWidth - session_.State().PictureWidth, snapshot.cropX);
  ScrollBar2->SetMinQuietly(WindowHeight - session_.State().PictureHeight, snapshot.cropY);
  SetOffsetsQuietly(snapshot.red, snapshot.green, snapshot.blue);
  const auto setRoles = [this](const ColourRoleSet& roles) {
    for (int role = 0; role < RoleCount; ++role) {
      if (session_.Roles()[role] != roles[role]) SetRole(role, roles[role]);
    }
  };
  if (convert) {
    setRoles(snapshot.convertedRoles);
    SetDithering(snapshot.convertedDithering);
    session_.ReadSourceWindow(ScrollBar1->Position(), ScrollBar2->Position());
    Reconvert();
  }
  setRoles(snapshot.roles);
  SetDithering(snapshot.dithering);
  RedrawPreview();
}

void TForm1::Undo1Click() {
  if (const std::optional<Snapshot> snapshot = history_.Undo()) Restore(*snapshot);
  UpdateUndoActions();
}

void TForm1::Redo1Click() {
  if (const std::optional<Snapshot> snapshot = history_.Redo()) Restore(*snapshot);
  UpdateUndoActions();
}

// --- Controls set by the program, no handler running --------------------------------------

void TForm1::SetOffsetsQuietly(int red, int green, int blue) {
  const std::array<int, 3> offsets = {red, green, blue};
  for (int channel = 1; channel <= 3; ++channel) {
    {
      const QSignalBlocker blocker(TrackBar(channel));
      TrackBar(channel)->setValue(offsets[channel - 1]);
    }
    const QSignalBlocker blocker(Edit(channel));
    Edit(channel)->setText(QString::fromStdString(IntToStr(offsets[channel - 1])));
  }
}

void TForm1::SetDithering(Dithering dithering) {
  (dithering == Dithering::None             ? RadioButton6
   : dithering == Dithering::FloydSteinberg ? RadioButton7
                                            : RadioButton8)
      ->setChecked(true);
}

// The role swatches and the mix colours for the session's roles.
void TForm1::ShowRoles() {
  const ColourRoleSet& roles = session_.Roles();
  for (int role = 0; role < RoleCount; ++role) {
    RolePanels()[role]->SetColor(C64Palette[roles[role]]);
  }
  UpdateMixColours();
}

// "Fit" is remembered for the next start.
void TForm1::SetScaleSetting(const ScaleSetting& setting) {
  scaleSetting_ = setting;
  QSettings().setValue(QStringLiteral("fit"), setting.fit);
}

// --- Touch-up -------------------------------------------------------------------------------

// Paints the pixels in the colour chosen in the zoom window; the stroke becomes one step to
// undo when the button is let go.
void TForm1::PaintPixels(const QList<QPoint>& pixels) {
  if (!session_.PictureLoaded()) return;
  for (const QPoint& pixel : pixels) {
    session_.PaintPixel(pixel.x(), pixel.y(), ZoomForm->ChosenCode());
  }
  RedrawPreview();
}

// The colour under the pointer becomes the one to paint with.
void TForm1::PickPixel(QPoint pixel) {
  if (!session_.PictureLoaded()) return;
  ZoomForm->SetChosenCode(session_.MixCodeAt(pixel.x(), pixel.y()));
}

void TForm1::ClearEdits1Click() {
  if (session_.PixelEdits().Empty()) return;
  session_.SetEdits({});
  RedrawPreview();
}

void TForm1::Zoom1Click() {
  if (ZoomForm->isVisible()) {
    ZoomForm->hide();
    return;
  }
  ZoomForm->Refresh();
  ZoomForm->show();
  ZoomForm->raise();
  ZoomForm->activateWindow();
}

// --- The source view: the wheel scrolls the crop, dragging moves it ------------------------

// Moves the crop by whole pixels as the scroll bars would (their positions are where the
// picture is drawn, so a positive step shows more of its left or top), one conversion for both.
void TForm1::MoveCropBy(int dx, int dy) {
  if (!session_.PictureLoaded() || !ScrollBar1->isEnabled()) return;
  const int x = std::clamp(ScrollBar1->Position() + dx, ScrollBar1->minimum(), 0);
  const int y = std::clamp(ScrollBar2->Position() + dy, ScrollBar2->minimum(), 0);
  if (x == ScrollBar1->Position() && y == ScrollBar2->Position()) return;
  {
    const QSignalBlocker blocker1(ScrollBar1);
    const QSignalBlocker blocker2(ScrollBar2);
    ScrollBar1->setValue(x);
    ScrollBar2->setValue(y);
  }
  CropMove();
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
  if (watched != Image1) return QMainWindow::eventFilter(watched, event);
  switch (event->type()) {
    case QEvent::Wheel: {
      const auto* wheel = static_cast<QWheelEvent*>(event);
      QPoint delta = wheel->angleDelta();
      // The wheel alone goes down the picture, with Shift across it.
      if (wheel->modifiers() & Qt::ShiftModifier) delta = {delta.y(), delta.x()};
      // Eight pixels a notch; the wheel turned down shows more of the picture below.
      Guard([&] {
        MoveCropBy(delta.x() * 8 / 120, delta.y() * 8 / 120);
        Record(ChangeSource::Crop);
      });
      return true;
    }
    case QEvent::MouseButtonPress: {
      const auto* mouse = static_cast<QMouseEvent*>(event);
      if (mouse->button() != Qt::LeftButton) break;
      dragging_ = true;
      dragStart_ = mouse->globalPosition().toPoint();
      dragScroll1_ = ScrollBar1->Position();
      dragScroll2_ = ScrollBar2->Position();
      Image1->setCursor(Qt::ClosedHandCursor);
      return true;
    }
    case QEvent::MouseMove: {
      if (!dragging_) break;
      // The picture follows the pointer.
      const QPoint moved =
          static_cast<QMouseEvent*>(event)->globalPosition().toPoint() - dragStart_;
      Guard([&] {
        MoveCropBy(dragScroll1_ + moved.x() - ScrollBar1->Position(),
                   dragScroll2_ + moved.y() - ScrollBar2->Position());
      });
      return true;
    }
    case QEvent::MouseButtonRelease: {
      if (!dragging_ || static_cast<QMouseEvent*>(event)->button() != Qt::LeftButton) break;
      dragging_ = false;
      Image1->setCursor(Qt::OpenHandCursor);
      Record(ChangeSource::None);  // one drag, one step
      return true;
    }
    default:
      break;
  }
  return QMainWindow::eventFilter(watched, event);
}

// --- Preferences ---------------------------------------------------------------------------

// What the user chose last time: the folders, the target, Fit, the Auto Colors goal and the
// zoom window. Colours, offsets and dithering start as always.
void TForm1::LoadPreferences() {
  const QSettings settings;
  openFolder_ = settings.value(QStringLiteral("folders/open")).toString();
  saveFolder_ = settings.value(QStringLiteral("folders/save")).toString();
  if (const std::optional<Machine> machine =
          MachineFromName(settings.value(QStringLiteral("target")).toString().toStdString())) {
    SetMachine(*machine);
  }
  if (settings.value(QStringLiteral("fit"), false).toBool()) {
    SetScaleSetting({true, 100});
    ShowScale();
  }
  const int goal = settings.value(QStringLiteral("autoColors/goal"), 0).toInt();
  const std::array<QAction*, 3> goals = {Faithful1, Balanced1, Calm1};
  if (goal >= 0 && goal < 3) goals[goal]->setChecked(true);
  for (int g = 0; g < 3; ++g) {
    connect(goals[g], &QAction::triggered, this,
            [g] { QSettings().setValue(QStringLiteral("autoColors/goal"), g); });
  }
  ZoomForm->SetZoom(settings.value(QStringLiteral("zoom/factor"), 3).toInt());
  ZoomForm->SetMode(static_cast<ZoomMode>(
      std::clamp(settings.value(QStringLiteral("zoom/mode"), 0).toInt(), 0, 3)));
  ZoomForm->SetGrid(settings.value(QStringLiteral("zoom/grid"), false).toBool());
  ZoomForm->restoreGeometry(settings.value(QStringLiteral("zoom/geometry")).toByteArray());
}

void TForm1::SaveZoomPreferences() const {
  if (!ZoomForm) return;
  QSettings settings;
  settings.setValue(QStringLiteral("zoom/factor"), ZoomForm->Zoom());
  settings.setValue(QStringLiteral("zoom/mode"), static_cast<int>(ZoomForm->Mode()));
  settings.setValue(QStringLiteral("zoom/grid"), ZoomForm->Grid());
  settings.setValue(QStringLiteral("zoom/visible"), ZoomForm->isVisible());
  if (ZoomForm->windowHandle()) {  // shown at least once
    settings.setValue(QStringLiteral("zoom/geometry"), ZoomForm->saveGeometry());
  }
}

// The zoom window left open last time opens with the main window.
void TForm1::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (shownBefore_) return;
  shownBefore_ = true;
  if (QSettings().value(QStringLiteral("zoom/visible"), false).toBool()) Zoom1Click();
}

// --- Shell ----------------------------------------------------------------------------

void TForm1::Exit1Click() { QApplication::quit(); }

void TForm1::About1Click() {
  if (Form2) dialogs_.ShowModal(*Form2);
}
