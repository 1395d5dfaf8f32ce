#include "Assembler.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cctype>
#include <cstring>

namespace mirvo {

namespace {

// Compares text with word without regard to ASCII letter case, as
// strcasecmp does in the C locale. word holds letters only, so clearing the
// case bit (0x20) of both sides is enough.
bool EqualsIgnoringCase(const char* text, const char* word) {
  for (; *word != '\0'; ++text, ++word) {
    if ((*text & 0xDF) != (*word & 0xDF)) return false;
  }
  return *text == '\0';
}

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

// The mnemonics as they are matched: the three letters of each, with the
// case bit cleared, packed into one word.
constexpr std::uint32_t PackUpper(const char* word) {
  return static_cast<std::uint32_t>(word[0] & 0xDF) | static_cast<std::uint32_t>(word[1] & 0xDF) << 8 |
         static_cast<std::uint32_t>(word[2] & 0xDF) << 16;
}

}  // namespace

// Every mnemonic is three letters: anything else matches none. Clearing the
// case bit maps no other byte onto a capital letter, so the packed compare
// is a case-insensitive compare of letters.
Operation Assembler::FindOperation(const char* token, std::size_t length) {
  static_assert([] {
    for (std::size_t operation = 1; operation < kMnemonics.size(); ++operation) {
      const char* const name = kMnemonics[operation];
      if (name[0] == '\0' || name[1] == '\0' || name[2] == '\0' || name[3] != '\0') return false;
    }
    return true;
  }(), "every mnemonic has three letters");
  if (length != 3) return Operation::kUndefined;
  // The slot holds at least four bytes: the three letters in one load.
  std::uint32_t word = 0;
  std::memcpy(&word, token, sizeof word);
  static_assert(std::endian::native == std::endian::little, "letters packed from the first byte up");
  switch (word & PackUpper("\xFF\xFF\xFF")) {
    case PackUpper(kMnemonics[static_cast<std::size_t>(Operation::kMov)]):
      return Operation::kMov;
    case PackUpper(kMnemonics[static_cast<std::size_t>(Operation::kMvi)]):
      return Operation::kMvi;
    case PackUpper(kMnemonics[static_cast<std::size_t>(Operation::kAdd)]):
      return Operation::kAdd;
    case PackUpper(kMnemonics[static_cast<std::size_t>(Operation::kCmp)]):
      return Operation::kCmp;
    case PackUpper(kMnemonics[static_cast<std::size_t>(Operation::kRet)]):
      return Operation::kRet;
    default:
      return Operation::kUndefined;
  }
}

// A statement from the reader places the whole of each token, of which its
// slot keeps at most 255 characters; any other is measured.
std::size_t Assembler::TokenLength(const Statement& statement, int index, bool placed) {
  const auto i = static_cast<std::size_t>(index);
  if (!placed) return std::strlen(statement.tokens[i]);
  return static_cast<std::size_t>(statement.places[i].length);
}

Assembler::Assembler() : image{}, length(0) {}

void Assembler::Open(const char* text, std::size_t size) { reader = std::make_unique<SourceReader>(text, size); }

void Assembler::Open(SourceReader::ReadFunction read, void* context) {
  reader = std::make_unique<SourceReader>(read, context);
}

int Assembler::Assemble(const AssemblyOptions& assemblyOptions) {
  if (!reader) return 1;
  options = assemblyOptions;
  // Locals: the loop stores image bytes, which the compiler must assume
  // could change any member it would otherwise read again.
  SourceReader& source = *reader;
  const AssemblyOptions chosen = assemblyOptions;
  // Anything to do for a statement beyond its bytes: one test in the loop.
  const bool extras = chosen.reportWarnings || chosen.recordStatements;
  Statement args;
  for (;;) {
    source.ReadStatement(&args);
    if (args.count < 1) break;
    currentLine = source.GetLineNumber();
    const std::uint32_t address = length;
    const int failed = Encode(args, true);
    if (chosen.reportWarnings) NoteRegisters(args);
    if (failed != 0) {
      if (!chosen.keepGoing) break;
      continue;
    }
    if (!extras) continue;
    if (chosen.reportWarnings) CheckWarnings(args);
    if (chosen.recordStatements) {
      StatementRecord record{currentLine, args.places[0].column, static_cast<std::uint16_t>(address),
                             static_cast<std::uint8_t>(length - address), {image[address], 0}};
      if (record.length > 1) record.bytes[1] = image[address + 1];
      statements.push_back(record);
    }
  }
  CompleteFixes(diagnostics, usedRegisters);
  if (reader->HasReadError()) return 1;
  return errorCount == 0 ? 0 : 1;
}

void Assembler::NoteRegisters(const Statement& statement) {
  if (currentOperation == Operation::kUndefined) return;
  const InstructionRow& row = RowOf(currentOperation);
  for (int index = 1; index <= row.operandCount && index < statement.count; ++index) {
    const OperandShape shape = row.operands[static_cast<std::size_t>(index - 1)];
    if (shape != OperandShape::kDestination && shape != OperandShape::kSource) continue;
    const char* const token = statement.tokens[index];
    // Mem reads H and L (a number read as Mem is a slip, not a use of HL).
    if (EqualsIgnoringCase(token, kRegisterNames[kRegM])) {
      usedRegisters = static_cast<std::uint8_t>(usedRegisters | 1U << kRegH | 1U << kRegL);
      continue;
    }
    // A register letter in either case: a lower-case one is a slip for it.
    const int code = token[1] == '\0' ? RegisterCodeOfLetter(static_cast<char>(std::toupper(static_cast<unsigned char>(token[0])))) : -1;
    if (code >= 0) usedRegisters = static_cast<std::uint8_t>(usedRegisters | 1U << code);
  }
}

const Diagnostic* Assembler::FirstError() const {
  for (const Diagnostic& diagnostic : diagnostics) {
    if (SeverityOf(diagnostic.kind) == Severity::kError) return &diagnostic;
  }
  return nullptr;
}

const StatementRecord* Assembler::StatementAt(std::uint16_t address) const {
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
  diagnostic.operandCount = statement.count > 0 ? statement.count - 1 : 0;
  diagnostic.token[0] = '\0';
  const bool ignored = index >= static_cast<int>(kStatementTokens);
  const TokenPlace place = ignored ? statement.ignored : index < statement.count ? statement.places[index] : TokenPlace{0, 0};
  diagnostic.column = place.column;
  diagnostic.length = place.length;
  diagnostic.statementColumn = statement.count > 0 ? statement.places[0].column : 0;
  if (!ignored && index < statement.count) {
    std::memcpy(diagnostic.token, statement.tokens[index], std::strlen(statement.tokens[index]) + 1);
  }
  AddFixes(diagnostic, statement);
  diagnostics.push_back(std::move(diagnostic));
  return 1;
}

int Assembler::EncodeStatement(const Statement& statement) {
  const int result = Encode(statement, false);
  if (result == 0 && options.reportWarnings && statement.count > 0) CheckWarnings(statement);
  return result;
}

int Assembler::Encode(const Statement& statement, bool placed) {
  if (statement.count < 1) {
    currentOperation = Operation::kUndefined;
    return 0;
  }
  currentOperation = FindOperation(statement.tokens[0], TokenLength(statement, 0, placed));
  switch (currentOperation) {
    case Operation::kMov:
      return EncodeMov(statement, placed);
    case Operation::kMvi:
      return EncodeMvi(statement, placed);
    case Operation::kAdd:
      return EncodeSingleOperand(statement, placed, AddOpcode);
    case Operation::kCmp:
      return EncodeSingleOperand(statement, placed, CmpOpcode);
    case Operation::kRet:
      return EncodeRet(statement, placed);
    case Operation::kUndefined:
      break;
  }
  return Report(DiagnosticKind::kUnknownMnemonic, statement, 0);
}

void Assembler::CheckWarnings(const Statement& statement) {
  // Operands where a register is expected: both of MOV, the first of MVI,
  // the one of ADD and CMP.
  const int registerOperands = currentOperation == Operation::kMov ? 2 : currentOperation == Operation::kRet ? 0 : 1;
  for (int index = 1; index <= registerOperands; ++index) {
    if (ClassifyOperand(statement, index) == MemoryOrImmediate &&
        !EqualsIgnoringCase(statement.tokens[index], kRegisterNames[kRegM])) {
      Report(DiagnosticKind::kNumberReadAsMemory, statement, index);
    }
  }
  if (currentOperation == Operation::kMov && image[length - 1] == MovOpcode(kRegM, kRegM)) {
    Report(DiagnosticKind::kMemoryToMemory, statement, 0);
  }
  if (statement.ignored.column != 0) Report(DiagnosticKind::kIgnoredTokens, statement, kStatementTokens);
}

OperandKind Assembler::ClassifyOperand(const Statement& statement, int index) const {
  if (index < 0 || index >= statement.count) return Invalid;
  return ClassifyToken(statement.tokens[index], std::strlen(statement.tokens[index]));
}

OperandKind Assembler::ClassifyToken(const char* token, std::size_t length) {
  // The length test comes first: a lone h or M is a register letter, which
  // RegisterCode then refuses.
  if (length == 1) return Register;
  if (length == 0) return Invalid;
  // The last character the slot kept.
  if (token[std::min(length, kTokenSlotSize - 1) - 1] == 'h') return MemoryOrImmediate;
  if (EqualsIgnoringCase(token, kRegisterNames[kRegM])) return MemoryOrImmediate;
  return Invalid;
}

int Assembler::RegisterCode(char letter) const { return RegisterCodeOfLetter(letter); }

int Assembler::OperandCode(const Statement& statement, bool placed, int index) {
  const OperandKind kind =
      index < statement.count ? ClassifyToken(statement.tokens[index], TokenLength(statement, index, placed)) : Invalid;
  switch (kind) {
    case Register: {
      const int code = RegisterCode(statement.tokens[index][0]);
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

int Assembler::Reserve(const Statement& statement, std::uint32_t count) {
  if (length + count > image.size()) return Report(DiagnosticKind::kProgramTooLarge, statement, 0);
  return 0;
}

int Assembler::EncodeMov(const Statement& statement) { return EncodeMov(statement, false); }
int Assembler::EncodeMvi(const Statement& statement) { return EncodeMvi(statement, false); }
int Assembler::EncodeAdd(const Statement& statement) {
  return EncodeSingleOperand(statement, false, AddOpcode);
}
int Assembler::EncodeCmp(const Statement& statement) {
  return EncodeSingleOperand(statement, false, CmpOpcode);
}
int Assembler::EncodeRet(const Statement& statement) { return EncodeRet(statement, false); }

// Too few operands point at the mnemonic, too many at the first extra one.
int Assembler::EncodeMov(const Statement& statement, bool placed) {
  if (statement.count < 3) return Report(DiagnosticKind::kWrongOperandCount, statement, 0);
  // Both operands are read, so that each mistake of the line is reported.
  const int destination = OperandCode(statement, placed, 1);
  const int source = OperandCode(statement, placed, 2);
  if (destination < 0 || source < 0 || Reserve(statement, 1) != 0) return 1;
  EmitByte(MovOpcode(static_cast<unsigned>(destination), static_cast<unsigned>(source)));
  return 0;
}

int Assembler::EncodeMvi(const Statement& statement, bool placed) {
  if (statement.count < 3) return Report(DiagnosticKind::kWrongOperandCount, statement, 0);
  // Both operands are read, so that each mistake of the line is reported.
  const int destination = OperandCode(statement, placed, 1);
  std::uint8_t immediate = 0;
  const ImmediateStatus status = ClassifyToken(statement.tokens[2], TokenLength(statement, 2, placed)) == MemoryOrImmediate
                                     ? ReadImmediate(statement.tokens[2], immediate)
                                     : ImmediateStatus::kNotANumber;
  switch (status) {
    case ImmediateStatus::kValid:
      break;
    case ImmediateStatus::kNotANumber:
      return Report(DiagnosticKind::kImmediateNotANumber, statement, 2);
    case ImmediateStatus::kOutOfRange:
      return Report(DiagnosticKind::kImmediateOutOfRange, statement, 2);
  }
  if (destination < 0 || Reserve(statement, 2) != 0) return 1;
  EmitByte(MviOpcode(static_cast<unsigned>(destination)));
  EmitByte(immediate);
  return 0;
}

int Assembler::EncodeSingleOperand(const Statement& statement, bool placed, std::uint8_t (*build)(unsigned)) {
  if (statement.count != 2) return Report(DiagnosticKind::kWrongOperandCount, statement, statement.count > 2 ? 2 : 0);
  const int source = OperandCode(statement, placed, 1);
  if (source < 0 || Reserve(statement, 1) != 0) return 1;
  EmitByte(build(static_cast<unsigned>(source)));
  return 0;
}

int Assembler::EncodeRet(const Statement& statement, bool) {
  if (statement.count > 1) return Report(DiagnosticKind::kWrongOperandCount, statement, 1);
  if (Reserve(statement, 1) != 0) return 1;
  EmitByte(kRetOpcode);
  return 0;
}

ImmediateStatus ReadImmediate(const char* token, std::uint8_t& value) {
  const char* p = token;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && HexDigit(p[2]) >= 0) p += 2;
  unsigned magnitude = 0;
  const char* const digits = p;
  for (int digit = HexDigit(*p); digit >= 0; digit = HexDigit(*++p)) {
    // Saturate: anything above 0x100 is out of range anyway.
    magnitude = magnitude > 0x100 ? magnitude : magnitude * 16 + static_cast<unsigned>(digit);
  }
  if (p == digits || p[0] != 'h' || p[1] != '\0') return ImmediateStatus::kNotANumber;
  if (magnitude > (negative ? 0x80U : 0xFFU)) return ImmediateStatus::kOutOfRange;
  value = static_cast<std::uint8_t>(negative ? 0x100 - magnitude : magnitude);
  return ImmediateStatus::kValid;
}

int ParseImmediate(const char* token, std::uint8_t& value) {
  return ReadImmediate(token, value) == ImmediateStatus::kValid ? 0 : 1;
}

}  // namespace mirvo
