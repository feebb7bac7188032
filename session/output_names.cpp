// The output kinds by extension, and the one test of whether an output is the picture itself.
#include "session/output_names.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

#include "core/error.h"
#include "picture/picture_format.h"

namespace vantrel {

namespace {

std::string Lower(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return lower;
}

// In the order of OutputKind.
constexpr std::string_view kExtensions[] = {".prg", ".bin", ".png", ".d64", ".asm"};

}  // namespace

std::string_view OutputExtension(OutputKind kind) {
  return kExtensions[static_cast<std::size_t>(kind)];
}

std::string_view OutputExtension(const OutputTarget& target) {
  return target.project ? ProjectExtension : OutputExtension(target.kind);
}

OutputTarget OutputTargetOfName(const std::string& fileName) {
  // From the last dot of the name's last part: "dir.png/x" has no extension, ".prg" is one.
  const std::size_t slash = fileName.rfind('/');
  const std::size_t dot = fileName.rfind('.');
  const std::string extension =
      dot != std::string::npos && (slash == std::string::npos || dot > slash)
          ? Lower(std::string_view(fileName).substr(dot))
          : std::string();
  if (extension == ProjectExtension) return {OutputKind::Data, true};
  for (const OutputKind kind : {OutputKind::Executable, OutputKind::Png, OutputKind::DiskImage,
                                OutputKind::Data, OutputKind::AssemblerSource}) {
    if (extension == OutputExtension(kind)) return {kind, false};
  }
  if (extension.size() > 1) {
    if (const std::optional<PictureFormat> format = FormatOfExtension(extension.substr(1))) {
      throw VantrelError(Message::kNotWrittenPictureFormat, fileName, FormatName(*format));
    }
  }
  return {OutputKind::Data, false};
}

bool IsSameFile(const std::string& fileName, const std::string& picture) {
  std::error_code error;
  return std::filesystem::equivalent(fileName, picture, error) && !error;
}

}  // namespace vantrel
