#include "CcProgramGenerator.h"

namespace mirvo::test {

namespace {

constexpr int kLocals = 4;
constexpr int kGlobals = 3;
constexpr int kStatements = 8;
constexpr int kParameters = 2;
constexpr int kMaxFunctions = 2;

std::string Hex(int value) {
  static const char* const kDigits = "0123456789ABCDEF";
  std::string text = "0x";
  for (int shift = 12; shift >= 0; shift -= 4) text += kDigits[(value >> shift) & 15];
  return text;
}

}  // namespace

std::string CcProgramGenerator::Variable() {
  const int locals = inFunction >= 0 ? kParameters : kLocals;
  const int choice = Pick(locals + (subset.globals ? kGlobals : 0) + loopDepth);
  if (choice < locals) return (inFunction >= 0 ? "a" : "l") + std::to_string(choice);
  if (choice >= locals + (subset.globals ? kGlobals : 0)) {
    return "i" + std::to_string(choice - locals - (subset.globals ? kGlobals : 0));
  }
  return tag + "_g" + std::to_string(choice - locals);
}

std::string CcProgramGenerator::Target() {
  const int locals = inFunction >= 0 ? kParameters : kLocals;
  const int choice = Pick(locals + (subset.globals ? kGlobals : 0));
  if (choice < locals) return (inFunction >= 0 ? "a" : "l") + std::to_string(choice);
  return tag + "_g" + std::to_string(choice - locals);
}

std::string CcProgramGenerator::CallStatement() {
  const int f = Pick(functionCount);
  const std::string call = tag + "_f" + std::to_string(f) + "(" + Byte(1) + ", " + Byte(1) + ")";
  if (!returnsValue[static_cast<std::size_t>(f)]) return call + ";";
  if (Chance(50)) return "mem[" + Hex(kOutputBase + Pick(kOutputs)) + "] = " + call + ";";
  return Target() + " = " + call + ";";
}

std::string CcProgramGenerator::FunctionDefinition(int index, bool value) {
  inFunction = index;
  std::string out =
      std::string(value ? "uint8_t " : "void ") + tag + "_f" + std::to_string(index) + "(uint8_t a0, uint8_t a1) {\n";
  const int statements = 1 + Pick(4);
  for (int s = 0; s < statements; ++s) Statement(2, out, "  ");
  if (value) out += "  return " + Wrapping(2) + ";\n";
  out += "}\n\n";
  inFunction = -1;
  return out;
}

std::string CcProgramGenerator::Byte(int depth) {
  switch (Pick(depth > 0 ? 5 : 3)) {
    case 0:
      return Variable();
    case 1:
      return std::to_string(Pick(256));
    case 2:
      return "mem[" + Hex(kInputBase + Pick(kInputs)) + "]";
    case 3:
      return "(uint8_t)(" + Wrapping(depth - 1) + ")";
    default:
      return subset.compare ? Condition(depth - 1) : Variable();
  }
}

std::string CcProgramGenerator::Wrapping(int depth) {
  if (depth <= 0 || Chance(25)) return Byte(depth);
  const int kinds = 1 + (subset.arithmetic ? 3 : 0) + (subset.multiply ? 3 : 0) + (subset.divide ? 1 : 0);
  int kind = Pick(kinds);
  if (kind == 0) return Byte(depth);
  if (subset.arithmetic && kind <= 3) {
    if (kind == 3 && subset.bitwise) return "~" + Byte(depth - 1);
    static const char* const kOperators[] = {" + ", " - ", " & ", " | ", " ^ "};
    return "(" + Wrapping(depth - 1) + kOperators[Pick(subset.bitwise ? 5 : 2)] + Wrapping(depth - 1) + ")";
  }
  if (subset.arithmetic) kind -= 3;
  // Multiplication and shifts stay on bytes, so that no int overflows.
  if (subset.multiply && kind <= 3) {
    if (kind == 1) return "(" + Byte(depth - 1) + " * " + std::to_string(Pick(256)) + ")";
    if (kind == 2) return "(" + Byte(depth - 1) + " * " + Byte(depth - 1) + ")";
    return "(" + Byte(depth - 1) + " << " + std::to_string(Pick(8)) + ")";
  }
  switch (Pick(3)) {
    case 0:
      return "(" + Byte(depth - 1) + " / " + std::to_string(1 + Pick(255)) + ")";
    case 1:
      return "(" + Byte(depth - 1) + " % " + std::to_string(1 + Pick(255)) + ")";
    default:
      return "(" + Byte(depth - 1) + " >> " + std::to_string(Pick(8)) + ")";
  }
}

std::string CcProgramGenerator::Condition(int depth) {
  static const char* const kComparisons[] = {" == ", " != ", " < ", " <= ", " > ", " >= "};
  int kind = depth > 0 ? Pick(5) : 0;
  if (!subset.ordering) kind = 0;
  switch (kind) {
    case 0:
      return "(" + Byte(depth - 1) + kComparisons[Pick(subset.ordering ? 6 : 2)] + Byte(depth - 1) + ")";
    case 1:
      return "!" + Byte(depth - 1);
    case 2:
      return "(" + Condition(depth - 1) + " && " + Condition(depth - 1) + ")";
    case 3:
      return "(" + Condition(depth - 1) + " || " + Condition(depth - 1) + ")";
    default:
      return "(" + Condition(depth - 1) + " ? " + Byte(depth - 1) + " : " + Byte(depth - 1) + ")";
  }
}

void CcProgramGenerator::Statement(int depth, std::string& out, const std::string& indent) {
  const int roll = Pick(100);
  if (subset.branches && depth > 0 && roll < 15) {
    out += indent + "if (" + Condition(2) + ") {\n";
    Statement(depth - 1, out, indent + "  ");
    if (Chance(50)) {
      out += indent + "} else {\n";
      Statement(depth - 1, out, indent + "  ");
    }
    out += indent + "}\n";
    return;
  }
  if (subset.loops && depth > 0 && loopDepth < (subset.jumps ? 2 : 1) && roll < 25) {
    const std::string counter = "i" + std::to_string(loopDepth);
    out += indent + "for (uint8_t " + counter + " = 0; " + counter + " < " +
           std::to_string(1 + Pick(loopDepth == 0 ? kInputs : 3)) + "; " + counter + "++) {\n";
    ++loopDepth;
    out += indent + "  mem[" + Hex(kOutputBase + 8 * (loopDepth - 1)) + " + " + counter + "] += " + Wrapping(2) + ";\n";
    // The counter is a constant in each trip: a comparison with it is one
    // with a new constant each time.
    if (subset.ordering && Chance(50)) {
      static const char* const kOrderings[] = {" < ", " <= ", " > ", " >= "};
      const std::string other = Byte(1);
      const bool counterFirst = Chance(50);
      out += indent + "  if (" + (counterFirst ? counter : other) + kOrderings[Pick(4)] +
             (counterFirst ? other : counter) + ") " + Target() + " += " + Wrapping(1) + ";\n";
    }
    const int statements = subset.jumps ? 1 + Pick(3) : 1;
    for (int s = 0; s < statements; ++s) Statement(depth - 1, out, indent + "  ");
    --loopDepth;
    out += indent + "}\n";
    return;
  }
  if (subset.jumps && subset.compare && loopDepth > 0 && roll < 33) {
    out += indent + "if (" + Condition(1) + ") " + (Chance(50) ? "break;\n" : "continue;\n");
    return;
  }
  if (subset.earlyReturn && subset.compare && (loopDepth == 0 || subset.jumps) && roll < 38) {
    const bool value = inFunction >= 0 && returnsValue[static_cast<std::size_t>(inFunction)];
    out += indent + "if (" + Condition(1) + ") return" + (value ? " " + Wrapping(2) : "") + ";\n";
    return;
  }
  if (functionCount > 0 && inFunction < 0 && loopDepth == 0 && roll < 45) {  // inlined: kept out of loops
    out += indent + CallStatement() + "\n";
    return;
  }
  if (roll < 60) {
    out += indent + "mem[" + Hex(kOutputBase + Pick(kOutputs)) + "] = " + Wrapping(3) + ";\n";
    return;
  }
  static const char* const kCompound[] = {" += ", " -= ", " &= ", " |= ", " ^= "};
  out += indent + Target() + (roll < 80 ? " = " : kCompound[Pick(subset.bitwise ? 5 : 2)]) + Wrapping(3) + ";\n";
}

std::string CcProgramGenerator::Program(const std::string& programTag) {
  tag = programTag;
  std::string out = "#include <mirvo.h>\n\n";
  if (subset.globals) {
    for (int g = 0; g < kGlobals; ++g) {
      out += "uint8_t " + tag + "_g" + std::to_string(g) + " = " + std::to_string(Pick(256)) + ";\n";
    }
    out += "\n";
  }
  functionCount = 0;
  returnsValue.clear();
  if (subset.functions) {
    for (int f = Pick(kMaxFunctions + 1); f > 0; --f) {
      returnsValue.push_back(Chance(50));
      out += FunctionDefinition(functionCount, returnsValue.back());
      ++functionCount;
    }
  }
  out += "void main(void) {\n";
  for (int l = 0; l < kLocals; ++l) {
    out += "  uint8_t l" + std::to_string(l) + " = " +
           (Chance(50) ? std::to_string(Pick(256)) : "mem[" + Hex(kInputBase + Pick(kInputs)) + "]") + ";\n";
  }
  const int statements = 1 + Pick(kStatements);
  for (int s = 0; s < statements; ++s) Statement(2, out, "  ");
  // Every variable reaches memory, so that a wrong value shows.
  for (int l = 0; l < kLocals; ++l) out += "  mem[" + Hex(kOutputBase + 0x10 + l) + "] = l" + std::to_string(l) + ";\n";
  if (subset.globals) {
    for (int g = 0; g < kGlobals; ++g) {
      out += "  mem[" + Hex(kOutputBase + 0x18 + g) + "] = " + tag + "_g" + std::to_string(g) + ";\n";
    }
  }
  out += "}\n";
  return out;
}

}  // namespace mirvo::test
