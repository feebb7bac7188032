// The message table: every text the user can be told about a failure, once.
#include "core/messages.h"

#include <array>
#include <stdexcept>

namespace vantrel {
namespace {

enum Kind { kPlain, kNamesFile, kSetting };

struct Entry {
  Message message;
  Kind kind;
  const char* text;
};

constexpr Entry kTable[] = {
    {Message::kCannotOpenFile, kNamesFile, "Cannot open file %1"},
    {Message::kNotARegularFile, kNamesFile, "Cannot open file %1: not a regular file"},
    {Message::kFileTooLargeForAPicture, kNamesFile,
     "Cannot open file %1: too large for a picture (%2 bytes)"},
    {Message::kCannotCreateFile, kNamesFile, "Cannot create file %1: %2"},
    {Message::kCannotWriteStandardOutput, kPlain, "Cannot write to standard output"},
    {Message::kNotEnoughMemoryToOpen, kNamesFile, "Not enough memory to open %1"},
    {Message::kNotEnoughMemory, kPlain, "Not enough memory"},
    {Message::kInternalError, kPlain, "Internal error"},

    {Message::kJpegError, kPlain, "JPEG error #%1"},
    {Message::kUnsupportedJpeg, kPlain, "Unsupported JPEG (%1 colour components)"},
    {Message::kPictureTooLarge, kPlain, "Picture too large (%1 x %2 pixels)"},
    {Message::kPictureTooSmall, kPlain, "Picture too small (%1 x %2 pixels)"},
    {Message::kCannotOpenPicture, kNamesFile, "Cannot open %1 file %2: %3"},
    {Message::kPictureEndsEarlyWarning, kNamesFile,
     "%1: the file ends early; the rest of the picture is grey"},
    {Message::kEndsEarly, kPlain, "the file ends early"},
    {Message::kDamagedFile, kPlain, "damaged file"},
    {Message::kUnsupportedFeature, kPlain, "unsupported feature"},
    {Message::kDamagedAnimation, kPlain, "damaged animation"},
    {Message::kNoPictureInTheFile, kPlain, "no picture in the file"},
    {Message::kNoColourTable, kPlain, "no colour table"},
    {Message::kEmptyFrame, kPlain, "empty frame"},
    {Message::kEmptyPicture, kPlain, "empty picture (%1 x %2 pixels)"},
    {Message::kSupportNotInstalled, kPlain, "%1 support (%2) is not installed"},
    {Message::kNoPictureData, kPlain, "no picture data"},
    {Message::kTooManyScans, kPlain, "more than %1 scans"},
    {Message::kFileTooLarge, kPlain, "file too large"},
    {Message::kInconsistentSize, kPlain, "inconsistent size"},
    {Message::kNotAReadableTiff, kPlain, "not a readable TIFF file"},
    {Message::kDamagedPictureData, kPlain, "damaged picture data"},
    {Message::kUnknownBmpHeader, kPlain, "unknown BMP header (%1 bytes)"},
    {Message::kBmpKindNotSupported, kPlain, "%1 BMP is not supported"},
    {Message::kBmpAlphaBitFields, kPlain,
     "BMP with alpha bit fields (compression 6) is not supported"},
    {Message::kOs2BmpHeaderNotSupported, kPlain, "OS/2 BMP with a %1-byte header is not supported"},
    {Message::kUnknownBmpCompression, kPlain, "unknown BMP compression (%1)"},
    {Message::kBmpBitsNotSupported, kPlain, "%1-bit BMP is not supported"},
    {Message::kRleDrawsLittle, kPlain, "its RLE data draws only %1 of %2 x %3 pixels"},
    {Message::kPaletteOverlapsPixels, kPlain, "damaged file (its palette and pixel data overlap)"},
    {Message::kBmpReaderNotInstalled, kPlain,
     "gdk-pixbuf, which reads this kind of BMP, is not installed"},
    {Message::kLibrarysOwnWords, kPlain, "%1"},
    {Message::kDecodedByBrowser, kPlain, "this format is decoded by the browser"},

    {Message::kNotASavedPicture, kNamesFile, "%1 is not a picture saved by Vantrel Converter: %2"},
    {Message::kSavedPictureEndsEarly, kNamesFile,
     "%1 ends early: a picture executable of %2 bytes, but the file has %3"},
    {Message::kNotTheDisplayer, kPlain, "its program is not the picture displayer"},
    {Message::kWrongExecutableSize, kPlain, "a picture executable has %1 bytes, this file %2"},
    {Message::kSomethingFollowsThePicture, kPlain, "something follows the picture"},
    {Message::kNotLaidOutAsSaved, kPlain,
     "its picture data is not laid out as this program lays it out"},
    {Message::kDirectoryDamaged, kPlain, "its directory is damaged"},
    {Message::kProgramFileDamaged, kPlain, "its program file is damaged"},
    {Message::kNoProgramOnTheDisk, kPlain, "the disk holds no program file"},
    {Message::kNoSavedPictureKind, kPlain,
     "neither an executable, a disk image nor a data file of this program"},

    {Message::kUnusableProject, kNamesFile, "%1 is not a usable project file: %2"},
    {Message::kJsonDamaged, kPlain, "its JSON is damaged (%1)"},
    {Message::kNoJsonObject, kPlain, "it holds no JSON object"},
    {Message::kMemberMissing, kPlain, "\"%1\" is missing"},
    {Message::kMemberNotText, kPlain, "\"%1\" is not text"},
    {Message::kMemberNotList, kPlain, "\"%1\" is not a list"},
    {Message::kMemberNotObject, kPlain, "\"%1\" is not an object"},
    {Message::kMemberNotWholeNumber, kPlain, "\"%1\" is not a whole number"},
    {Message::kNeedsNumbers, kPlain, "\"%1\" needs %2 numbers"},
    {Message::kNumberOutside, kPlain, "\"%1\" holds %2, outside %3..%4"},
    {Message::kCannotBe, kPlain, "\"%1\" cannot be \"%2\""},
    {Message::kNewerProject, kPlain,
     "it was written by a newer version of Vantrel Converter (project version %1)"},
    {Message::kNoPhotoNamed, kPlain, "it names no photo"},
    {Message::kEditNotARun, kPlain, "an edit is not [x, y, code, count]"},
    {Message::kCellRowNotColours, kPlain,
     "row %1 of \"cells\" is not 24 cells of four hexadecimal digits"},
    {Message::kProjectPhotoMissing, kNamesFile, "The photo %1 of the project %2 is missing"},
    {Message::kProjectPhotoChanged, kNamesFile,
     "The photo %1 has changed since the project %2 was saved"},
    {Message::kPhotoChangedSinceOpened, kNamesFile,
     "The photo %1 has changed since it was opened; open it again before saving the project"},
    {Message::kProjectNeedsAFile, kPlain, "A project needs a picture opened from a file"},

    {Message::kScaleOutside, kSetting, "--scale %1 is outside %2..%3 for the %4 x %5 picture %6"},
    {Message::kCropOutside, kSetting,
     "--crop %1,%2 puts the window outside the %3 x %4 picture at %5 % (X 0..%6, Y 0..%7)"},

    {Message::kCannotEncodePng, kPlain, "Cannot encode PNG: %1"},
    {Message::kDiskFull, kPlain, "The program does not fit on a disk"},
    {Message::kProgramTooLargeForADisk, kPlain,
     "The program does not fit on a disk: %1 bytes, at most %2"},
    {Message::kC64NameLength, kPlain, "A C64 file name has 1 to 16 characters, not %1"},
    {Message::kNoLoadAddress, kPlain, "A program file starts with its two-byte load address"},

    {Message::kOpenAPictureFirst, kPlain, "Open a picture first"},
    {Message::kIsTheOpenPicture, kNamesFile,
     "%1 is the picture that is open and was not replaced. Save under another name"},
    {Message::kReplaceQuestion, kNamesFile, "%1 already exists.\nDo you want to replace it?"},
    {Message::kEmulatorNotInstalled, kPlain,
     "The C64 emulator %1 is not installed. Install VICE (on Debian: apt install vice, from the "
     "contrib section) and try again"},
    {Message::kCannotCreateTemporaryFolder, kPlain, "Cannot create a temporary folder: %1"},
    {Message::kCannotStartEmulator, kPlain, "Cannot start the C64 emulator %1"},
    {Message::kEmulatorStopped, kPlain, "The C64 emulator stopped at once (exit status %1)"},
    {Message::kEmulatorStoppedBecause, kPlain,
     "The C64 emulator stopped at once (exit status %1): %2"},
    {Message::kEmulatorNeedsRoms, kPlain,
     "VICE needs the C64's ROM images, which Debian's package leaves out. Put "
     "kernal-901227-03.bin, basic-901226-01.bin and chargen-901225-01.bin in "
     "~/.local/share/vice/C64 (or, for every user, /usr/share/vice/C64) and try again"},
    {Message::kScrollbarOutOfRange, kPlain, "Scrollbar property out of range"},
};

const Entry& EntryOf(Message message) {
  for (const Entry& entry : kTable) {
    if (entry.message == message) return entry;
  }
  throw std::logic_error("message without a text");
}

}  // namespace

std::string MessageText(Message message, const std::vector<std::string>& arguments) {
  std::string text;
  for (const char* c = EntryOf(message).text; *c != '\0'; ++c) {
    const unsigned digit = static_cast<unsigned char>(c[1]) - '1';
    if (*c == '%' && digit < 9) {
      if (digit < arguments.size()) text += arguments[digit];
      ++c;
    } else {
      text += *c;
    }
  }
  return text;
}

bool MessageNamesFile(Message message) { return EntryOf(message).kind == kNamesFile; }
bool MessageIsSetting(Message message) { return EntryOf(message).kind == kSetting; }

}  // namespace vantrel
