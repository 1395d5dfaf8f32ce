#include "Explain.h"

#include <cstdio>

#include "InstructionEffects.h"

namespace mirvo {

namespace {

std::string Byte(std::uint8_t value) { return ByteNotation(value).text; }

// An operand as the sentence names it: a register, or Mem's address.
std::string OperandName(const StepRecord& record, unsigned code) {
  if (code == kRegM) return std::string("[") + WordNotation(record.memoryAddress).text + "]";
  return kRegisterNames[code];
}

// The value an operand held before the step.
std::uint8_t OperandValue(const StepRecord& record, unsigned code) {
  return code == kRegM ? record.memoryBefore : record.registersBefore[code];
}

const char* FlagName(FlagSlot slot) {
  for (const NamedSlot& flag : kFlagReportOrder) {
    if (flag.slot == slot) return flag.name;
  }
  return "?";
}

// "CY = 1"
std::string FlagValue(const StepRecord& record, FlagSlot slot) {
  return std::string(FlagName(slot)) + " = " + std::to_string(record.flagsAfter[slot] & 1U);
}

// The flags the step's form writes, carry first, as the sentences give them.
std::uint8_t FlagsWritten(const StepRecord& record) {
  const InstructionRow& row = RowOf(record.instruction.operation);
  return record.instruction.source == kRegM ? row.flagsWrittenByMem : row.flagsWritten;
}

// What is said when the step's form writes no flag.
const char* FlagsKept(const StepRecord& record) {
  const InstructionRow& row = RowOf(record.instruction.operation);
  return row.flagsWritten == 0 && row.flagsWrittenByMem == 0 ? "the flags stay as they were"
                                                             : "this form leaves the flags as they were";
}

constexpr FlagSlot kSentenceFlagOrder[] = {kFlagCarry, kFlagZero, kFlagSign, kFlagAuxCarry, kFlagParity};

// "A = 10h + 20h = 30h", with a note when the sum passed FFh.
std::string Sum(const StepRecord& record) {
  const unsigned source = record.instruction.source;
  const std::uint8_t a = record.registersBefore[kRegA];
  const std::uint8_t value = OperandValue(record, source);
  std::string text = std::string(kRegisterNames[kRegA]) + " = " + Byte(a) + " + " + Byte(value) + " = " +
                     Byte(record.registersAfter[kRegA]);
  if (AddCarries(a, value)) text += " (wrapped past FFh)";
  return text;
}

// Why ADD set a flag as it did: "no carry out of bit 7, so CY = 0".
std::string AddFlagReason(const StepRecord& record, FlagSlot slot) {
  const std::uint8_t a = record.registersBefore[kRegA];
  const std::uint8_t value = OperandValue(record, record.instruction.source);
  std::string reason;
  if (slot == kFlagCarry) {
    if (AddCarries(a, value)) {
      // A sum that carries lies in 100h-1FEh: three digits, the first a 1.
      char sum[8];
      std::snprintf(sum, sizeof(sum), "%Xh", unsigned{a} + value);
      reason = std::string("the sum ") + sum + " carries out of bit 7";
    } else {
      reason = "no carry out of bit 7";
    }
  } else if (slot == kFlagZero) {
    reason = record.registersAfter[kRegA] == 0 ? "the result is zero" : "the result is not zero";
  }
  return reason.empty() ? FlagValue(record, slot) : reason + ", so " + FlagValue(record, slot);
}

std::string ExplainAdd(const StepRecord& record) {
  std::string text = Sum(record);
  const std::uint8_t written = FlagsWritten(record);
  if (written == 0) return text + "; " + FlagsKept(record);
  for (const FlagSlot slot : kSentenceFlagOrder) {
    if ((written & FlagBit(slot)) != 0) text += "; " + AddFlagReason(record, slot);
  }
  return text;
}

// "A (50h) is below B (60h), so CY = 1 and Z = 0"
std::string ExplainCmp(const StepRecord& record) {
  const unsigned source = record.instruction.source;
  const std::uint8_t a = record.registersBefore[kRegA];
  const std::uint8_t value = OperandValue(record, source);
  const char* const relation = a < value ? "is below" : a == value ? "equals" : "is above";
  std::string text = std::string(kRegisterNames[kRegA]) + " (" + Byte(a) + ") " + relation + " " +
                     OperandName(record, source) + " (" + Byte(value) + ")";
  const std::uint8_t written = FlagsWritten(record);
  if (written == 0) return text + "; " + FlagsKept(record);
  const char* separator = ", so ";
  for (const FlagSlot slot : kSentenceFlagOrder) {
    if ((written & FlagBit(slot)) == 0) continue;
    text += separator + FlagValue(record, slot);
    separator = " and ";
  }
  return text;
}

// "B = A = 42h", "[2000h] = C = 42h", "D = [2001h] = 99h"
std::string ExplainMov(const StepRecord& record) {
  const unsigned d = record.instruction.destination;
  const unsigned s = record.instruction.source;
  if (d == kRegM && s == kRegM) {
    return "the byte at " + OperandName(record, kRegM) + " (" + Byte(record.memoryBefore) +
           ") is copied onto itself; nothing visible changes";
  }
  return OperandName(record, d) + " = " + OperandName(record, s) + " = " + Byte(OperandValue(record, s)) + "; " +
         FlagsKept(record);
}

std::string ExplainMvi(const StepRecord& record) {
  return OperandName(record, record.instruction.destination) + " = " + Byte(record.bytes[1]) + "; " + FlagsKept(record);
}

}  // namespace

std::string ExplainStep(const StepRecord& record) {
  char text[32];
  Disassemble(record.bytes, record.instruction.length, text, sizeof(text));
  switch (record.instruction.operation) {
    case Operation::kMov:
      return std::string(text) + ": " + ExplainMov(record);
    case Operation::kMvi:
      return std::string(text) + ": " + ExplainMvi(record);
    case Operation::kAdd:
      return std::string(text) + ": " + ExplainAdd(record);
    case Operation::kCmp:
      return std::string(text) + ": " + ExplainCmp(record);
    case Operation::kRet:
      if (record.result == Halt) return std::string(text) + ": the stack is empty, so the program ends here";
      return std::string(text) + ": returns to " + WordNotation(record.nextAddress).text;
    case Operation::kUndefined:
      break;
  }
  return Byte(record.bytes[0]) +
         " is no instruction: nothing changes, not even the program counter, so the run stops here";
}

}  // namespace mirvo
