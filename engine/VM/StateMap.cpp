#include "StateMap.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

namespace mirvo {

namespace {

// A short text held in a fixed slot, so that it can be copied with one
// fixed-size move and the cursor advanced by its real size.
struct Piece {
  char text[16];
  std::uint8_t size;
};

constexpr char kHexDigits[] = "0123456789abcdef";

// Lowercase hexadecimal without leading zeros, as "%x" writes it.
constexpr std::array<Piece, 256> kHex = [] {
  std::array<Piece, 256> table{};
  for (unsigned v = 0; v < 256; ++v) {
    Piece& p = table[v];
    if (v >= 16) p.text[p.size++] = kHexDigits[v >> 4];
    p.text[p.size++] = kHexDigits[v & 15];
  }
  return table;
}();

// Two hexadecimal digits, for the low byte of an address above 0xff.
constexpr std::array<Piece, 256> kHexPadded = [] {
  std::array<Piece, 256> table{};
  for (unsigned v = 0; v < 256; ++v) {
    table[v].text[0] = kHexDigits[v >> 4];
    table[v].text[1] = kHexDigits[v & 15];
    table[v].size = 2;
  }
  return table;
}();

// Everything of a memory line after its address: ": 0x%x (%d)\n".
constexpr std::array<Piece, 256> kMemoryTail = [] {
  std::array<Piece, 256> table{};
  for (unsigned v = 0; v < 256; ++v) {
    Piece& p = table[v];
    for (const char c : {':', ' ', '0', 'x'}) p.text[p.size++] = c;
    for (std::uint8_t i = 0; i < kHex[v].size; ++i) p.text[p.size++] = kHex[v].text[i];
    p.text[p.size++] = ' ';
    p.text[p.size++] = '(';
    if (v >= 100) p.text[p.size++] = static_cast<char>('0' + v / 100);
    if (v >= 10) p.text[p.size++] = static_cast<char>('0' + v / 10 % 10);
    p.text[p.size++] = static_cast<char>('0' + v % 10);
    p.text[p.size++] = ')';
    p.text[p.size++] = '\n';
  }
  return table;
}();

// Collects the report in a fixed block and hands full blocks to the sink.
class ReportBuffer {
 public:
  // The block lives on the heap: the formatter may run on a small stack.
  ReportBuffer(ChunkSink sink, void* context)
      : sink(sink), context(context), data(std::unique_ptr<char[]>(new char[kSize])) {}

  // A cursor with at least kSlack bytes of room behind it.
  char* Room() {
    if (kSize - used < kSlack) Flush();
    return data.get() + used;
  }
  void Advance(char* end) { used = static_cast<std::size_t>(end - data.get()); }

  void Append(const char* text, std::size_t size) {
    while (size > 0) {
      if (used == kSize) Flush();
      const std::size_t part = std::min(size, kSize - used);
      std::memcpy(data.get() + used, text, part);
      used += part;
      text += part;
      size -= part;
    }
  }
  void Append(const char* text) { Append(text, std::strlen(text)); }
  void AppendHex(unsigned value) {
    char digits[8];
    std::size_t n = 0;
    do {
      digits[sizeof(digits) - ++n] = kHexDigits[value & 15];
      value >>= 4;
    } while (value != 0);
    Append(digits + sizeof(digits) - n, n);
  }
  void AppendDecimal(unsigned value) {
    char digits[10];
    std::size_t n = 0;
    do {
      digits[sizeof(digits) - ++n] = static_cast<char>('0' + value % 10);
      value /= 10;
    } while (value != 0);
    Append(digits + sizeof(digits) - n, n);
  }
  // "%x (%d)\n" with the same value twice.
  void AppendValue(unsigned value) {
    AppendHex(value);
    Append(" (");
    AppendDecimal(value);
    Append(")\n");
  }

  int Finish() {
    Flush();
    return failed ? 1 : 0;
  }

 private:
  static constexpr std::size_t kSlack = 64;
  static constexpr std::size_t kSize = std::size_t{1} << 16;

  void Flush() {
    if (used > 0 && !failed && !sink(context, data.get(), used)) failed = true;
    used = 0;
  }

  ChunkSink sink;
  void* context;
  std::size_t used = 0;
  bool failed = false;
  std::unique_ptr<char[]> data;
};

void AppendHeading(ReportBuffer& out, const char* imagePath) {
  out.Append("This output file was produced by MirvoVM.\n");
  out.Append("It represents the state of the VM after\n");
  out.Append("running an application.\n\n");
  out.Append("Output log from: ");
  out.Append(imagePath);
  out.Append("\n\n");
  out.Append("MirvoVM (Post Run) VM CPU State Map\n");
  out.Append("\n");
}

void AppendRegisters(ReportBuffer& out, const RegisterFile& registers) {
  out.Append("Registers\n");
  for (const NamedSlot& reg : kRegisterReportOrder) {
    out.Append("Reg ");
    out.Append(reg.name);
    out.Append(": ");
    out.AppendValue(registers[reg.slot]);
  }
  out.Append("\n");
}

// The flags in the order of the flag byte, high bit first, with "-" for
// each bit between them that is no flag; below, each flag's value under the
// first letter of its name.
void AppendFlags(ReportBuffer& out, const FlagBytes& flags) {
  out.Append("Flags\n");
  std::string names;
  std::string values;
  std::size_t lastColumn = 0;
  unsigned lastSlot = 0;
  for (const NamedSlot& flag : kFlagReportOrder) {
    if (!names.empty()) {
      for (unsigned bit = lastSlot - 1; bit > flag.slot; --bit) names += " -";
      names += ' ';
      values.append(names.size() - lastColumn - 1, ' ');
    }
    lastColumn = names.size();
    lastSlot = flag.slot;
    names += flag.name;
    values += std::to_string(flags[flag.slot]);
  }
  out.Append(names.c_str());
  out.Append("\n");
  out.Append(values.c_str());
  out.Append("\n\n");
}

void AppendPointers(ReportBuffer& out, const VirtualMachine& machine) {
  out.Append("Program Counter/Instruction Pointer\n0x");
  out.AppendValue(machine.GetProgramCounter());
  out.Append("\n");
  out.Append("Stack Pointer\n0x");
  out.AppendValue(machine.GetStackPointer());
  out.Append("\n");
}

// One line per byte of memory, each written straight into the buffer from
// the tables of pieces: this is most of the map.
void AppendMemory(ReportBuffer& out, const VirtualMachine& machine) {
  out.Append("Memory Map\n");
  for (unsigned address = 0; address < kMemorySize; ++address) {
    char* cursor = out.Room();
    std::memcpy(cursor, "0x", 2);
    cursor += 2;
    if (address > 0xFF) {
      const Piece& high = kHex[address >> 8];
      std::memcpy(cursor, high.text, 2);
      cursor += high.size;
      std::memcpy(cursor, kHexPadded[address & 0xFF].text, 2);
      cursor += 2;
    } else {
      std::memcpy(cursor, kHex[address].text, 2);
      cursor += kHex[address].size;
    }
    const Piece& tail = kMemoryTail[machine.MemoryAt(static_cast<std::uint16_t>(address))];
    std::memcpy(cursor, tail.text, sizeof(tail.text));
    out.Advance(cursor + tail.size);
  }
  out.Append("\n");
}

}  // namespace

int FormatStateMap(const VirtualMachine& machine, const char* imagePath, ChunkSink sink, void* context) {
  ReportBuffer out(sink, context);
  AppendHeading(out, imagePath);
  AppendRegisters(out, machine.GetRegisters());
  AppendFlags(out, machine.GetFlags());
  AppendPointers(out, machine);
  AppendMemory(out, machine);
  return out.Finish();
}

std::string StateMapText(const VirtualMachine& machine, const char* imagePath) {
  std::string text;
  text.reserve(std::size_t{1} << 21);
  FormatStateMap(
      machine, imagePath,
      [](void* context, const char* data, std::size_t size) {
        static_cast<std::string*>(context)->append(data, size);
        return true;
      },
      &text);
  return text;
}

}  // namespace mirvo
