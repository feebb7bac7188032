// The data file written out as 64tass, ACME or KickAssembler source.
#include "c64/assembler_source.h"

#include <cstdio>
#include <stdexcept>

#include "c64/memory_image.h"
#include "c64/output_files.h"

namespace vantrel {
namespace {

constexpr unsigned Bank1Shown = 0x4000;
constexpr unsigned Bank2Shown = 0xC000;
constexpr std::size_t BytesALine = 16;
constexpr std::size_t ShortestFill = 16;  // runs of one value this long become a fill

struct Syntax {
  std::string_view name;
  std::string_view comment;
  std::string_view labelEnd;
  std::string_view origin;  // followed by the address
  std::string_view bytes;
  std::string_view fill;
  std::string_view shownFrom;  // followed by the address: labels from there, bytes go on
  std::string_view shownEnd;
};

// In the order of the enum.
constexpr std::array<Syntax, AllAsmSyntaxes.size()> Syntaxes = {{
    {"64tass", ";", "", "* = ", ".byte ", ".fill ", ".logical ", ".here"},
    {"acme", ";", "", "* = ", "!byte ", "!fill ", "!pseudopc ", "}"},
    {"kickass", "//", ":", "*= ", ".byte ", ".fill ", ".pseudopc ", "}"},
}};

const Syntax& SyntaxOf(AsmSyntax syntax) { return Syntaxes[static_cast<std::size_t>(syntax)]; }

std::string Hex(unsigned value, int digits) {
  char text[8];
  std::snprintf(text, sizeof text, "$%0*x", digits, value);
  return text;
}

// A stretch of a bank: its label (none for spare bytes) and what it is.
enum class Name { None, InBank, OfPicture };  // no label, "pictureBank1" + label, "picture" + label

struct Part {
  std::size_t offset;
  std::size_t size;
  Name name;
  std::string_view label;
  std::string_view what;
};

constexpr std::size_t SpareAfterColours = 0x07EA;

// Bank 1 carries the sprite colours in two spare bytes after its second screen (labelled on
// their own); bank 2 leaves them zero.
constexpr Part Bank1Parts[] = {
    {Screen0Offset, 1000, Name::InBank, "Screen0",
     "screen 0: 40 x 25 colour bytes, bitmap colour x 16 + background; shown with $d018 = $08"},
    {0x03E8, 16, Name::None, "", "spare"},
    {0x03F8, 8, Name::None, "", "sprite pointers of screen 0: the displayer writes them"},
    {Screen1Offset, 1000, Name::InBank, "Screen1",
     "screen 1: the same colours; shown with $d018 = $18, for the other sprite pointers"},
    {DataSprite1ColourOffset, 1, Name::OfPicture, "Sprite1Colour",
     "frame 1's sprite colour: the displayer puts it into $d027-$d02e"},
    {DataSprite2ColourOffset, 1, Name::OfPicture, "Sprite2Colour",
     "frame 2's sprite colour, likewise"},
    {SpareAfterColours, 14, Name::None, "", "spare"},
    {0x07F8, 8, Name::None, "", "sprite pointers of screen 1: the displayer writes them"},
    {SpriteBlocksOffset, 5120, Name::InBank, "Sprites",
     "80 sprite blocks, numbers 32..111: row s (0..9), sprite m (0..7) is block 32 + 8 s + m, "
     "at x 88 + 24 m, y 50 + 21 s"},
    {0x1C00, 1024, Name::None, "", "spare"},
    {BitmapOffset, 8000, Name::InBank, "Bitmap",
     "hires bitmap, 40 x 25 cells of 8 bytes; the picture fills cell columns 8..31"},
    {0x3F40, 192, Name::None, "", "spare"},
};
constexpr Part Bank2Parts[] = {
    Bank1Parts[0],
    Bank1Parts[1],
    Bank1Parts[2],
    Bank1Parts[3],
    {0x07E8, 16, Name::None, "", "spare"},
    Bank1Parts[7],
    Bank1Parts[8],
    Bank1Parts[9],
    Bank1Parts[10],
    Bank1Parts[11],
};

class Writer {
 public:
  explicit Writer(const Syntax& syntax) : s_(syntax) {}

  void Comment(std::string_view text) {
    text_ += s_.comment;
    if (!text.empty()) text_ += ' ';
    text_ += text;
    text_ += '\n';
  }
  void Blank() { text_ += '\n'; }
  void Label(std::string_view name, unsigned address, std::string_view what) {
    text_ += name;
    text_ += s_.labelEnd;
    text_ += std::string(std::max<std::size_t>(1, 28 - name.size() - s_.labelEnd.size()), ' ');
    text_ += s_.comment;
    text_ += ' ' + Hex(address, 4) + ": ";
    text_ += what;
    text_ += '\n';
  }
  void Directive(std::string_view directive, std::string_view argument) {
    text_ += "        ";
    text_ += directive;
    text_ += argument;
    text_ += '\n';
  }
  // The bytes as lines of .byte, runs of one value as fills.
  void Bytes(std::span<const std::uint8_t> bytes) {
    std::size_t at = 0;
    while (at < bytes.size()) {
      std::size_t run = 1;
      while (at + run < bytes.size() && bytes[at + run] == bytes[at]) ++run;
      if (run >= ShortestFill) {
        Directive(s_.fill, std::to_string(run) + ", " + Hex(bytes[at], 2));
        at += run;
        continue;
      }
      // Up to a line of bytes, ending before the next long run.
      std::size_t end = at;
      while (end < bytes.size() && end - at < BytesALine) {
        std::size_t next = 1;
        while (end + next < bytes.size() && bytes[end + next] == bytes[end]) ++next;
        if (next >= ShortestFill) break;
        end += std::min(next, BytesALine - (end - at));
      }
      std::string line;
      for (std::size_t i = at; i < end; ++i) {
        if (i > at) line += ',';
        line += Hex(bytes[i], 2);
      }
      Directive(s_.bytes, line);
      at = end;
    }
  }
  std::string Take() { return std::move(text_); }

 private:
  const Syntax& s_;
  std::string text_;
};

void WriteBank(Writer& out, std::span<const std::uint8_t> bank, std::string_view name,
               unsigned shown, std::span<const Part> parts) {
  const std::string bankLabel = "picture" + std::string(name);
  out.Label(bankLabel, shown, "the bank's first byte");
  for (const Part& part : parts) {
    const unsigned address = shown + static_cast<unsigned>(part.offset);
    switch (part.name) {
      case Name::None:
        out.Comment(Hex(address, 4) + ": " + std::string(part.what));
        break;
      case Name::InBank:
        out.Label(bankLabel + std::string(part.label), address, part.what);
        break;
      case Name::OfPicture:
        out.Label("picture" + std::string(part.label), address, part.what);
        break;
    }
    out.Bytes(bank.subspan(part.offset, part.size));
  }
}

}  // namespace

std::string_view AsmSyntaxName(AsmSyntax syntax) { return SyntaxOf(syntax).name; }

std::optional<AsmSyntax> AsmSyntaxFromName(std::string_view name) {
  for (const AsmSyntax syntax : AllAsmSyntaxes) {
    if (SyntaxOf(syntax).name == name) return syntax;
  }
  return std::nullopt;
}

std::string AssemblerSource(std::span<const std::uint8_t> dataFile, AsmSyntax syntax) {
  if (dataFile.size() != DataFileSize) {
    throw std::invalid_argument("a data file has 32768 bytes");
  }
  const Syntax& s = SyntaxOf(syntax);
  Writer out(s);
  out.Comment("A picture from Vantrel Converter: hires bitmap + sprites, two interlaced frames.");
  out.Comment("Assembled, this source gives the 32768 bytes of the C64 data file.");
  out.Comment("");
  out.Comment("The displayer shows bank 1 (frame 1) from $4000 ($dd00 = $02) and bank 2");
  out.Comment("(frame 2) from $c000 ($dd00 = $00), on alternate screen refreshes, in hires");
  out.Comment("bitmap mode ($d011 = $3b, $d016 = $c8, $d018 = $08: bitmap at bank + $2000).");
  out.Comment("All eight sprites are on, single colour, in front of the bitmap, re-used ten");
  out.Comment("times down the screen: row s (0..9) at y 50 + 21 s, sprite m at x 88 + 24 m.");
  out.Comment("Black border and background; colour RAM all 0.");
  out.Comment("");
  out.Comment("Bank 2 follows bank 1 in the output, as in the data file, with its labels");
  out.Comment("where it is shown. To assemble it there instead, write \"" + std::string(s.origin) +
              "$c000\" for \"" + std::string(s.shownFrom) + "$c000\"");
  out.Comment("and drop the \"" + std::string(s.shownEnd) + "\" at the end of bank 2.");
  out.Blank();
  out.Directive(s.origin, Hex(Bank1Shown, 4));
  WriteBank(out, dataFile.subspan(FirstFrameBank, SecondFrameBank), "Bank1", Bank1Shown,
            Bank1Parts);
  out.Blank();
  out.Directive(s.shownFrom, Hex(Bank2Shown, 4) + (syntax == AsmSyntax::Tass64 ? "" : " {"));
  WriteBank(out, dataFile.subspan(SecondFrameBank), "Bank2", Bank2Shown, Bank2Parts);
  out.Directive(s.shownEnd, "");
  return out.Take();
}

}  // namespace vantrel
