// Disk images against VICE's c1541: it lists the one program file with its name, type and
// blocks, reads it back byte for byte, finds nothing to fix when it validates the disk, and
// writes the same file to a freshly formatted disk exactly as BuildD64Image does.
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>

#include <array>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "c64/d64_image.h"
#include "c64/memory_image.h"
#include "c64/output_files.h"
#include "core/write_file.h"
#include "colour/palette.h"
#include "frame_check.h"

namespace vantrel::emulator {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

std::string Quoted(const std::string& text) {
  std::string quoted = "'";
  for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// Runs c1541 with `arguments`; returns what it prints.
std::string C1541(const std::string& arguments) {
  const std::string command = Quoted(VANTREL_C1541) + " " + arguments + " 2>&1";
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) throw std::runtime_error("cannot run c1541");
  std::string text;
  std::array<char, 256> chunk;
  while (std::fgets(chunk.data(), chunk.size(), pipe) != nullptr) text += chunk.data();
  ::pclose(pipe);
  return text;
}

Bytes ReadFile(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const fs::path& file, const Bytes& bytes) {
  WriteFileReplacing(file.string(), bytes.data(), bytes.size());
}

// Offset in the image of the file's last block and the index of its last byte.
struct LastBlock {
  std::size_t offset;
  int lastByte;
};
LastBlock FindLastBlock(const Bytes& image) {
  const auto offsetOf = [](int track, int sector) {
    std::size_t sectors = 0;
    for (int t = 1; t < track; ++t) sectors += t <= 17 ? 21 : t <= 24 ? 19 : t <= 30 ? 18 : 17;
    return (sectors + static_cast<std::size_t>(sector)) * 256;
  };
  const std::size_t entry = offsetOf(18, 1);
  std::size_t block = offsetOf(image[entry + 3], image[entry + 4]);
  for (int hops = 0; image[block] != 0 && hops < 700; ++hops) {
    block = offsetOf(image[block], image[block + 1]);
  }
  return {block, image[block + 1]};
}

template <std::size_t Size>
Bytes RandomBytes() {
  std::mt19937 random(Size);
  Bytes bytes(Size);
  for (std::uint8_t& byte : bytes) byte = static_cast<std::uint8_t>(random());
  return bytes;
}

Bytes AnyC64Executable() {
  C64Memory image{};
  FileBytes buffer{};
  BuildMemoryImage(SyntheticLayers(), image);
  FillScreenColours(DefaultColourRoles, image);
  AssembleExecutable(image, DefaultColourRoles, buffer, Machine::Any);
  return Bytes(buffer.begin(), buffer.begin() + ExecutableFileSize);
}

struct DiskCase {
  const char* label;
  const char* name;  // PETSCII: upper case
  Bytes (*makeProgram)();
  int blocks;
};
void PrintTo(const DiskCase& c, std::ostream* out) { *out << c.label; }

class DiskImage : public ::testing::TestWithParam<DiskCase> {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "vantrel-d64-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    folder_ = pattern;
  }
  void TearDown() override {
    if (!HasFailure()) fs::remove_all(folder_);
  }
  fs::path folder_;
};

TEST_P(DiskImage, ReadsBackInC1541AsA1541WouldHaveWrittenIt) {
  const DiskCase& c = GetParam();
  const Bytes program = c.makeProgram();
  std::string lower = c.name;
  for (char& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  const Bytes image = BuildD64Image(program, c.name);
  ASSERT_EQ(image.size(), D64ImageSize);
  const fs::path disk = folder_ / "picture.d64";
  WriteFile(disk, image);

  // c1541 shows PETSCII upper case as ASCII lower case.
  const std::string listing = C1541("-attach " + Quoted(disk.string()) + " -list");
  const std::regex header("0 \"" + lower + " *\" vc 2a\n");
  const std::regex file("\n" + std::to_string(c.blocks) + " +\"" + lower + "\" +prg *\n");
  const std::regex free("\n" + std::to_string(664 - c.blocks) + " blocks free.\n");
  EXPECT_TRUE(std::regex_search(listing, header)) << listing;
  EXPECT_TRUE(std::regex_search(listing, file)) << listing;
  EXPECT_TRUE(std::regex_search(listing, free)) << listing;

  const fs::path extracted = folder_ / "extracted.prg";
  C1541("-attach " + Quoted(disk.string()) + " -read " + Quoted(lower) + " " +
        Quoted(extracted.string()));
  EXPECT_EQ(ReadFile(extracted), program);

  // Validating rebuilds the BAM from the directory and the chains of blocks: an image whose
  // BAM is right stays as it is.
  const fs::path validated = folder_ / "validated.d64";
  WriteFile(validated, image);
  C1541("-attach " + Quoted(validated.string()) + " -validate");
  EXPECT_EQ(ReadFile(validated), image) << "c1541 -validate changed the disk";

  // The same file written by c1541 to a freshly formatted disk of the same name and ID. Only
  // the bytes after the file's end in its last block may differ: the 1541 leaves whatever was
  // in its buffer there, BuildD64Image zeros.
  const fs::path programFile = folder_ / "program.prg";
  WriteFile(programFile, program);
  const fs::path written = folder_ / "written.d64";
  C1541("-format " + Quoted(lower + ",vc") + " d64 " + Quoted(written.string()) + " -write " +
        Quoted(programFile.string()) + " " + Quoted(lower));
  Bytes reference = ReadFile(written);
  ASSERT_EQ(reference.size(), D64ImageSize);
  const LastBlock last = FindLastBlock(reference);
  std::fill(reference.begin() + static_cast<std::ptrdiff_t>(last.offset) + last.lastByte + 1,
            reference.begin() + static_cast<std::ptrdiff_t>(last.offset) + 256, 0);
  EXPECT_EQ(image, reference) << "differs from c1541's own disk";
}

INSTANTIATE_TEST_SUITE_P(
    C1541, DiskImage,
    ::testing::Values(DiskCase{"LoadAddressOnly", "EMPTY", RandomBytes<2>, 1},
                      DiskCase{"ThreeBlocks", "X", RandomBytes<2 * 254 + 1>, 3},
                      DiskCase{"AnyC64Executable", "ASTRONAUT", AnyC64Executable, 142},
                      DiskCase{"FullDisk", "FULL DISK 664", RandomBytes<D64MaxProgramSize>, 664}),
    [](const auto& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace vantrel::emulator
