#include "InstructionSet.h"

#include <cstdio>

namespace mirvo {

std::size_t FormatByte(std::uint8_t value, char* out) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::size_t n = 0;
  if ((value >> 4) >= 10) out[n++] = '0';
  out[n++] = kDigits[value >> 4];
  out[n++] = kDigits[value & 15];
  out[n++] = 'h';
  out[n] = '\0';
  return n;
}

ByteText ByteNotation(std::uint8_t value) {
  ByteText text{};
  FormatByte(value, text.text);
  return text;
}

WordText WordNotation(std::uint16_t value) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  WordText text{};
  for (unsigned i = 0; i < 4; ++i) text.text[i] = kDigits[(static_cast<unsigned>(value) >> (12U - 4U * i)) & 15U];
  text.text[4] = 'h';
  return text;
}

std::size_t Disassemble(const std::uint8_t* bytes, std::size_t available, char* out, std::size_t outSize) {
  if (outSize == 0) return available > 0 ? 1 : 0;
  out[0] = '\0';
  if (available == 0) return 0;
  const Instruction instruction = kDecodeTable[bytes[0]];
  const char* mnemonic = kMnemonics[static_cast<std::size_t>(instruction.operation)];
  const char* destination = kRegisterNames[instruction.destination];
  const char* source = kRegisterNames[instruction.source];
  switch (instruction.operation) {
    case Operation::kMov:
      std::snprintf(out, outSize, "%s %s, %s", mnemonic, destination, source);
      return 1;
    case Operation::kMvi:
      if (available < 2) {
        std::snprintf(out, outSize, "%s %s, ?", mnemonic, destination);
        return 1;
      }
      std::snprintf(out, outSize, "%s %s, %s", mnemonic, destination, ByteNotation(bytes[1]).text);
      return 2;
    case Operation::kAdd:
    case Operation::kCmp:
      std::snprintf(out, outSize, "%s %s", mnemonic, source);
      return 1;
    case Operation::kRet:
      std::snprintf(out, outSize, "%s", mnemonic);
      return 1;
    case Operation::kUndefined:
      break;
  }
  std::snprintf(out, outSize, "DB 0%Xh", static_cast<unsigned>(bytes[0]));
  return kUndefinedByteLength;
}

}  // namespace mirvo
