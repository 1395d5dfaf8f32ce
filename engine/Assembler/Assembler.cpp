#include "Assembler.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <string>
#include <utility>

#include "TextEncoding.h"

namespace mirvo {

namespace {

// The value of a hexadecimal digit in either case, or -1.
constexpr std::array<std::int8_t, 256> kHexDigits = [] {
  std::array<std::int8_t, 256> table{};
  table.fill(-1);
  for (unsigned d = 0; d < 10; ++d) table['0' + d] = static_cast<std::int8_t>(d);
  for (unsigned d = 0; d < 6; ++d) {
    table['a' + d] = static_cast<std::int8_t>(10 + d);
    table['A' + d] = static_cast<std::int8_t>(10 + d);
  }
  return table;
}();

int HexDigit(char ch) { return kHexDigits[static_cast<unsigned char>(ch)]; }

// A mnemonic's three letters packed into one number, with the case bit
// (0x20) of each cleared where mnemonics ignore case (NameIgnoresCase), as
// they all do: one comparison a row. Clearing that bit maps no byte but a
// letter onto a capital letter.
constexpr std::size_t kMnemonicLength = 3;
constexpr std::uint32_t kMnemonicCaseMask = NameIgnoresCase(kInstructionTable[0].mnemonic) ? 0xDFDFDFU : 0xFFFFFFU;
static_assert(std::all_of(kInstructionTable.begin(), kInstructionTable.end(),
                          [](const InstructionRow& row) {
                            return std::char_traits<char>::length(row.mnemonic) == kMnemonicLength &&
                                   NameIgnoresCase(row.mnemonic) == NameIgnoresCase(kInstructionTable[0].mnemonic);
                          }),
              "every mnemonic has three letters, all matched the same way");

constexpr std::uint32_t PackMnemonic(const char* word) {
  return (static_cast<std::uint32_t>(static_cast<unsigned char>(word[0])) |
          static_cast<std::uint32_t>(static_cast<unsigned char>(word[1])) << 8 |
          static_cast<std::uint32_t>(static_cast<unsigned char>(word[2])) << 16) &
         kMnemonicCaseMask;
}

constexpr auto kPackedMnemonics = [] {
  std::array<std::uint32_t, kInstructionTable.size()> packed{};
  for (std::size_t i = 0; i < packed.size(); ++i) packed[i] = PackMnemonic(kInstructionTable[i].mnemonic);
  return packed;
}();

// ReadNumber's work, inline for the encoder.
inline bool ParseNumber(const char* token, bool& negative, std::uint32_t& magnitude) {
  const char* p = token;
  negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && HexDigit(p[2]) >= 0) p += 2;
  magnitude = 0;
  const char* const digits = p;
  for (int digit = HexDigit(*p); digit >= 0; digit = HexDigit(*++p)) {
    // Saturate: anything above kNumberCeiling is out of every range.
    magnitude = magnitude > kNumberCeiling ? magnitude : magnitude * 16 + static_cast<unsigned>(digit);
  }
  return p != digits && p[0] == 'h' && p[1] == '\0';
}

// ReadImmediate's work, inline for the encoder.
inline ImmediateStatus ParseImmediate(const char* token, std::uint8_t& value) {
  bool negative = false;
  std::uint32_t magnitude = 0;
  if (!ParseNumber(token, negative, magnitude)) return ImmediateStatus::kNotANumber;
  if (magnitude > (negative ? 0x80U : 0xFFU)) return ImmediateStatus::kOutOfRange;
  value = static_cast<std::uint8_t>(negative ? 0x100 - magnitude : magnitude);
  return ImmediateStatus::kValid;
}

}  // namespace

Operation Assembler::FindOperation(const char* token, std::size_t length) {
  if (length != kMnemonicLength) return Operation::kUndefined;
  const std::uint32_t word = PackMnemonic(token);
  for (std::size_t i = 0; i < kPackedMnemonics.size(); ++i) {
    if (word == kPackedMnemonics[i]) return OperationOfRow(i);
  }
  return Operation::kUndefined;
}

ImmediateStatus ReadImmediate(const char* token, std::uint8_t& value) { return ParseImmediate(token, value); }

bool ReadNumber(const char* token, bool& negative, std::uint32_t& magnitude) {
  return ParseNumber(token, negative, magnitude);
}

Assembler::Assembler() : length(0) {}

void Assembler::Open(const char* text, std::size_t size) {
  reader = std::make_unique<SourceReader>(text, size);
  sourceText = text;
  sourceSize = size;
}

void Assembler::Open(SourceReader::ReadFunction read, void* context) {
  reader = std::make_unique<SourceReader>(read, context);
  sourceText = nullptr;
  sourceSize = 0;
}

int Assembler::Assemble(const AssemblyOptions& assemblyOptions) {
  if (!reader) return 1;
  options = assemblyOptions;
  if (options.readTextMark && sourceText != nullptr && ReadTextMark() != 0) return 1;
  const bool extras = options.reportWarnings || options.recordStatements;
  if (extras && sourceText != nullptr) allowances = FindAllowances(sourceText, sourceSize);
  Statement args;
  for (;;) {
    reader->ReadStatement(&args);
    if (args.count < 1) break;
    currentLine = reader->GetLineNumber();
    if (markLength > 0 && currentLine == 1) {
      // The reader began after the mark: line 1's places count it again.
      for (std::int32_t i = 0; i < args.count; ++i) args.places[i].column += markLength;
      if (args.ignored.column != 0) args.ignored.column += markLength;
    }
    const std::uint32_t address = length;
    const int failed = EncodeStatement(args);
    if (options.reportWarnings) NoteRegisters(args);
    if (extras) {
      // A last statement in error says nothing of where the program ends.
      lastLine = currentLine;
      lastPlace = args.places[0];
      lastOperation = failed == 0 ? currentOperation : Operation::kUndefined;
    }
    if (failed != 0) {
      if (!options.keepGoing) break;
      continue;
    }
    if (options.reportWarnings) CheckWarnings(args);
    if (options.recordStatements) {
      StatementRecord record{currentLine,
                             args.places[0].column,
                             static_cast<std::uint16_t>(address),
                             static_cast<std::uint8_t>(length - address),
                             {image[address], 0},
                             allowances.lines.empty() ? CheckMask{0} : allowances.On(currentLine)};
      if (record.length > 1) record.bytes[1] = image[address + 1];
      statements.push_back(record);
    }
  }
  CompleteFixes(diagnostics, usedRegisters);
  if (reader->HasReadError()) return 1;
  if (options.reportWarnings) CheckProgramWarnings();
  return errorCount == 0 ? 0 : 1;
}

int Assembler::ReadTextMark() {
  const TextStart start = ReadTextStart(std::string_view(sourceText, sourceSize));
  if (start.mark == TextMark::kNone) return 0;
  Diagnostic diagnostic{};
  diagnostic.line = 1;
  diagnostic.column = 1;
  diagnostic.length = static_cast<std::int32_t>(start.length);
  diagnostic.operation = Operation::kUndefined;
  if (start.mark == TextMark::kUtf16) {
    // No column: no line of UTF-16 shows as text.
    diagnostic.kind = DiagnosticKind::kUtf16Text;
    diagnostic.column = 0;
    diagnostic.length = 0;
    diagnostics.push_back(std::move(diagnostic));
    ++errorCount;
    return 1;
  }
  markLength = static_cast<std::int32_t>(start.length);
  reader = std::make_unique<SourceReader>(sourceText + start.length, sourceSize - start.length);
  if (options.reportWarnings) {
    diagnostic.kind = DiagnosticKind::kByteOrderMark;
    diagnostic.fixes.push_back(Fix{1, 1, diagnostic.length, "", "remove the byte-order mark"});
    diagnostics.push_back(std::move(diagnostic));
  }
  return 0;
}

void Assembler::NoteRegisters(const Statement& statement) {
  if (currentOperation == Operation::kUndefined) return;
  const InstructionRow& row = RowOf(currentOperation);
  for (int index = 1; index <= row.operandCount && index < statement.count; ++index) {
    if (row.operands[static_cast<std::size_t>(index - 1)] == OperandShape::kImmediate) continue;
    const char* const token = statement.tokens[index];
    // Mem reads H and L (a number read as Mem is a slip, not a use of HL).
    if (IsMemWord(token)) {
      usedRegisters = static_cast<std::uint8_t>(usedRegisters | 1U << kRegH | 1U << kRegL);
      continue;
    }
    // A register letter in either case: a lower-case one is a slip for it.
    const int code = token[1] == '\0'
                         ? RegisterCodeOfLetter(static_cast<char>(std::toupper(static_cast<unsigned char>(token[0]))))
                         : -1;
    if (code >= 0) usedRegisters = static_cast<std::uint8_t>(usedRegisters | 1U << code);
  }
}

const Diagnostic* Assembler::FirstError() const {
  for (const Diagnostic& diagnostic : diagnostics) {
    if (SeverityOf(diagnostic.kind) == Severity::kError) return &diagnostic;
  }
  return nullptr;
}

const StatementRecord* StatementCovering(const std::vector<StatementRecord>& statements, std::uint16_t address) {
  const auto after = std::upper_bound(statements.begin(), statements.end(), address,
                                      [](std::uint16_t a, const StatementRecord& r) { return a < r.address; });
  if (after == statements.begin()) return nullptr;
  const StatementRecord& record = *(after - 1);
  return address < record.address + record.length ? &record : nullptr;
}

int Assembler::Report(DiagnosticKind kind, const Statement& statement, int index) {
  const bool error = SeverityOf(kind) == Severity::kError;
  if (error) ++errorCount;
  if (!error && !options.reportWarnings) return 1;
  Diagnostic diagnostic;
  diagnostic.kind = kind;
  diagnostic.line = currentLine;
  diagnostic.operation = currentOperation;
  diagnostic.operandCount = statement.count - 1;
  diagnostic.statementColumn = statement.places[0].column;
  diagnostic.token[0] = '\0';
  const bool ignored = index >= static_cast<int>(kStatementTokens);
  const TokenPlace place = ignored ? statement.ignored : statement.places[index];
  diagnostic.column = place.column;
  diagnostic.length = place.length;
  if (!ignored) std::memcpy(diagnostic.token, statement.tokens[index], std::strlen(statement.tokens[index]) + 1);
  diagnostic.reading = ReadMistake(kind, diagnostic.token);
  AddFixes(diagnostic, statement);
  diagnostics.push_back(std::move(diagnostic));
  return 1;
}

int Assembler::EncodeStatement(const Statement& statement) {
  currentOperation = FindOperation(statement.tokens[0], static_cast<std::size_t>(statement.places[0].length));
  switch (currentOperation) {
    case Operation::kMov:
      return Encode<Operation::kMov>(statement);
    case Operation::kMvi:
      return Encode<Operation::kMvi>(statement);
    case Operation::kAdd:
      return Encode<Operation::kAdd>(statement);
    case Operation::kCmp:
      return Encode<Operation::kCmp>(statement);
    case Operation::kRet:
      return Encode<Operation::kRet>(statement);
    case Operation::kUndefined:
      break;
  }
  return Report(DiagnosticKind::kUnknownMnemonic, statement, 0);
}

template <Operation kOperation>
int Assembler::Encode(const Statement& statement) {
  constexpr const InstructionRow& row = RowOf(kOperation);
  // Too few operands point at the mnemonic, too many at the first extra one.
  const int operands = statement.count - 1;
  if (operands < row.operandCount) return Report(DiagnosticKind::kWrongOperandCount, statement, 0);
  if (operands > row.operandCount) return Report(DiagnosticKind::kWrongOperandCount, statement, row.operandCount + 1);
  unsigned destination = 0;
  unsigned source = 0;
  std::uint8_t immediate = 0;
  // Every operand is read, so that each mistake of the line is reported.
  bool failed = false;
  for (int index = 1; index <= row.operandCount; ++index) {
    const OperandShape shape = row.operands[static_cast<std::size_t>(index - 1)];
    if (shape == OperandShape::kImmediate) {
      failed = ImmediateOperand(statement, index, immediate) != 0 || failed;
      continue;
    }
    const int code = OperandCode(statement, index);
    failed = code < 0 || failed;
    (shape == OperandShape::kDestination ? destination : source) = static_cast<unsigned>(code);
  }
  if (failed) return 1;
  if (length + row.length > kMemorySize) {
    // Said once: every statement after the first that does not fit would say the same.
    if (tooLarge) return 1;
    tooLarge = true;
    return Report(DiagnosticKind::kProgramTooLarge, statement, 0);
  }
  EmitByte(BuildOpcode(row, destination, source));
  // The immediate is the byte after the opcode.
  if (row.length > 1) EmitByte(immediate);
  return 0;
}

void Assembler::CheckWarnings(const Statement& statement) {
  const InstructionRow& row = RowOf(currentOperation);
  // A number where a register is expected is read as Mem.
  for (int index = 1; index <= row.operandCount; ++index) {
    if (row.operands[static_cast<std::size_t>(index - 1)] != OperandShape::kImmediate &&
        ClassifyOperand(statement, index) == MemoryOrImmediate && !IsMemWord(statement.tokens[index])) {
      Report(DiagnosticKind::kNumberReadAsMemory, statement, index);
    }
  }
  // Mem to Mem: MOV Mem, Mem.
  const Instruction emitted = kDecodeTable[image[length - row.length]];
  if (row.Takes(OperandShape::kDestination) && row.Takes(OperandShape::kSource) && emitted.destination == kRegM &&
      emitted.source == kRegM) {
    Report(DiagnosticKind::kMemoryToMemory, statement, 0);
  }
  if (statement.ignored.column != 0) Report(DiagnosticKind::kIgnoredTokens, statement, kStatementTokens);
}

void Assembler::CheckProgramWarnings() {
  const auto add = [this](DiagnosticKind kind, std::int32_t line, TokenPlace place, const char* token,
                          std::size_t size) {
    Diagnostic diagnostic{};
    diagnostic.kind = kind;
    diagnostic.line = line;
    diagnostic.column = place.column;
    diagnostic.length = place.length;
    diagnostic.operation = lastOperation;
    diagnostic.statementColumn = kind == DiagnosticKind::kNoFinalRet ? place.column : 0;
    const std::size_t n = std::min(size, kTokenSlotSize - 1);
    std::memcpy(diagnostic.token, token, n);
    diagnostic.token[n] = '\0';
    diagnostics.push_back(std::move(diagnostic));
  };
  const std::size_t before = diagnostics.size();
  for (const UnknownAllowance& word : allowances.unknown) {
    add(DiagnosticKind::kUnknownCheckName, word.line, {word.column, word.length}, sourceText + word.offset,
        static_cast<std::size_t>(word.length));
  }
  // A run goes on past a last statement that is not RET, unless the
  // statement says it means it.
  if (lastOperation != Operation::kUndefined && lastOperation != Operation::kRet &&
      (allowances.On(lastLine) & CheckBit(CheckId::kPastEnd)) == 0) {
    const char* const mnemonic = RowOf(lastOperation).mnemonic;
    add(DiagnosticKind::kNoFinalRet, lastLine, lastPlace, mnemonic, std::strlen(mnemonic));
  }
  // Keep the diagnostics in source order.
  if (diagnostics.size() > before) {
    std::stable_sort(diagnostics.begin(), diagnostics.end(),
                     [](const Diagnostic& a, const Diagnostic& b) { return a.line < b.line; });
  }
}

// The operand is there (the operand count was checked first), and the
// reader never makes an empty token.
inline OperandKind Assembler::ClassifyOperand(const Statement& statement, int index) const {
  const auto written = static_cast<std::size_t>(statement.places[index].length);
  // The length test comes first: a lone h or M is a register letter, which
  // RegisterCodeOfLetter then refuses.
  if (written == 1) return Register;
  // What the slot kept, of which the last character.
  const std::string_view token(statement.tokens[index], std::min(written, kTokenSlotSize - 1));
  if (token.back() == 'h') return MemoryOrImmediate;
  if (IsMemWord(token)) return MemoryOrImmediate;
  return Invalid;
}

inline int Assembler::OperandCode(const Statement& statement, int index) {
  switch (ClassifyOperand(statement, index)) {
    case Register: {
      const int code = RegisterCodeOfLetter(statement.tokens[index][0]);
      if (code < 0) Report(DiagnosticKind::kNotARegister, statement, index);
      return code;
    }
    case MemoryOrImmediate:
      return kRegM;
    case Invalid:
      break;
  }
  Report(DiagnosticKind::kWrongOperandKind, statement, index);
  return -1;
}

// A number ends in h, so it is of the kind MemoryOrImmediate; the parse
// refuses every other token as no number.
inline int Assembler::ImmediateOperand(const Statement& statement, int index, std::uint8_t& value) {
  switch (ParseImmediate(statement.tokens[index], value)) {
    case ImmediateStatus::kValid:
      return 0;
    case ImmediateStatus::kNotANumber:
      break;
    case ImmediateStatus::kOutOfRange:
      return Report(DiagnosticKind::kImmediateOutOfRange, statement, index);
  }
  return Report(DiagnosticKind::kImmediateNotANumber, statement, index);
}

}  // namespace mirvo
