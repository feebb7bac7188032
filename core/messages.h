// Every text the program tells its user about a failure, by code. The texts themselves are
// written once, in core/messages.cpp; %1, %2 ... stand for the arguments.
#pragma once

#include <string>
#include <vector>

namespace vantrel {

enum class Message {
  // Files
  kCannotOpenFile,
  kNotARegularFile,
  kFileTooLargeForAPicture,
  kCannotCreateFile,
  kCannotWriteStandardOutput,
  kNotEnoughMemoryToOpen,
  kNotEnoughMemory,
  kInternalError,
  // Pictures
  kJpegError,
  kUnsupportedJpeg,
  kPictureTooLarge,
  kPictureTooSmall,
  kCannotOpenPicture,  // a format's decoder refused the file: %3 says why
  kPictureEndsEarlyWarning,
  // ... why, inside kCannotOpenPicture
  kEndsEarly,
  kDamagedFile,
  kUnsupportedFeature,
  kDamagedAnimation,
  kNoPictureInTheFile,
  kNoColourTable,
  kEmptyFrame,
  kEmptyPicture,
  kSupportNotInstalled,
  kNoPictureData,
  kTooManyScans,
  kFileTooLarge,
  kInconsistentSize,
  kNotAReadableTiff,
  kDamagedPictureData,
  kUnknownBmpHeader,
  kBmpKindNotSupported,
  kBmpAlphaBitFields,
  kOs2BmpHeaderNotSupported,
  kUnknownBmpCompression,
  kBmpBitsNotSupported,
  kRleDrawsLittle,
  kPaletteOverlapsPixels,
  kBmpReaderNotInstalled,
  kLibrarysOwnWords,
  kDecodedByBrowser,
  // Saved pictures
  kNotASavedPicture,
  kSavedPictureEndsEarly,
  kNotTheDisplayer,
  kWrongExecutableSize,
  kSomethingFollowsThePicture,
  kNotLaidOutAsSaved,
  kDirectoryDamaged,
  kProgramFileDamaged,
  kNoProgramOnTheDisk,
  kNoSavedPictureKind,
  // Projects
  kUnusableProject,
  kJsonDamaged,
  kNoJsonObject,
  kMemberMissing,
  kMemberNotText,
  kMemberNotList,
  kMemberNotObject,
  kMemberNotWholeNumber,
  kNeedsNumbers,
  kNumberOutside,
  kCannotBe,
  kNewerProject,
  kNoPhotoNamed,
  kEditNotARun,
  kCellRowNotColours,
  kProjectPhotoMissing,
  kProjectPhotoChanged,
  kPhotoChangedSinceOpened,
  kProjectNeedsAFile,
  // Settings the picture cannot take
  kScaleOutside,
  kCropOutside,
  // Outputs
  kCannotEncodePng,
  kDiskFull,
  kProgramTooLargeForADisk,
  kC64NameLength,
  kNoLoadAddress,
  // The window
  kOpenAPictureFirst,
  kIsTheOpenPicture,
  kReplaceQuestion,
  kEmulatorNotInstalled,
  kCannotCreateTemporaryFolder,
  kCannotStartEmulator,
  kEmulatorStopped,
  kEmulatorStoppedBecause,
  kEmulatorNeedsRoms,
  kScrollbarOutOfRange,
};

// The text of `message` with `arguments` put in for %1, %2 ...
std::string MessageText(Message message, const std::vector<std::string>& arguments);

// Whether the text names a file itself (one of its arguments is one), and whether it is about
// a setting rather than a file.
bool MessageNamesFile(Message message);
bool MessageIsSetting(Message message);

}  // namespace vantrel
