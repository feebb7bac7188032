// The main window: every control of the converter, its menu and its event handlers.
// The handlers take the library's steps on the session and refresh the views; the state
// lives in the session.
//
// The class is written in rooms: Overlay.cpp holds the specified handlers and operations,
// window_layout.cpp the controls and menus and their bindings, window_files.cpp the opens and
// saves, projects and drops, window_undo.cpp undo and redo with the controls set back quietly,
// window_touch_up.cpp the zoom window's glue. Beside the class: the source view's own widget
// (source_view.h), an emulator run (emulator_run.h) and the preferences (preferences.h).
#pragma once

#include <QMainWindow>
#include <array>
#include <memory>
#include <optional>
#include <vector>

#include "app/controls.h"
#include "app/dialogs.h"
#include "app/history.h"
#include "app/source_view.h"
#include "core/error.h"
#include "session/session.h"

class EmulatorRun;
class QAction;
class QGroupBox;
class QLabel;
class QMenu;
class QProgressBar;
class QPushButton;
class QRadioButton;
class TForm2;
class ZoomWindow;

class TForm1 : public QMainWindow {
  Q_OBJECT
 public:
  explicit TForm1(Dialogs& dialogs, QWidget* parent = nullptr);
  ~TForm1() override;

  // The window's outer size, frame, title bar and menu bar included.
  static constexpr QSize OuterSize{661, 444};

  // Controls, named as in the window layout.
  TImage* Image3;
  QFrame* Bevel1;
  SourceView* Image1;
  TScrollBar* ScrollBar2;
  QFrame* Bevel2;
  TImage* Image2;
  QGroupBox* RadioGroup1;
  QRadioButton* RadioButton1;
  QRadioButton* RadioButton2;
  QRadioButton* RadioButton3;
  QRadioButton* RadioButton4;
  QRadioButton* RadioButton5;
  TPanel* Panel1;
  TPanel* Panel2;
  TPanel* Panel3;
  TPanel* Panel4;
  TPanel* Panel5;
  QGroupBox* GroupBox1;
  std::array<TPanel*, 9> MixPanels;  // Panel6..Panel14
  QGroupBox* GroupBox2;
  std::array<TPanel*, 16> PalettePanels;  // Panel15..Panel30
  QPushButton* Button1;
  TScrollBar* ScrollBar1;
  QProgressBar* ProgressBar1;
  QFrame* Bevel3;
  TTrackBar* TrackBar1;
  TTrackBar* TrackBar2;
  TTrackBar* TrackBar3;
  TEdit* Edit1;
  TEdit* Edit2;
  TEdit* Edit3;
  QFrame* Panel31;
  QLabel* Label1;
  QRadioButton* RadioButton6;
  QRadioButton* RadioButton7;
  QRadioButton* RadioButton8;  // "Low Flicker"
  QPushButton* BitBtn1;
  // The scale of the picture: "Fit" or a percentage.
  QLabel* Label2;        // "Scale"
  QLabel* Label3;        // the scale shown, "Fit (37 %)" or "37 %"
  QPushButton* BitBtn2;  // "Fit"
  TTrackBar* TrackBar4;  // the percentage
  QMenu* File1;
  QAction* OpenBitmap1;
  QAction* SaveC64Executable1;
  QAction* SaveC64Data1;
  QAction* SaveC64DiskImage1;
  QMenu* Target1;  // the C64 the executable is made for; the choice stays until the end
  QAction* PAL1;
  QAction* NTSC1;
  QAction* OldNTSC1;
  QAction* Drean1;
  QAction* AnyC641;
  QMenu* AssemblerSyntax1;                    // the assembler a source is written for
  std::array<QAction*, 3> AssemblerSyntaxes;  // 64tass, ACME, Kick Assembler
  QAction* PackExecutable1;                   // executables and disk images hold the packed program
  QAction* RunInVICE1;
  QAction* Exit1;
  // Projects and the preview as a PNG file.
  QAction* OpenProject1;
  QAction* SaveProject1;
  QAction* SavePreviewPNG1;
  QAction* SaveAssemblerSource1;
  QMenu* EditMenu1;  // undo, redo and the pixel edits
  QAction* Undo1;
  QAction* Redo1;
  QAction* ClearEdits1;
  QMenu* View1;
  QAction* Zoom1;
  // The colours the conversion and every view are made in: a palette, and the mix as a screen
  // shows it (the mean of the two frames' light) or as the bytes' average.
  QMenu* Palette1;
  std::vector<QAction*> Palettes;  // in the library's order, Pepto first
  QAction* MixAsAScreenShowsIt1;
  QMenu* AutoColors1;  // the goals: each runs the search, the last one stays checked
  QAction* Faithful1;
  QAction* Balanced1;
  QAction* Calm1;
  QAction* ColorsPerCell1;  // checked: Auto Colors gives every cell its own colours
  QAction* About1;

  // The About box, created after the main window; "About" shows it modally.
  TForm2* Form2 = nullptr;
  // View > Zoom: the enlarged preview and the touch-up tools, a window of its own.
  ZoomWindow* ZoomForm = nullptr;

  // The C64 emulator "Run in VICE" starts, found on the PATH (tests put a stand-in here).
  QString EmulatorProgram = QStringLiteral("x64sc");

  // Operations of the window.
  void ResetSettings();
  void UpdateMixColours();
  void ConvertPicture();

  // Event handlers.
  void PaletteClick(int index);  // Panel15Click .. Panel30Click
  void Button1Click();
  void ScrollBar1Change();
  void ScrollBar2Change();
  void TrackBar1Change() { TrackBarChange(1); }
  void TrackBar2Change() { TrackBarChange(2); }
  void TrackBar3Change() { TrackBarChange(3); }
  void Edit1Change() { EditChange(1); }
  void Edit2Change() { EditChange(2); }
  void Edit3Change() { EditChange(3); }
  void BitBtn1Click();
  void BitBtn2Click();
  void TrackBar4Change();
  void OpenBitmap1Click();
  void SaveC64Executable1Click();
  void SaveC64Data1Click();
  void SaveC64DiskImage1Click();
  void RunInVICE1Click();
  void Exit1Click();
  void AutoColorsClick(vantrel::ColourGoal goal);  // Faithful1Click, Balanced1Click, Calm1Click
  void About1Click();
  void OpenProject1Click();
  void SaveProject1Click();
  void SavePreviewPNG1Click();
  void SaveAssemblerSource1Click();
  void Undo1Click();
  void Redo1Click();
  void ClearEdits1Click();
  void Zoom1Click();
  // A palette or the mix chosen: the conversion is made again in it.
  void ColourModelClick();

  // Whether closing, exiting or opening another picture would lose paint, or changes to the
  // project open, that no project holds.
  bool HasUnsavedWork() const;
  // The project opened or saved last, while the picture it holds is shown; empty if none.
  const QString& ProjectFile() const { return projectFile_; }

  // What undo and redo restore: the settings and the edits as they are now.
  Snapshot TakeSnapshot() const;
  const History& UndoHistory() const { return history_; }
  // The target checked under File > Target.
  vantrel::Machine CurrentMachine() const;

  // A picture named when the program starts (its command line, a file manager's "Open
  // with"): opens as if chosen in the open dialog, errors shown in the same box.
  void OpenGivenFile(const QString& fileName);

  const vantrel::ConverterState& State() const { return session_.State(); }

  // Runs a user action; a failure anywhere inside it ends the whole action and is shown
  // in the error box. Only user events come through here, never nested handlers.
  template <typename Action>
  void Guard(Action action);

 private:
  // window_layout.cpp
  void CreateControls();
  void CreateViews(QWidget* client);
  void CreateColourControls(QWidget* client);
  void CreateOffsetControls(QWidget* client);
  void CreateScaleControls(QWidget* client);
  void CreateMenu();
  void BindHandlers();
  void BindMenu();
  void SetTabOrder();
  TTrackBar* TrackBar(int channel) const;
  TEdit* Edit(int channel) const;
  std::array<QRadioButton*, 5> RoleButtons() const;
  std::array<TPanel*, 5> RolePanels() const;
  std::array<QAction*, 5> TargetActions() const;
  std::array<QAction*, 3> GoalActions() const;
  // "CONVERT", the sliders and the scroll bars: disabled until the first picture.
  std::array<QWidget*, 6> PictureControls() const;

  // Overlay.cpp
  void SetRole(int role, int index);
  void TrackBarChange(int channel);
  void EditChange(int channel);
  void Reconvert();
  void CropMove();
  void SetProgress(int position);
  void RedrawSourceView();
  void RedrawPreview();
  void ShowScale();
  void ChangeScale(const vantrel::ScaleSetting& setting, int percent);
  void SetScaleSetting(const vantrel::ScaleSetting& setting);
  void SetMachine(vantrel::Machine machine);
  vantrel::Adjustment CurrentAdjustment() const;
  vantrel::OutputOptions CurrentOutputOptions() const;
  void MoveCropBy(int dx, int dy);
  void LoadPreferences();
  void SaveZoomPreferences() const;
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void ShowException(const QString& message);

  // window_files.cpp
  vantrel::FileKind OpenPictureFile(const QString& fileName);
  bool OpenByKind(const QString& fileName);
  void OpenProjectFile(const QString& fileName);
  void ShowSavedPicture();
  void AfterOpen();
  void ShowPictureWarning();
  void RememberOpenFolder(const QString& fileName);
  // Asks "Save the project first?" when there is unsaved work: false when the user cancelled
  // (or a save they chose did not happen), so the action that asked must not go on.
  bool MaySetWorkAside();
  // Writes the project to `fileName` and remembers it as the one open.
  void WriteProject(const QString& fileName);
  void Save(vantrel::OutputKind kind);
  QString ProposedSaveName(const QString& extension) const;
  // Asks for the name to save under, the proposed one first, the dialog listing `filter`'s
  // files: empty when the user cancelled or would not replace an existing file. A name without
  // an extension gets `extension`. Never the open picture.
  QString AskSaveName(const QString& extension, const QString& filter);
  bool IsOpenPicture(const QString& fileName) const;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

  // window_undo.cpp
  void Record(ChangeSource source);
  // What the conversion on show was made with.
  void NoteConversion(const vantrel::ColourRoleSet& roles,
                      const std::optional<vantrel::CellColours>& cells,
                      vantrel::Dithering dithering);
  void Restore(const Snapshot& snapshot);
  void UpdateUndoActions();
  void SetOffsetsQuietly(int red, int green, int blue);
  void SetCellColours(const std::optional<vantrel::CellColours>& cells);
  // The menu's checks and every swatch for the session's colour model.
  void ShowColourModel();
  void SetDithering(vantrel::Dithering dithering);
  void SetCropQuietly(vantrel::CropCorner crop);
  void ShowRoles();

  // window_touch_up.cpp
  void PaintPixels(const QList<QPoint>& pixels);
  void PickPixel(QPoint pixel);
  void RefreshZoom();

  class ProgressBarSink;
  // The progress bar as the library's passes report to it.
  vantrel::ProgressSink* Progress() const;

  Dialogs& dialogs_;
  vantrel::Session session_;
  std::unique_ptr<ProgressBarSink> progress_;
  EmulatorRun* emulator_ = nullptr;
  QString openedFile_;   // the picture shown, as it was opened; saves never replace it
  QString saveFolder_;   // where the last save went
  QString openFolder_;   // where the last file was opened from
  QString projectFile_;  // the project opened or saved last, while its picture is shown
  // The settings and edits that project holds, to tell whether anything changed since.
  std::optional<Snapshot> projectSnapshot_;
  History history_;
  // The roles and the dithering the conversion on show was made with.
  vantrel::ColourRoleSet convertedRoles_ = vantrel::DefaultColourRoles;
  vantrel::Dithering convertedDithering_ = vantrel::Dithering::FloydSteinberg;
  std::optional<vantrel::CellColours> convertedCells_;
  bool shownBefore_ = false;
  bool closing_ = false;   // the zoom window's state was kept as the window closed
  bool quitting_ = false;  // "Exit" asked already: the close that follows does not ask again
  // Where the crop stood when a drag of the source view began.
  vantrel::CropCorner dragCrop_;
  vantrel::ScaleSetting scaleSetting_;  // what the user chose; each picture resolves it
};

template <typename Action>
void TForm1::Guard(Action action) {
  try {
    action();
  } catch (const WindowError& error) {
    ShowException(QString::fromStdString(error.what()));
  } catch (...) {
    ShowException(QString::fromLocal8Bit(vantrel::UserMessage(std::current_exception())));
  }
}
