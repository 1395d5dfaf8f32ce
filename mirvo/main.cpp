// mirvo: assemble, run, disassemble and grade programs of the virtual
// machine from one command line. CommandLine.cpp reads the command line;
// each subcommand lives in a file of its own, its options in another
// (Asm.cpp and AsmOptions.cpp).

#include <iostream>

#include "CommandLine.h"

int main(int argc, char** argv) {
  mirvo::cli::CommandLine line;
  const int parsed = mirvo::cli::ParseCommandLine(argc, argv, line, std::cout, std::cerr);
  if (parsed != mirvo::cli::kParsed) return parsed;
  return mirvo::cli::RunCommandLine(line);
}
