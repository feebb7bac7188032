// Undo and redo: the snapshot of the settings and the edits, and the controls set back to a
// snapshot quietly, the conversion made again only when the one on show is not the snapshot's.
#include <QRadioButton>
#include <QSignalBlocker>

#include "app/Overlay.h"
#include "core/str_to_int.h"

using namespace vantrel;

Snapshot TForm1::TakeSnapshot() const {
  Snapshot snapshot;
  snapshot.roles = session_.Roles();
  snapshot.convertedRoles = convertedRoles_;
  snapshot.convertedDithering = convertedDithering_;
  snapshot.red = TrackBar1->Position();
  snapshot.green = TrackBar2->Position();
  snapshot.blue = TrackBar3->Position();
  snapshot.dithering = CurrentAdjustment().dithering;
  snapshot.crop = CropCorner::AtDrawingOffset(ScrollBar1->Position(), ScrollBar2->Position());
  snapshot.scale = scaleSetting_;
  snapshot.percent = session_.State().ScalePercent;
  snapshot.edits = session_.PixelEdits();
  snapshot.cells = session_.CellTable();
  snapshot.convertedCells = convertedCells_;
  snapshot.model = session_.Model();
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

void TForm1::NoteConversion(const ColourRoleSet& roles, const std::optional<CellColours>& cells,
                            Dithering dithering) {
  convertedRoles_ = roles;
  convertedCells_ = cells;
  convertedDithering_ = dithering;
}

// Puts the controls where the snapshot has them, the way the controls themselves change the
// session. When the conversion on show is not the snapshot's, it is made again from the
// snapshot's scale, crop, offsets and the roles, colours per cell and dithering it was made
// with; then those chosen since are set as picks and clicks set them (no conversion).
void TForm1::Restore(const Snapshot& snapshot) {
  const Snapshot now = TakeSnapshot();
  const bool scaled = snapshot.percent != now.percent && session_.HasPicture();
  const bool convert =
      session_.PictureLoaded() &&
      (scaled || snapshot.crop != now.crop || snapshot.red != now.red ||
       snapshot.green != now.green || snapshot.blue != now.blue ||
       snapshot.convertedRoles != now.convertedRoles ||
       snapshot.convertedCells != now.convertedCells || snapshot.model != now.model ||
       snapshot.convertedDithering != now.convertedDithering);
  if (snapshot.edits != now.edits) session_.SetEdits(snapshot.edits);
  if (snapshot.model != now.model) {
    session_.SetColourModel(snapshot.model);
    ShowColourModel();
  }
  if (scaled) session_.SetScale(snapshot.percent);
  SetScaleSetting(snapshot.scale);
  ShowScale();
  SetCropQuietly(snapshot.crop);
  SetOffsetsQuietly(snapshot.red, snapshot.green, snapshot.blue);
  const auto setRoles = [this](const ColourRoleSet& roles) {
    for (int role = 0; role < RoleCount; ++role) {
      if (session_.Roles()[role] != roles[role]) SetRole(role, roles[role]);
    }
  };
  if (convert) {
    setRoles(snapshot.convertedRoles);
    SetCellColours(snapshot.convertedCells);
    SetDithering(snapshot.convertedDithering);
    session_.ReadSourceWindow(ScrollBar1->Position(), ScrollBar2->Position());
    Reconvert();
  }
  setRoles(snapshot.roles);
  SetCellColours(snapshot.cells);
  SetDithering(snapshot.dithering);
  RedrawPreview();
}

void TForm1::ShowColourModel() {
  const ColourModel& model = session_.Model();
  Palettes[static_cast<std::size_t>(model.palette)]->setChecked(true);
  MixAsAScreenShowsIt1->setChecked(model.mix == MixRule::Light);
  for (int index = 0; index < 16; ++index) {
    PalettePanels[index]->SetColor(session_.Palette()[index]);
  }
  ShowRoles();
}

// Colours per cell with the roles of now, or the roles for every cell again; the preview and
// the swatches follow, nothing converts.
void TForm1::SetCellColours(const std::optional<CellColours>& cells) {
  if (cells == session_.CellTable()) return;
  if (cells) {
    session_.SetCellColours(session_.Roles(), *cells);
  } else {
    session_.ClearCellColours();
  }
  UpdateMixColours();
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
    RolePanels()[role]->SetColor(session_.Palette()[roles[role]]);
  }
  UpdateMixColours();
}

// Both scroll bars at the crop, their ranges the picture's, no handler running.
void TForm1::SetCropQuietly(CropCorner crop) {
  if (!session_.HasPicture()) return;  // the bars keep the ranges they start with
  const CropRange range = session_.AllowedCrops();
  ScrollBar1->SetMinQuietly(range.MinDrawX(), crop.DrawX());
  ScrollBar2->SetMinQuietly(range.MinDrawY(), crop.DrawY());
}
