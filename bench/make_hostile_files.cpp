// Writes the hostile files that bench/hostile_files.sh runs the command line on:
//   make_hostile_files <output folder>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "support/hostile_files.h"

using namespace hostile_files;
namespace fs = std::filesystem;

namespace {

void Write(const fs::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

Pixels Square(int side, std::uint32_t colour) { return Pixels(side, side, colour); }

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_hostile_files <output folder>\n");
    return 2;
  }
  const fs::path out = argv[1];
  fs::create_directories(out);
  Write(out / "many-scans.jpg", ManyScansJpeg(1448, 1448, 10000));
  Write(out / "huge-canvas.webp",
        picture_writers::EncodeWebpOnCanvas(
            16384, 16384, {{Square(64, 0xFFC04020u), 100, 200}, {Square(64, 0xFF2040C0u), 0, 0}}));
  Write(out / "header-only.bmp", BmpHeaderOnly(16384, 16384, 24, 0));
  Write(out / "header-only-rle8.bmp", BmpHeaderOnly(16384, 16384, 8, 1));
  Write(out / "sparse-rle8.bmp",
        WithBmpSize(
            picture_writers::EncodeBmp(Square(16, 0xFF808080u), {.bits = 8, .compression = 1}),
            16384, 16384));
  Write(out / "huge.png",
        WithPngSize(picture_writers::EncodePng(Square(1, 0xFF808080u)), 16384, 16384));
  Write(out / "huge.tif",
        WithTiffSize(picture_writers::EncodeTiff(Square(1, 0xFF808080u)), 16384, 16384));
  Write(out / "deep.vantrel", DeeplyNestedProject(50000));
  // 100 MB of a project's JSON: an edit list of six and a half million runs.
  {
    std::ofstream huge(out / "huge.vantrel", std::ios::binary | std::ios::trunc);
    huge << "{\n  \"vantrel\": 1,\n  \"edits\": [\n    [0,0,1,1]";
    for (long long size = 0; size < 100LL << 20; size += 15) huge << ",\n    [0,0,1,1]";
    huge << "\n  ]\n}\n";
  }
  const fs::path pipe = out / "pipe.jpg";
  fs::remove(pipe);
  if (mkfifo(pipe.c_str(), 0600) != 0) {
    std::perror("mkfifo");
    return 1;
  }
  return 0;
}
