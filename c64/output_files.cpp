// The executable and the data file assembled in memory and written whole.
#include "c64/output_files.h"

#include <algorithm>

#include "c64/displayer_template.h"

namespace vantrel {

void AssembleExecutable(const C64Memory& image, const ColourRoleSet& roles, FileBytes& buffer,
                        Machine machine) {
  const DisplayerBytes& displayer = DisplayerTemplateFor(machine);
  std::copy(displayer.begin(), displayer.end(), buffer.begin());
  std::copy(image.begin(), image.end(), buffer.begin() + ExecutableImageOffset);
  buffer[Sprite1ColourPatchOffset] = static_cast<std::uint8_t>(roles.Sprite1Colour & 0x0F);
  buffer[Sprite2ColourPatchOffset] = static_cast<std::uint8_t>(roles.Sprite2Colour & 0x0F);
}

void AssembleDataFile(const C64Memory& image, const ColourRoleSet& roles, FileBytes& buffer) {
  std::copy(image.begin(), image.end(), buffer.begin());
  buffer[DataSprite1ColourOffset] = static_cast<std::uint8_t>(roles.Sprite1Colour);
  buffer[DataSprite2ColourOffset] = static_cast<std::uint8_t>(roles.Sprite2Colour);
}

}  // namespace vantrel
