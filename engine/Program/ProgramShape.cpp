#include "ProgramShape.h"

#include <array>

#include "InstructionSet.h"
#include "Program.h"

namespace mirvo {

namespace {

// A 64-bit FNV-1a digest, in hexadecimal after kind: the same for the same
// bytes on every machine.
std::string Digest(char kind, const std::string& bytes) {
  std::uint64_t hash = 14695981039346656037ULL;
  for (const char ch : bytes) hash = (hash ^ static_cast<unsigned char>(ch)) * 1099511628211ULL;
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text(17, kind);
  for (int i = 16; i >= 1; --i, hash >>= 4) text[static_cast<std::size_t>(i)] = kDigits[hash & 0xF];
  return text;
}

}  // namespace

std::string SourceShape(const std::vector<StatementRecord>& statements) {
  if (statements.empty()) return "";
  // Each register but A (which ADD and CMP name without saying) becomes the
  // order in which it first appears; Mem and A stay what they are.
  std::array<char, 8> renamed{};
  renamed[kRegM] = 'M';
  renamed[kRegA] = 'A';
  char next = '0';
  const auto name = [&](unsigned code) {
    if (renamed[code] == '\0') renamed[code] = next++;
    return renamed[code];
  };
  std::string shape;
  for (const StatementRecord& statement : statements) {
    const Instruction instruction = kDecodeTable[statement.bytes[0]];
    shape += static_cast<char>(instruction.operation);
    if (instruction.operation == Operation::kUndefined) {
      shape += static_cast<char>(statement.bytes[0]);
      continue;
    }
    const InstructionRow& row = RowOf(instruction.operation);
    if (row.Takes(OperandShape::kDestination)) shape += name(instruction.destination);
    if (row.Takes(OperandShape::kSource)) shape += name(instruction.source);
    if (row.Takes(OperandShape::kImmediate)) shape += static_cast<char>(statement.bytes[1]);
  }
  return Digest('s', shape);
}

std::string ImageShape(std::span<const std::uint8_t> bytes) {
  if (bytes.empty()) return "";
  return Digest('i', std::string(bytes.begin(), bytes.end()));
}

std::string ProgramShape(const Program& program) {
  return program.IsSource() ? SourceShape(program.Assembly()->GetStatements()) : ImageShape(program.Image());
}

}  // namespace mirvo
