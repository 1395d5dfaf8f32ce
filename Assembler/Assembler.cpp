#include "Assembler.h"

#include <algorithm>
#include <array>
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

// Searched in the order of the mnemonic table, without regard to case.
const Assembler::Encoding* Assembler::FindMnemonic(const char* token) {
  static constexpr Encoding kEncoders[] = {{Operation::kMov, &Assembler::EncodeMov},
                                           {Operation::kMvi, &Assembler::EncodeMvi},
                                           {Operation::kAdd, &Assembler::EncodeAdd},
                                           {Operation::kCmp, &Assembler::EncodeCmp},
                                           {Operation::kRet, &Assembler::EncodeRet}};
  static_assert([] {
    for (const Encoding& entry : kEncoders) {
      const char* const name = kMnemonics[static_cast<std::size_t>(entry.operation)];
      if (name[0] == '\0' || name[1] == '\0' || name[2] == '\0' || name[3] != '\0') return false;
    }
    return true;
  }(), "every mnemonic has three letters");
  // Every mnemonic is three letters: anything else matches none. Clearing
  // the case bit maps no other byte onto a capital letter, so the packed
  // compare is a case-insensitive compare of letters.
  if (token[0] == '\0' || token[1] == '\0' || token[2] == '\0' || token[3] != '\0') return nullptr;
  const std::uint32_t packed = PackUpper(token);
  for (const Encoding& entry : kEncoders) {
    if (packed == PackUpper(kMnemonics[static_cast<std::size_t>(entry.operation)])) return &entry;
  }
  return nullptr;
}

Assembler::Assembler() : image{}, length(0) {}

void Assembler::Open(const char* text, std::size_t size) { reader = std::make_unique<SourceReader>(text, size); }

void Assembler::Open(SourceReader::ReadFunction read, void* context) {
  reader = std::make_unique<SourceReader>(read, context);
}

int Assembler::Assemble(const AssemblyOptions& assemblyOptions) {
  if (!reader) return 1;
  options = assemblyOptions;
  Statement args;
  for (;;) {
    reader->ReadStatement(&args);
    if (args.count < 1) break;
    currentLine = reader->GetLineNumber();
    const std::uint32_t address = length;
    if (EncodeStatement(args) != 0) {
      if (!options.keepGoing) return 1;
      continue;
    }
    if (options.recordStatements) {
      StatementRecord record{currentLine, args.places[0].column, static_cast<std::uint16_t>(address),
                             static_cast<std::uint8_t>(length - address), {image[address], 0}};
      if (record.length > 1) record.bytes[1] = image[address + 1];
      statements.push_back(record);
    }
  }
  if (reader->HasReadError()) return 1;
  return errorCount == 0 ? 0 : 1;
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
  if (!ignored && index < statement.count) {
    std::memcpy(diagnostic.token, statement.tokens[index], std::strlen(statement.tokens[index]) + 1);
  }
  diagnostics.push_back(diagnostic);
  return 1;
}

int Assembler::EncodeStatement(const Statement& statement) {
  currentOperation = Operation::kUndefined;
  if (statement.count < 1) return 0;
  const Encoding* const encoding = FindMnemonic(statement.tokens[0]);
  if (encoding != nullptr) {
    currentOperation = encoding->operation;
    const int result = (this->*encoding->encode)(statement);
    if (result == 0 && options.reportWarnings) CheckWarnings(statement);
    return result;
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
  const char* token = statement.tokens[index];
  // Operands are short: a plain scan beats a call to strlen.
  std::size_t n = 0;
  while (token[n] != '\0') ++n;
  // The length test comes first: a lone h or M is a register letter, which
  // RegisterCode then refuses.
  if (n == 1) return Register;
  if (n == 0) return Invalid;
  if (token[n - 1] == 'h') return MemoryOrImmediate;
  if (EqualsIgnoringCase(token, kRegisterNames[kRegM])) return MemoryOrImmediate;
  return Invalid;
}

int Assembler::RegisterCode(char letter) const { return RegisterCodeOfLetter(letter); }

int Assembler::OperandCode(const Statement& statement, int index) {
  switch (ClassifyOperand(statement, index)) {
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

void Assembler::EmitByte(std::uint8_t value) {
  if (length < image.size()) image[length++] = value;
}

// Too few operands point at the mnemonic, too many at the first extra one.
int Assembler::EncodeMov(const Statement& statement) {
  if (statement.count < 3) return Report(DiagnosticKind::kWrongOperandCount, statement, 0);
  const int destination = OperandCode(statement, 1);
  if (destination < 0) return 1;
  const int source = OperandCode(statement, 2);
  if (source < 0 || Reserve(statement, 1) != 0) return 1;
  EmitByte(MovOpcode(static_cast<unsigned>(destination), static_cast<unsigned>(source)));
  return 0;
}

int Assembler::EncodeMvi(const Statement& statement) {
  if (statement.count < 3) return Report(DiagnosticKind::kWrongOperandCount, statement, 0);
  const int destination = OperandCode(statement, 1);
  if (destination < 0) return 1;
  std::uint8_t immediate = 0;
  if (ClassifyOperand(statement, 2) != MemoryOrImmediate) {
    return Report(DiagnosticKind::kImmediateNotANumber, statement, 2);
  }
  switch (ReadImmediate(statement.tokens[2], immediate)) {
    case ImmediateStatus::kValid:
      break;
    case ImmediateStatus::kNotANumber:
      return Report(DiagnosticKind::kImmediateNotANumber, statement, 2);
    case ImmediateStatus::kOutOfRange:
      return Report(DiagnosticKind::kImmediateOutOfRange, statement, 2);
  }
  if (Reserve(statement, 2) != 0) return 1;
  EmitByte(MviOpcode(static_cast<unsigned>(destination)));
  EmitByte(immediate);
  return 0;
}

int Assembler::EncodeSingleOperand(const Statement& statement, std::uint8_t base) {
  if (statement.count != 2) return Report(DiagnosticKind::kWrongOperandCount, statement, statement.count > 2 ? 2 : 0);
  const int source = OperandCode(statement, 1);
  if (source < 0 || Reserve(statement, 1) != 0) return 1;
  EmitByte(static_cast<std::uint8_t>(base | source));
  return 0;
}

int Assembler::EncodeAdd(const Statement& statement) { return EncodeSingleOperand(statement, kAddBase); }

int Assembler::EncodeCmp(const Statement& statement) { return EncodeSingleOperand(statement, kCmpBase); }

int Assembler::EncodeRet(const Statement& statement) {
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
