// Colours per cell chosen automatically: the two sprite colours and every cell's background and
// bitmap colour in each frame, for a goal, judged as the eye sees the conversion (S-CIELAB at
// both distances, and flicker).
//
// The search starts from roles for the whole picture (Auto Colors' for the goal, or given).
// Then it goes over the cells in passes, row by row, left to right: each cell is dithered in
// turn, as the conversion would dither it with the error arriving from the cells before it,
// with each of a few candidate colour sets (the cell's own so far, its neighbours', the best
// of an estimate from its colours, and coordinate descent from the best of them over the
// colours the estimate ranks highest), and takes the one that lowers the error of the whole
// picture as the eye sees it most: the change of S-CIELAB in the neighbourhood the cell's
// pixels reach through the eye's filters, with the neighbours as they stand, plus the goal's
// weight times the change of flicker. A cell whose colours differ from its neighbours' for no
// gain so pays for the step at its border. Between passes the sprite colours are tried anew
// with the cells held, and each pass ends with the real conversion measured; the best of
// everything measured wins, so the result never looks worse than the roles it started from.
// Two threads work on alternate rows of cells, each a few cells behind the row above it; what
// each cell sees does not depend on their timing, so the same window always gives the same
// colours.
#pragma once

#include <optional>

#include "convert/auto_colours.h"
#include "convert/dithering.h"
#include "core/cell_colours.h"
#include "core/types.h"

namespace vantrel {

struct CellColourChoice {
  // The sprite colours found; the background and bitmap roles are those the search started
  // from (what a window shows beside the cells).
  ColourRoleSet roles;
  CellColours cells;
  RoleScore score;  // of the conversion with them
  RoleScore start;  // of the roles the search started from, alone
  int passes = 0;   // passes over the cells that were kept
};

// Colours per cell for the adjusted window (200 rows of 192 PackedRGB words) converted with
// `dithering`, minimising error + FlickerLambda(goal) * flicker. Starts from `start`, or from
// the roles SearchColourRoles finds for the goal. Throws SearchCancelled when the caller
// cancels.
CellColourChoice SearchCellColours(const PackedRGB* adjusted, Dithering dithering, ColourGoal goal,
                                   const std::optional<ColourRoleSet>& start = std::nullopt,
                                   const SearchControl& control = {});

// How a conversion with colours per cell does on the window: S-CIELAB at both distances and
// the flicker, as RoleScore measures roles.
RoleScore ScoreCellColours(const PackedRGB* adjusted, Dithering dithering,
                           const ColourRoleSet& roles, const CellColours& cells);

}  // namespace vantrel
