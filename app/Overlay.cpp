// The main window's specified handlers and operations, and the steps they share: each takes
// the library's steps on the session and refreshes the views.
#include "app/Overlay.h"

#include <QApplication>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QIcon>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>

#include "app/Unit2.h"
#include "app/artwork.h"
#include "app/emulator_run.h"
#include "app/preferences.h"
#include "app/window_frame.h"
#include "app/zoom_window.h"
#include "core/str_to_int.h"

using namespace vantrel;

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
  emulator_ = new EmulatorRun(this);
  connect(emulator_, &EmulatorRun::failed, this,
          [this](const QString& message, const QString& details) {
            dialogs_.ShowErrorWithDetails(this, ApplicationTitle(), WithFullStop(message), details);
          });
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

// The zoom window closes with the main window, and opens with it next time. Paint or a
// project's changes that no project holds are not lost without a question.
void TForm1::closeEvent(QCloseEvent* event) {
  if (!quitting_) {
    bool mayClose = false;
    Guard([&] { mayClose = MaySetWorkAside(); });
    if (!mayClose) {
      event->ignore();
      return;
    }
  }
  SaveZoomPreferences();
  closing_ = true;
  ZoomForm->hide();
  QMainWindow::closeEvent(event);
}

vantrel::ProgressSink* TForm1::Progress() const { return progress_.get(); }

void TForm1::SetProgress(int position) { ProgressBar1->setValue(position); }

void TForm1::ShowException(const QString& message) {
  dialogs_.ShowError(this, ApplicationTitle(), WithFullStop(message));
}

// --- Colour model ---------------------------------------------------------------------

// The edit boxes are written twice on purpose: first to match the sliders (a box still showing
// "007" becomes "7"), then "0" once the sliders are at 0. Each write that changes a text runs
// its chain as the user's own typing would, and with a picture loaded each chain converts.
void TForm1::ResetSettings() {
  for (int index = 0; index < 16; ++index) {
    PalettePanels[index]->SetColor(session_.Palette()[index]);
  }
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
  RolePanels()[role]->SetColor(session_.Palette()[index]);
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
  session_.ConvertPicture(CurrentAdjustment().dithering, Progress());
  NoteConversion(session_.Roles(), session_.CellTable(), CurrentAdjustment().dithering);
  RedrawPreview();
}

// How every change of the picture, the crop, an offset or "Default" ends: the offsets applied
// to the crop, the conversion, and the progress bar back to 0.
void TForm1::Reconvert() {
  if (session_.PictureLoaded()) {
    session_.Reconvert(CurrentAdjustment(), Progress());
    NoteConversion(session_.Roles(), session_.CellTable(), CurrentAdjustment().dithering);
    RedrawSourceView();
    RedrawPreview();
  }
  SetProgress(0);
}

// The roles a search finds for the current crop, offsets and dithering and the goal chosen,
// set as five palette picks would set them (the selected role stays selected), then one
// conversion to show them. The goal stays checked in the menu as the last one used. With
// "Colors per Cell" checked, every cell's own colours and the sprite colours: the role
// swatches show the sprite colours and the roles the search started from. The search shows
// its progress, and Cancel leaves everything as it was.
void TForm1::AutoColorsClick(ColourGoal goal) {
  if (!session_.PictureLoaded()) return;
  const Dithering dithering = CurrentAdjustment().dithering;
  if (ColorsPerCell1->isChecked()) {
    std::optional<CellColourChoice> choice;
    dialogs_.RunWithProgress(this, QStringLiteral("Choosing the colors of every cell..."),
                             [&](const SearchControl& control) {
                               choice =
                                   session_.FindCellColours(dithering, goal, std::nullopt, control);
                             });
    if (!choice) return;
    for (int role = 0; role < RoleCount; ++role) SetRole(role, choice->roles[role]);
    SetCellColours(choice->cells);
  } else {
    std::optional<ColourRoleSet> roles;
    dialogs_.RunWithProgress(this, QStringLiteral("Choosing the colors..."),
                             [&](const SearchControl& control) {
                               roles = session_.FindColourRoles(dithering, goal, control);
                             });
    if (!roles) return;
    for (int role = 0; role < RoleCount; ++role) SetRole(role, (*roles)[role]);
  }
  ConvertPicture();
  SetProgress(0);
}

void TForm1::Button1Click() {
  ConvertPicture();
  SetProgress(0);
}

void TForm1::OpenBitmap1Click() {
  QString fileName = QStringLiteral("*.jpg");
  bool chosen = dialogs_.ExecuteOpen(this, fileName, openFolder_);
  // Another picture would take the paint with it: the user says first whether to keep it.
  if (chosen && !MaySetWorkAside()) chosen = false;
  if (chosen) {
    RememberOpenFolder(fileName);
    if (OpenByKind(fileName)) return;
  }
  Reconvert();
  if (chosen) {
    ShowPictureWarning();
    AfterOpen();
  }
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
    SetCropQuietly(CropKeepingCentre(
        session_.SourceWidth(), session_.SourceHeight(), old,
        CropCorner::AtDrawingOffset(ScrollBar1->Position(), ScrollBar2->Position()), percent));
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

// Moves the crop by whole pixels as the scroll bars would (their positions are where the
// picture is drawn, so a positive step shows more of its left or top), one conversion for both.
void TForm1::MoveCropBy(int dx, int dy) {
  if (!session_.PictureLoaded() || !ScrollBar1->isEnabled()) return;
  const CropCorner now =
      CropCorner::AtDrawingOffset(ScrollBar1->Position(), ScrollBar2->Position());
  const CropCorner moved = session_.AllowedCrops().Clamp({now.left - dx, now.top - dy});
  if (moved == now) return;
  SetCropQuietly(moved);
  CropMove();
}

// "Fit" is remembered for the next start.
void TForm1::SetScaleSetting(const ScaleSetting& setting) {
  scaleSetting_ = setting;
  preferences::Fit.Write(setting.fit);
}

// --- Output ---------------------------------------------------------------------------

OutputOptions TForm1::CurrentOutputOptions() const {
  OutputOptions options{CurrentMachine(), {}, PackExecutable1->isChecked()};
  for (std::size_t s = 0; s < AssemblerSyntaxes.size(); ++s) {
    if (AssemblerSyntaxes[s]->isChecked()) options.asmSyntax = AllAsmSyntaxes[s];
  }
  return options;
}

Machine TForm1::CurrentMachine() const {
  const std::array<QAction*, 5> machines = TargetActions();
  for (std::size_t m = 0; m < machines.size(); ++m) {
    if (machines[m]->isChecked()) return AllMachines[m];
  }
  return Machine::Pal;
}

// The target stays chosen for the next start, and the zoom's flicker follows its rate.
void TForm1::SetMachine(Machine machine) {
  const std::array<QAction*, 5> machines = TargetActions();
  for (std::size_t m = 0; m < machines.size(); ++m) {
    if (AllMachines[m] == machine) machines[m]->setChecked(true);
  }
  ZoomForm->SetMachine(machine);
  preferences::Target.Write(QString::fromLatin1(MachineName(machine)));
}

// The photo's name with the extension, in the folder of the last save, else the photo's own.

void TForm1::SaveC64Executable1Click() { Save(OutputKind::Executable); }
void TForm1::SaveC64Data1Click() { Save(OutputKind::Data); }
void TForm1::SaveC64DiskImage1Click() { Save(OutputKind::DiskImage); }
void TForm1::SaveAssemblerSource1Click() { Save(OutputKind::AssemblerSource); }

void TForm1::RunInVICE1Click() {
  if (!session_.PictureLoaded()) throw VantrelError(Message::kOpenAPictureFirst);
  const OutputOptions options = CurrentOutputOptions();
  emulator_->Start(EmulatorProgram, session_.Output(OutputKind::Executable, options),
                   options.machine, session_.Model().palette);
}

// The model of the menu's checks, remembered for the next start; the conversion is made again
// in it, as the colours it may take changed.
void TForm1::ColourModelClick() {
  ColourModel model;
  for (std::size_t p = 0; p < Palettes.size(); ++p) {
    if (Palettes[p]->isChecked()) model.palette = static_cast<PaletteId>(p);
  }
  model.mix = MixAsAScreenShowsIt1->isChecked() ? MixRule::Light : MixRule::Average;
  const std::string_view name = PaletteOf(model.palette).name;
  preferences::PaletteName.Write(
      QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())));
  preferences::MixAsAScreenShowsIt.Write(model.mix == MixRule::Light);
  if (model == session_.Model()) return;
  session_.SetColourModel(model);
  ShowColourModel();
  Reconvert();
}

// --- Preferences ---------------------------------------------------------------------------

// What the user chose last time: the folders, the target, Fit, the Auto Colors goal and the
// zoom window. Colours, offsets and dithering start as always.
void TForm1::LoadPreferences() {
  openFolder_ = preferences::OpenFolder.Read();
  saveFolder_ = preferences::SaveFolder.Read();
  if (const std::optional<Machine> machine =
          MachineFromName(preferences::Target.Read().toStdString())) {
    SetMachine(*machine);
  }
  if (preferences::Fit.Read()) {
    SetScaleSetting({true, 100});
    ShowScale();
  }
  const int goal = preferences::Goal.Read();
  if (goal >= 0 && goal < GoalCount) GoalActions()[goal]->setChecked(true);
  ColorsPerCell1->setChecked(preferences::ColorsPerCell.Read());
  ColourModel model;
  for (std::size_t p = 0; p < AllPalettes().size(); ++p) {
    const std::string_view name = AllPalettes()[p].name;
    if (preferences::PaletteName.Read() == QLatin1String(name.data(), name.size())) {
      model.palette = static_cast<PaletteId>(p);
    }
  }
  model.mix = preferences::MixAsAScreenShowsIt.Read() ? MixRule::Light : MixRule::Average;
  if (model != session_.Model()) session_.SetColourModel(model);
  ShowColourModel();
  PackExecutable1->setChecked(preferences::Pack.Read());
  if (const std::optional<AsmSyntax> syntax =
          AsmSyntaxFromName(preferences::AssemblerSyntax.Read().toStdString())) {
    AssemblerSyntaxes[static_cast<std::size_t>(*syntax)]->setChecked(true);
  }
  ZoomForm->SetZoom(preferences::ZoomFactor.Read());
  ZoomForm->SetMode(static_cast<ZoomMode>(std::clamp(preferences::ZoomMode.Read(), 0, 3)));
  ZoomForm->SetGrid(preferences::ZoomGrid.Read());
  ZoomForm->restoreGeometry(preferences::ZoomGeometry.Read());
}

void TForm1::SaveZoomPreferences() const {
  if (!ZoomForm) return;
  preferences::ZoomFactor.Write(ZoomForm->Zoom());
  preferences::ZoomMode.Write(static_cast<int>(ZoomForm->Mode()));
  preferences::ZoomGrid.Write(ZoomForm->Grid());
  preferences::ZoomVisible.Write(ZoomForm->isVisible());
  if (ZoomForm->windowHandle()) {  // shown at least once
    preferences::ZoomGeometry.Write(ZoomForm->saveGeometry());
  }
}

// The zoom window left open last time opens with the main window.
void TForm1::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (shownBefore_) return;
  shownBefore_ = true;
  if (preferences::ZoomVisible.Read()) Zoom1Click();
}

// --- Shell ----------------------------------------------------------------------------

// At once and without a question, unless paint or a project's changes would be lost.
void TForm1::Exit1Click() {
  if (!MaySetWorkAside()) return;
  quitting_ = true;
  QApplication::quit();
}

void TForm1::About1Click() {
  if (Form2) dialogs_.ShowModal(*Form2);
}
