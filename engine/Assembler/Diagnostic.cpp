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
  }
  return "unknown";
}

}  // namespace mirvo
