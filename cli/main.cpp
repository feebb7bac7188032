// vantrel-convert: the converter for Makefiles and scripts.
#include <iostream>
#include <string>
#include <vector>

#include "cli/run.h"

int main(int argc, char** argv) {
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  return vantrel::cli::Run(arguments, std::cout, std::cerr);
}
