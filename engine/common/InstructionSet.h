#pragma once
// The one definition of the instruction set: register codes, opcode formats
// and the decoder. The assembler encodes with these builders and the virtual
// machine decodes with the same table, so the two can never disagree.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "Notation.h"

namespace mirvo {

// A register code is the 3-bit field of an opcode. Code 6 is no register but
// the memory operand M, the byte at address H * 256 + L.
enum RegisterCode : std::uint8_t {
  kRegB = 0,
  kRegC = 1,
  kRegD = 2,
  kRegE = 3,
  kRegH = 4,
  kRegL = 5,
  kRegM = 6,
  kRegA = 7,
};

// Each flag sits at its bit position in the 8080 flag byte; the machine
// keeps one byte per position.
enum FlagSlot : std::uint8_t {
  kFlagCarry = 0,
  kFlagParity = 2,
  kFlagAuxCarry = 4,
  kFlagZero = 6,
  kFlagSign = 7,
};

enum class Operation : std::uint8_t { kUndefined, kMov, kMvi, kAdd, kCmp, kRet };

// The register fields of an opcode: ddd at bits 5-3, sss at bits 2-0.
constexpr unsigned DestinationField(std::uint8_t opcode) { return (opcode >> 3) & 7U; }
constexpr unsigned SourceField(std::uint8_t opcode) { return opcode & 7U; }

// A byte that is no instruction stands for itself: one byte in a listing, a
// disassembly or a trace. (Executing it changes nothing, not even the
// program counter.)
inline constexpr std::uint8_t kUndefinedByteLength = 1;

// Where an operand of a statement goes in the instruction's bytes.
enum class OperandShape : std::uint8_t {
  kNone,
  kDestination,  // a register or Mem, in the ddd field
  kSource,       // a register or Mem, in the sss field
  kImmediate,    // a number, in the byte after the opcode
};

// Flags as a mask of their slots, for the table's "flags it writes".
inline constexpr std::uint8_t FlagBit(FlagSlot slot) { return static_cast<std::uint8_t>(1U << slot); }
inline constexpr std::uint8_t kZeroAndCarry = FlagBit(kFlagZero) | FlagBit(kFlagCarry);

// One row per instruction: everything the encoder, the decoder, the
// disassembler, the diagnostics, the step records, the highlighter and the
// learner's help text need to know about it.
struct InstructionRow {
  Operation operation;
  const char* mnemonic;
  std::uint8_t pattern;    // the opcode with its register fields zero
  std::uint8_t fixedMask;  // the bits of the opcode that are the pattern's
  std::uint8_t operandCount;
  std::array<OperandShape, 2> operands;
  std::uint8_t length;             // bytes, opcode included
  bool writesDestination;          // a register, or memory when the destination is Mem
  std::uint8_t flagsWritten;       // flags written by the register form (FlagBit mask)
  std::uint8_t flagsWrittenByMem;  // flags written when the source is Mem
  const char* syntax;              // how a statement is written, e.g. "MOV dst, src"
  const char* encoding;            // the opcode's bits, e.g. "01 ddd sss"
  const char* summary;             // what it does, in a learner's words

  constexpr bool Takes(OperandShape shape) const { return operands[0] == shape || operands[1] == shape; }
};

// In the hardware's decoding order: the whole 0x40-0x7F block is MOV (0x76
// included), then the MVI column, then the ADD and CMP rows, then RET.
// A row per instruction, laid out by hand.
// clang-format off
inline constexpr std::array<InstructionRow, 5> kInstructionTable = {{
    {Operation::kMov, "MOV", 0x40, 0xC0, 2, {OperandShape::kDestination, OperandShape::kSource}, 1, true, 0, 0,
     "MOV dst, src", "01 ddd sss", "copies src into dst; the flags stay as they were"},
    {Operation::kMvi, "MVI", 0x06, 0xC7, 2, {OperandShape::kDestination, OperandShape::kImmediate}, 2, true, 0, 0,
     "MVI dst, n", "00 ddd 110, then n", "loads the number n into dst; the flags stay as they were"},
    {Operation::kAdd, "ADD", 0x80, 0xF8, 1, {OperandShape::kSource, OperandShape::kNone}, 1, true, 0, kZeroAndCarry,
     "ADD src", "10 000 sss",
     "adds src to A; ADD Mem also sets Z when the sum is zero and CY when it carries out of bit 7, "
     "the register form leaves the flags as they were"},
    {Operation::kCmp, "CMP", 0xB8, 0xF8, 1, {OperandShape::kSource, OperandShape::kNone}, 1, false, kZeroAndCarry,
     kZeroAndCarry, "CMP src", "10 111 sss", "compares A with src: Z when they are equal, CY when A is below src; A stays"},
    {Operation::kRet, "RET", 0xC9, 0xFF, 0, {OperandShape::kNone, OperandShape::kNone}, 1, false, 0, 0, "RET", "11 001 001",
     "ends the program"},
}};
// clang-format on

// The rows follow the order of Operation, kUndefined left out.
constexpr Operation OperationOfRow(std::size_t row) { return static_cast<Operation>(row + 1); }
static_assert(
    [] {
      for (std::size_t row = 0; row < kInstructionTable.size(); ++row) {
        if (kInstructionTable[row].operation != OperationOfRow(row)) return false;
      }
      return true;
    }(),
    "the table's rows are in the order of Operation");
static_assert(
    [] {
      for (const InstructionRow& row : kInstructionTable) {
        const int shapes = (row.operands[0] != OperandShape::kNone) + (row.operands[1] != OperandShape::kNone);
        if (row.operandCount != shapes || row.length != 1 + row.Takes(OperandShape::kImmediate)) return false;
      }
      return true;
    }(),
    "each row's operand count and length follow from its operand shapes");

// The row of an operation (not kUndefined).
constexpr const InstructionRow& RowOf(Operation operation) {
  return kInstructionTable[static_cast<std::size_t>(operation) - 1];
}

// The opcode of a row with register codes in its fields. A row without a
// destination or source field takes 0 for it.
constexpr std::uint8_t BuildOpcode(const InstructionRow& row, unsigned destination, unsigned source) {
  return static_cast<std::uint8_t>(row.pattern | (destination & 7U) << 3 | (source & 7U));
}
constexpr std::uint8_t MovOpcode(unsigned destination, unsigned source) {
  return BuildOpcode(RowOf(Operation::kMov), destination, source);
}
constexpr std::uint8_t MviOpcode(unsigned destination) { return BuildOpcode(RowOf(Operation::kMvi), destination, 0); }
constexpr std::uint8_t AddOpcode(unsigned source) { return BuildOpcode(RowOf(Operation::kAdd), 0, source); }
constexpr std::uint8_t CmpOpcode(unsigned source) { return BuildOpcode(RowOf(Operation::kCmp), 0, source); }
constexpr std::uint8_t RetOpcode() { return RowOf(Operation::kRet).pattern; }

struct Instruction {
  Operation operation;
  std::uint8_t length;       // bytes, opcode included; kUndefinedByteLength for an undefined opcode
  std::uint8_t destination;  // ddd field, meaningful for MOV and MVI
  std::uint8_t source;       // sss field, meaningful for MOV, ADD and CMP
  bool writesMemory;         // stores a byte at HL: MOV Mem, r and MVI Mem, n
};

// Whether an instruction of row with these fields stores a byte in memory:
// it writes its destination and that is Mem. A Mem source is read first, so
// MOV Mem, Mem loads memory and stores nothing.
constexpr bool WritesMemory(const InstructionRow& row, unsigned destination, unsigned source) {
  return row.writesDestination && row.Takes(OperandShape::kDestination) && destination == kRegM &&
         !(row.Takes(OperandShape::kSource) && source == kRegM);
}

// Decodes by the table: the first row whose fixed bits match.
constexpr Instruction Decode(std::uint8_t opcode) {
  const auto d = static_cast<std::uint8_t>(DestinationField(opcode));
  const auto s = static_cast<std::uint8_t>(SourceField(opcode));
  for (const InstructionRow& row : kInstructionTable) {
    if ((opcode & row.fixedMask) == row.pattern) return {row.operation, row.length, d, s, WritesMemory(row, d, s)};
  }
  return {Operation::kUndefined, kUndefinedByteLength, d, s, false};
}

inline constexpr std::array<Instruction, 256> kDecodeTable = [] {
  std::array<Instruction, 256> table{};
  for (unsigned opcode = 0; opcode < 256; ++opcode) {
    table[opcode] = Decode(static_cast<std::uint8_t>(opcode));
  }
  return table;
}();

// The address of the memory operand Mem: H * 256 + L.
constexpr std::uint16_t HlAddress(std::uint8_t h, std::uint8_t l) { return static_cast<std::uint16_t>(h << 8 | l); }

// How each register code is written in assembly text; M is spelled "Mem".
// The assembler reads register letters from this table and the disassembler
// writes them from it.
inline constexpr std::array<const char*, 8> kRegisterNames = {"B", "C", "D", "E", "H", "L", "Mem", "A"};

// How the assembler matches a name: a register letter in upper case only; a
// word (a mnemonic, or the memory operand's "Mem") in any letter case. The
// reader below, the assembler's mnemonic search and the page's highlighter
// all follow this one rule.
constexpr bool NameIgnoresCase(const char* name) { return name[0] != '\0' && name[1] != '\0'; }

// True when token is name as the assembler reads it. Without regard to case
// it compares letters with their case bit (0x20) set, which maps no byte but
// a letter onto a lower-case letter.
constexpr bool NameMatches(std::string_view token, const char* name) {
  const std::string_view expected = name;
  if (token.size() != expected.size()) return false;
  const char caseBit = NameIgnoresCase(name) ? 0x20 : 0;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    if ((token[i] | caseBit) != (expected[i] | caseBit)) return false;
  }
  return true;
}

// True when token is the memory operand's word.
constexpr bool IsMemWord(std::string_view token) { return NameMatches(token, kRegisterNames[kRegM]); }

// The code of a register name that is read in upper case only, by its one
// letter, or -1. No letter names code 6: the memory operand is written "Mem".
inline constexpr std::array<std::int8_t, 256> kRegisterOfLetter = [] {
  std::array<std::int8_t, 256> table{};
  table.fill(-1);
  for (unsigned code = 0; code < kRegisterNames.size(); ++code) {
    const char* const name = kRegisterNames[code];
    if (!NameIgnoresCase(name)) table[static_cast<unsigned char>(name[0])] = static_cast<std::int8_t>(code);
  }
  return table;
}();
constexpr int RegisterCodeOfLetter(char letter) { return kRegisterOfLetter[static_cast<unsigned char>(letter)]; }

// A register or flag as reports and expectations name it, with its slot.
struct NamedSlot {
  const char* name;
  std::uint8_t slot;
};
// The seven registers in the order reports list them, A first.
inline constexpr std::array<NamedSlot, 7> kRegisterReportOrder = {{{kRegisterNames[kRegA], kRegA},
                                                                   {kRegisterNames[kRegB], kRegB},
                                                                   {kRegisterNames[kRegC], kRegC},
                                                                   {kRegisterNames[kRegD], kRegD},
                                                                   {kRegisterNames[kRegE], kRegE},
                                                                   {kRegisterNames[kRegH], kRegH},
                                                                   {kRegisterNames[kRegL], kRegL}}};
// The five flags in the order of the 8080 flag byte, high bit first.
inline constexpr std::array<NamedSlot, 5> kFlagReportOrder = {
    {{"S", kFlagSign}, {"Z", kFlagZero}, {"AC", kFlagAuxCarry}, {"P", kFlagParity}, {"CY", kFlagCarry}}};

inline constexpr std::size_t kMemorySize = 65536;

// A program image or a whole memory: byte i for address i.
using ImageBuffer = std::array<std::uint8_t, kMemorySize>;

// Writes one line of disassembly for the instruction at bytes[0] into out
// (at most outSize characters, always terminated) and returns the number of
// bytes the instruction takes: 1 or 2, or kUndefinedByteLength for a byte
// that is no instruction, which is shown as "00h (no instruction)" (the
// language has no way to write it). A 2-byte instruction cut short by the
// end of the available bytes is shown with its immediate missing.
std::size_t Disassemble(const std::uint8_t* bytes, std::size_t available, char* out, std::size_t outSize);

}  // namespace mirvo
