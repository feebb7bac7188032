// Everything the converter keeps between user actions, in one place. Each stage of the
// data path writes its own members and reads only those of the stage before it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "core/bitmap32.h"
#include "core/cell_colours.h"
#include "core/colour_model.h"
#include "core/picture_source.h"
#include "core/types.h"
#include "core/view_surface.h"

namespace vantrel {

struct ConverterState {
  bool PictureLoaded = false;

  ColourRoleSet ColourRoles;  // palette index of each role
  MixSlots MixTable{};        // the nine mix colours, slot 1 first
  std::int32_t LastMixCode = 0;

  // The opened picture and the scale it is shown at. Until a picture has opened, the crop is
  // read from PictureBitmap, which the window creates blank.
  std::shared_ptr<PictureSource> Picture;
  int ScalePercent = 100;
  Bitmap32 PictureBitmap;
  std::int32_t PictureWidth = 0;  // the picture's size at its scale: what the crop moves over
  std::int32_t PictureHeight = 0;

  WindowWords SourceWindow{};  // unadjusted crop
  ViewSurface Image1;          // the source view's surface: the adjusted crop
  ColourPlanes WorkPlanes;
  LabPlanes16 LabPlanes;        // the adjusted crop in CIELAB, for the low-flicker dithering
  LayerPlanes LayerBits;        // what the C64 shows: the conversion with the edits over it
  LayerPlanes ConvertedLayers;  // the last conversion's own, under the edits
  Edits PixelEdits;
  Bitmap32 PreviewBitmap;  // 256 x 200; columns 0..191 hold the preview

  C64Memory MemoryImage{};
  FileBytes FileBuffer{};
  std::vector<std::uint8_t> EncodedOutput;  // outputs that are not C64 files (the PNG preview)

  // Colours per cell, when the picture has them: each cell's background and bitmap colours
  // (the roles keep the sprite colours, and the roles the cells were chosen from), and each
  // cell's nine mixes, which then colour every pixel instead of MixTable.
  std::optional<CellColours> CellTable;
  CellMixSlots CellMixTables{};

  // The palette and the mix every colour above is made in: the mix tables, the preview, what
  // each frame shows. Last, so the planes before it keep their places.
  ColourModel Model;
};

// Width and height the window gives both bitmaps when it is created.
inline constexpr int InitialBitmapWidth = 256;
inline constexpr int InitialBitmapHeight = 200;

}  // namespace vantrel
