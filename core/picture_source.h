// The opened picture as the crop sees it: upright, and drawn at a scale into the source view.
// Opening a file (picture/photo.h) makes one; the state holds it.
#pragma once

#include <string>

#include "core/view_surface.h"

namespace vantrel {

class PictureSource {
 public:
  virtual ~PictureSource() = default;

  // The upright picture's size at 100 %.
  virtual int Width() const = 0;
  virtual int Height() const = 0;

  // Makes ready what drawing at `percent` needs (a decode), or throws VantrelError with
  // nothing changed.
  virtual void Prepare(int percent) = 0;

  // Frees what drawing at `percent` and the scales next to it does not need (reduced decodes
  // made for other scales), so the memory held follows the scale while a step of the scale
  // stays a redraw.
  virtual void KeepLevelsNear(int /*percent*/) {}

  // Draws the picture scaled to `percent` with its top-left corner at (x, y) into `view`,
  // clipped; pixels it does not cover keep their value. Throws before touching the view when
  // a decode fails.
  virtual void DrawScaled(int percent, int x, int y, ViewSurface& view) = 0;

  // What the user should be told about a picture that opened but is not whole; empty when
  // nothing. It may appear after a Prepare or a draw, when a decode first meets the fault.
  virtual std::string Warning() const { return {}; }
};

}  // namespace vantrel
