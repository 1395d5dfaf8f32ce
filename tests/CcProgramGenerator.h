#pragma once
// Random C programs of the subset the compiler takes, for the differential
// test of the compiler against the host's C compiler. Each program reads
// its inputs from mem[kInputBase + k] (k < kInputs), keeps bytes in locals
// and globals, and writes its results into mem[kOutputBase + k] (k <
// kOutputs), both high enough that the code and its tables stay below.
//
// Every expression is one whose value C defines exactly over bytes: the
// wrapping operators (+ - * & | ^ ~ <<) on byte operands, whose low byte is
// what a store keeps; the exact ones (/ % >> comparisons ! && || ?:) only
// on operands that are bytes, a sum cast back to a byte first, as the
// compiler asks a program to write it.

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace mirvo::test {

inline constexpr int kInputs = 8;
inline constexpr int kInputBase = 0x9000;
inline constexpr int kOutputBase = 0x8000;
inline constexpr int kOutputs = 8;

// What the generator may use: the compiler's subset grows feature by feature.
struct CcSubset {
  bool arithmetic = true;   // + - and constants
  bool bitwise = true;      // & | ^ ~
  bool multiply = true;     // * by a constant or of two bytes, << by a constant
  bool divide = true;       // / % >> by a constant
  bool compare = true;      // == !=
  bool ordering = true;     // < <= > >= ! && || ?:
  bool branches = true;     // if / else
  bool loops = true;        // for loops with a constant trip count
  bool globals = true;      // globals besides locals
  bool earlyReturn = true;  // if (c) return;
  bool jumps = true;        // break and continue under run-time conditions, nested loops
  bool functions = true;    // small functions, called as statements, that may return early
};

class CcProgramGenerator {
 public:
  CcProgramGenerator(std::uint32_t seed, CcSubset subset) : random(seed), subset(subset) {}

  // One program; its globals are named after tag (p17_g0) so that many
  // programs build as one file on the host, each with its main renamed.
  std::string Program(const std::string& tag);

 private:
  int Pick(int n) { return static_cast<int>(random() % static_cast<std::uint32_t>(n)); }
  bool Chance(int percent) { return Pick(100) < percent; }
  // A byte: a variable, a constant, an input, or a wrapped expression cast.
  std::string Byte(int depth);
  // An expression whose low byte C gives exactly.
  std::string Wrapping(int depth);
  // A condition, 0 or 1.
  std::string Condition(int depth);
  // A local, a global or a loop's counter to read.
  std::string Variable();
  // A local or a global to assign.
  std::string Target();
  void Statement(int depth, std::string& out, const std::string& indent);
  // A call of one of the program's functions, as a statement.
  std::string CallStatement();
  // A function of two bytes; a value one returns a byte on every path.
  std::string FunctionDefinition(int index, bool returnsValue);

  std::mt19937 random;
  CcSubset subset;
  std::string tag;
  int loopDepth = 0;  // counters i0 .. i(loopDepth-1) are in scope
  int functionCount = 0;
  std::vector<bool> returnsValue;  // of each function defined so far
  int inFunction = -1;             // the function being written, whose locals are its parameters a0 and a1
};

}  // namespace mirvo::test
