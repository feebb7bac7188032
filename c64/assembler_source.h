// The data file as assembler source, for C64 programs of one's own: the two banks as bytes
// with a label on each bank, screen, sprite area and bitmap and on the two sprite colours,
// and comments on where the displayer shows them. Assembled, it gives the data file's bytes.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace vantrel {

enum class AsmSyntax { Tass64, Acme, KickAss };

inline constexpr std::array<AsmSyntax, 3> AllAsmSyntaxes = {AsmSyntax::Tass64, AsmSyntax::Acme,
                                                            AsmSyntax::KickAss};

// The syntax's name: "64tass", "acme", "kickass".
std::string_view AsmSyntaxName(AsmSyntax syntax);

// The syntax of a name; nothing for any other text (case matters).
std::optional<AsmSyntax> AsmSyntaxFromName(std::string_view name);

// The source of a data file (32768 bytes, as AssembleDataFile makes them; throws
// std::invalid_argument for another size). Bank 1 is placed at $4000, where the displayer
// shows it; bank 2 follows it in the output, as in the data file, with its labels at $c000,
// where the displayer shows it.
std::string AssemblerSource(std::span<const std::uint8_t> dataFile, AsmSyntax syntax);

}  // namespace vantrel
