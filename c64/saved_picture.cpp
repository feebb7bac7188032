// Recognising and unpacking executables, disk images and data files this program wrote.
#include "c64/saved_picture.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstddef>
#include <cstdio>
#include <stdexcept>
#include <vector>

#include "c64/d64_image.h"
#include "c64/displayer_template.h"
#include "c64/memory_image.h"
#include "c64/output_files.h"
#include "c64/packed_executable.h"
#include "core/error.h"

namespace vantrel {
namespace {

constexpr std::size_t kSpareByte1 = 0x07E8;  // in frame 1's bank, after its second screen
constexpr std::size_t kSpareByte2 = 0x07E9;

// The displayer an executable begins with: its bytes up to `length` equal the machine's
// template everywhere but at the two sprite colours, which are colour numbers.
bool BeginsWithDisplayer(std::span<const std::uint8_t> bytes, const DisplayerBytes& displayer,
                         std::size_t length) {
  for (std::size_t i = 0; i < length; ++i) {
    if (i == Sprite1ColourPatchOffset || i == Sprite2ColourPatchOffset) {
      if (bytes[i] > 0x0F) return false;
    } else if (bytes[i] != displayer[i]) {
      return false;
    }
  }
  return true;
}

std::optional<Machine> DisplayerMachine(std::span<const std::uint8_t> bytes) {
  const std::size_t length = std::min(bytes.size(), ExecutableImageOffset);
  if (length < 16) return std::nullopt;  // too little to tell a displayer from anything else
  for (const Machine machine : AllMachines) {
    if (BeginsWithDisplayer(bytes, DisplayerTemplateFor(machine), length)) return machine;
  }
  return std::nullopt;
}

bool LooksLikeDiskImage(std::span<const std::uint8_t> bytes) {
  return IsDiskImageSize(bytes.size());
}

[[noreturn]] void NotASavedPicture(const std::string& name, const std::string& why) {
  throw VantrelError(Message::kNotASavedPicture, name, why);
}

SavedPicture ReadExecutable(std::span<const std::uint8_t> bytes, const std::string& name) {
  const std::optional<Machine> machine = DisplayerMachine(bytes);
  if (!machine) NotASavedPicture(name, Text(Message::kNotTheDisplayer));
  if (bytes.size() < ExecutableFileSize) {
    throw VantrelError(Message::kSavedPictureEndsEarly, name, ExecutableFileSize, bytes.size());
  }
  if (bytes.size() > ExecutableFileSize) {
    NotASavedPicture(name, Text(Message::kWrongExecutableSize, ExecutableFileSize, bytes.size()));
  }
  const auto tail = bytes.subspan(ExecutableImageOffset + MemoryImageSize);
  if (std::any_of(tail.begin(), tail.end(), [](std::uint8_t b) { return b != 0; })) {
    NotASavedPicture(name, Text(Message::kSomethingFollowsThePicture));
  }
  SavedPicture picture;
  picture.kind = SavedKind::Executable;
  picture.machine = *machine;
  const auto image = bytes.subspan(ExecutableImageOffset, MemoryImageSize);
  if (image[kSpareByte1] != 0 || image[kSpareByte2] != 0 ||
      !UnpackMemoryImage(image, picture.layers, picture.roles, picture.cells)) {
    NotASavedPicture(name, Text(Message::kNotLaidOutAsSaved));
  }
  picture.roles.Sprite1Colour = bytes[Sprite1ColourPatchOffset];
  picture.roles.Sprite2Colour = bytes[Sprite2ColourPatchOffset];
  return picture;
}

// A plain executable, or a packed one read as the plain one it unpacks to.
SavedPicture ReadProgram(std::span<const std::uint8_t> bytes, const std::string& name) {
  if (!IsPackedExecutable(bytes)) return ReadExecutable(bytes, name);
  SavedPicture picture = ReadExecutable(UnpackExecutable(bytes, name), name);
  picture.packed = true;
  return picture;
}

// A data file: the two banks, with the sprite colours in the two spare bytes.
std::optional<SavedPicture> ReadDataFile(std::span<const std::uint8_t> bytes) {
  if (bytes.size() != DataFileSize) return std::nullopt;
  const std::uint8_t sprite1 = bytes[DataSprite1ColourOffset];
  const std::uint8_t sprite2 = bytes[DataSprite2ColourOffset];
  if (sprite1 > 0x0F || sprite2 > 0x0F) return std::nullopt;
  std::vector<std::uint8_t> image(bytes.begin(), bytes.end());
  image[kSpareByte1] = 0;
  image[kSpareByte2] = 0;
  SavedPicture picture;
  if (!UnpackMemoryImage(image, picture.layers, picture.roles, picture.cells)) {
    return std::nullopt;
  }
  picture.roles.Sprite1Colour = sprite1;
  picture.roles.Sprite2Colour = sprite2;
  return picture;
}

// --- Disk images ----------------------------------------------------------------------

constexpr int kDirectoryTrack = 18;
constexpr std::size_t kSectorSize = 256;
constexpr std::uint8_t kPrgType = 0x02;  // low bits of a directory entry's type
constexpr std::uint8_t kClosed = 0x80;

int SectorsOn(int track) { return track <= 17 ? 21 : track <= 24 ? 19 : track <= 30 ? 18 : 17; }

// The offset of a sector in the image; nothing for a track or sector no 1541 disk has.
std::optional<std::size_t> SectorOffset(int track, int sector) {
  if (track < 1 || track > 35 || sector < 0 || sector >= SectorsOn(track)) return std::nullopt;
  std::size_t sectors = 0;
  for (int t = 1; t < track; ++t) sectors += static_cast<std::size_t>(SectorsOn(t));
  return (sectors + static_cast<std::size_t>(sector)) * kSectorSize;
}

std::string PaddedName(const std::uint8_t* bytes) {
  std::string name;
  for (int i = 0; i < 16 && bytes[i] != 0xA0; ++i) name += static_cast<char>(bytes[i]);
  return name;
}

// The first closed program file of the directory, read along its chain of blocks.
SavedPicture ReadDiskImage(std::span<const std::uint8_t> bytes, const std::string& name) {
  constexpr int kMostBlocks = 683;  // a chain longer than the disk runs in a circle
  int track = kDirectoryTrack, sector = 1;
  for (int directoryBlocks = 0; track != 0 && directoryBlocks < kMostBlocks; ++directoryBlocks) {
    const std::optional<std::size_t> at = SectorOffset(track, sector);
    if (!at) NotASavedPicture(name, Text(Message::kDirectoryDamaged));
    const std::uint8_t* block = bytes.data() + *at;
    for (int entry = 0; entry < 8; ++entry) {
      const std::uint8_t* e = block + 32 * entry;
      if ((e[2] & 0x07) != kPrgType || !(e[2] & kClosed)) continue;
      std::vector<std::uint8_t> program;
      int fileTrack = e[3], fileSector = e[4];
      for (int blocks = 0;; ++blocks) {
        const std::optional<std::size_t> data = SectorOffset(fileTrack, fileSector);
        if (!data || blocks >= kMostBlocks)
          NotASavedPicture(name, Text(Message::kProgramFileDamaged));
        const std::uint8_t* d = bytes.data() + *data;
        if (d[0] == 0) {
          if (d[1] < 1) NotASavedPicture(name, Text(Message::kProgramFileDamaged));
          program.insert(program.end(), d + 2, d + d[1] + 1);
          break;
        }
        program.insert(program.end(), d + 2, d + kSectorSize);
        fileTrack = d[0];
        fileSector = d[1];
      }
      SavedPicture picture = ReadProgram(program, name);
      picture.kind = SavedKind::DiskImage;
      picture.c64Name = PaddedName(e + 5);
      return picture;
    }
    track = block[0];
    sector = block[1];
  }
  NotASavedPicture(name, Text(Message::kNoProgramOnTheDisk));
}

}  // namespace

bool IsDiskImageSize(std::uintmax_t size) {
  // 683 sectors, and as many again with one error byte each.
  return size == D64ImageSize || size == D64ImageSize + D64ImageSize / 256;
}

bool UnpackMemoryImage(std::span<const std::uint8_t> image, LayerPlanes& layers,
                       ColourRoleSet& roles, std::optional<CellColours>& cells) {
  if (image.size() != MemoryImageSize) return false;
  // Each bit of the bitmaps and sprites back into its plane, then the colours of the
  // picture's first cell; repacking must give the image back byte for byte.
  LayerPlanes unpacked;
  const auto unpack = [&](std::size_t bank, Plane& bitmap, Plane& sprites) {
    for (int y = 0; y < WindowHeight; ++y) {
      for (int x = 0; x < WindowWidth; ++x) {
        const auto bit = static_cast<std::uint8_t>(0x80 >> (x % 8));
        bitmap[y * WindowWidth + x] = (image[bank + BitmapByteOffset(x, y)] & bit) ? 1 : 0;
        sprites[y * WindowWidth + x] = (image[bank + SpriteByteOffset(x, y)] & bit) ? 1 : 0;
      }
    }
  };
  unpack(FirstFrameBank, unpacked.Bitmap1Bits, unpacked.Sprite1Bits);
  unpack(SecondFrameBank, unpacked.Bitmap2Bits, unpacked.Sprite2Bits);
  // Each cell's colours from screen 0 of each bank; the roles from the first cell's.
  CellColours read;
  for (int row = 0; row < CellRows; ++row) {
    for (int column = 0; column < CellColumns; ++column) {
      const std::size_t at = Screen0Offset + row * ScreenColumns + column + PictureFirstColumn;
      const std::uint8_t colours1 = image[FirstFrameBank + at];
      const std::uint8_t colours2 = image[SecondFrameBank + at];
      read[row * CellColumns + column] = {
          static_cast<std::uint8_t>(colours1 & 0x0F), static_cast<std::uint8_t>(colours1 >> 4),
          static_cast<std::uint8_t>(colours2 & 0x0F), static_cast<std::uint8_t>(colours2 >> 4)};
    }
  }
  ColourRoleSet found = roles;
  found.BackgroundColour = read[0].Background1Colour;
  found.Bitmap1Colour = read[0].Bitmap1Colour;
  found.Bitmap2Colour = read[0].Bitmap2Colour;
  const bool byRoles = read == UniformCellColours(found);
  C64Memory probe{};
  BuildMemoryImage(unpacked, probe);
  if (byRoles) {
    FillScreenColours(found, probe);
  } else {
    FillScreenColours(read, probe);
  }
  if (!std::equal(probe.begin(), probe.end(), image.begin())) return false;
  layers = unpacked;
  roles = found;
  cells.reset();
  if (!byRoles) cells = read;
  return true;
}

std::optional<SavedKind> SniffSavedPicture(std::span<const std::uint8_t> bytes) {
  if (DisplayerMachine(bytes) || IsPackedExecutable(bytes)) return SavedKind::Executable;
  if (LooksLikeDiskImage(bytes)) return SavedKind::DiskImage;
  if (ReadDataFile(bytes)) return SavedKind::Data;
  return std::nullopt;
}

std::optional<SavedKind> SavedKindNamed(std::string_view fileName) {
  if (fileName.size() < 4) return std::nullopt;
  std::string extension;
  for (const char c : fileName.substr(fileName.size() - 4)) {
    extension += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  if (extension == ".prg") return SavedKind::Executable;
  if (extension == ".d64") return SavedKind::DiskImage;
  if (extension == ".bin") return SavedKind::Data;
  return std::nullopt;
}

VantrelError NotSavedHere(std::span<const std::uint8_t> bytes, SavedKind kind,
                          const std::string& name) {
  switch (kind) {
    case SavedKind::Executable: {
      const auto notOurs = [&](const std::string& why) {
        return VantrelError(Message::kNotAProgramSavedHere, name, why);
      };
      if (bytes.size() < 2) return notOurs(Text(Message::kEndsAfter, bytes.size()));
      // Every displayer loads at $0800, and a BASIC program at $0801.
      const unsigned address = bytes[0] | bytes[1] << 8;
      if (address != 0x0800 && address != 0x0801) {
        char hex[5];
        std::snprintf(hex, sizeof hex, "%04X", address);
        return notOurs(Text(Message::kLoadsAt, hex));
      }
      // Too short to tell its program from a displayer's first bytes.
      if (bytes.size() < 16 && std::any_of(AllMachines.begin(), AllMachines.end(), [&](Machine m) {
            return BeginsWithDisplayer(bytes, DisplayerTemplateFor(m), bytes.size());
          })) {
        return notOurs(Text(Message::kEndsAfter, bytes.size()));
      }
      return notOurs(Text(Message::kNotTheDisplayer));
    }
    case SavedKind::DiskImage:
      if (IsDiskImageSize(bytes.size())) break;
      return VantrelError(Message::kNotADiskImageSavedHere, name,
                          Text(Message::kWrongDiskImageSize, D64ImageSize,
                               D64ImageSize + D64ImageSize / 256, bytes.size()));
    case SavedKind::Data:
      return VantrelError(Message::kNotADataFileSavedHere, name,
                          bytes.size() != DataFileSize
                              ? Text(Message::kWrongDataFileSize, DataFileSize, bytes.size())
                              : Text(Message::kNotLaidOutAsSaved));
  }
  // Bytes of a disk image's size are read as one, which says what is wrong with them.
  try {
    ReadSavedPicture(bytes, name);
  } catch (const VantrelError& error) {
    return error;
  }
  throw std::logic_error("NotSavedHere: the bytes are a saved picture");
}

SavedPicture ReadSavedPicture(std::span<const std::uint8_t> bytes, const std::string& name) {
  if (DisplayerMachine(bytes) || IsPackedExecutable(bytes)) return ReadProgram(bytes, name);
  if (LooksLikeDiskImage(bytes)) return ReadDiskImage(bytes, name);
  if (std::optional<SavedPicture> data = ReadDataFile(bytes)) return *data;
  NotASavedPicture(name, Text(Message::kNoSavedPictureKind));
}

}  // namespace vantrel
