// Undo and redo: every change of the settings or the edits is a step, kept as the whole of
// them after it. Undoing restores the snapshot before; redoing, the one after.
#pragma once

#include <QElapsedTimer>
#include <deque>
#include <optional>

#include "session/session.h"

// What a step changes: the settings that make a conversion, and the paint over it. A pick or
// another dithering does not convert, so the roles and the dithering the conversion on show
// was made with are kept beside the ones chosen now.
struct Snapshot {
  vantrel::ColourRoleSet roles;
  vantrel::ColourRoleSet convertedRoles;
  vantrel::Dithering convertedDithering = vantrel::Dithering::FloydSteinberg;
  int red = 0, green = 0, blue = 0;
  vantrel::Dithering dithering = vantrel::Dithering::FloydSteinberg;
  vantrel::CropCorner crop;
  vantrel::ScaleSetting scale;
  int percent = 100;  // the scale shown
  vantrel::Edits edits;
  // Colours per cell chosen now and the ones the conversion on show was made with (none: the
  // roles colour every cell).
  std::optional<vantrel::CellColours> cells, convertedCells;
  vantrel::ColourModel model;  // the palette and mix, which the conversion on show is made in
  bool operator==(const Snapshot&) const = default;
};

// Where a change came from: changes from one source in quick succession (dragging a slider,
// typing a number, turning the wheel) make a single step.
enum class ChangeSource {
  None,
  Role,
  Red,
  Green,
  Blue,
  Dithering,
  Crop,
  Scale,
  Default,
  Auto,
  Convert,
  Paint,
  Clear,
  Model
};

class History {
 public:
  // Forgets every step: `now` is where the user starts (a picture was opened).
  void Reset(const Snapshot& now);
  // The state after a change; nothing happens when nothing changed.
  void Record(const Snapshot& now, ChangeSource source);
  // The snapshot to restore, if any step is there to undo or redo.
  std::optional<Snapshot> Undo();
  std::optional<Snapshot> Redo();
  bool CanUndo() const { return !undo_.empty(); }
  bool CanRedo() const { return !redo_.empty(); }
  const Snapshot& Current() const { return current_; }

 private:
  std::optional<Snapshot> Step(std::deque<Snapshot>& from, std::deque<Snapshot>& to);

  static constexpr std::size_t kMaxSteps = 200;
  static constexpr qint64 kMergeMilliseconds = 1000;
  std::deque<Snapshot> undo_, redo_;
  Snapshot current_;
  ChangeSource lastSource_ = ChangeSource::None;
  QElapsedTimer lastChange_;
};
