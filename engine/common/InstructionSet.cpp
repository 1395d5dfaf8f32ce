#include "InstructionSet.h"

#include <cstdio>

namespace mirvo {

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
      std::snprintf(out, outSize, "%s %s, 0%Xh", mnemonic, destination, static_cast<unsigned>(bytes[1]));
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
