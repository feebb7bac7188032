// The whole of vantrel-convert behind main(), so tests can run it without a process.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace vantrel::cli {

inline constexpr int ExitSuccess = 0;
inline constexpr int ExitFailure = 1;  // the picture could not be read, a file not written
inline constexpr int ExitUsage = 2;    // bad options or a crop outside the picture

// Runs the program on the arguments that follow its name. Help and version go to `out`,
// every error to `err` as "vantrel-convert: <message>" (bad usage adds a hint line).
// Returns the exit status.
int Run(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

}  // namespace vantrel::cli
