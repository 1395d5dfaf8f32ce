#include "LanguageHelp.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "Assembler.h"
#include "CheckTable.h"
#include "Diagnostic.h"
#include "InstructionSet.h"
#include "SourceReader.h"
#include "SourceText.h"
#include "Words.h"

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
  std::vector<std::string_view> names;
  for (const NamedSlot& flag : kFlagReportOrder) {
    if ((mask & FlagBit(static_cast<FlagSlot>(flag.slot))) != 0) names.push_back(flag.name);
  }
  return names.empty() ? "none" : ListedInWords(names);
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

// A number the statement reads without a diagnostic.
std::string NumberHelp(const std::string& token) {
  std::uint8_t value = 0;
  if (ReadImmediate(token.c_str(), value) != ImmediateStatus::kValid) return {};
  const std::string byte = "the byte " + std::string(ByteNotation(value).text) + " = " + std::to_string(value) +
                           " = `" + Binary(value, 8) + "` in binary";
  if (token[0] == '-' && value != 0) {
    return "**" + token + "** = -" + std::to_string(0x100 - value) + ", stored as " + byte;
  }
  return "**" + token + "**: " + byte;
}

// The diagnostic the assembler gives the token at column of line (a
// statement on its own), or null: the hover of a mistaken token is the
// diagnostic's own words, so that the two never disagree.
const Diagnostic* DiagnosticOfToken(const Assembler& assembler, std::int32_t column) {
  for (const Diagnostic& d : assembler.GetDiagnostics()) {
    if (d.column == column && d.kind != DiagnosticKind::kNoFinalRet && d.kind != DiagnosticKind::kUnknownCheckName) {
      return &d;
    }
  }
  return nullptr;
}

// What an operand is to the statement it stands in.
std::string RoleOf(const InstructionRow& row, OperandShape shape) {
  const std::string mnemonic = row.mnemonic;
  switch (shape) {
    case OperandShape::kDestination:
      return "where " + mnemonic + " puts its result";
    case OperandShape::kSource:
      return "what " + mnemonic + " reads";
    case OperandShape::kImmediate:
      return "the number " + mnemonic + " loads";
    case OperandShape::kNone:
      break;
  }
  return {};
}

// The help for operand index of a statement, as the statement reads it.
std::string OperandHelp(const Statement& statement, std::int32_t index, std::string_view token,
                        const Assembler& assembler) {
  if (const Diagnostic* d = DiagnosticOfToken(assembler, statement.places[index].column)) {
    return DescribeDiagnostic(*d);
  }
  const Operation operation =
      Assembler::FindOperation(statement.tokens[0], static_cast<std::size_t>(statement.places[0].length));
  if (operation == Operation::kUndefined) return {};
  const InstructionRow& row = RowOf(operation);
  if (index > row.operandCount) return {};
  const OperandShape shape = row.operands[static_cast<std::size_t>(index - 1)];
  std::string help;
  if (shape == OperandShape::kImmediate) {
    help = NumberHelp(std::string(token));
  } else if (token.size() == 1 && RegisterCodeOfLetter(token[0]) >= 0) {
    help = RegisterHelp(RegisterCodeOfLetter(token[0]));
  } else if (IsMemWord(token)) {
    help = MemHelp();
  }
  return help.empty() ? help : help + "; here, " + RoleOf(row, shape);
}

Completion MnemonicCompletion(const InstructionRow& row) {
  return {row.mnemonic, CompletionKind::kMnemonic, row.syntax, InstructionHelp(row)};
}

// The index of the token the cursor at offset is in or starts, for the
// statement read from the line up to offset.
std::int32_t TokenIndexAt(const Statement& statement, std::size_t offset) {
  if (statement.count > 0) {
    const TokenPlace& last = statement.places[statement.count - 1];
    if (static_cast<std::size_t>(last.column - 1 + last.length) == offset) return statement.count - 1;
  }
  return statement.count;
}

// The operands of a syntax line ("MOV dst, src"), as byte ranges of it.
std::vector<OperandLabel> OperandLabels(std::string_view syntax) {
  std::vector<OperandLabel> labels;
  std::size_t at = syntax.find(' ');
  while (at != std::string_view::npos && at < syntax.size()) {
    const std::size_t start = at + 1;
    std::size_t end = syntax.find(',', start);
    if (end == std::string_view::npos) end = syntax.size();
    labels.push_back({start, end});
    at = end < syntax.size() ? end + 1 : std::string_view::npos;
  }
  return labels;
}

// What an operand token is to the highlighter, as the assembler reads it.
bool OperandKind(std::string_view token, TokenKind& kind) {
  if (IsMemWord(token)) {
    kind = TokenKind::kMem;
  } else if (token.size() == 1 && RegisterCodeOfLetter(token[0]) >= 0) {
    kind = TokenKind::kRegister;
  } else if ((token[0] >= '0' && token[0] <= '9') || token[0] == '-' || token[0] == '+') {
    kind = TokenKind::kNumber;
  } else {
    return false;
  }
  return true;
}

void AddLineTokens(std::string_view line, std::size_t index, std::vector<SourceToken>& tokens) {
  Statement statement;
  ReadLine(line, statement);
  for (std::int32_t i = 0; i < statement.count; ++i) {
    const TokenPlace& place = statement.places[i];
    const std::string_view token = TokenText(line, place);
    TokenKind kind = TokenKind::kMnemonic;
    if (i == 0 ? Assembler::FindOperation(statement.tokens[0], token.size()) == Operation::kUndefined
               : !OperandKind(token, kind)) {
      continue;
    }
    tokens.push_back({index, static_cast<std::size_t>(place.column - 1), token.size(), kind});
  }
  const std::size_t comment = line.find(';');
  if (comment == std::string_view::npos) return;
  std::size_t end = line.size();
  while (end > comment && line[end - 1] == '\r') --end;
  const std::string_view text = line.substr(comment, end - comment);
  const bool speaks =
      text.find(kAllowMarker) != std::string_view::npos || text.find(kGivenMarker) != std::string_view::npos;
  tokens.push_back({index, comment, text.size(), speaks ? TokenKind::kAllowComment : TokenKind::kComment});
}

// The byte where the list of names of line's allow comment starts, or npos.
std::size_t AllowListStart(std::string_view line) {
  const std::size_t comment = line.find(';');
  if (comment == std::string_view::npos) return comment;
  const std::size_t marker = line.find(kAllowMarker, comment);
  return marker == std::string_view::npos ? marker : marker + kAllowMarker.size();
}

std::string CheckHelp(const CheckRow& row) {
  return "**" + std::string(row.name) + "**: " + row.summary + "\n\n" + row.meaning;
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
    // The statement assembled on its own, with the diagnostics of its tokens.
    const auto assembler = std::make_unique<Assembler>();
    assembler->Open(line.data(), line.size());
    assembler->Assemble({.keepGoing = true, .recordStatements = false, .reportWarnings = true});
    if (index == 0) {
      const Operation operation = Assembler::FindOperation(statement.tokens[0], token.size());
      const Diagnostic* d = DiagnosticOfToken(*assembler, place.column);
      hover.text = operation == Operation::kUndefined ? (d != nullptr ? DescribeDiagnostic(*d) : std::string())
                                                      : InstructionHelp(RowOf(operation));
    } else {
      hover.text = OperandHelp(statement, index, token, *assembler);
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
  const std::int32_t index = TokenIndexAt(statement, offset);
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
    items.push_back(
        {slot.name, CompletionKind::kRegister, "register, code " + std::to_string(slot.slot), RegisterHelp(slot.slot)});
  }
  items.push_back({kRegisterNames[kRegM], CompletionKind::kRegister, "the byte at HL", MemHelp()});
  return items;
}

std::string PlainText(std::string_view markdown) {
  std::string plain;
  plain.reserve(markdown.size());
  for (std::size_t i = 0; i < markdown.size(); ++i) {
    if (markdown[i] == '`') continue;
    if (markdown.compare(i, 2, "**") == 0) {
      ++i;
      continue;
    }
    plain += markdown[i];
  }
  return plain;
}

Signature SignatureAt(std::string_view line, std::size_t offset) {
  Signature signature;
  if (offset > line.size()) offset = line.size();
  const std::string_view before = line.substr(0, offset);
  if (before.find(';') != std::string_view::npos) return signature;
  Statement statement;
  ReadLine(before, statement);
  const std::int32_t index = TokenIndexAt(statement, offset);
  if (index == 0 || statement.ignored.column != 0) return signature;
  const Operation operation =
      Assembler::FindOperation(statement.tokens[0], static_cast<std::size_t>(statement.places[0].length));
  if (operation == Operation::kUndefined) return signature;
  const InstructionRow& row = RowOf(operation);
  if (row.operandCount == 0) return signature;
  signature.found = true;
  signature.label = row.syntax;
  signature.documentation = row.summary;
  signature.operands = OperandLabels(row.syntax);
  signature.active = static_cast<std::size_t>(std::min<std::int32_t>(index, row.operandCount) - 1);
  return signature;
}

std::vector<SourceToken> SourceTokens(std::string_view text) {
  std::vector<SourceToken> tokens;
  const SourceLines lines(text);
  for (std::size_t i = 0; i < lines.Count(); ++i) AddLineTokens(lines.Line(i), i, tokens);
  return tokens;
}

Hover AllowHoverAt(std::string_view line, std::size_t offset) {
  Hover hover;
  const std::size_t list = AllowListStart(line);
  if (list == std::string_view::npos) return hover;
  ForEachAllowName(line, list, line.size(), [&](std::size_t start, std::size_t length) {
    if (offset < start || offset >= start + length) return;
    const std::string_view name = line.substr(start, length);
    const CheckRow* row = FindCheck(name);
    hover.found = true;
    hover.column = start;
    hover.length = length;
    hover.text = row != nullptr ? CheckHelp(*row)
                                : "**" + std::string(name) + "** names no check; the checks are " + CheckNamesInWords();
  });
  return hover;
}

std::vector<Completion> AllowCompletionsAt(std::string_view line, std::size_t offset) {
  std::vector<Completion> items;
  if (offset > line.size()) offset = line.size();
  const std::size_t list = AllowListStart(line.substr(0, offset));
  if (list == std::string_view::npos) return items;
  // Only within the list: names, spaces and commas since the marker.
  for (std::size_t at = list; at < offset; ++at) {
    const char ch = line[at];
    if (!IsCheckNameCharacter(ch) && ch != ' ' && ch != '\t' && ch != ',') return items;
  }
  for (const CheckRow& row : kCheckTable)
    items.push_back({row.name, CompletionKind::kCheck, row.summary, CheckHelp(row)});
  return items;
}

}  // namespace mirvo
