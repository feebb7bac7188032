// A C64 file name from a picture file name, and the disk image built around the program.
#include "c64/d64_image.h"

#include <algorithm>
#include <array>

#include "core/error.h"

namespace vantrel {
namespace {

constexpr int Tracks = 35;
constexpr int DirectoryTrack = 18;
constexpr int BamSector = 0;
constexpr int DirectorySector = 1;
constexpr int Interleave = 10;  // the 1541's for program files
constexpr std::size_t SectorSize = 256;
constexpr std::size_t BlockData = 254;  // a sector less its link to the next
constexpr std::uint8_t Padding = 0xA0;  // shifted space: fills names and the BAM's gaps
constexpr std::uint8_t ClosedPrg = 0x82;
constexpr char DiskId[] = "VC";

constexpr int SectorsOn(int track) {
  return track <= 17 ? 21 : track <= 24 ? 19 : track <= 30 ? 18 : 17;
}

std::size_t SectorOffset(int track, int sector) {
  std::size_t sectors = 0;
  for (int t = 1; t < track; ++t) sectors += static_cast<std::size_t>(SectorsOn(t));
  return (sectors + static_cast<std::size_t>(sector)) * SectorSize;
}

// Which sectors are still free, as the BAM keeps them.
class BlockMap {
 public:
  BlockMap() {
    for (int track = 1; track <= Tracks; ++track) {
      std::fill_n(free_[track].begin(), SectorsOn(track), true);
    }
  }

  bool IsFree(int track, int sector) const { return free_[track][sector]; }
  void Take(int track, int sector) { free_[track][sector] = false; }
  int FreeOn(int track) const {
    return static_cast<int>(std::count(free_[track].begin(), free_[track].end(), true));
  }

 private:
  std::array<std::array<bool, 21>, Tracks + 1> free_{};  // [track][sector], track 0 unused
};

struct Block {
  int track;
  int sector;
};

// The tracks a file fills in turn: from the directory track outwards, first downwards to
// track 1, then upwards from track 19.
int NextTrack(int track) {
  if (track < DirectoryTrack) return track > 1 ? track - 1 : DirectoryTrack + 1;
  return track < Tracks ? track + 1 : 0;
}

// The first free sector at or after `from` on the track, wrapping round; -1 when full.
int FreeSectorFrom(const BlockMap& map, int track, int from) {
  const int count = SectorsOn(track);
  for (int i = 0; i < count; ++i) {
    const int sector = (from + i) % count;
    if (map.IsFree(track, sector)) return sector;
  }
  return -1;
}

// The sector after `previous` on a track of `count` sectors: 10 on, one less after wrapping
// past the end of the track.
int StepOn(int previous, int count) {
  int sector = previous + Interleave;
  if (sector >= count) {
    sector -= count;
    if (sector > 0) --sector;
  }
  return sector;
}

// The 1541's choice of a file's blocks, as VICE's c1541 makes it too: the first at track 17
// sector 0, each next one a step on from the one before, or the first free sector after
// that. On a full track the step is taken on the next track instead, counted from sector 0
// when the file crosses over the directory track.
std::vector<Block> AllocateBlocks(BlockMap& map, std::size_t count) {
  std::vector<Block> blocks;
  int track = DirectoryTrack - 1;
  int previous = 0;
  while (blocks.size() < count) {
    for (;;) {
      const int from = blocks.empty() ? 0 : StepOn(previous, SectorsOn(track));
      const int found = FreeSectorFrom(map, track, from);
      if (found >= 0) {
        previous = found;
        break;
      }
      const int next = NextTrack(track);
      if (next == 0) throw VantrelError(Message::kDiskFull);
      if (next == DirectoryTrack + 1 && track < DirectoryTrack) previous = 0;
      track = next;
    }
    map.Take(track, previous);
    blocks.push_back({track, previous});
  }
  return blocks;
}

void WritePadded(std::uint8_t* to, std::string_view text, std::size_t width) {
  std::fill_n(to, width, Padding);
  std::copy(text.begin(), text.end(), to);
}

}  // namespace

std::string C64FileName(std::string_view pictureFileName) {
  std::string_view base = pictureFileName;
  if (const std::size_t slash = base.find_last_of('/'); slash != std::string_view::npos) {
    base.remove_prefix(slash + 1);
  }
  if (const std::size_t dot = base.find_last_of('.'); dot != std::string_view::npos && dot > 0) {
    base = base.substr(0, dot);
  }

  std::string name;
  for (const char c : base) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x80 && byte < 0xC0) continue;  // the rest of a UTF-8 character
    if (byte >= 'a' && byte <= 'z') {
      name += static_cast<char>(byte - 'a' + 'A');
    } else if ((byte >= 'A' && byte <= 'Z') || (byte >= '0' && byte <= '9') ||
               std::string_view(" !%&'()+-.;<>[]").find(c) != std::string_view::npos) {
      name += c;
    } else {
      // Quotes end a name, * and ? are wildcards, , : = @ $ # separate or start DOS
      // commands; the rest has no PETSCII character of the same look.
      name += '-';
    }
  }
  const std::size_t first = name.find_first_not_of(' ');
  if (first == std::string::npos) return "PICTURE";
  name = name.substr(first, C64FileNameLength);
  name.erase(name.find_last_not_of(' ') + 1);
  return name;
}

std::vector<std::uint8_t> BuildD64Image(std::span<const std::uint8_t> program,
                                        std::string_view name) {
  if (name.empty() || name.size() > C64FileNameLength) {
    throw VantrelError(Message::kC64NameLength, name.size());
  }
  if (program.size() < 2) {
    throw VantrelError(Message::kNoLoadAddress);
  }
  if (program.size() > D64MaxProgramSize) {
    throw VantrelError(Message::kProgramTooLargeForADisk, program.size(), D64MaxProgramSize);
  }

  std::vector<std::uint8_t> image(D64ImageSize, 0);
  BlockMap map;
  map.Take(DirectoryTrack, BamSector);
  map.Take(DirectoryTrack, DirectorySector);

  const std::size_t blockCount = (program.size() + BlockData - 1) / BlockData;
  const std::vector<Block> blocks = AllocateBlocks(map, blockCount);
  for (std::size_t i = 0; i < blocks.size(); ++i) {
    std::uint8_t* sector = image.data() + SectorOffset(blocks[i].track, blocks[i].sector);
    const std::size_t start = i * BlockData;
    const std::size_t length =
        std::min(BlockData, program.size() - std::min(start, program.size()));
    if (i + 1 < blocks.size()) {
      sector[0] = static_cast<std::uint8_t>(blocks[i + 1].track);
      sector[1] = static_cast<std::uint8_t>(blocks[i + 1].sector);
    } else {
      sector[0] = 0;                                      // the last block:
      sector[1] = static_cast<std::uint8_t>(length + 1);  // the index of its last byte
    }
    std::copy_n(program.begin() + static_cast<std::ptrdiff_t>(start), length, sector + 2);
  }

  std::uint8_t* directory = image.data() + SectorOffset(DirectoryTrack, DirectorySector);
  directory[0] = 0;  // no further directory sector
  directory[1] = 0xFF;
  directory[2] = ClosedPrg;
  directory[3] = static_cast<std::uint8_t>(blocks.front().track);
  directory[4] = static_cast<std::uint8_t>(blocks.front().sector);
  WritePadded(directory + 5, name, C64FileNameLength);
  directory[30] = static_cast<std::uint8_t>(blocks.size() & 0xFF);
  directory[31] = static_cast<std::uint8_t>(blocks.size() >> 8);

  std::uint8_t* bam = image.data() + SectorOffset(DirectoryTrack, BamSector);
  bam[0] = DirectoryTrack;
  bam[1] = DirectorySector;
  bam[2] = 'A';  // DOS version
  for (int track = 1; track <= Tracks; ++track) {
    std::uint8_t* entry = bam + 4 * track;
    entry[0] = static_cast<std::uint8_t>(map.FreeOn(track));
    for (int sector = 0; sector < SectorsOn(track); ++sector) {
      if (map.IsFree(track, sector)) entry[1 + sector / 8] |= 1 << (sector % 8);
    }
  }
  WritePadded(bam + 0x90, name, C64FileNameLength);
  std::fill_n(bam + 0xA0, 11, Padding);  // $a0-$aa, then ID and DOS type over it
  bam[0xA2] = DiskId[0];
  bam[0xA3] = DiskId[1];
  bam[0xA5] = '2';
  bam[0xA6] = 'A';
  return image;
}

}  // namespace vantrel
