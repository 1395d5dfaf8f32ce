#include "Diagnostic.h"

#include <cctype>
#include <cstring>
#include <vector>

#include "CheckTable.h"
#include "TextEncoding.h"
#include "Words.h"

namespace mirvo {

namespace {

// Where the numbers of the language lie.
constexpr const char* kNumberRange = "run from -80h to 0FFh";

const char* const kCountWords[] = {"no operand", "one operand", "two operands", "three operands"};
const char* const kNumberWords[] = {"none", "one", "two", "three"};

std::string Mnemonics() {
  std::vector<std::string_view> names;
  for (const InstructionRow& row : kInstructionTable) names.push_back(row.mnemonic);
  return ListedInWords(names);
}

// The registers of a statement, A first: "A, B, C, D, E, H and L".
std::string Registers(std::string_view last) {
  std::vector<std::string_view> names;
  for (const NamedSlot& reg : kRegisterReportOrder) names.push_back(reg.name);
  return ListedInWords(names, last);
}

bool IsHexDigit(char ch) { return std::isxdigit(static_cast<unsigned char>(ch)) != 0; }

// True when every character of text is a hexadecimal digit (after a sign).
bool AllHexDigits(const char* text) {
  if (*text == '+' || *text == '-') ++text;
  if (*text == '\0') return false;
  for (; *text != '\0'; ++text) {
    if (!IsHexDigit(*text)) return false;
  }
  return true;
}

std::string Quoted(const char* token) { return std::string("'") + token + "'"; }

// Why a one-character operand is no register, and what was probably meant.
std::string NotARegister(const Diagnostic& d) {
  const std::string quoted = Quoted(d.token);
  switch (d.reading) {
    case TokenReading::kMemLetter:
      return quoted + " is not a register: the memory operand is written Mem";
    case TokenReading::kLowerCaseRegister:
      return quoted + " is not a register: register letters are upper case, write " +
             std::string(1, static_cast<char>(std::toupper(static_cast<unsigned char>(d.token[0]))));
    case TokenReading::kDigit:
      return quoted + " is not a register: a number needs a lower-case h at its end (" + d.token + "h)";
    default:
      return quoted + " is not a register: the registers are " + Registers(" and ") + ", and " + kRegisterNames[kRegM] +
             " is the memory operand";
  }
}

// Why an immediate operand is not a number.
std::string NotANumber(const char* mnemonic, const Diagnostic& d) {
  const char* const token = d.token;
  const std::string quoted = Quoted(token);
  switch (d.reading) {
    case TokenReading::kDigitsWithoutH:
    case TokenReading::kUpperCaseH:
      return DescribeNumberSlip(token, 0xFF, kNumberRange);
    case TokenReading::kRegister:
      return std::string(mnemonic) + " loads a number, not the register " + quoted + ": write a number such as 5h";
    case TokenReading::kMem:
      return std::string(mnemonic) + " loads a number, not Mem: write a number such as 5h";
    case TokenReading::kDigitsThenOther:
      return quoted + " is not a number: numbers are hexadecimal digits with a lower-case h at the end, such as 0Fh";
    default:
      return quoted + " is not a number: numbers are hexadecimal with a lower-case h at the end, such as 0Fh or -1h";
  }
}

// The words of a C program's mistakes: what the machine cannot do, and
// what to write instead.
std::string DescribeCDiagnostic(const Diagnostic& d) {
  const std::string quoted = Quoted(d.token);
  switch (d.kind) {
    case DiagnosticKind::kCSyntax:
      return "expected " + d.detail + " before " + quoted;
    case DiagnosticKind::kCUndeclared:
      return quoted + " is not declared: declare it before its use, as in unsigned char " + d.token + ";";
    case DiagnosticKind::kCRedeclared:
      return quoted + " is declared twice in the same block: give the second one another name";
    case DiagnosticKind::kCWideType:
      return quoted +
             " is not a type of this machine, whose values are unsigned bytes: write unsigned char, "
             "uint8_t or bool";
    case DiagnosticKind::kCPointer:
      return "pointers are not supported: the machine's memory is mem, index it as mem[0x1000] or use an array";
    case DiagnosticKind::kCStruct:
      return quoted + " is not supported: use separate variables or arrays of bytes";
    case DiagnosticKind::kCString:
      return "strings are not supported: the machine has no output; store bytes in mem or an array";
    case DiagnosticKind::kCFloat:
      return quoted + " is floating point, which this machine has not: use bytes (unsigned char)";
    case DiagnosticKind::kCGoto:
      return "goto is not supported: this machine has no jump; use if, or a loop with a known bound";
    case DiagnosticKind::kCUnboundedLoop:
      return "this machine has no jump: a loop must have a bound the compiler can unroll, such as "
             "for (i = 0; i < 10; i++)";
    case DiagnosticKind::kCLibraryCall:
      return quoted +
             " is not a function of this program: the machine has no library; define the function "
             "in the file";
    case DiagnosticKind::kCRecursion:
      return quoted +
             " calls itself: functions are inlined, since the machine has no call; write it as a "
             "loop with a known bound";
    case DiagnosticKind::kCWideResult:
      return "'" + d.detail + "' may need more than a byte here, as C computes in int: write (unsigned char)(" +
             d.detail + ") if its low byte was meant";
    case DiagnosticKind::kCUnsupported:
      return d.detail + " is not supported by this compiler";
    case DiagnosticKind::kCUnknownInclude:
      return quoted + " is not known: the compiler knows <mirvo.h>, <stdint.h> and <stdbool.h>";
    case DiagnosticKind::kCNoMain:
      return "the program has no main: write void main(void) { ... }";
    case DiagnosticKind::kCConstAssigned:
      return quoted + " is const and cannot be assigned: drop const from its declaration";
    case DiagnosticKind::kCNotConstant:
      return quoted + " is not a constant the compiler can know: write a number or a const byte";
    case DiagnosticKind::kCCodeOverlap:
      return "the program's code (" + d.detail + " bytes) grows over address " + d.token +
             ", which the program names: name an address above the code";
    case DiagnosticKind::kCTooDeep:
      return "nesting this deep is not read: split the expression or block into steps";
    default:
      return "unknown diagnostic";
  }
}

}  // namespace

std::string DescribeNumberSlip(const char* token, std::uint32_t highest, const char* range) {
  const std::string quoted = Quoted(token);
  switch (ReadMistake(DiagnosticKind::kImmediateNotANumber, token)) {
    case TokenReading::kDigitsWithoutH: {
      // Digits alone may have been meant as decimal: say which the language reads.
      const NumberReadings readings = ReadNumberWithoutH(token, highest);
      const std::string hexadecimal = quoted + " is not a number: numbers are hexadecimal and end in a lower-case h";
      const std::string decimal = std::string("decimal ") + token + " is " + readings.decimal;
      if (!readings.decimal.empty() && !readings.hexadecimal.empty()) {
        return hexadecimal + ", as in " + readings.hexadecimal + "; " + decimal;
      }
      if (!readings.decimal.empty()) return hexadecimal + "; " + decimal;
      if (readings.hexadecimal.empty()) return hexadecimal + " and " + range;
      return quoted + " is not a number: numbers end in a lower-case h, as in " + token + "h";
    }
    case TokenReading::kUpperCaseH:
      return quoted + " is not a number: the h at its end must be lower case, as in " +
             std::string(token, std::strlen(token) - 1) + "h";
    default:
      return "";
  }
}

TokenReading ReadMistake(DiagnosticKind kind, const char* token) {
  const std::size_t n = std::strlen(token);
  if (kind == DiagnosticKind::kNotARegister && n > 0) {
    const char letter = token[0];
    if (letter == 'M' || letter == 'm') return TokenReading::kMemLetter;
    const auto upper = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
    if (upper != letter && RegisterCodeOfLetter(upper) >= 0) return TokenReading::kLowerCaseRegister;
    if (IsHexDigit(letter)) return TokenReading::kDigit;
  }
  if (kind == DiagnosticKind::kImmediateNotANumber && n > 0) {
    if (AllHexDigits(token)) return TokenReading::kDigitsWithoutH;
    if (n > 1 && token[n - 1] == 'H' && AllHexDigits(std::string(token, n - 1).c_str())) {
      return TokenReading::kUpperCaseH;
    }
    if (n == 1 && RegisterCodeOfLetter(token[0]) >= 0) return TokenReading::kRegister;
    if (IsMemWord(token)) return TokenReading::kMem;
    if (token[0] >= '0' && token[0] <= '9' && !IsHexDigit(token[n - 1])) return TokenReading::kDigitsThenOther;
  }
  return TokenReading::kPlain;
}

std::string DescribeDiagnostic(const Diagnostic& d) {
  // The kinds that do not depend on the statement's mnemonic.
  switch (d.kind) {
    case DiagnosticKind::kUnknownMnemonic:
      return Quoted(d.token) + " is not an instruction: the instructions are " + Mnemonics();
    case DiagnosticKind::kNotARegister:
      return NotARegister(d);
    case DiagnosticKind::kImmediateOutOfRange:
      return Quoted(d.token) + " does not fit in a byte: numbers " + kNumberRange;
    case DiagnosticKind::kProgramTooLarge:
      return "the program does not fit in the 65536 bytes of memory";
    case DiagnosticKind::kUnknownCheckName:
      return Quoted(d.token) + " is not a check: the checks are " + CheckNamesInWords();
    case DiagnosticKind::kUtf16Text:
      return kUtf16Error;
    case DiagnosticKind::kByteOrderMark:
      return kByteOrderMarkWarning;
    default:
      break;
  }
  if (d.kind >= DiagnosticKind::kCSyntax && d.kind <= DiagnosticKind::kCTooDeep) return DescribeCDiagnostic(d);
  if (d.operation == Operation::kUndefined) return "unknown diagnostic";
  const InstructionRow& row = RowOf(d.operation);
  const char* const mnemonic = row.mnemonic;
  switch (d.kind) {
    case DiagnosticKind::kWrongOperandCount: {
      const auto got = static_cast<std::size_t>(d.operandCount);
      return std::string(mnemonic) + " takes " + kCountWords[row.operandCount] + " and got " +
             (got < 4 ? std::string(kNumberWords[got]) : std::to_string(got));
    }
    case DiagnosticKind::kWrongOperandKind:
      return Quoted(d.token) + " is not an operand of " + mnemonic + ": use a register letter (" + Registers(", ") +
             ") or " + kRegisterNames[kRegM];
    case DiagnosticKind::kImmediateNotANumber:
      return NotANumber(mnemonic, d);
    case DiagnosticKind::kNumberReadAsMemory:
      return Quoted(d.token) + " is read as Mem, the byte at address HL: a number cannot stand where " + mnemonic +
             " expects a register";
    case DiagnosticKind::kIgnoredTokens:
      return std::string("the rest of the line is ignored: ") + mnemonic + " takes " + kCountWords[row.operandCount];
    case DiagnosticKind::kMemoryToMemory:
      return std::string(mnemonic) + " Mem, Mem copies the byte at HL onto itself and changes nothing visible";
    case DiagnosticKind::kNoFinalRet:
      return std::string("the program ends with ") + mnemonic + ", not " + RowOf(Operation::kRet).mnemonic +
             ": the machine will run on past its end";
    default:
      break;
  }
  return "unknown diagnostic";
}

}  // namespace mirvo

namespace mirvo {

namespace {

// The codes of a C program's mistakes, all starting c-.
const char* CDiagnosticCode(DiagnosticKind kind) {
  switch (kind) {
    case DiagnosticKind::kCSyntax:
      return "c-syntax";
    case DiagnosticKind::kCUndeclared:
      return "c-undeclared";
    case DiagnosticKind::kCRedeclared:
      return "c-redeclared";
    case DiagnosticKind::kCWideType:
      return "c-wide-type";
    case DiagnosticKind::kCPointer:
      return "c-pointer";
    case DiagnosticKind::kCStruct:
      return "c-struct";
    case DiagnosticKind::kCString:
      return "c-string";
    case DiagnosticKind::kCFloat:
      return "c-float";
    case DiagnosticKind::kCGoto:
      return "c-goto";
    case DiagnosticKind::kCUnboundedLoop:
      return "c-unbounded-loop";
    case DiagnosticKind::kCLibraryCall:
      return "c-library-call";
    case DiagnosticKind::kCRecursion:
      return "c-recursion";
    case DiagnosticKind::kCWideResult:
      return "c-wide-result";
    case DiagnosticKind::kCUnsupported:
      return "c-unsupported";
    case DiagnosticKind::kCUnknownInclude:
      return "c-unknown-include";
    case DiagnosticKind::kCNoMain:
      return "c-no-main";
    case DiagnosticKind::kCConstAssigned:
      return "c-const-assigned";
    case DiagnosticKind::kCNotConstant:
      return "c-not-constant";
    case DiagnosticKind::kCCodeOverlap:
      return "c-code-overlap";
    case DiagnosticKind::kCTooDeep:
      return "c-too-deep";
    default:
      return "unknown";
  }
}

}  // namespace

const char* DiagnosticCode(DiagnosticKind kind) {
  switch (kind) {
    case DiagnosticKind::kUnknownMnemonic:
      return "unknown-mnemonic";
    case DiagnosticKind::kNotARegister:
      return "not-a-register";
    case DiagnosticKind::kWrongOperandCount:
      return "operand-count";
    case DiagnosticKind::kWrongOperandKind:
      return "operand-kind";
    case DiagnosticKind::kImmediateNotANumber:
      return "not-a-number";
    case DiagnosticKind::kImmediateOutOfRange:
      return "number-out-of-range";
    case DiagnosticKind::kProgramTooLarge:
      return "program-too-large";
    case DiagnosticKind::kNumberReadAsMemory:
      return "number-read-as-mem";
    case DiagnosticKind::kIgnoredTokens:
      return "ignored-operands";
    case DiagnosticKind::kMemoryToMemory:
      return "mem-to-mem";
    case DiagnosticKind::kNoFinalRet:
      // The run-time check it foretells, whose allow comment quiets it.
      return CheckRowOf(CheckId::kPastEnd).name;
    case DiagnosticKind::kUnknownCheckName:
      return "unknown-check";
    case DiagnosticKind::kUtf16Text:
      return "utf-16";
    case DiagnosticKind::kByteOrderMark:
      return "bom";
    default:
      return CDiagnosticCode(kind);
  }
  return "unknown";
}

}  // namespace mirvo
