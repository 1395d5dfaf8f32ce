#pragma once
// Compiles a C program for the machine: the lexer reads tokens, a Pratt
// parser reads the program and lowers each statement to assembly text as
// it goes, and the engine's assembler turns that text into the image. It
// prints nothing and touches no file.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "Diagnostic.h"

namespace mirvo::cc {

struct CompileOptions {
  bool optimise = true;  // false: -O0, each statement on its own
};

// Where one C statement went: its place in the C text, its bytes in the
// image and the lines of the assembly it became.
struct StatementSpan {
  int line = 0, column = 0, endLine = 0, endColumn = 0;  // 1-based C positions
  std::uint16_t firstAddress = 0, endAddress = 0;        // endAddress exclusive
  std::vector<int> assemblyLines;                        // 1-based lines of the assembly
};

// Where a global, an array, a table or a scratch cell went.
struct Placement {
  std::string name;
  std::uint16_t address = 0;
};

struct CompileResult {
  bool ok = false;
  std::string assembly;                 // readable assembly, grouped under "; N: <C line>"
  std::vector<std::uint8_t> image;      // the assembled bytes
  std::vector<StatementSpan> map;       // the source map
  std::vector<Placement> placed;        // where each global, array, table and scratch cell went
  std::vector<Diagnostic> diagnostics;  // C lines and columns
};

CompileResult Compile(std::string_view source, const CompileOptions& options = {});

}  // namespace mirvo::cc
