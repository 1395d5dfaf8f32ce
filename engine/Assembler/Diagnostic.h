#pragma once
// What the assembler found wrong, or suspicious, in a statement, as data:
// the kind, where it stands, and the token. Each front end decides how to
// show it; DescribeDiagnostic gives the words a learner reads.

#include <cstddef>
#include <cstdint>
#include <string>

#include <vector>

#include "DiagnosticFix.h"
#include "InstructionSet.h"
#include "SourceReader.h"

namespace mirvo {

enum class DiagnosticKind : std::uint8_t {
  // Errors: the statement emits nothing.
  kUnknownMnemonic,      // token 0 is none of MOV, MVI, ADD, CMP, RET
  kNotARegister,         // a one-character operand that is no register letter
  kWrongOperandCount,    // too few or too many operands for the mnemonic
  kWrongOperandKind,     // an operand that is neither a register, Mem nor an h-number
  kImmediateNotANumber,  // MVI's second operand is not a number with a trailing h
  kImmediateOutOfRange,  // ... or it lies outside -80h..FFh
  kProgramTooLarge,      // the statement's bytes would pass the 65536th
  kUtf16Text,            // the text starts with a UTF-16 mark (FF FE or FE FF): nothing is read
  // Errors of a C program (mirvo cc); detail holds what the words need
  // besides the token.
  kCSyntax,          // detail: what was expected
  kCUndeclared,      // a name used before any declaration of it
  kCRedeclared,      // a name declared twice in one scope
  kCWideType,        // int, long, signed, char, short: wider or signed values
  kCPointer,         // a pointer other than mem
  kCStruct,          // struct, union, enum
  kCString,          // a string literal
  kCFloat,           // float, double or a floating constant
  kCGoto,            // goto
  kCUnboundedLoop,   // a loop whose trip count the compiler cannot know
  kCLibraryCall,     // a call of a function the program does not define
  kCRecursion,       // a function that calls itself, directly or not
  kCWideResult,      // detail: the expression whose value may need more than a byte
  kCUnsupported,     // detail: the construct this compiler does not take
  kCUnknownInclude,  // an #include of a header the compiler does not know
  kCNoMain,          // no main function
  kCConstAssigned,   // an assignment to a const
  kCNotConstant,     // an array size or initialiser that is no constant
  kCCodeOverlap,     // detail: the code's size; token: the address named
  kCTooDeep,         // nesting deeper than the compiler reads
  // Warnings: the statement assembles, but probably not as meant.
  kNumberReadAsMemory,  // an h-number where a register is expected: read as Mem
  kIgnoredTokens,       // tokens after the last operand, ignored
  kMemoryToMemory,      // MOV Mem, Mem: does nothing visible
  kNoFinalRet,          // the last statement is not RET: a run goes on past the end
  kUnknownCheckName,    // a word after "mirvo: allow" that names no check
  kByteOrderMark,       // the text starts with a UTF-8 byte-order mark, which is skipped
};

enum class Severity : std::uint8_t { kError, kWarning };

constexpr Severity SeverityOf(DiagnosticKind kind) {
  return kind >= DiagnosticKind::kNumberReadAsMemory ? Severity::kWarning : Severity::kError;
}
// "error" or "warning", as reports name a severity.
constexpr const char* SeverityName(Severity severity) { return severity == Severity::kError ? "error" : "warning"; }

// What a mistaken token probably meant, read once where the assembler finds
// it: the message, the fixes and the editor's hover text all follow from it.
enum class TokenReading : std::uint8_t {
  kPlain,              // nothing more to say than the kind says
  kMemLetter,          // M or m where Mem was meant
  kLowerCaseRegister,  // b for the register B
  kDigit,              // 5 where a register stands: a number without its h
  kDigitsWithoutH,     // 10, 0FF: hexadecimal digits without the final h
  kUpperCaseH,         // 20H: the h must be lower case
  kRegister,           // a register letter where a number is loaded
  kMem,                // Mem where a number is loaded
  kDigitsThenOther,    // 1g: starts as a number, ends in no digit
};

// The reading of token, the token of a diagnostic of kind.
TokenReading ReadMistake(DiagnosticKind kind, const char* token);

struct Diagnostic {
  DiagnosticKind kind;
  std::int32_t line;             // 1-based physical line
  std::int32_t column;           // 1-based byte column of the token (0: no place known)
  std::int32_t length;           // the token's length in bytes
  Operation operation;           // the statement's mnemonic (kUndefined when unknown)
  std::int32_t operandCount;     // operands written, the ignored ones not counted
  std::int32_t statementColumn;  // 1-based byte column of the statement's mnemonic
  char token[kTokenSlotSize];
  std::vector<Fix> fixes;                       // what the learner probably meant; several are alternatives
  TokenReading reading = TokenReading::kPlain;  // what the token probably meant
  std::string detail;                           // a C diagnostic's words beyond the token (empty otherwise)
};

// How many of an assembly's diagnostics a front end shows (the page, the
// language server): the first ones are what a learner fixes first, and tens
// of thousands would only slow the page and the editor down.
inline constexpr std::size_t kShownDiagnostics = 500;

// The message in words: it names the token and the rule, for example
// "'5' is not a number: numbers end in a lower-case h, as in 5h".
std::string DescribeDiagnostic(const Diagnostic& diagnostic);

// A short stable name of the kind, for editors and JSON: "not-a-register".
const char* DiagnosticCode(DiagnosticKind kind);

// Why token, digits without their h or a number with an upper-case H, is no
// number, as the assembler words it: "'10' is not a number: numbers are
// hexadecimal and end in a lower-case h, as in 10h; decimal 10 is 0Ah".
// The readings are those from 0 to highest (FFh: a byte, -80h included);
// range says where numbers lie ("run from -80h to 0FFh") when neither
// reading fits. Empty for any other token.
std::string DescribeNumberSlip(const char* token, std::uint32_t highest, const char* range);

}  // namespace mirvo
