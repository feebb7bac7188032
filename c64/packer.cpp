// The LZ stream: a near-optimal parse over a few arrivals per position, and its exact inverse.
#include "c64/packer.h"

#include <algorithm>
#include <array>
#include <limits>
#include <stdexcept>

#include "core/error.h"

namespace vantrel {
namespace {

constexpr std::size_t EndMarker = 256;  // gamma(hi + 1) of the end; hi + 1 is 1..255 otherwise
constexpr int ChainSteps = 384;  // earlier positions with the same two bytes tried, nearest first
// Beyond this a match or repeat is taken at full length only (and at the shorter lengths up to
// it): the zero areas give runs of thousands that need no finer choice.
constexpr std::size_t LongMatch = 48;
// A match this long is taken whole, the positions inside it not looked at: long runs cost
// no more time than short ones.
constexpr std::size_t TakenWhole = 1024;
constexpr std::size_t Arrivals = 6;  // ways of reaching a position kept, by last offset and token

constexpr unsigned GammaBits(std::size_t value) {
  unsigned bits = 1;
  while (value > 1) {
    value >>= 1;
    bits += 2;
  }
  return bits;
}

constexpr unsigned OffsetBits(std::size_t offset) { return GammaBits(((offset - 1) >> 7) + 1) + 8; }

// --- Writing -------------------------------------------------------------------------------

class StreamWriter {
 public:
  void Bit(bool bit) {
    if (bitsLeft_ == 0) {
      bitByte_ = bytes_.size();
      bytes_.push_back(0);
      bitsLeft_ = 8;
    }
    --bitsLeft_;
    if (bit) bytes_[bitByte_] |= static_cast<std::uint8_t>(1u << bitsLeft_);
  }
  void Byte(std::uint8_t byte) { bytes_.push_back(byte); }

  // gamma(value) from its `skip`-th bit on (the first bits went elsewhere).
  void Gamma(std::size_t value, int skip = 0) {
    int top = 0;
    while ((value >> (top + 1)) != 0) ++top;
    int index = 0;
    for (int bit = top - 1; bit >= 0; --bit) {
      if (index++ >= skip) Bit(false);
      if (index++ >= skip) Bit(((value >> bit) & 1) != 0);
    }
    if (index >= skip) Bit(true);
  }

  // The end: gamma(256) but for its closing 1, which the depacker never reads: it stops as the
  // value outgrows eight bits.
  void End() {
    for (std::size_t bit = EndMarker >> 1; bit != 0; bit >>= 1) {
      Bit(false);
      Bit((EndMarker & bit) != 0);
    }
  }

  std::vector<std::uint8_t> Take() { return std::move(bytes_); }

 private:
  std::vector<std::uint8_t> bytes_;
  std::size_t bitByte_ = 0;
  int bitsLeft_ = 0;
};

// --- Parsing -------------------------------------------------------------------------------

enum class Step : std::uint8_t { None, Literal, Repeat, Match };

// One way of reaching a position: its cost in bits, the last offset, whether it ended in a
// literal run (and how long that run is), and the step that led here.
struct Arrival {
  std::uint32_t cost = std::numeric_limits<std::uint32_t>::max();
  std::uint32_t offset = 1;
  std::uint32_t literals = 0;  // the length of the literal run it ends in; 0 after a match
  std::uint32_t from = 0;      // position and arrival index before the step
  std::uint8_t fromIndex = 0;
  Step step = Step::None;
  std::uint32_t length = 0;  // of the step
};

struct Slot {
  std::array<Arrival, Arrivals> arrivals;
  std::uint8_t count = 0;

  // Keeps the arrival if it is among the cheapest, one per last offset and kind of token.
  void Offer(const Arrival& arrival) {
    const bool literal = arrival.literals != 0;
    for (std::size_t i = 0; i < count; ++i) {
      Arrival& kept = arrivals[i];
      if (kept.offset == arrival.offset && (kept.literals != 0) == literal) {
        if (arrival.cost < kept.cost) kept = arrival;
        return;
      }
    }
    if (count < Arrivals) {
      arrivals[count++] = arrival;
      return;
    }
    std::size_t worst = 0;
    for (std::size_t i = 1; i < count; ++i) {
      if (arrivals[i].cost > arrivals[worst].cost) worst = i;
    }
    if (arrival.cost < arrivals[worst].cost) arrivals[worst] = arrival;
  }
};

struct Candidate {
  std::uint32_t offset;
  std::uint32_t length;
};

// For each position, the matches that are longer than every match at a smaller offset: the
// cheapest offset for each length. Two-byte chains over every earlier position.
class MatchFinder {
 public:
  explicit MatchFinder(std::span<const std::uint8_t> data)
      : data_(data), head_(65536, -1), previous_(data.size(), -1) {}

  void Find(std::size_t at, std::vector<Candidate>& found) {
    found.clear();
    const std::size_t most = data_.size() - at;
    if (most < 2) return;
    const unsigned key = data_[at] << 8 | data_[at + 1];
    std::size_t best = 1;
    int steps = 0;
    for (std::int32_t p = head_[key]; p >= 0 && steps < ChainSteps; p = previous_[p], ++steps) {
      const std::size_t offset = at - static_cast<std::size_t>(p);
      if (offset > PackMaxOffset) break;
      if (data_[p + best] != data_[at + best]) continue;
      std::size_t length = 2;
      while (length < most && data_[p + length] == data_[at + length]) ++length;
      if (length > best) {
        found.push_back({static_cast<std::uint32_t>(offset), static_cast<std::uint32_t>(length)});
        best = length;
        if (best == most) break;
      }
    }
  }

  void Insert(std::size_t at) {
    if (at + 1 >= data_.size()) return;
    const unsigned key = data_[at] << 8 | data_[at + 1];
    previous_[at] = head_[key];
    head_[key] = static_cast<std::int32_t>(at);
  }

 private:
  std::span<const std::uint8_t> data_;
  std::vector<std::int32_t> head_;
  std::vector<std::int32_t> previous_;
};

std::size_t CommonLength(std::span<const std::uint8_t> data, std::size_t at, std::size_t offset) {
  if (offset > at) return 0;
  std::size_t length = 0;
  while (at + length < data.size() && data[at + length - offset] == data[at + length]) ++length;
  return length;
}

// Lengths a match of `longest` bytes is tried at: every one up to LongMatch, then the longest.
template <typename Try>
void ForLengths(std::size_t shortest, std::size_t longest, Try tryLength) {
  for (std::size_t length = shortest; length <= std::min(longest, LongMatch); ++length) {
    tryLength(length);
  }
  if (longest > LongMatch) tryLength(longest);
}

struct Token {
  Step step;
  std::uint32_t length;
  std::uint32_t offset;
};

std::vector<Token> Parse(std::span<const std::uint8_t> data) {
  const std::size_t size = data.size();
  std::vector<Slot> slots(size + 1);
  Arrival start;
  start.cost = 0;
  slots[0].Offer(start);
  MatchFinder finder(data);
  std::vector<Candidate> candidates;

  for (std::size_t at = 0; at < size; ++at) {
    Slot& slot = slots[at];
    std::size_t skipTo = 0;
    const auto offer = [&](std::size_t to, const Arrival& arrival) { slots[to].Offer(arrival); };
    std::size_t cheapest = 0;
    for (std::size_t i = 0; i < slot.count; ++i) {
      const Arrival& a = slot.arrivals[i];
      if (a.cost < slot.arrivals[cheapest].cost) cheapest = i;
      // One more literal: a new run (with its flag bit, but for the very first) or one longer.
      Arrival next;
      next.offset = a.offset;
      next.from = static_cast<std::uint32_t>(at);
      next.fromIndex = static_cast<std::uint8_t>(i);
      next.step = Step::Literal;
      next.length = 1;
      next.literals = a.literals + 1;
      if (a.literals != 0) {
        next.cost = a.cost + 8 + GammaBits(next.literals) - GammaBits(a.literals);
      } else {
        next.cost = a.cost + 8 + GammaBits(1) + (at == 0 ? 0 : 1);
      }
      offer(at + 1, next);
      // The last offset again, after a literal run.
      if (a.literals != 0 && at > 0) {
        const std::size_t longest = CommonLength(data, at, a.offset);
        if (longest >= TakenWhole) skipTo = std::max(skipTo, at + longest);
        ForLengths(1, longest, [&](std::size_t length) {
          Arrival repeat = next;
          repeat.step = Step::Repeat;
          repeat.length = static_cast<std::uint32_t>(length);
          repeat.literals = 0;
          repeat.cost = a.cost + 1 + GammaBits(length);
          offer(at + length, repeat);
        });
      }
    }
    // New offsets: the state before does not change their cost, so only the cheapest way here.
    if (at > 0) {
      const Arrival& a = slot.arrivals[cheapest];
      finder.Find(at, candidates);
      std::size_t shorter = 1;
      for (const Candidate& c : candidates) {
        // The flag, gamma(hi + 1) and the low byte; that byte carries the first bit of
        // gamma(length - 1), one bit less to count.
        const unsigned offsetCost = 1 + OffsetBits(c.offset) - 1;
        ForLengths(shorter + 1, c.length, [&](std::size_t length) {
          Arrival match;
          match.offset = c.offset;
          match.from = static_cast<std::uint32_t>(at);
          match.fromIndex = static_cast<std::uint8_t>(cheapest);
          match.step = Step::Match;
          match.length = static_cast<std::uint32_t>(length);
          match.cost = a.cost + offsetCost + GammaBits(length - 1);
          offer(at + length, match);
        });
        shorter = c.length;
      }
      if (!candidates.empty() && candidates.back().length >= TakenWhole) {
        skipTo = std::max<std::size_t>(skipTo, at + candidates.back().length);
      }
    }
    finder.Insert(at);
    if (skipTo != 0) {
      while (at + 1 < skipTo) finder.Insert(++at);
    }
  }

  // Back from the cheapest arrival at the end, then literal steps joined into runs.
  std::vector<Token> reversed;
  if (size == 0) return reversed;
  const Slot& last = slots[size];
  std::size_t index = 0;
  for (std::size_t i = 1; i < last.count; ++i) {
    if (last.arrivals[i].cost < last.arrivals[index].cost) index = i;
  }
  std::size_t at = size;
  while (at > 0) {
    const Arrival& a = slots[at].arrivals[index];
    if (a.step == Step::Literal && !reversed.empty() && reversed.back().step == Step::Literal) {
      ++reversed.back().length;
    } else {
      reversed.push_back({a.step, a.length, a.offset});
    }
    at = a.from;
    index = a.fromIndex;
  }
  return {reversed.rbegin(), reversed.rend()};
}

// --- Reading -------------------------------------------------------------------------------

[[noreturn]] void Damaged() { throw VantrelError(Message::kPackedDataDamaged); }

class StreamReader {
 public:
  explicit StreamReader(std::span<const std::uint8_t> stream) : stream_(stream) {}

  std::uint8_t Byte() {
    if (at_ >= stream_.size()) Damaged();
    return stream_[at_++];
  }
  bool Bit() {
    if (bitsLeft_ == 0) {
      bits_ = Byte();
      bitsLeft_ = 8;
    }
    --bitsLeft_;
    return ((bits_ >> bitsLeft_) & 1) != 0;
  }
  // gamma(v) for v up to `most`, the first bit given; nothing when it exceeds `most`.
  std::size_t Gamma(std::size_t most, bool first) {
    std::size_t value = 1;
    for (bool stop = first; !stop; stop = Bit()) {
      value = value << 1 | (Bit() ? 1 : 0);
      if (value > most) return 0;
    }
    return value <= most ? value : 0;
  }
  std::size_t Read() const { return at_; }
  bool AtEnd() const { return at_ == stream_.size(); }

 private:
  std::span<const std::uint8_t> stream_;
  std::size_t at_ = 0;
  std::uint8_t bits_ = 0;
  int bitsLeft_ = 0;
};

}  // namespace

std::vector<std::uint8_t> PackLz(std::span<const std::uint8_t> data, std::ptrdiff_t* lead) {
  if (data.empty()) return {};
  StreamWriter out;
  bool first = true;
  std::size_t at = 0;
  for (const Token& token : Parse(data)) {
    switch (token.step) {
      case Step::Literal:
        if (!first) out.Bit(false);
        out.Gamma(token.length);
        for (std::size_t i = 0; i < token.length; ++i) out.Byte(data[at + i]);
        break;
      case Step::Repeat:
        out.Bit(false);
        out.Gamma(token.length);
        break;
      case Step::Match: {
        out.Bit(true);
        const std::uint32_t offset = token.offset - 1;
        out.Gamma((offset >> 7) + 1);
        const bool stop = token.length == 2;  // the first bit of gamma(length - 1)
        out.Byte(static_cast<std::uint8_t>((offset & 0x7F) << 1 | (stop ? 1 : 0)));
        out.Gamma(token.length - 1, 1);
        break;
      }
      case Step::None:
        throw std::logic_error("a step without a token");
    }
    first = false;
    at += token.length;
  }
  out.Bit(true);
  out.End();
  std::vector<std::uint8_t> stream = out.Take();
  // The parse checks itself: the stream must give the data back.
  const std::vector<std::uint8_t> unpacked = UnpackLz(stream, data.size(), lead);
  if (!std::equal(unpacked.begin(), unpacked.end(), data.begin(), data.end())) {
    throw std::logic_error("the packed stream does not unpack to its data");
  }
  return stream;
}

std::vector<std::uint8_t> UnpackLz(std::span<const std::uint8_t> stream, std::size_t size,
                                   std::ptrdiff_t* lead) {
  std::vector<std::uint8_t> out;
  std::ptrdiff_t ahead = 0;
  if (size == 0) {
    if (!stream.empty()) Damaged();
    if (lead) *lead = 0;
    return out;
  }
  out.reserve(size);
  StreamReader in(stream);
  const auto put = [&](std::uint8_t byte) {
    out.push_back(byte);
    ahead = std::max(
        ahead, static_cast<std::ptrdiff_t>(out.size()) - static_cast<std::ptrdiff_t>(in.Read()));
  };
  const auto copy = [&](std::size_t offset, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i) put(out[out.size() - offset]);
  };
  enum class Next { Literals, Repeat, Match } next = Next::Literals;
  std::size_t offset = 1;
  for (;;) {
    const std::size_t room = size - out.size();
    if (next == Next::Match) {
      const std::size_t high = in.Gamma(EndMarker - 1, in.Bit());
      if (high == 0) break;  // the end
      const std::uint8_t low = in.Byte();
      if (room < 2) Damaged();
      offset = ((high - 1) << 7 | low >> 1) + 1;
      const std::size_t length = in.Gamma(room - 1, (low & 1) != 0) + 1;
      if (offset > out.size() || length == 1) Damaged();
      copy(offset, length);
      next = in.Bit() ? Next::Match : Next::Literals;
    } else {
      const std::size_t length = in.Gamma(room, in.Bit());
      if (length == 0) Damaged();
      if (next == Next::Literals) {
        for (std::size_t i = 0; i < length; ++i) put(in.Byte());
        next = in.Bit() ? Next::Match : Next::Repeat;
      } else {
        copy(offset, length);
        next = in.Bit() ? Next::Match : Next::Literals;
      }
    }
  }
  if (out.size() != size || !in.AtEnd()) Damaged();
  if (lead) *lead = ahead;
  return out;
}

}  // namespace vantrel
