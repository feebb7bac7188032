// Project files: everything written comes back, and a damaged or foreign file is refused with
// its reason, never taken half.
#include "session/project.h"

#include <gtest/gtest.h>
#include <jerror.h>  // libjpeg's message codes
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "convert/sha256.h"
#include "core/error.h"
#include "session/session.h"

namespace vantrel {
namespace {

Project Sample() {
  Project project;
  project.photo = "photos/cat.jpg";
  project.photoSha256 = std::string(64, 'a');
  project.settings.scale = {false, 37};
  project.settings.crop = {12, 300};
  project.settings.adjustment = {-255, 0, 40, Dithering::LowFlicker};
  project.settings.roles = {6, 1, 14, 3, 5};
  project.roles = {6, 1, 14, 9, 5};
  project.dithering = Dithering::None;
  project.machine = Machine::Drean;
  project.edits.codes[0] = 9;
  for (int x = 100; x < 192; ++x) project.edits.codes[199 * WindowWidth + x] = 3;
  project.edits.codes[5 * WindowWidth + 7] = 1;
  return project;
}

// Cells with colours of their own, `seed` apart.
CellColours SomeCells(unsigned seed) {
  CellColours cells;
  for (int i = 0; i < CellCount; ++i) {
    const unsigned h = (i + seed) * 2654435761u;
    cells[i] = {static_cast<std::uint8_t>(h >> 28), static_cast<std::uint8_t>((h >> 24) & 15),
                static_cast<std::uint8_t>((h >> 20) & 15),
                static_cast<std::uint8_t>((h >> 16) & 15)};
  }
  return cells;
}

TEST(ProjectFile, WhatIsWrittenComesBack) {
  for (const int variant : {0, 1, 2, 3}) {
    Project project = Sample();
    if (variant == 1) project.settings.scale = {true, 100};
    if (variant == 2) {
      // The largest project there is: every pixel painted, each in a run of its own, a photo's
      // path as long as the system allows, converted with one cell table, another picked since.
      project.photo = std::string(4095, 'p');
      for (int i = 0; i < PixelCount; ++i)
        project.edits.codes[i] = static_cast<std::uint8_t>(8 + i % 2);
      project.settings.cells = SomeCells(1);
      project.cells = SomeCells(2);
    }
    if (variant == 3) {
      // Converted in one palette and mix, shown in another palette since.
      project.settings.model = {PaletteId::Colodore, MixRule::Light};
      project.model = {PaletteId::CommunityColors, MixRule::Light};
    }
    const std::string text = ProjectText(project);
    if (variant == 2) {
      EXPECT_LT(text.size(), MaxProjectBytes / 4);
    }
    const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(text.data()),
                                              text.size());
    EXPECT_TRUE(LooksLikeProject(bytes));
    const Project back = ParseProject(text, "p.vantrel");
    EXPECT_EQ(back.photo, project.photo);
    EXPECT_EQ(back.photoSha256, project.photoSha256);
    EXPECT_EQ(back.settings.scale, project.settings.scale);
    EXPECT_EQ(back.settings.crop, project.settings.crop);
    EXPECT_EQ(back.settings.adjustment.red, -255);
    EXPECT_EQ(back.settings.adjustment.blue, 40);
    EXPECT_EQ(back.settings.adjustment.dithering, Dithering::LowFlicker);
    EXPECT_EQ(back.settings.roles, project.settings.roles);
    EXPECT_EQ(back.roles, project.roles);
    EXPECT_EQ(back.dithering, Dithering::None);
    EXPECT_TRUE(back.converted);
    EXPECT_EQ(back.machine, Machine::Drean);
    EXPECT_TRUE(back.edits == project.edits);
    EXPECT_EQ(back.settings.cells, project.settings.cells);
    EXPECT_EQ(back.cells, project.cells);
    EXPECT_EQ(back.settings.model, project.settings.model);
    EXPECT_EQ(back.model, project.model);
    // Version 2 only for colours per cell, 3 for another palette or mix: other projects stay as
    // earlier programs read them, without a word of either.
    const char* version = variant == 3   ? "\"vantrel\": 3,"
                          : variant == 2 ? "\"vantrel\": 2,"
                                         : "\"vantrel\": 1,";
    EXPECT_NE(text.find(version), std::string::npos);
    EXPECT_EQ(text.find("\"palette\"") == std::string::npos, variant != 3);
    EXPECT_EQ(ProjectText(back), text) << "written again, byte for byte";
  }
}

// The photo's digest, and the tests' own (which check converted planes), against published
// vectors, with the two lengths around the padding boundary; the tests' one fed in pieces.
TEST(ProjectFile, PhotoDigestsAreSha256) {
  const auto text = [](const std::string& t) {
    return std::vector<std::uint8_t>(t.begin(), t.end());
  };
  const struct {
    std::vector<std::uint8_t> input;
    const char* digest;
  } cases[] = {
      {text(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {text("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {text("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {std::vector<std::uint8_t>(1000000, 'a'),
       "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
      {std::vector<std::uint8_t>(55, 0),
       "02779466cdec163811d078815c633f21901413081449002f24aa3e80f0b88ef7"},
      {std::vector<std::uint8_t>(56, 0),
       "d4817aa5497628e7c77e6b606107042bbba3130888c5f47a375e6179be789fbb"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input.size());
    EXPECT_EQ(Sha256Hex(c.input), c.digest);
    testing_support::Sha256 pieces;
    for (std::size_t at = 0, step = 1; at < c.input.size(); at += step, step = step * 3 + 1) {
      pieces.Update(c.input.data() + at, std::min(step, c.input.size() - at));
    }
    EXPECT_EQ(pieces.HexDigest(), c.digest);
  }
}

TEST(ProjectFile, DamagedOrForeignFilesAreRefusedWithTheirReason) {
  const std::string good = ProjectText(Sample());
  Project withCells = Sample();
  withCells.cells = SomeCells(3);
  const std::string goodCells = ProjectText(withCells);
  Project inColodore = Sample();
  inColodore.model = {PaletteId::Colodore, MixRule::Light};
  const std::string goodModel = ProjectText(inColodore);
  const std::string rows = "\"cells\": [\n    \"";
  const std::string firstRow = goodCells.substr(goodCells.find(rows) + rows.size(), 119);
  const auto replaced = [&](const std::string& from, const std::string& to,
                            const std::string* in = nullptr) {
    std::string text = in ? *in : good;
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return text.replace(at, from.size(), to);
  };
  const struct {
    std::string text;
    const char* why;
  } cases[] = {
      {good.substr(0, good.size() / 2), "its JSON is damaged"},
      {"[1, 2]", "it holds no JSON object"},
      {"{}", "\"vantrel\" is missing"},
      {replaced("\"vantrel\": 1", "\"vantrel\": 4"), "it was written by a newer version"},
      {replaced("\"vantrel\": 1", "\"vantrel\": \"1\""), "\"vantrel\" is not a whole number"},
      {replaced("\"path\":\"photos/cat.jpg\"", "\"path\":\"\""), "it names no photo"},
      {replaced("\"scale\": 37", "\"scale\": 0"), "\"scale\" holds 0, outside 1..3200"},
      {replaced("\"scale\": 37", "\"scale\": \"big\""), "\"scale\" is not a whole number"},
      {replaced("\"dither\":\"low-flicker\"", "\"dither\":\"lots\""),
       "\"dither\" cannot be \"lots\""},
      {replaced("\"conversion\": {", "\"conversion\": 5, \"x\": {"),
       "\"conversion\" is not an object"},
      {replaced("\"machine\": \"drean\"", "\"machine\": 3"), "\"machine\" is not text"},
      {replaced("[6,1,14,3", "[16,1,14,3"), "\"colours\" holds 16, outside 0..15"},
      {replaced("[-255,", "[-256,"), "\"offsets\" holds -256, outside -255..255"},
      {replaced("[100,199,3,92]", "[100,199,3,93]"), "\"edits\" holds 93, outside 1..92"},
      {replaced("[0,0,9,1]", "[0,0,10,1]"), "\"edits\" holds 10, outside 1..9"},
      {replaced("\"crop\": [12,300]", "\"crop\": [[[12]],300]"),
       "its lists and objects nest more than 3 deep"},
      {good + std::string(MaxProjectBytes + 1 - good.size(), ' '),
       "it has 4194305 bytes, more than any project (at most 4 MiB)"},
      {replaced(firstRow, firstRow.substr(0, 118) + "g", &goodCells),
       "row 1 of \"cells\" is not 24 cells of four hexadecimal digits"},
      {replaced(firstRow, firstRow.substr(0, 117), &goodCells),
       "row 1 of \"cells\" is not 24 cells of four hexadecimal digits"},
      {replaced("\"" + firstRow + "\",", "", &goodCells),
       "row 25 of \"cells\" is not 24 cells of four hexadecimal digits"},
      {replaced("\"cells\": [", "\"cells\": 7, \"x\": [", &goodCells), "\"cells\" is not a list"},
      {replaced("\"colodore\"", "\"Colodore\"", &goodModel), "\"palette\" cannot be \"Colodore\""},
      {replaced("\"light\"", "1", &goodModel), "\"mix\" is not text"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    try {
      ParseProject(c.text, "p.vantrel");
      ADD_FAILURE() << "accepted";
    } catch (const VantrelError& error) {
      const std::string message = error.what();
      EXPECT_EQ(message.rfind("p.vantrel is not a usable project file: ", 0), 0u) << message;
      EXPECT_NE(message.find(c.why), std::string::npos) << message;
    }
  }
  const std::string notJson = "GIF89a{\"vantrel\": 1}";
  EXPECT_FALSE(
      LooksLikeProject({reinterpret_cast<const std::uint8_t*>(notJson.data()), notJson.size()}));
}

namespace fs = std::filesystem;

std::vector<std::uint8_t> Bytes(std::span<const std::uint8_t> span) {
  return {span.begin(), span.end()};
}

struct Files {
  std::vector<std::uint8_t> exe, data, png;
};

Files SavedFiles(Session& session, Machine machine) {
  return {Bytes(session.Output(OutputKind::Executable, {machine, {}})),
          Bytes(session.Output(OutputKind::Data)), Bytes(session.Output(OutputKind::Png))};
}

// A project opened again, also after it and its photo moved together to another folder,
// makes exactly the files it was saved with: the conversion, the colours picked since, the
// paint. Its photo missing or changed is an error that names the photo.
TEST(ProjectFile, MakesItsFilesAgainAlsoAfterMovingAndRefusesAnotherPhoto) {
  const fs::path root =
      fs::temp_directory_path() / ("vantrel-project-" + std::to_string(::getpid()));
  fs::remove_all(root);
  const fs::path first = root / "first", moved = root / "moved";
  fs::create_directories(first / "photos");
  fs::copy_file(VANTREL_TEST_DATA "/astronaut.jpg", first / "photos" / "cat.jpg");

  struct Case {
    const char* name;
    std::function<void(Session&)> make;  // what the user did after opening
    bool savedPicture;                   // the photo is a saved executable
  };
  const Case cases[] = {
      {"photo, converted, picked and painted",
       [](Session& s) {
         s.ReadSourceWindow(-5, -3);
         s.ApplyChannelOffsets(10, -20, 0);
         s.SetColourRoles({6, 1, 14, 3, 5});
         s.ConvertPicture(Dithering::LowFlicker);
         s.SetColourRoles({6, 1, 14, 9, 5});  // a pick without converting
         s.PaintPixel(0, 0, 9);
         s.PaintPixel(191, 199, 4);
       },
       false},
      {"saved picture as read, painted",
       [](Session& s) {
         s.ReadSourceWindow(0, 0);
         s.PaintPixel(7, 7, 2);
       },
       true},
      {"photo, converted with colours per cell, picked and painted",
       [](Session& s) {
         s.ReadSourceWindow(-5, -3);
         s.SetCellColours({6, 1, 14, 3, 5}, SomeCells(4));
         s.ConvertPicture(Dithering::FloydSteinberg);
         s.SetCellColours({6, 1, 7, 3, 2}, SomeCells(5));  // other colours without converting
         s.PaintPixel(9, 9, 8);
       },
       false},
      {"photo converted in a palette and mix, shown in another mix since",
       [](Session& s) {
         s.ReadSourceWindow(-5, -3);
         s.SetColourModel({PaletteId::Colodore, MixRule::Light});
         s.SetColourRoles({6, 1, 14, 3, 5});
         s.ConvertPicture(Dithering::FloydSteinberg);
         s.SetColourModel({PaletteId::Colodore, MixRule::Average});
         s.PaintPixel(3, 3, 7);
       },
       false},
      {"saved picture as read, in another palette",
       [](Session& s) {
         s.SetColourModel({PaletteId::Vice, MixRule::Light});
         s.ReadSourceWindow(0, 0);
       },
       true},
      {"saved picture converted again",
       [](Session& s) {
         s.ReadSourceWindow(0, 0);
         s.SetColourRoles({0, 1, 11, 12, 15});
         s.Reconvert({0, 0, 30, Dithering::None});
       },
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(moved);
    std::string photo = (first / "photos" / "cat.jpg").string();
    if (c.savedPicture) {
      Session maker;
      maker.ConvertFile(photo, {});
      photo = (first / "photos" / "cat.prg").string();
      maker.SaveOutput(OutputKind::Executable, {Machine::Any, {}}, photo);
    }
    Session session;
    session.OpenFile(photo, {true, 100});
    c.make(session);
    const Files files = SavedFiles(session, Machine::Drean);
    const std::string project = (first / "p.vantrel").string();
    session.SaveProject(project, {true, 100}, Dithering::None, Machine::Drean);

    fs::create_directories(moved / "photos");
    fs::copy_file(photo, moved / "photos" / fs::path(photo).filename());
    fs::copy_file(project, moved / "p.vantrel");
    Session again;
    const Project opened = again.OpenProject((moved / "p.vantrel").string());
    EXPECT_EQ(opened.machine, Machine::Drean);
    EXPECT_EQ(opened.dithering, Dithering::None);
    const Files remade = SavedFiles(again, opened.machine);
    EXPECT_EQ(remade.exe, files.exe);
    EXPECT_EQ(remade.data, files.data);
    EXPECT_EQ(remade.png, files.png);
  }

  // The photo gone, or another picture under its name: refused, naming it, nothing changed.
  const fs::path movedPhoto = moved / "photos" / "cat.prg";
  Session session;
  session.ConvertFile(VANTREL_TEST_DATA "/astronaut.jpg", {});
  const auto before = Bytes(session.Output(OutputKind::Data));
  fs::copy_file(VANTREL_TEST_DATA "/astronaut.jpg", movedPhoto,
                fs::copy_options::overwrite_existing);
  const std::string projectFile = (moved / "p.vantrel").string();
  const struct {
    const char* name;
    std::function<void()> meddle;
    std::string message;
  } refusals[] = {
      {"changed", [] {},
       "The photo " + movedPhoto.string() + " has changed since the project " + projectFile +
           " was saved"},
      {"missing", [&] { fs::remove(movedPhoto); },
       "The photo " + movedPhoto.string() + " of the project " + projectFile + " is missing"},
  };
  for (const auto& r : refusals) {
    SCOPED_TRACE(r.name);
    r.meddle();
    try {
      session.OpenProject(projectFile);
      ADD_FAILURE() << "opened";
    } catch (const VantrelError& error) {
      EXPECT_EQ(error.what(), r.message);
    }
    EXPECT_EQ(Bytes(session.Output(OutputKind::Data)), before);
  }
  fs::remove_all(root);
}

// A file that is not what its name says, opened as the front ends open a file (a project as
// one, anything else as a picture), says what it is not; what the content shows to be a
// picture opens whatever its name, and unknown content meets the JPEG decoder.
TEST(ProjectFile, FilesNamedAsWhatTheyAreNotSaySo) {
  const fs::path folder =
      fs::temp_directory_path() / ("vantrel-named-" + std::to_string(::getpid()));
  fs::remove_all(folder);
  fs::create_directories(folder);
  const auto noise = [](std::size_t size, std::vector<std::uint8_t> start = {}) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 37 + 11);
    std::copy(start.begin(), start.end(), bytes.begin());
    return bytes;
  };
  const auto text = [](const std::string& t) {
    return std::vector<std::uint8_t>(t.begin(), t.end());
  };
  std::ifstream sample(VANTREL_TEST_DATA "/astronaut.jpg", std::ios::binary);
  const std::vector<std::uint8_t> photo{std::istreambuf_iterator<char>(sample), {}};
  const std::string jpegError = "JPEG error #" + std::to_string(JERR_NO_SOI);
  const struct {
    const char* name;
    std::vector<std::uint8_t> bytes;
    std::string message;  // @ for the file; "" when it opens
  } cases[] = {
      {"photo.prg", photo, ""},
      {"random.PRG", noise(5000, {0x00, 0xC0}),
       "@ is not a program this converter saved: it loads at $C000"},
      {"basic.prg", noise(300, {0x01, 0x08}),
       "@ is not a program this converter saved: its program is not the picture displayer"},
      {"short.d64", noise(1000),
       "@ is not a disk image this converter saved: a disk image has 174848 or 175531 bytes, "
       "this file 1000"},
      {"kernal.bin", noise(8192),
       "@ is not a data file this converter saved: a data file has 32768 bytes, this file 8192"},
      {"noise.bin", noise(32768),
       "@ is not a data file this converter saved: its picture data is not laid out as this "
       "program lays it out"},
      {"settings.json", text("{\"theme\": \"dark\"}"),
       "@ is not a usable project file: \"vantrel\" is missing"},
      {"list.vantrel", text("[1, 2]"), "@ is not a usable project file: it holds no JSON object"},
      {"notes.vantrel", text("my notes"), "@ is not a usable project file: its JSON is damaged ("},
      {"noise.jpg", noise(5000), jpegError},
      {"noise", noise(5000), jpegError},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = (folder / c.name).string();
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(c.bytes.data()),
               static_cast<std::streamsize>(c.bytes.size()));
    std::string message;
    try {
      Session session;
      if (Session::KindOfFile(path) == FileKind::Project) {
        session.OpenProject(path);
      } else {
        session.OpenFile(path);
      }
    } catch (const VantrelError& error) {
      message = error.what();
    }
    std::string expected = c.message;
    if (const std::size_t at = expected.find('@'); at != std::string::npos) {
      expected.replace(at, 1, path);
    }
    EXPECT_EQ(message.substr(0, expected.size()), expected);
    if (!expected.ends_with("(")) {
      EXPECT_EQ(message, expected);
    }
  }
  fs::remove_all(folder);
}

}  // namespace
}  // namespace vantrel
