// The data file as assembler source: 64tass and ACME themselves assemble it to the data file's
// bytes with every label where it belongs; the KickAssembler source, which no assembler here
// reads, is read line by line in the few forms it may take.
#include "c64/assembler_source.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "c64/memory_image.h"
#include "c64/output_files.h"

namespace vantrel {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Labels = std::map<std::string, unsigned>;

const Labels ExpectedLabels = {
    {"pictureBank1", 0x4000},         {"pictureBank1Screen0", 0x4000},
    {"pictureBank1Screen1", 0x4400},  {"pictureSprite1Colour", 0x47E8},
    {"pictureSprite2Colour", 0x47E9}, {"pictureBank1Sprites", 0x4800},
    {"pictureBank1Bitmap", 0x6000},   {"pictureBank2", 0xC000},
    {"pictureBank2Screen0", 0xC000},  {"pictureBank2Screen1", 0xC400},
    {"pictureBank2Sprites", 0xC800},  {"pictureBank2Bitmap", 0xE000},
};

struct Assembled {
  Bytes bytes;
  Labels labels;
  std::string failure;  // what went wrong, if anything
};

class Folder {
 public:
  Folder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vantrel-asm-XXXXXX").string();
    if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~Folder() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

// The real assembler on the source: its output and its list of labels ("name = $hhhh").
Assembled Assemble(AsmSyntax syntax, const std::string& source) {
  Folder folder;
  const std::string input = folder / "picture.asm";
  const std::string output = folder / "picture.bin";
  const std::string labels = folder / "labels.txt";
  std::ofstream(input) << source;
  const std::string command =
      syntax == AsmSyntax::Tass64
          ? std::string(VANTREL_64TASS) + " -a -C -Wall -Werror -q --nostart -o " + output +
                " -l " + labels + " " + input
          : std::string(VANTREL_ACME) + " -f plain -o " + output + " -l " + labels + " " + input;
  Assembled result;
  if (std::system((command + " >" + (folder / "log.txt") + " 2>&1").c_str()) != 0) {
    std::ifstream log(folder / "log.txt");
    result.failure = command + " failed: " + std::string(std::istreambuf_iterator<char>(log), {});
    return result;
  }
  std::ifstream bytes(output, std::ios::binary);
  result.bytes.assign(std::istreambuf_iterator<char>(bytes), {});
  std::ifstream list(labels);
  const std::regex entry(R"(^\s*(\w+)\s*= \$([0-9a-fA-F]+))");
  for (std::string line; std::getline(list, line);) {
    std::smatch m;
    if (std::regex_search(line, m, entry)) result.labels[m[1]] = std::stoul(m[2], nullptr, 16);
  }
  return result;
}

// KickAssembler's forms, as its manual gives them: "// comment", "name:", "*= $hhhh",
// ".byte $hh,...", ".fill count, $hh", ".pseudopc $hhhh {" and "}". Anything else fails.
Assembled ReadKickAss(const std::string& source) {
  Assembled result;
  std::istringstream in(source);
  const std::regex comment(R"(\s*(//.*)?)");
  const std::regex label(R"((\w+):\s*(//.*)?)");
  const std::regex origin(R"(\s+\*= \$([0-9a-f]{4}))");
  const std::regex bytes(R"(\s+\.byte (\$[0-9a-f]{2}(,\$[0-9a-f]{2})*))");
  const std::regex fill(R"(\s+\.fill (\d+), \$([0-9a-f]{2}))");
  const std::regex shown(R"(\s+\.pseudopc \$([0-9a-f]{4}) \{)");
  const std::regex shownEnd(R"(\s+\})");
  unsigned pc = 0, shift = 0;  // shift: label address less output address inside .pseudopc
  int number = 0;
  for (std::string line; std::getline(in, line);) {
    ++number;
    std::smatch m;
    if (std::regex_match(line, m, comment)) continue;
    if (std::regex_match(line, m, label)) {
      result.labels[m[1]] = pc + shift;
    } else if (std::regex_match(line, m, origin)) {
      pc = static_cast<unsigned>(std::stoul(m[1], nullptr, 16));
    } else if (std::regex_match(line, m, bytes)) {
      std::string list = m[1];
      for (std::size_t at = 0; at < list.size(); at += 4) {
        result.bytes.push_back(
            static_cast<std::uint8_t>(std::stoul(list.substr(at + 1, 2), nullptr, 16)));
        ++pc;
      }
    } else if (std::regex_match(line, m, fill)) {
      const std::size_t count = std::stoul(m[1]);
      result.bytes.insert(result.bytes.end(), count,
                          static_cast<std::uint8_t>(std::stoul(m[2], nullptr, 16)));
      pc += static_cast<unsigned>(count);
    } else if (std::regex_match(line, m, shown) && shift == 0) {
      shift = static_cast<unsigned>(std::stoul(m[1], nullptr, 16)) - pc;
    } else if (std::regex_match(line, m, shownEnd) && shift != 0) {
      shift = 0;
    } else {
      result.failure = "line " + std::to_string(number) + " is no KickAssembler form: " + line;
      return result;
    }
  }
  if (shift != 0) result.failure = "a .pseudopc block is not closed";
  return result;
}

Bytes SavedDataFile(unsigned seed, const ColourRoleSet& roles) {
  std::mt19937 rng(seed);
  LayerPlanes layers;
  for (Plane* plane :
       {&layers.Bitmap1Bits, &layers.Sprite1Bits, &layers.Bitmap2Bits, &layers.Sprite2Bits}) {
    for (std::uint8_t& bit : *plane) bit = rng() % 3 == 0;
  }
  C64Memory image{};
  BuildMemoryImage(layers, image);
  FillScreenColours(roles, image);
  FileBytes buffer{};
  AssembleDataFile(image, roles, buffer);
  return {buffer.begin(), buffer.begin() + DataFileSize};
}

TEST(AssemblerSource, AssemblesToTheDataFileWithEveryLabelInPlace) {
  Bytes random(32768);
  std::mt19937 rng(7);
  for (std::size_t i = 0; i < random.size(); ++i) {
    random[i] = i % 3000 < 100 ? 0x55 : static_cast<std::uint8_t>(rng() % 4);  // runs and not
  }
  const struct {
    const char* name;
    Bytes data;
  } files[] = {
      {"default roles", SavedDataFile(1, ColourRoleSet{0, 2, 3, 7, 10})},
      {"other roles", SavedDataFile(2, {6, 14, 1, 9, 15})},
      {"any 32 KiB", random},
  };
  for (const auto& file : files) {
    for (const AsmSyntax syntax : AllAsmSyntaxes) {
      SCOPED_TRACE(std::string(file.name) + " as " + std::string(AsmSyntaxName(syntax)));
      const std::string source = AssemblerSource(file.data, syntax);
      const Assembled assembled =
          syntax == AsmSyntax::KickAss ? ReadKickAss(source) : Assemble(syntax, source);
      ASSERT_EQ(assembled.failure, "");
      EXPECT_TRUE(assembled.bytes == file.data) << assembled.bytes.size() << " bytes";
      EXPECT_EQ(assembled.labels, ExpectedLabels);
    }
  }
  for (const auto& [syntax, name] : {std::pair{AsmSyntax::Tass64, "64tass"},
                                     {AsmSyntax::Acme, "acme"},
                                     {AsmSyntax::KickAss, "kickass"}}) {
    EXPECT_EQ(AsmSyntaxName(syntax), name);
    EXPECT_EQ(AsmSyntaxFromName(name), syntax);
  }
  EXPECT_EQ(AsmSyntaxFromName("KickAss"), std::nullopt);
  EXPECT_THROW(AssemblerSource(Bytes(32767), AsmSyntax::Tass64), std::invalid_argument);
}

}  // namespace
}  // namespace vantrel
