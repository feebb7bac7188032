// Where the stream goes in the C64's memory, the depacker's operands for it, and the reverse.
#include "c64/packed_executable.h"

#include <algorithm>
#include <optional>

#include "c64/output_files.h"
#include "c64/packer.h"
#include "core/error.h"

namespace vantrel {
namespace {

constexpr std::size_t PlainLoadAddress = 0x0800;
constexpr std::size_t UnpackedSize = ExecutableFileSize - 2;  // $0800-$93fd
constexpr std::size_t DepackerRun = 0x9E00;  // the depacker's two pages; the stream ends below

// The operands the packer fills in (file offset = address - $0801 + 2).
constexpr std::size_t PageCountOperand = 0x080F - PackedLoadAddress + 2;
constexpr std::size_t TopSourceOperand = 0x0814 - PackedLoadAddress + 2;
constexpr std::size_t TopDestinationOperand = 0x0817 - PackedLoadAddress + 2;

bool IsOperand(std::size_t offset) {
  return offset == PageCountOperand || offset == TopSourceOperand ||
         offset == TopDestinationOperand;
}

struct Placement {
  std::uint8_t pages;           // pages the loaded stream spans
  std::uint8_t topSource;       // its top page as loaded
  std::uint8_t topDestination;  // that page once moved
  std::size_t start;            // the moved stream's first byte
};

// The stream, loaded right after the depacker, moves up by as many whole pages as stay below
// the depacker; nothing when it does not fit there at all.
std::optional<Placement> PlaceStream(std::size_t streamSize) {
  const std::size_t loaded = PackedLoadAddress + DepackerTemplate().size() - 2;
  if (streamSize == 0 || loaded + streamSize > DepackerRun) return std::nullopt;
  const std::size_t pages = (DepackerRun - (loaded + streamSize)) / 256;
  const std::size_t top = (loaded + streamSize - 1) >> 8;
  return Placement{static_cast<std::uint8_t>(top - (loaded >> 8) + 1),
                   static_cast<std::uint8_t>(top), static_cast<std::uint8_t>(top + pages),
                   loaded + 256 * pages};
}

}  // namespace

std::vector<std::uint8_t> PackExecutable(std::span<const std::uint8_t> plainExecutable) {
  if (plainExecutable.size() != ExecutableFileSize || plainExecutable[0] != 0x00 ||
      plainExecutable[1] != 0x08) {
    throw VantrelError(Message::kNotAPictureExecutable, ExecutableFileSize);
  }
  const std::span<const std::uint8_t> loaded = plainExecutable.subspan(2);
  std::ptrdiff_t lead = 0;
  const std::vector<std::uint8_t> stream = PackLz(loaded, &lead);
  const std::optional<Placement> place = PlaceStream(stream.size());
  // The depacker writes from $0800 up while it reads the stream: it must never catch up.
  if (!place || static_cast<std::ptrdiff_t>(place->start - PlainLoadAddress) < lead) {
    throw VantrelError(Message::kPackedProgramTooLarge);
  }
  const std::span<const std::uint8_t> depacker = DepackerTemplate();
  std::vector<std::uint8_t> packed(depacker.begin(), depacker.end());
  packed[PageCountOperand] = place->pages;
  packed[TopSourceOperand] = place->topSource;
  packed[TopDestinationOperand] = place->topDestination;
  packed.insert(packed.end(), stream.begin(), stream.end());
  return packed;
}

bool IsPackedExecutable(std::span<const std::uint8_t> bytes) {
  const std::span<const std::uint8_t> depacker = DepackerTemplate();
  const std::size_t length = std::min(bytes.size(), depacker.size());
  if (length < 16) return false;  // too little to tell the depacker from anything else
  for (std::size_t i = 0; i < length; ++i) {
    if (!IsOperand(i) && bytes[i] != depacker[i]) return false;
  }
  return true;
}

std::vector<std::uint8_t> UnpackExecutable(std::span<const std::uint8_t> packed,
                                           const std::string& name) {
  const auto damaged = [&] {
    return VantrelError(Message::kNotASavedPicture, name, Text(Message::kPackedDataDamaged));
  };
  const std::size_t depackerSize = DepackerTemplate().size();
  if (!IsPackedExecutable(packed) || packed.size() <= depackerSize) throw damaged();
  const std::span<const std::uint8_t> stream = packed.subspan(depackerSize);
  // The operands must be the ones this stream gets, and the C64 must be able to unpack it.
  const std::optional<Placement> place = PlaceStream(stream.size());
  if (!place || packed[PageCountOperand] != place->pages ||
      packed[TopSourceOperand] != place->topSource ||
      packed[TopDestinationOperand] != place->topDestination) {
    throw damaged();
  }
  std::vector<std::uint8_t> plain = {0x00, 0x08};
  try {
    std::ptrdiff_t lead = 0;
    const std::vector<std::uint8_t> loaded = UnpackLz(stream, UnpackedSize, &lead);
    if (static_cast<std::ptrdiff_t>(place->start - PlainLoadAddress) < lead) throw damaged();
    plain.insert(plain.end(), loaded.begin(), loaded.end());
  } catch (const VantrelError& error) {
    if (error.Code() != Message::kPackedDataDamaged) throw;
    throw damaged();
  }
  return plain;
}

}  // namespace vantrel
