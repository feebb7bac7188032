// The packer: every kind of data comes back byte for byte, the sample photos' executables
// pack to well under half, and damaged streams and packed executables are refused.
#include "c64/packer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "c64/packed_executable.h"
#include "core/error.h"
#include "session/session.h"

namespace vantrel {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Random(std::size_t size, unsigned seed) {
  std::mt19937 rng(seed);
  Bytes bytes(size);
  for (std::uint8_t& b : bytes) b = static_cast<std::uint8_t>(rng());
  return bytes;
}

// `size` bytes that repeat with period `period`: matches at exactly that offset only.
Bytes Periodic(std::size_t period, std::size_t size, unsigned seed) {
  const Bytes unit = Random(period, seed);
  Bytes bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = unit[i % period];
  return bytes;
}

// The executables of the sample photos, with every setting at its default and with the colours
// Auto Colors finds for the most faithful look.
std::vector<std::pair<std::string, Bytes>> SampleExecutables() {
  std::vector<std::pair<std::string, Bytes>> executables;
  for (const char* photo :
       {"astronaut", "chelsea", "coffee", "hubble", "rocket-lights", "rocket-sky"}) {
    for (const bool faithful : {false, true}) {
      ConversionSettings settings;
      if (faithful) settings.autoColours = ColourGoal::Faithful;
      Session session;
      session.ConvertFile(std::string(VANTREL_TEST_DATA) + "/" + photo + ".jpg", settings);
      const auto bytes = session.Output(OutputKind::Executable);
      executables.emplace_back(std::string(photo) + (faithful ? " faithful" : ""),
                               Bytes(bytes.begin(), bytes.end()));
    }
  }
  return executables;
}

TEST(Packer, EveryKindOfDataComesBackByteForByte) {
  std::vector<std::pair<std::string, Bytes>> cases = {{"empty", {}}};
  // Every length around the first disk blocks and the byte-sized codes, zero and random.
  for (std::size_t size = 1; size <= 520; ++size) {
    cases.emplace_back("zeros " + std::to_string(size), Bytes(size, 0));
    cases.emplace_back("random " + std::to_string(size), Random(size, size));
  }
  // The length of an executable's loaded bytes and around it, and far beyond the 16-bit
  // lengths the depacker counts.
  for (std::size_t size = 35830; size <= 35840; ++size) {
    cases.emplace_back("zeros " + std::to_string(size), Bytes(size, 0));
    cases.emplace_back("random " + std::to_string(size), Random(size, size));
  }
  cases.emplace_back("zeros 70000", Bytes(70000, 0));
  // Offsets at the edges of their codes (seven low bits, the highest offset and one beyond).
  for (const std::size_t period :
       {1, 2, 3, 127, 128, 129, 255, 256, 257, 16384, 32639, 32640, 32641, 32700}) {
    cases.emplace_back("period " + std::to_string(period),
                       Periodic(period, period + 700, static_cast<unsigned>(period)));
  }
  // Literal runs and matches of every length up to past the parse's long-match limit.
  Bytes mixed;
  for (std::size_t length = 1; length < 80; ++length) {
    const Bytes literals = Random(length, static_cast<unsigned>(1000 + length));
    mixed.insert(mixed.end(), literals.begin(), literals.end());
    mixed.insert(mixed.end(), literals.begin(), literals.end());
    mixed.insert(mixed.end(), length, static_cast<std::uint8_t>(length));
  }
  cases.emplace_back("mixed runs", mixed);

  for (const auto& [name, data] : cases) {
    SCOPED_TRACE(name);
    const Bytes stream = PackLz(data);
    ASSERT_EQ(UnpackLz(stream, data.size()), data);
    ASSERT_EQ(PackLz(data), stream);  // the same data, the same stream
    if (data.size() > 64 && name.starts_with("zeros")) {
      EXPECT_LT(stream.size(), 20u);
    }
    if (name.starts_with("random")) {  // little more than its bytes
      EXPECT_LE(stream.size(), data.size() + data.size() / 64 + 8);
    }
  }
}

TEST(Packer, SamplePhotosPackToLessThanHalfAndUnpackToTheirExecutables) {
  std::size_t total = 0;
  const auto executables = SampleExecutables();
  for (const auto& [name, plain] : executables) {
    SCOPED_TRACE(name);
    const Bytes packed = PackExecutable(plain);
    EXPECT_EQ(UnpackExecutable(packed, name), plain);
    EXPECT_TRUE(IsPackedExecutable(packed));
    EXPECT_FALSE(IsPackedExecutable(plain));
    EXPECT_EQ(PackExecutable(plain), packed);
    total += packed.size();
  }
  EXPECT_LE(static_cast<double>(total) / executables.size(), 0.45 * 35840);
}

TEST(Packer, DamagedStreamsAreRefused) {
  Session session;
  session.ConvertFile(std::string(VANTREL_TEST_DATA) + "/coffee.jpg", {});
  const auto executable = session.Output(OutputKind::Executable);
  const Bytes data(executable.begin() + 2, executable.end());
  const Bytes stream = PackLz(data);

  // Cut anywhere, or with more after it, or asked for another size: refused.
  for (std::size_t size = 0; size < stream.size(); ++size) {
    EXPECT_THROW(UnpackLz(std::span(stream).first(size), data.size()), VantrelError) << size;
  }
  Bytes longer = stream;
  longer.push_back(0);
  EXPECT_THROW(UnpackLz(longer, data.size()), VantrelError);
  EXPECT_THROW(UnpackLz(stream, data.size() - 1), VantrelError);
  EXPECT_THROW(UnpackLz(stream, data.size() + 1), VantrelError);

  // A changed byte is refused or gives bytes of the size asked for, never anything else.
  for (std::size_t at = 0; at < stream.size(); at += 7) {
    for (const std::uint8_t flip : {0x01, 0x80, 0xFF}) {
      Bytes damaged = stream;
      damaged[at] ^= flip;
      try {
        EXPECT_EQ(UnpackLz(damaged, data.size()).size(), data.size()) << at;
      } catch (const VantrelError& error) {
        EXPECT_EQ(error.Code(), Message::kPackedDataDamaged);
      }
    }
  }
}

// The bytes the packer relies on: the BASIC line, the three operands it fills in, and the
// depacker's own idea of where the stream starts (LDA #<stream, STA Source), which must be
// where the packer puts it: right after the depacker's last byte.
TEST(Packer, DepackerStartsWithItsSysAndFindsItsStream) {
  const std::span<const std::uint8_t> depacker = DepackerTemplate();
  const Bytes start = {
      0x01, 0x08, 0x0B, 0x08, 0x0A, 0x00, 0x9E, '2',  '0',  '6',  '1',  0x00, 0x00,
      0x00, 0x78, 0xA2, 0x00, 0xA0, 0x00, 0xB9, 0x00, 0x00, 0x99, 0x00, 0x00};  // SEI, LDX #0, LDY
                                                                                // #0, LDA 0,Y, STA
                                                                                // 0,Y
  EXPECT_EQ(Bytes(depacker.begin(), depacker.begin() + start.size()), start);
  const std::size_t streamStart = PackedLoadAddress + depacker.size() - 2;
  const Bytes setSource = {0xA9, static_cast<std::uint8_t>(streamStart & 0xFF), 0x85, 0xF5};
  EXPECT_NE(std::search(depacker.begin(), depacker.end(), setSource.begin(), setSource.end()),
            depacker.end());
}

TEST(Packer, DamagedPackedExecutablesAreRefused) {
  Session session;
  session.ConvertFile(std::string(VANTREL_TEST_DATA) + "/hubble.jpg", {});
  const auto plain = session.Output(OutputKind::Executable);
  const Bytes packed = PackExecutable(plain);
  const std::size_t stream = DepackerTemplate().size();
  const auto changed = [&](std::size_t at, int delta) {
    Bytes bytes = packed;
    bytes[at] = static_cast<std::uint8_t>(bytes[at] + delta);
    return bytes;
  };
  const struct {
    const char* name;
    Bytes bytes;
  } cases[] = {
      {"cut after the depacker", Bytes(packed.begin(), packed.begin() + stream)},
      {"cut in the stream", Bytes(packed.begin(), packed.end() - 1)},
      {"page count", changed(16, 1)},
      {"top page", changed(21, -1)},
      {"top page once moved", changed(24, 1)},
      {"a byte after the stream",
       [&] {
         Bytes bytes = packed;
         bytes.push_back(0);
         return bytes;
       }()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      UnpackExecutable(c.bytes, "x.prg");
      ADD_FAILURE() << "accepted";
    } catch (const VantrelError& error) {
      EXPECT_STREQ(error.what(),
                   "x.prg is not a picture saved by Vantrel Converter: its packed data is damaged");
    }
  }
  // What is not a plain executable is not packed.
  EXPECT_THROW(PackExecutable(packed), VantrelError);
  EXPECT_THROW(PackExecutable(std::span(plain).first(35839)), VantrelError);
}

}  // namespace
}  // namespace vantrel
