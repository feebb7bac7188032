// Every text the program tells its user about a failure: one row per message, its code, what
// kind of text it is and the text, %1, %2 ... standing for the arguments. A code cannot be
// without its text: core/messages.h makes the codes from these rows and core/messages.cpp the
// texts, so both come from this one list.
//
// Kinds: Plain; NamesFile, a text that names a file itself (one of its arguments is one);
// Setting, a text about a setting rather than a file.
//
// No include guard: the includer defines VANTREL_MESSAGE(code, kind, text) to take the rows.

// Files
VANTREL_MESSAGE(kCannotOpenFile, NamesFile, "Cannot open file %1")
VANTREL_MESSAGE(kNotARegularFile, NamesFile, "Cannot open file %1: not a regular file")
VANTREL_MESSAGE(kFileTooLargeForAPicture, NamesFile,
                "Cannot open file %1: too large for a picture (%2 bytes)")
VANTREL_MESSAGE(kCannotCreateFile, NamesFile, "Cannot create file %1: %2")
VANTREL_MESSAGE(kCannotWriteStandardOutput, Plain, "Cannot write to standard output")
VANTREL_MESSAGE(kNotEnoughMemoryToOpen, NamesFile, "Not enough memory to open %1")
VANTREL_MESSAGE(kNotEnoughMemory, Plain, "Not enough memory")
VANTREL_MESSAGE(kInternalError, Plain, "Internal error")

// Pictures
VANTREL_MESSAGE(kJpegError, Plain, "JPEG error #%1")
VANTREL_MESSAGE(kUnsupportedJpeg, Plain, "Unsupported JPEG (%1 colour components)")
VANTREL_MESSAGE(kPictureTooLarge, Plain, "Picture too large (%1 x %2 pixels)")
VANTREL_MESSAGE(kPictureTooSmall, Plain, "Picture too small (%1 x %2 pixels)")
VANTREL_MESSAGE(kCannotOpenPicture, NamesFile, "Cannot open %1 file %2: %3")
VANTREL_MESSAGE(kPictureEndsEarlyWarning, NamesFile,
                "%1: the file ends early; the rest of the picture is grey")

// ... why, inside kCannotOpenPicture
VANTREL_MESSAGE(kEndsEarly, Plain, "the file ends early")
VANTREL_MESSAGE(kDamagedFile, Plain, "damaged file")
VANTREL_MESSAGE(kUnsupportedFeature, Plain, "unsupported feature")
VANTREL_MESSAGE(kDamagedAnimation, Plain, "damaged animation")
VANTREL_MESSAGE(kNoPictureInTheFile, Plain, "no picture in the file")
VANTREL_MESSAGE(kNoColourTable, Plain, "no colour table")
VANTREL_MESSAGE(kEmptyFrame, Plain, "empty frame")
VANTREL_MESSAGE(kEmptyPicture, Plain, "empty picture (%1 x %2 pixels)")
VANTREL_MESSAGE(kSupportNotInstalled, Plain, "%1 support (%2) is not installed")
VANTREL_MESSAGE(kNoPictureData, Plain, "no picture data")
VANTREL_MESSAGE(kTooManyScans, Plain, "more than %1 scans")
VANTREL_MESSAGE(kFileTooLarge, Plain, "file too large")
VANTREL_MESSAGE(kInconsistentSize, Plain, "inconsistent size")
VANTREL_MESSAGE(kNotAReadableTiff, Plain, "not a readable TIFF file")
VANTREL_MESSAGE(kDamagedPictureData, Plain, "damaged picture data")
VANTREL_MESSAGE(kUnknownBmpHeader, Plain, "unknown BMP header (%1 bytes)")
VANTREL_MESSAGE(kBmpKindNotSupported, Plain, "%1 BMP is not supported")
VANTREL_MESSAGE(kBmpAlphaBitFields, Plain,
                "BMP with alpha bit fields (compression 6) is not supported")
VANTREL_MESSAGE(kOs2BmpHeaderNotSupported, Plain, "OS/2 BMP with a %1-byte header is not supported")
VANTREL_MESSAGE(kUnknownBmpCompression, Plain, "unknown BMP compression (%1)")
VANTREL_MESSAGE(kBmpBitsNotSupported, Plain, "%1-bit BMP is not supported")
VANTREL_MESSAGE(kRleDrawsLittle, Plain, "its RLE data draws only %1 of %2 x %3 pixels")
VANTREL_MESSAGE(kPaletteOverlapsPixels, Plain, "damaged file (its palette and pixel data overlap)")
VANTREL_MESSAGE(kBmpReaderNotInstalled, Plain,
                "gdk-pixbuf, which reads this kind of BMP, is not installed")
VANTREL_MESSAGE(kLibrarysOwnWords, Plain, "%1")
VANTREL_MESSAGE(kDecodedByBrowser, Plain, "this format is decoded by the browser")

// Saved pictures
VANTREL_MESSAGE(kNotASavedPicture, NamesFile, "%1 is not a picture saved by Vantrel Converter: %2")
VANTREL_MESSAGE(kSavedPictureEndsEarly, NamesFile,
                "%1 ends early: a picture executable of %2 bytes, but the file has %3")
VANTREL_MESSAGE(kNotTheDisplayer, Plain, "its program is not the picture displayer")
VANTREL_MESSAGE(kWrongExecutableSize, Plain, "a picture executable has %1 bytes, this file %2")
VANTREL_MESSAGE(kSomethingFollowsThePicture, Plain, "something follows the picture")
VANTREL_MESSAGE(kNotLaidOutAsSaved, Plain,
                "its picture data is not laid out as this program lays it out")
VANTREL_MESSAGE(kDirectoryDamaged, Plain, "its directory is damaged")
VANTREL_MESSAGE(kProgramFileDamaged, Plain, "its program file is damaged")
VANTREL_MESSAGE(kNoProgramOnTheDisk, Plain, "the disk holds no program file")
VANTREL_MESSAGE(kNoSavedPictureKind, Plain,
                "neither an executable, a disk image nor a data file of this program")
VANTREL_MESSAGE(kPackedDataDamaged, Plain, "its packed data is damaged")
// ... a file whose name says it is one of them
VANTREL_MESSAGE(kNotAProgramSavedHere, NamesFile, "%1 is not a program this converter saved: %2")
VANTREL_MESSAGE(kNotADiskImageSavedHere, NamesFile,
                "%1 is not a disk image this converter saved: %2")
VANTREL_MESSAGE(kNotADataFileSavedHere, NamesFile, "%1 is not a data file this converter saved: %2")
VANTREL_MESSAGE(kLoadsAt, Plain, "it loads at $%1")
VANTREL_MESSAGE(kEndsAfter, Plain, "it ends after %1 bytes")
VANTREL_MESSAGE(kWrongDiskImageSize, Plain, "a disk image has %1 or %2 bytes, this file %3")
VANTREL_MESSAGE(kWrongDataFileSize, Plain, "a data file has %1 bytes, this file %2")

// Projects
VANTREL_MESSAGE(kUnusableProject, NamesFile, "%1 is not a usable project file: %2")
VANTREL_MESSAGE(kJsonDamaged, Plain, "its JSON is damaged (%1)")
VANTREL_MESSAGE(kProjectTooLarge, Plain, "it has %1 bytes, more than any project (at most %2 MiB)")
VANTREL_MESSAGE(kProjectNestsTooDeep, Plain,
                "its lists and objects nest more than %1 deep, deeper than in any project")
VANTREL_MESSAGE(kNoJsonObject, Plain, "it holds no JSON object")
VANTREL_MESSAGE(kMemberMissing, Plain, "\"%1\" is missing")
VANTREL_MESSAGE(kMemberNotText, Plain, "\"%1\" is not text")
VANTREL_MESSAGE(kMemberNotList, Plain, "\"%1\" is not a list")
VANTREL_MESSAGE(kMemberNotObject, Plain, "\"%1\" is not an object")
VANTREL_MESSAGE(kMemberNotWholeNumber, Plain, "\"%1\" is not a whole number")
VANTREL_MESSAGE(kNeedsNumbers, Plain, "\"%1\" needs %2 numbers")
VANTREL_MESSAGE(kNumberOutside, Plain, "\"%1\" holds %2, outside %3..%4")
VANTREL_MESSAGE(kCannotBe, Plain, "\"%1\" cannot be \"%2\"")
VANTREL_MESSAGE(kNewerProject, Plain,
                "it was written by a newer version of Vantrel Converter (project version %1)")
VANTREL_MESSAGE(kNoPhotoNamed, Plain, "it names no photo")
VANTREL_MESSAGE(kEditNotARun, Plain, "an edit is not [x, y, code, count]")
VANTREL_MESSAGE(kCellRowNotColours, Plain,
                "row %1 of \"cells\" is not 24 cells of four hexadecimal digits")
VANTREL_MESSAGE(kProjectPhotoMissing, NamesFile, "The photo %1 of the project %2 is missing")
VANTREL_MESSAGE(kProjectPhotoChanged, NamesFile,
                "The photo %1 has changed since the project %2 was saved")
VANTREL_MESSAGE(
    kPhotoChangedSinceOpened, NamesFile,
    "The photo %1 has changed since it was opened; open it again before saving the project")
VANTREL_MESSAGE(kProjectNeedsAFile, Plain, "A project needs a picture opened from a file")

// Settings the picture cannot take
VANTREL_MESSAGE(kScaleOutside, Setting, "--scale %1 is outside %2..%3 for the %4 x %5 picture %6")
VANTREL_MESSAGE(
    kCropOutside, Setting,
    "--crop %1,%2 puts the window outside the %3 x %4 picture at %5 % (X 0..%6, Y 0..%7)")

// Options, as the command line and the page take them; %1 is the option as the front end
// spells it (--offsets on the command line, offsets in the page)
VANTREL_MESSAGE(kUnknownOption, Setting, "unknown option '%1'")
VANTREL_MESSAGE(kOptionTakesNoValue, Setting, "option '%1' takes no value")
VANTREL_MESSAGE(kOptionNeedsValue, Setting, "option '%1' needs a value")
VANTREL_MESSAGE(kNotAChoice, Setting, "%1 must be %2, not '%3'")
VANTREL_MESSAGE(kNotAScale, Setting, "%1 must be fit or a percentage 1..%2, not '%3'")
VANTREL_MESSAGE(kNeedsWholeNumbers, Setting, "%1 needs %2 (%3 whole numbers), not '%4'")
VANTREL_MESSAGE(kNumberOutOfRange, Setting, "%1 %2: %3 is out of range %4..%5")
VANTREL_MESSAGE(kCropBeforePicture, Setting, "%1 %2 lies outside the picture (X and Y start at 0)")
VANTREL_MESSAGE(kNeedsColours, Setting, "%1 needs %2 colours %3, not '%4'")
VANTREL_MESSAGE(kUnknownColour, Setting,
                "%1: unknown colour '%2' (%3..%4 or a name such as light-red)")
VANTREL_MESSAGE(kOptionsExclude, Setting, "%1 and %2 exclude each other")

// The command line's own usage
VANTREL_MESSAGE(kNoInputFile, Setting, "no input file")
VANTREL_MESSAGE(kNoOutputFile, Setting, "no output file (-o, or --output-dir with --format)")
VANTREL_MESSAGE(kStandardOutputNeedsFormat, Setting,
                "-o - (standard output) needs --format before it")
VANTREL_MESSAGE(kProjectToStandardOutput, Setting, "a project cannot go to standard output")
VANTREL_MESSAGE(kFormatWithoutOutput, Setting, "--format is not followed by the -o it applies to")
VANTREL_MESSAGE(kOutputForOnePicture, Setting,
                "-o names the file of one picture, not of %1: give --output-dir DIR and a "
                "--format for each kind of file")
VANTREL_MESSAGE(kOutputDirNeedsFormat, Setting,
                "--output-dir needs the kinds to write (--format exe, --format data ...)")
VANTREL_MESSAGE(kSameOutputTwice, Setting, "%1 and %2 would both write %3")
VANTREL_MESSAGE(kWouldReplaceInput, Setting, "%1 would replace the input picture %2")
VANTREL_MESSAGE(kWouldReplaceProjectPhoto, Setting, "%1 would replace the project's photo %2")
VANTREL_MESSAGE(kProjectBringsItsSettings, Setting,
                "%1 cannot change the project %2: only -o, --output-dir, --format, --machine, "
                "--palette and --mix apply to it")
VANTREL_MESSAGE(kSavedPictureBringsItsSettings, Setting,
                "%1 cannot change the saved picture %2: only -o, --output-dir, --format, "
                "--machine, --palette and --mix apply to it")

// Outputs
VANTREL_MESSAGE(kNotWrittenPictureFormat, Setting,
                "Cannot save as %1: this program reads %2 pictures but does not write them (the "
                "preview is saved as .png)")
VANTREL_MESSAGE(kCannotEncodePng, Plain, "Cannot encode PNG: %1")
VANTREL_MESSAGE(kDiskFull, Plain, "The program does not fit on a disk")
VANTREL_MESSAGE(kProgramTooLargeForADisk, Plain,
                "The program does not fit on a disk: %1 bytes, at most %2")
VANTREL_MESSAGE(kC64NameLength, Plain, "A C64 file name has 1 to 16 characters, not %1")
VANTREL_MESSAGE(kNoLoadAddress, Plain, "A program file starts with its two-byte load address")
VANTREL_MESSAGE(kNotAPictureExecutable, Plain,
                "Only a picture executable (%1 bytes, loading at $0800) can be packed")
VANTREL_MESSAGE(kPackedProgramTooLarge, Plain,
                "The packed program does not fit in the C64's memory beside what it unpacks")

// The window
VANTREL_MESSAGE(kOpenAPictureFirst, Plain, "Open a picture first")
VANTREL_MESSAGE(kIsTheOpenPicture, NamesFile,
                "%1 is the picture that is open and was not replaced. Save under another name")
VANTREL_MESSAGE(kReplaceQuestion, NamesFile, "%1 already exists.\nDo you want to replace it?")
VANTREL_MESSAGE(kScrollbarOutOfRange, Plain, "Scrollbar property out of range")
