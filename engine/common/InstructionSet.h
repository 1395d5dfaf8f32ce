#pragma once
// The one definition of the instruction set: register codes, opcode formats
// and the decoder. The assembler encodes with these builders and the virtual
// machine decodes with the same table, so the two can never disagree.

#include <array>
#include <cstddef>
#include <cstdint>

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

// Opcode formats (bit 7 first): MOV 01 ddd sss, MVI 00 ddd 110 n,
// ADD 10 000 sss, CMP 10 111 sss, RET 11 001 001.
inline constexpr std::uint8_t kMovBase = 0x40;
inline constexpr std::uint8_t kMovMask = 0xC0;
inline constexpr std::uint8_t kMviLowBits = 0x06;
inline constexpr std::uint8_t kMviMask = 0xC7;
inline constexpr std::uint8_t kAddBase = 0x80;
inline constexpr std::uint8_t kCmpBase = 0xB8;
inline constexpr std::uint8_t kSourceMask = 0x07;
inline constexpr std::uint8_t kRetOpcode = 0xC9;

constexpr unsigned DestinationField(std::uint8_t opcode) { return (opcode >> 3) & 7U; }
constexpr unsigned SourceField(std::uint8_t opcode) { return opcode & 7U; }

constexpr std::uint8_t MovOpcode(unsigned destination, unsigned source) {
  return static_cast<std::uint8_t>(kMovBase | (destination & 7U) << 3 | (source & 7U));
}
constexpr std::uint8_t MviOpcode(unsigned destination) {
  return static_cast<std::uint8_t>((destination & 7U) << 3 | kMviLowBits);
}
constexpr std::uint8_t AddOpcode(unsigned source) {
  return static_cast<std::uint8_t>(kAddBase | (source & 7U));
}
constexpr std::uint8_t CmpOpcode(unsigned source) {
  return static_cast<std::uint8_t>(kCmpBase | (source & 7U));
}

// A byte that is no instruction stands for itself: one byte in a listing, a
// disassembly or a trace. (Executing it changes nothing, not even the
// program counter.)
inline constexpr std::uint8_t kUndefinedByteLength = 1;

struct Instruction {
  Operation operation;
  std::uint8_t length;       // bytes, opcode included; kUndefinedByteLength for an undefined opcode
  std::uint8_t destination;  // ddd field, meaningful for MOV and MVI
  std::uint8_t source;       // sss field, meaningful for MOV, ADD and CMP
};

// Decodes in the hardware's order: the whole 0x40-0x7F block is MOV (0x76
// included), then the MVI column, then the ADD and CMP rows, then RET.
constexpr Instruction Decode(std::uint8_t opcode) {
  const auto d = static_cast<std::uint8_t>(DestinationField(opcode));
  const auto s = static_cast<std::uint8_t>(SourceField(opcode));
  if ((opcode & kMovMask) == kMovBase) return {Operation::kMov, 1, d, s};
  if ((opcode & kMviMask) == kMviLowBits) return {Operation::kMvi, 2, d, s};
  if ((opcode & ~kSourceMask & 0xFF) == kAddBase) return {Operation::kAdd, 1, d, s};
  if ((opcode & ~kSourceMask & 0xFF) == kCmpBase) return {Operation::kCmp, 1, d, s};
  if (opcode == kRetOpcode) return {Operation::kRet, 1, d, s};
  return {Operation::kUndefined, kUndefinedByteLength, d, s};
}

inline constexpr std::array<Instruction, 256> kDecodeTable = [] {
  std::array<Instruction, 256> table{};
  for (unsigned opcode = 0; opcode < 256; ++opcode) {
    table[opcode] = Decode(static_cast<std::uint8_t>(opcode));
  }
  return table;
}();

// Mnemonics indexed by Operation; the assembler searches kMov..kRet in order.
inline constexpr std::array<const char*, 6> kMnemonics = {"???", "MOV", "MVI", "ADD", "CMP", "RET"};

// How each register code is written in assembly text; M is spelled "Mem".
// The assembler reads register letters from this table and the disassembler
// writes them from it.
inline constexpr std::array<const char*, 8> kRegisterNames = {"B", "C", "D", "E", "H", "L", "Mem", "A"};

// The code of a one-letter register name (upper case only), or -1. No letter
// names code 6: the memory operand is written "Mem".
inline constexpr std::array<std::int8_t, 256> kRegisterOfLetter = [] {
  std::array<std::int8_t, 256> table{};
  table.fill(-1);
  for (unsigned code = 0; code < kRegisterNames.size(); ++code) {
    const char* const name = kRegisterNames[code];
    if (name[1] == '\0') table[static_cast<unsigned char>(name[0])] = static_cast<std::int8_t>(code);
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
// that is no instruction, which is shown as a data byte. A 2-byte instruction cut short by the end of the
// available bytes is shown with its immediate missing.
std::size_t Disassemble(const std::uint8_t* bytes, std::size_t available, char* out, std::size_t outSize);

}  // namespace mirvo
