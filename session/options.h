// The conversion options the command line and the page share, one row each: its name (the
// command line's --name, the page's camelCase key), the shape of its value, its choices or
// the range of its numbers, its default, its help and its effect. The command line, its help
// and manual page, and the page read these rows, so an option added here is the same in all.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "c64/machine.h"
#include "session/settings.h"

namespace vantrel {

// What the options set.
struct OptionValues {
  ConversionSettings settings;
  Machine machine = Machine::Pal;           // the executables' and disk images' target
  bool pack = false;                        // the executables and disk images packed
  AsmSyntax asmSyntax = AsmSyntax::Tass64;  // the assembler sources' syntax
  std::vector<std::string_view> given;      // the names of the options taken, in order

  // Whether the option of that name was taken.
  bool Given(std::string_view name) const;
};

// A value a choice option takes, and the window's word for it.
struct OptionChoice {
  std::string_view name;     // "low-flicker"
  std::string_view caption;  // "Low Flicker"
};

struct ConversionOption;

// One use of an option: the row, its name as the front end spells it (for messages), the
// value as given and, for a choice, which one it is.
struct OptionUse {
  const ConversionOption& option;
  const std::string& spelled;
  const std::string& value;
  int choice;  // the index among the option's choices; -1 for an option without
};

struct ConversionOption {
  std::string name;   // "auto-colours"
  std::string alias;  // another name for the same option ("auto-colors"), or empty
  // The value's shape as the help shows it ("R,G,B"); for numbers, as many as it has parts.
  // Empty for a flag, and for a choice option, whose shape is its choices ("none|fs|..."),
  // unless they are too many for one line: then a word for them ("NAME"), the help naming them.
  std::string value;
  std::string implied;                // set: the value may be left out, and then is this
  std::vector<OptionChoice> choices;  // the only values it takes, if not empty
  int min = 0;  // what each of its numbers may be, where `help` says "{range}"
  int max = 0;
  std::string defaultValue;        // as the help gives it, empty if the option has no default
  std::string defaultNote;         // what the help adds after the default (", or ...")
  std::string help;                // what it does, "{range}" standing for min..max
  std::string excludes;            // the name of an option it cannot be given with, or empty
  bool changesConversion = false;  // not for an input that brings its own settings
  void (*apply)(OptionValues& values, const OptionUse& use) = nullptr;

  bool IsFlag() const { return value.empty() && choices.empty(); }
  // "R,G,B", or the choices: "none|fs|low-flicker" (or the word standing for them).
  std::string Shape() const;
  // The help with the range put in and the default after it.
  std::string HelpText() const;
};

// Every row, in the order the help lists them.
std::span<const ConversionOption> ConversionOptions();
// The row of a name or an alias ("colors"); null for any other.
const ConversionOption* FindOption(std::string_view name);

// How a front end writes an option's name: --auto-colours on the command line, autoColours
// in the page (each hyphen dropped and the next letter capitalised).
enum class OptionSpelling { CommandLine, Page };
std::string Spelled(std::string_view name, OptionSpelling spelling);

// Takes an option's value into `values`. Throws VantrelError (a setting, naming the option as
// `spelled`) when it is refused; then `values` is as it was. A flag takes an empty value.
void ApplyOption(const ConversionOption& option, const std::string& spelled,
                 const std::string& value, OptionValues& values);
// What holds between the options once all are given (--colours excludes --auto-colours);
// throws VantrelError as ApplyOption does.
void CheckOptionsTogether(const OptionValues& values, OptionSpelling spelling);

// "a, b or c", as refusals list the choices.
std::string ChoiceList(std::span<const std::string_view> names);

// A C64 colour given as 0..15 or as its palette name ("light-red", case ignored, the hyphen
// optional, "gray" for "grey"); -1 if it is neither.
int ParseColour(std::string_view text);

}  // namespace vantrel
