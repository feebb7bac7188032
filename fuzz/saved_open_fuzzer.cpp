// libFuzzer target for the files this program reads back: a project file's text is parsed,
// written again and parsed once more, which must give the same text; any other bytes are read
// as a saved picture (an executable of any target, a disk image, a data file), which, taken as
// the session's conversion and saved again as the same kind, must read back to the same
// layers and roles.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/error.h"
#include "session/session.h"

namespace {

bool SameLayers(const vantrel::LayerPlanes& a, const vantrel::LayerPlanes& b) {
  return a.Bitmap1Bits == b.Bitmap1Bits && a.Sprite1Bits == b.Sprite1Bits &&
         a.Bitmap2Bits == b.Bitmap2Bits && a.Sprite2Bits == b.Sprite2Bits;
}

void ProjectRoundTrip(const std::string& text) {
  using namespace vantrel;
  Project project;
  try {
    project = ParseProject(text, "the project");
  } catch (const VantrelError&) {
    return;  // refused with its reason
  }
  const std::string written = ProjectText(project);
  if (ProjectText(ParseProject(written, "the project written again")) != written) std::abort();
}

void SavedRoundTrip(std::span<const std::uint8_t> bytes) {
  using namespace vantrel;
  SavedPicture saved;
  try {
    saved = ReadSavedPicture(bytes, "the picture");
  } catch (const VantrelError&) {
    return;
  }
  Session session;
  session.TakeConversion(saved.layers, saved.roles);
  const OutputKind kind = saved.kind == SavedKind::Data         ? OutputKind::Data
                          : saved.kind == SavedKind::DiskImage ? OutputKind::DiskImage
                                                               : OutputKind::Executable;
  const std::span<const std::uint8_t> again = session.Output(kind, {saved.machine, saved.c64Name});
  const SavedPicture reread = ReadSavedPicture(again, "the picture saved again");
  if (!SameLayers(reread.layers, saved.layers) || reread.roles != saved.roles ||
      reread.machine != saved.machine) {
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);
  if (vantrel::LooksLikeProject(bytes)) {
    ProjectRoundTrip(std::string(bytes.begin(), bytes.end()));
  } else {
    SavedRoundTrip(bytes);
  }
  return 0;
}
