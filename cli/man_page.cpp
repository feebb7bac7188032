// Writes the manual page vantrel-convert.1 from the option table behind --help, so the page
// and the help never disagree. Run at build time: vantrel-convert-man DATE OUTPUT.
#include <fstream>
#include <iostream>
#include <string>
#include <string_view>

#include "cli/command_line.h"
#include "session/session.h"

namespace {

using vantrel::cli::OptionHelp;

// `text` as roff prose: backslashes and minus signs escaped (options must copy as ASCII
// hyphens), an option never hyphenated at a line's end, and a leading dot or quote kept from
// reading as a request.
std::string Roff(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\\') {
      out += "\\e";
    } else if (c == '-') {
      if (i == 0 || text[i - 1] == ' ' || text[i - 1] == '(') out += "\\%";
      out += "\\-";
    } else {
      out += c;
    }
  }
  if (!out.empty() && (out.front() == '.' || out.front() == '\'')) out.insert(0, "\\&");
  return out;
}

// "-h, --help" bold; "--crop X,Y" and "--auto-colours[=GOAL]" with the value in italics.
std::string OptionLabel(const std::string& label) {
  std::string names = label;
  std::string value;
  std::string before;
  std::string after;
  if (const std::size_t bracket = label.find("[="); bracket != std::string::npos) {
    names = label.substr(0, bracket);
    value = label.substr(bracket + 2, label.size() - bracket - 3);
    before = "[=";
    after = "]";
  } else if (const std::size_t space = label.rfind(' ');
             space != std::string::npos && label[space + 1] != '-') {
    names = label.substr(0, space);
    value = label.substr(space + 1);
    before = " ";
  }
  std::string out = "\\fB" + Roff(names) + "\\fR";
  if (!value.empty()) out += Roff(before) + "\\fI" + Roff(value) + "\\fR" + after;
  return out;
}

std::string Trimmed(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

void WriteManPage(std::ostream& out, const std::string& date) {
  out << ".TH VANTREL\\-CONVERT 1 " << date << " \"" << Roff(Trimmed(vantrel::cli::VersionText()))
      << "\" \"User Commands\"\n"
      << ".SH NAME\n"
      << "vantrel\\-convert \\- turn a photo into a Commodore 64 picture\n"
      << ".SH SYNOPSIS\n"
      << ".B vantrel\\-convert\n"
      << "[\\fIoptions\\fR] \\fIPICTURE\\fR \\fB\\-o\\fR \\fIOUTPUT\\fR "
         "[\\fB\\-o\\fR \\fIOUTPUT\\fR ...]\n"
      << ".br\n"
      << ".B vantrel\\-convert\n"
      << "[\\fIoptions\\fR] \\fIPICTURE\\fR... \\fB\\-\\-output\\-dir\\fR \\fIDIR\\fR "
         "\\fB\\-\\-format\\fR \\fIKIND\\fR [\\fB\\-\\-format\\fR \\fIKIND\\fR ...]\n"
      << ".SH DESCRIPTION\n"
      << "Converts a photo (JPEG, PNG, WebP, GIF, BMP, TIFF, HEIC or AVIF, recognised by its\n"
      << "content) into a C64 picture: a hires bitmap with a full layer of sprites over it, in\n"
      << "two frames shown on alternate screen refreshes.\n"
      << "The conversion is exactly the one the window program\n"
      << ".BR vantrel\\-converter (1)\n"
      << "makes for the same settings, and the files are byte for byte those it saves.\n"
      << "It writes one file per\n"
      << ".BR \\-o ,\n"
      << "all from one conversion, and prints nothing when it succeeds.\n"
      << "With\n"
      << ".BR \\-\\-output\\-dir ,\n"
      << "it converts each \\fIPICTURE\\fR in turn and writes its files into \\fIDIR\\fR, one per\n"
      << ".BR \\-\\-format ,\n"
      << "named after the picture (\\fIa.jpg\\fR gives \\fIDIR/a.prg\\fR, \\fIDIR/a.bin\\fR ...),\n"
      << "the same files as one run per picture.\n"
      << "A picture that fails is reported and the others go on.\n"
      << "Two pictures of the same base name are refused before anything is written, and\n"
      << ".B \\-o\n"
      << "names the file of one picture only.\n"
      << ".PP\n"
      << "\\fIPICTURE\\fR may also be a project file (.vantrel), which brings its photo, its\n"
      << "settings and its pixel edits, or a picture this program saved (an executable of any\n"
      << "target, a disk image holding one, or a data file), which comes back as it was saved.\n"
      << "With either, only\n"
      << ".BR \\-o ,\n"
      << ".BR \\-\\-output\\-dir ,\n"
      << ".B \\-\\-format\n"
      << "and\n"
      << ".B \\-\\-machine\n"
      << "apply, and\n"
      << ".B \\-\\-palette\n"
      << "and\n"
      << ".BR \\-\\-mix ,\n"
      << "the colours its preview is shown in.\n"
      << ".SH OPTIONS\n";
  for (const OptionHelp& option : vantrel::cli::OptionHelps()) {
    const bool stop = !option.help.ends_with('.');
    out << ".TP\n"
        << OptionLabel(option.label) << "\n"
        << Roff(option.help) << (stop ? ".\n" : "\n");
  }
  out << ".SH COLOURS\n"
      << "The palette's names, by number:\n";
  for (std::size_t number = 0; number < vantrel::C64ColourNames.size(); ++number) {
    out << ".br\n" << number << " " << Roff(vantrel::C64ColourNames[number]) << "\n";
  }
  std::string status = vantrel::cli::ExitStatusText();
  constexpr std::string_view heading = "Exit status: ";
  if (status.starts_with(heading)) status.erase(0, heading.size());
  // One sentence a line, so roff spaces sentences as sentences.
  for (std::size_t stop = status.find(". "); stop != std::string::npos;
       stop = status.find(". ", stop)) {
    status.replace(stop, 2, ".\n");
  }
  out << ".SH EXIT STATUS\n" << Roff(status) << "\n";
  out << ".SH EXAMPLES\n"
      << "The C64 executable of a photo, for a PAL machine:\n"
      << ".PP\n.RS\n.EX\nvantrel\\-convert photo.jpg \\-o photo.prg\n.EE\n.RE\n.PP\n"
      << "A phone photo scaled to fit, on a disk image that runs on any C64:\n"
      << ".PP\n.RS\n.EX\nvantrel\\-convert photo.heic \\-\\-scale fit \\-\\-machine any "
         "\\-o photo.d64\n.EE\n.RE\n.PP\n"
      << "Calm colours chosen automatically, the executable and a preview from one "
         "conversion:\n"
      << ".PP\n.RS\n.EX\nvantrel\\-convert photo.jpg \\-\\-auto\\-colours=calm \\-\\-dither "
         "low\\-flicker \\e\n    \\-o photo.prg \\-o preview.png\n.EE\n.RE\n.PP\n"
      << "A picture made for VICE's Colodore palette and mixed as a screen shows the frames, "
         "for an emulator set to that palette:\n"
      << ".PP\n.RS\n.EX\nvantrel\\-convert photo.jpg \\-\\-palette colodore \\-\\-mix light "
         "\\-o photo.prg\n.EE\n.RE\n.PP\n"
      << "A project for the settings, and the files made again from it later, in a Makefile:\n"
      << ".PP\n.RS\n.EX\nvantrel\\-convert photo.jpg \\-\\-crop 40,50 \\-o picture.vantrel\n"
         "vantrel\\-convert picture.vantrel \\-o picture.prg\n.EE\n.RE\n.PP\n"
      << "The executable and the data file of every photo of a folder, into another:\n"
      << ".PP\n.RS\n.EX\nvantrel\\-convert photos/*.jpg \\-\\-output\\-dir c64 \\e\n"
         "    \\-\\-format exe \\-\\-format data\n.EE\n.RE\n.PP\n"
      << "A saved executable for another C64:\n"
      << ".PP\n.RS\n.EX\nvantrel\\-convert old.prg \\-\\-machine any \\-o new.prg\n.EE\n.RE\n.PP\n"
      << "The executable on standard output:\n"
      << ".PP\n.RS\n.EX\nvantrel\\-convert photo.jpg \\-\\-format exe \\-o \\- > photo.prg\n"
         ".EE\n.RE\n"
      << ".SH SEE ALSO\n"
      << ".BR vantrel\\-converter (1),\n"
      << ".BR x64sc (1)\n";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: vantrel-convert-man DATE OUTPUT\n";
    return 2;
  }
  std::ofstream out(argv[2], std::ios::binary);
  WriteManPage(out, argv[1]);
  out.close();
  if (!out) {
    std::cerr << "vantrel-convert-man: cannot write " << argv[2] << "\n";
    return 1;
  }
  return 0;
}
