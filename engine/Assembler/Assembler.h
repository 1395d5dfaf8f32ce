#pragma once
// Turns an assembly source into a program image: reads statements, encodes
// each into instruction bytes (at most 64 KiB, held as they grow, so that an
// assembly costs what its source holds), and reports what went wrong as
// diagnostics. It prints nothing and touches no file.

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "CheckTable.h"
#include "Diagnostic.h"
#include "InstructionSet.h"
#include "SourceReader.h"

namespace mirvo {

// The kind of an operand token. A number and "Mem" are one kind: where a
// register is expected, both mean the memory operand.
enum OperandKind : int {
  Register = 0,           // exactly one character
  MemoryOrImmediate = 1,  // "Mem" in any case, or two or more characters ending in a lower-case h
  Invalid = 2,            // anything else
};

// How much Assemble does beyond the bytes.
struct AssemblyOptions {
  bool keepGoing = false;         // go on after an error and collect every diagnostic
  bool recordStatements = false;  // keep a StatementRecord for each statement
  bool reportWarnings = false;    // keep warnings as well as errors
  // For texts from editors, opened as text: a UTF-8 byte-order mark is
  // skipped (a warning; line 1's columns still count its bytes), and a text
  // in UTF-16 is refused whole.
  bool readTextMark = false;

  // What every front end but the three programs asks for (mirvo, the page,
  // the language server): every diagnostic, warnings included, where each
  // statement went, and the text's mark read.
  static constexpr AssemblyOptions Full() {
    return {.keepGoing = true, .recordStatements = true, .reportWarnings = true, .readTextMark = true};
  }
  // A submission's: the first error ends it, since a program with an error
  // scores nothing and its reports name that error alone; a source of
  // millions of errors then costs one diagnostic, not gigabytes. Statements
  // are still recorded, for the run-time checks.
  static constexpr AssemblyOptions Submission() {
    return {.keepGoing = false, .recordStatements = true, .reportWarnings = false, .readTextMark = true};
  }
};

// Where one statement went: its place in the source, its address, its bytes.
struct StatementRecord {
  std::int32_t line;
  std::int32_t column;  // of the mnemonic
  std::uint16_t address;
  std::uint8_t length;  // 1 or 2
  std::uint8_t bytes[2];
  CheckMask allowed;  // the checks its line's allow comment names
};

// The statement of statements (in address order) whose bytes cover
// address, or null.
const StatementRecord* StatementCovering(const std::vector<StatementRecord>& statements, std::uint16_t address);

class Assembler {
 public:
  Assembler();
  Assembler(const Assembler&) = delete;
  Assembler& operator=(const Assembler&) = delete;

  // Reads the source from the size bytes at text, which must outlive Assemble.
  void Open(const char* text, std::size_t size);
  // Reads the source through read(context, ...), e.g. a FileSource.
  void Open(SourceReader::ReadFunction read, void* context);
  // Encodes every statement. 0 on success; 1 on failure: an error diagnostic
  // (the first one stops the run unless options.keepGoing), or a source that
  // could not be read (HasReadError), or no source opened.
  int Assemble(const AssemblyOptions& options = {});
  bool HasReadError() const { return reader && reader->HasReadError(); }

  // Errors (and warnings, if asked for) in source order.
  const std::vector<Diagnostic>& GetDiagnostics() const { return diagnostics; }
  std::size_t GetErrorCount() const { return errorCount; }
  // The first error, or null.
  const Diagnostic* FirstError() const;
  // In address order, when options.recordStatements was set.
  const std::vector<StatementRecord>& GetStatements() const { return statements; }

  // The bytes encoded: GetLength() of them.
  std::span<const std::uint8_t> GetImage() const { return image; }
  std::uint32_t GetLength() const { return length; }

  // The operation of a mnemonic of the given length, in any letter case, or
  // kUndefined. token must have four readable bytes (a statement's slot has).
  static Operation FindOperation(const char* token, std::size_t length);

 private:
  // Appends the bytes of one statement, as its row of the instruction table
  // says; 0 on success. On failure nothing is emitted, 1 is returned and an
  // error diagnostic is added.
  int EncodeStatement(const Statement& statement);
  // The same for a statement whose mnemonic is known: each operation's row
  // is read at compile time.
  template <Operation kOperation>
  int Encode(const Statement& statement);
  OperandKind ClassifyOperand(const Statement& statement, int index) const;
  // The register code an operand stands for (6 for "Mem" and h-numbers), or
  // -1 after an error diagnostic for an operand the statement cannot take.
  int OperandCode(const Statement& statement, int index);
  // The byte of an immediate operand; 1 after an error diagnostic if it is
  // no number from -80h to FFh.
  int ImmediateOperand(const Statement& statement, int index, std::uint8_t& value);
  // A diagnostic about token index of statement, which is there (or about
  // the ignored tokens for index kStatementTokens). Returns 1, for the
  // encoder's failure paths.
  int Report(DiagnosticKind kind, const Statement& statement, int index);
  // Warnings of a statement that encoded.
  void CheckWarnings(const Statement& statement);
  // Adds the registers the statement names where a register stands to
  // usedRegisters, for the fixes that need a register the program leaves free.
  void NoteRegisters(const Statement& statement);
  // Warnings about the whole program, once every statement is read.
  void CheckProgramWarnings();
  void EmitByte(std::uint8_t value) {
    image.push_back(value);
    ++length;
  }

  // Reads the mark at the start of a text opened as text: 0, or 1 when
  // nothing more is to be read (UTF-16).
  int ReadTextMark();

  std::unique_ptr<SourceReader> reader;
  std::int32_t markLength = 0;  // the bytes of a skipped mark, on line 1
  // The text of a source opened as text (its comments are read for allow
  // comments), else null.
  const char* sourceText = nullptr;
  std::size_t sourceSize = 0;
  Allowances allowances;
  // The last statement read: its mnemonic's place and its operation
  // (kUndefined when it failed to encode).
  std::int32_t lastLine = 0;
  TokenPlace lastPlace{0, 0};
  Operation lastOperation = Operation::kUndefined;
  std::vector<std::uint8_t> image;
  std::uint32_t length;
  bool tooLarge = false;  // the statement that passed the end of memory was reported
  AssemblyOptions options;
  std::int32_t currentLine = 0;
  Operation currentOperation = Operation::kUndefined;
  std::vector<Diagnostic> diagnostics;
  std::size_t errorCount = 0;
  std::uint8_t usedRegisters = 0;  // a bit per register code, when warnings are kept
  std::vector<StatementRecord> statements;
};

enum class ImmediateStatus { kValid, kNotANumber, kOutOfRange };

// How a number is written: an optional sign, an optional 0x (or 0X), one or
// more hexadecimal digits in either case and a final lower-case h. Written
// as a regular expression (ECMAScript) for a front end that reads numbers
// without running the engine, the page's highlighter and address boxes: its
// first group is the sign, its third the digits. ReadImmediate reads exactly
// the tokens it matches, and the tests hold the two together.
inline constexpr const char* kNumberPattern = "^([-+]?)(0[xX])?([0-9A-Fa-f]+)h$";

// Reads an MVI immediate, a number as above with a value from -80h to FFh.
// kValid and the byte (two's complement for a negative value), or why not.
ImmediateStatus ReadImmediate(const char* token, std::uint8_t& value);

// Reads a number as above, of any size: true with its sign and magnitude,
// which stops growing once past kNumberCeiling (beyond every range there
// is), or false for a token that is no number.
inline constexpr std::uint32_t kNumberCeiling = 0x10000;
bool ReadNumber(const char* token, bool& negative, std::uint32_t& magnitude);

}  // namespace mirvo
