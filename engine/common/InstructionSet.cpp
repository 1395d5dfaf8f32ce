#include "InstructionSet.h"

namespace mirvo {

namespace {

// Appends text to the string of out, keeping it within outSize characters.
void Append(char* out, std::size_t outSize, std::size_t& used, const char* text) {
  for (; *text != '\0' && used + 1 < outSize; ++text) out[used++] = *text;
  out[used] = '\0';
}

}  // namespace

std::size_t Disassemble(const std::uint8_t* bytes, std::size_t available, char* out, std::size_t outSize) {
  if (outSize == 0) return available > 0 ? 1 : 0;
  out[0] = '\0';
  if (available == 0) return 0;
  std::size_t written = 0;
  const Instruction instruction = kDecodeTable[bytes[0]];
  if (instruction.operation == Operation::kUndefined) {
    Append(out, outSize, written, ByteNotation(bytes[0]).text);
    Append(out, outSize, written, " (no instruction)");
    return kUndefinedByteLength;
  }
  const InstructionRow& row = RowOf(instruction.operation);
  Append(out, outSize, written, row.mnemonic);
  std::size_t length = 1;
  const char* separator = " ";
  for (const OperandShape shape : row.operands) {
    ByteText number{};
    const char* text = nullptr;
    switch (shape) {
      case OperandShape::kNone:
        continue;
      case OperandShape::kDestination:
        text = kRegisterNames[instruction.destination];
        break;
      case OperandShape::kSource:
        text = kRegisterNames[instruction.source];
        break;
      case OperandShape::kImmediate:
        // An instruction cut short by the end of the bytes shows its
        // immediate as missing.
        if (available < row.length) {
          text = "?";
          break;
        }
        number = ByteNotation(bytes[1]);
        text = number.text;
        length = row.length;
        break;
    }
    Append(out, outSize, written, separator);
    Append(out, outSize, written, text);
    separator = ", ";
  }
  return length;
}

}  // namespace mirvo
