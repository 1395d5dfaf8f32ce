#include "LanguageHelp.h"

#include <cstring>

#include "Assembler.h"
#include "Diagnostic.h"
#include "InstructionSet.h"
#include "SourceReader.h"

namespace mirvo {

namespace {

// The statement of one line; false when the line holds none.
bool ReadLine(std::string_view line, Statement& statement) {
  statement.count = 0;
  statement.ignored = {0, 0};
  SourceReader reader(line.data(), line.size());
  reader.ReadStatement(&statement);
  return statement.count > 0;
}

std::string_view TokenText(std::string_view line, const TokenPlace& place) {
  return line.substr(static_cast<std::size_t>(place.column - 1), static_cast<std::size_t>(place.length));
}

std::string Binary(unsigned value, unsigned bits) {
  std::string text;
  for (unsigned bit = bits; bit > 0; --bit) text += ((value >> (bit - 1)) & 1U) != 0 ? '1' : '0';
  return text;
}

// "Z and CY", or "none".
std::string FlagNames(std::uint8_t mask) {
  std::string names;
  std::size_t left = 0;
  for (const NamedSlot& flag : kFlagReportOrder) left += (mask & FlagBit(static_cast<FlagSlot>(flag.slot))) != 0;
  for (const NamedSlot& flag : kFlagReportOrder) {
    if ((mask & FlagBit(static_cast<FlagSlot>(flag.slot))) == 0) continue;
    if (!names.empty()) names += left == 1 ? " and " : ", ";
    names += flag.name;
    --left;
  }
  return names.empty() ? "none" : names;
}

std::string InstructionHelp(const InstructionRow& row) {
  std::string flags = FlagNames(row.flagsWritten);
  if (row.flagsWrittenByMem != row.flagsWritten) {
    flags = FlagNames(row.flagsWrittenByMem) + " with Mem, " + flags + " with a register";
  }
  return "**" + std::string(row.syntax) + "**: " + row.summary + "\n\nEncoding `" + row.encoding + "`, " +
         std::to_string(row.length) + (row.length == 1 ? " byte" : " bytes") + "; flags written: " + flags;
}

std::string RegisterHelp(int code) {
  return "**" + std::string(kRegisterNames[static_cast<std::size_t>(code)]) + "**: register, code " +
         std::to_string(code) + " (`" + Binary(static_cast<unsigned>(code), 3) + "` in the opcode)";
}

std::string MemHelp() {
  return "**" + std::string(kRegisterNames[kRegM]) + "**: the byte at address HL (H * 256 + L), code " +
         std::to_string(kRegM) + " (`" + Binary(kRegM, 3) + "` in the opcode)";
}

// Why the token is not what it looks like, in the assembler's own words.
std::string Problem(DiagnosticKind kind, std::string_view token, Operation operation) {
  Diagnostic diagnostic{};
  diagnostic.kind = kind;
  diagnostic.operation = operation;
  const std::size_t n = token.size() < kTokenSlotSize - 1 ? token.size() : kTokenSlotSize - 1;
  std::memcpy(diagnostic.token, token.data(), n);
  diagnostic.token[n] = '\0';
  return DescribeDiagnostic(diagnostic);
}

std::string NumberHelp(const std::string& token) {
  std::uint8_t value = 0;
  switch (ReadImmediate(token.c_str(), value)) {
    case ImmediateStatus::kValid:
      break;
    case ImmediateStatus::kOutOfRange:
      return Problem(DiagnosticKind::kImmediateOutOfRange, token, Operation::kMvi);
    case ImmediateStatus::kNotANumber:
      return Problem(DiagnosticKind::kImmediateNotANumber, token, Operation::kMvi);
  }
  const std::string byte = "the byte " + std::string(ByteNotation(value).text) + " = " + std::to_string(value) +
                           " = `" + Binary(value, 8) + "` in binary";
  if (token[0] == '-' && value != 0) {
    return "**" + token + "** = -" + std::to_string(0x100 - value) + ", stored as " + byte;
  }
  return "**" + token + "**: " + byte;
}

// The help for an operand token, or empty.
std::string OperandHelp(std::string_view token) {
  if (token.size() == 1) {
    const int code = RegisterCodeOfLetter(token[0]);
    if (code >= 0) return RegisterHelp(code);
    return Problem(DiagnosticKind::kNotARegister, token, Operation::kUndefined);
  }
  if (IsMemWord(token)) return MemHelp();
  const std::string text(token);
  if (text.back() == 'h') return NumberHelp(text);
  // Digits without their h, or with an upper-case H.
  const NumberReadings readings = ReadNumberWithoutH(text.c_str());
  const bool upperH = text.back() == 'H' && !ReadNumberWithoutH(text.substr(0, text.size() - 1).c_str()).hexadecimal.empty();
  if (!readings.hexadecimal.empty() || !readings.decimal.empty() || readings.digitsOnly || upperH) {
    return Problem(DiagnosticKind::kImmediateNotANumber, token, Operation::kMvi);
  }
  return {};
}

Completion MnemonicCompletion(const InstructionRow& row) {
  return {row.mnemonic, CompletionKind::kMnemonic, row.syntax, InstructionHelp(row)};
}

}  // namespace

Hover HoverAt(std::string_view line, std::size_t offset) {
  Hover hover;
  Statement statement;
  if (!ReadLine(line, statement)) return hover;
  for (std::int32_t index = 0; index < statement.count; ++index) {
    const TokenPlace& place = statement.places[index];
    const auto start = static_cast<std::size_t>(place.column - 1);
    if (offset < start || offset >= start + static_cast<std::size_t>(place.length)) continue;
    const std::string_view token = TokenText(line, place);
    if (index == 0) {
      const Operation operation = Assembler::FindOperation(statement.tokens[0], token.size());
      hover.text = operation == Operation::kUndefined ? Problem(DiagnosticKind::kUnknownMnemonic, token, operation)
                                                      : InstructionHelp(RowOf(operation));
    } else {
      hover.text = OperandHelp(token);
    }
    hover.found = !hover.text.empty();
    hover.column = start;
    hover.length = token.size();
    return hover;
  }
  return hover;
}

std::vector<Completion> CompletionsAt(std::string_view line, std::size_t offset) {
  std::vector<Completion> items;
  if (offset > line.size()) offset = line.size();
  const std::string_view before = line.substr(0, offset);
  if (before.find(';') != std::string_view::npos) return items;
  Statement statement;
  ReadLine(before, statement);
  // The token the cursor is in, or the one it starts.
  std::int32_t index = statement.count;
  if (statement.count > 0) {
    const TokenPlace& last = statement.places[statement.count - 1];
    if (static_cast<std::size_t>(last.column - 1 + last.length) == offset) index = statement.count - 1;
  }
  if (statement.ignored.column != 0) return items;
  if (index == 0) {
    for (const InstructionRow& row : kInstructionTable) items.push_back(MnemonicCompletion(row));
    return items;
  }
  if (index > 2) return items;
  const Operation operation =
      Assembler::FindOperation(statement.tokens[0], static_cast<std::size_t>(statement.places[0].length));
  if (operation == Operation::kUndefined) return items;
  const InstructionRow& row = RowOf(operation);
  if (index > row.operandCount) return items;
  const OperandShape shape = row.operands[static_cast<std::size_t>(index - 1)];
  if (shape != OperandShape::kDestination && shape != OperandShape::kSource) return items;
  for (const NamedSlot& slot : kRegisterReportOrder) {
    items.push_back({slot.name, CompletionKind::kRegister, "register, code " + std::to_string(slot.slot),
                     RegisterHelp(slot.slot)});
  }
  items.push_back({kRegisterNames[kRegM], CompletionKind::kRegister, "the byte at HL", MemHelp()});
  return items;
}

}  // namespace mirvo
