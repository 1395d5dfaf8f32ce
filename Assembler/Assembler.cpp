#include "Assembler.h"

#include <cstring>

#include "AtomicFile.h"
#include "Banner.h"
#include "SameFile.h"

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
int HexDigit(char ch) {
  if (ch >= '0' && ch <= '9') return ch - '0';
  if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
  if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
  return -1;
}

}  // namespace

Assembler::Assembler() : image{}, length(0) {}

void Assembler::Open(const char* path) {
  sourcePath = path;
  reader = std::make_unique<SourceReader>(path);
}

void Assembler::Open(std::FILE* stream) { reader = std::make_unique<SourceReader>(stream); }

int Assembler::Assemble() {
  if (!reader) return 1;
  if (!reader->IsOpen()) {
    std::printf("Error! Cannot open %s\n", sourcePath);
    return 1;
  }
  Statement args;
  for (;;) {
    reader->ReadStatement(&args);
    const bool last = args.count < 1;
    if (EncodeStatement(args) != 0) {
      std::printf("Error! on line %d\n", reader->GetLineNumber());
      return 1;
    }
    if (last) break;
  }
  if (reader->HasReadError()) {
    std::printf("Error! Cannot read %s\n", sourcePath);
    return 1;
  }
  return 0;
}

int Assembler::WriteImage(const char* path) {
  AtomicFile file;
  if (file.Open(path) != 0 || file.Write(image.data(), length) != 0 || file.Commit() != 0) {
    std::printf("Error! Cannot write %s\n", path);
    return 1;
  }
  return 0;
}

int Assembler::EncodeStatement(const Statement& statement) {
  if (statement.count < 1) return 0;
  using Encoder = int (Assembler::*)(const Statement&);
  // Searched in the order of the mnemonic table, without regard to case.
  static constexpr struct {
    Operation operation;
    Encoder encode;
  } kEncoders[] = {{Operation::kMov, &Assembler::EncodeMov},
                   {Operation::kMvi, &Assembler::EncodeMvi},
                   {Operation::kAdd, &Assembler::EncodeAdd},
                   {Operation::kCmp, &Assembler::EncodeCmp},
                   {Operation::kRet, &Assembler::EncodeRet}};
  const char* const mnemonic = statement.tokens[0];
  for (const auto& entry : kEncoders) {
    const char* const name = kMnemonics[static_cast<std::size_t>(entry.operation)];
    if (EqualsIgnoringCase(mnemonic, name)) {
      return (this->*entry.encode)(statement);
    }
  }
  std::printf("Undefined Instruction\n");
  return 1;
}

OperandKind Assembler::ClassifyOperand(const Statement& statement, int index) const {
  if (index < 0 || index >= statement.count) return Invalid;
  const char* token = statement.tokens[index];
  const std::size_t n = token[0] == '\0' ? 0 : token[1] == '\0' ? 1 : std::strlen(token);
  // The length test comes first: a lone h or M is a register letter, which
  // RegisterCode then refuses.
  if (n == 1) return Register;
  if (n == 0) return Invalid;
  if (token[n - 1] == 'h') return MemoryOrImmediate;
  if (EqualsIgnoringCase(token, kRegisterNames[kRegM])) return MemoryOrImmediate;
  return Invalid;
}

int Assembler::RegisterCode(char letter) const {
  // Upper case only; M is written "Mem" and never reaches this table.
  switch (letter) {
    case 'B':
      return kRegB;
    case 'C':
      return kRegC;
    case 'D':
      return kRegD;
    case 'E':
      return kRegE;
    case 'H':
      return kRegH;
    case 'L':
      return kRegL;
    case 'A':
      return kRegA;
    default:
      break;
  }
  std::printf("Not a reg\n");
  return -1;
}

int Assembler::OperandCode(const Statement& statement, int index) const {
  switch (ClassifyOperand(statement, index)) {
    case Register:
      return RegisterCode(statement.tokens[index][0]);
    case MemoryOrImmediate:
      return kRegM;
    case Invalid:
      break;
  }
  return -1;
}

int Assembler::Reserve(std::uint32_t count) const {
  if (length + count > image.size()) {
    std::printf("Program too large\n");
    return 1;
  }
  return 0;
}

void Assembler::EmitByte(std::uint8_t value) {
  if (length < image.size()) image[length++] = value;
}

int Assembler::EncodeMov(const Statement& statement) {
  if (statement.count < 3) return 1;
  const int destination = OperandCode(statement, 1);
  if (destination < 0) return 1;
  const int source = OperandCode(statement, 2);
  if (source < 0 || Reserve(1) != 0) return 1;
  EmitByte(MovOpcode(static_cast<unsigned>(destination), static_cast<unsigned>(source)));
  return 0;
}

int Assembler::EncodeMvi(const Statement& statement) {
  if (statement.count < 3) return 1;
  const int destination = OperandCode(statement, 1);
  if (destination < 0) return 1;
  std::uint8_t immediate = 0;
  if (ClassifyOperand(statement, 2) != MemoryOrImmediate || ParseImmediate(statement.tokens[2], immediate) != 0) {
    return 1;
  }
  if (Reserve(2) != 0) return 1;
  EmitByte(MviOpcode(static_cast<unsigned>(destination)));
  EmitByte(immediate);
  return 0;
}

int Assembler::EncodeSingleOperand(const Statement& statement, std::uint8_t base) {
  if (statement.count != 2) return 1;
  const int source = OperandCode(statement, 1);
  if (source < 0 || Reserve(1) != 0) return 1;
  EmitByte(static_cast<std::uint8_t>(base | source));
  return 0;
}

int Assembler::EncodeAdd(const Statement& statement) { return EncodeSingleOperand(statement, kAddBase); }

int Assembler::EncodeCmp(const Statement& statement) { return EncodeSingleOperand(statement, kCmpBase); }

int Assembler::EncodeRet(const Statement& statement) {
  if (statement.count > 1 || Reserve(1) != 0) return 1;
  EmitByte(kRetOpcode);
  return 0;
}

int ParseImmediate(const char* token, std::uint8_t& value) {
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
  if (p == digits || p[0] != 'h' || p[1] != '\0') return 1;
  if (magnitude > (negative ? 0x80U : 0xFFU)) return 1;
  value = static_cast<std::uint8_t>(negative ? 0x100 - magnitude : magnitude);
  return 0;
}

int RunAssemblerProgram(int argc, char** argv) {
  PrintBanner("------------------------\n", "MirvoVM Assembler v%s\n");
  if (argc < 3) {
    std::printf("Invalid arguments!\nUsage: MirvoVMAssembler <filename> <out filename>\n\n");
    return 1;
  }
  std::printf("Opening %s\n", argv[1]);
  if (IsSameFile(argv[1], argv[2])) {
    std::printf("Error! The image %s is the source file\nAssembly Failure!\n", argv[2]);
    return 1;
  }
  Assembler assembler;
  assembler.Open(argv[1]);
  if (assembler.Assemble() != 0 || assembler.WriteImage(argv[2]) != 0) {
    std::printf("Assembly Failure!\n");
    return 1;
  }
  std::printf("Assembly Complete(%s)\n", argv[2]);
  return 0;
}

}  // namespace mirvo
