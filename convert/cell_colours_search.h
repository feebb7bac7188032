// Colours per cell chosen automatically: the two sprite colours and every cell's background and
// bitmap colour in each frame, for a goal, judged as the eye sees the conversion (S-CIELAB at
// both distances, and flicker).
//
// The search starts from roles for the whole picture (Auto Colors' for the goal, or given) and
// goes over the cells in passes, row by row, left to right. For each cell it tries a few
// colour sets: the cell's own so far, its four neighbours', the best of an estimate from the
// cell's colours, and a coordinate descent from the best of those over the colours the
// estimate ranks highest. Each set is judged by replaying the conversion's own dithering where
// the cell changes it (with the error arriving from the left and above, and the cell's share
// to the cell on its left), and measuring how the error of the whole picture as the eye sees
// it changes around the cell (the eye's filters spread a cell's change 12 pixels), plus the
// goal's weight times the change of flicker, plus a weight on the steps of the error at the
// cells' borders against those inside them, which is what makes 8-pixel blocks (of L* as
// Blockiness measures it, and half as much of a* and b*: blocks of tint show too). Between
// the passes the sprite colours the estimate ranks best with the cells are converted and
// measured; each pass ends with the real conversion measured, and the best
// of all that were measured, the roles alone included, wins, unless its cells show (its
// blockiness above 1.06): then the next pass weighs the steps more, and the pass is not kept.
// Two threads work on alternate rows of cells, each some cells behind the row above it; what
// each cell sees does not depend on their timing, so the same window always gives the same
// colours.
#pragma once

#include <optional>

#include "convert/auto_colours.h"
#include "convert/dithering.h"
#include "core/cell_colours.h"
#include "core/colour_model.h"
#include "core/types.h"

namespace vantrel {

struct CellColourChoice {
  // The sprite colours found; the background and bitmap roles are those the search started
  // from (what a window shows beside the cells).
  ColourRoleSet roles;
  CellColours cells;
  RoleScore score;        // of the conversion with them
  RoleScore start;        // of the roles the search started from, alone
  double blockiness = 0;  // of the conversion with them (Blockiness)
  int passes = 0;         // passes over the cells that were kept
};

// Colours per cell for the adjusted window (200 rows of 192 PackedRGB words) converted with
// `dithering`, minimising error + FlickerLambda(goal) * flicker. Starts from `start`, or from
// the roles SearchColourRoles finds for the goal. Every conversion is made and judged in
// `model`. Throws SearchCancelled when the caller cancels.
CellColourChoice SearchCellColours(const PackedRGB* adjusted, Dithering dithering, ColourGoal goal,
                                   const std::optional<ColourRoleSet>& start = std::nullopt,
                                   const SearchControl& control = {},
                                   const ColourModel& model = DefaultColourModel);

// How a conversion with colours per cell does on the window: S-CIELAB at both distances and
// the flicker, as RoleScore measures roles.
RoleScore ScoreCellColours(const PackedRGB* adjusted, Dithering dithering,
                           const ColourRoleSet& roles, const CellColours& cells,
                           const ColourModel& model = DefaultColourModel);

}  // namespace vantrel
