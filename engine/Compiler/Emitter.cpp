// The assembly writer and the placement of memory.
#include <string>

#include "CompilerState.h"
#include "MultiplyChains.h"
#include "Notation.h"

namespace mirvo::cc {

namespace {

std::string ByteText(std::int64_t value) { return ByteNotation(static_cast<std::uint8_t>(value & 0xFF)).text; }

std::string RegisterName(char reg) { return reg == 'M' ? "Mem" : std::string(1, reg); }

}  // namespace

bool Placer::Free(int address) const {
  return touchedBytes.count(address) == 0 && touchedPages.count(address >> 8) == 0 && pages.count(address >> 8) == 0;
}

std::uint16_t Placer::Cells(int count) {
  // An array stays inside one page, so that its index is the low byte alone.
  for (;;) {
    if (next + count > 0x10000) return lowest = 0;
    if ((next & 0xFF) + count > 0x100) next = (next | 0xFF) + 1;
    bool free = true;
    for (int i = 0; i < count && free; ++i) free = Free(next + i);
    if (free) break;
    ++next;
  }
  const auto address = static_cast<std::uint16_t>(next);
  next += count;
  if (address < lowest) lowest = address;
  return address;
}

// The highest whole page free: above the cells' first page (the cells
// grow past what it takes) or, once those pages are taken, below F000h.
std::uint16_t Placer::Page() {
  for (int page = 0xFF; page > 0; --page) {
    if (page * 256 < next && page * 256 + 255 >= 0xF000) continue;  // cells already there
    if (page == 0xF0) continue;
    bool free = true;
    for (int i = 0; i < 256 && free; ++i) free = Free(page * 256 + i);
    if (!free) continue;
    pages.insert(page);
    const auto address = static_cast<std::uint16_t>(page * 256);
    if (address < lowest) lowest = address;
    return address;
  }
  return lowest = 0;
}

int Emitter::Index(char reg) {
  static constexpr std::string_view kRegisters = "ABCDEHL";
  return static_cast<int>(kRegisters.find(reg));
}

// What a register holds, a new value when nothing is known of it yet.
int Emitter::Held(int index) {
  int& value = held[static_cast<std::size_t>(index)];
  if (value == kUnknown) value = nextValue++;
  return value;
}

int Emitter::Address() const {
  const int h = held[kH], l = held[kL];
  return h >= 0 && h < 256 && l >= 0 && l < 256 ? h * 256 + l : kUnknown;
}

// A store of value at HL: at an address not known, it may have been to any cell.
void Emitter::Stored(int address, int value) {
  if (address == kUnknown) {
    cells.clear();
  } else {
    cells[address] = value;
  }
}

// The MVIs to H and L left for later, once an instruction uses HL: an MVI
// that a later one overwrites before any use is never written.
void Emitter::Flush() {
  for (const int reg : {kH, kL}) {
    bool& waiting = pending[static_cast<std::size_t>(reg - kH)];
    if (!waiting) continue;
    waiting = false;
    written[static_cast<std::size_t>(reg - kH)] = held[static_cast<std::size_t>(reg)];
    Put(std::string("MVI ") + "HL"[reg - kH] + ", " + ByteText(held[static_cast<std::size_t>(reg)]), 2);
  }
}

void Emitter::Forget() {
  Flush();
  ForgetValues();
  held[kH] = held[kL] = kUnknown;
  written = {kUnknown, kUnknown};
}

void Emitter::ForgetValues() {
  for (int i = 0; i < kH; ++i) held[static_cast<std::size_t>(i)] = kUnknown;
  cells.clear();
}

// A line written as it is, such as a planted RET's store into the code:
// what it changes is not followed, so nothing is known after it.
void Emitter::Line(std::string_view line, int size) {
  if (line == "RET") pending = {};  // the run ends there: what waits for HL is never needed
  Flush();
  text.append(line);
  text.push_back('\n');
  ++lines;
  bytes += size;
  if (size > 0) Forget();
}

void Emitter::Comment(std::string_view comment) {
  text.append("; ").append(comment).push_back('\n');
  ++lines;
}

void Emitter::Put(std::string line, int size) {
  text.append(line);
  text.push_back('\n');
  ++lines;
  bytes += size;
}

void Emitter::Mvi(char reg, std::int64_t value) {
  const int byte = static_cast<int>(value & 0xFF);
  if (reg == 'M') {
    const int address = Address();
    const auto cell = cells.find(address);
    if (Skip(address != kUnknown && !Program(address) && cell != cells.end() && cell->second == byte)) return;
    Flush();
    Stored(address, byte);
  } else {
    const int index = Index(reg);
    int& to = held[static_cast<std::size_t>(index)];
    if (Skip(to == byte)) return;
    to = byte;
    if (keepRegisters && index >= kH) {
      pending[static_cast<std::size_t>(index - kH)] = written[static_cast<std::size_t>(index - kH)] != byte;
      return;
    }
  }
  if (reg == 'H' || reg == 'L') written[static_cast<std::size_t>(Index(reg) - kH)] = byte;
  Put("MVI " + RegisterName(reg) + ", " + ByteText(value), 2);
}

void Emitter::Mov(char to, char from) {
  if (to == 'M') {
    const int address = Address(), value = Held(Index(from));
    const auto cell = cells.find(address);
    if (Skip(address != kUnknown && !Program(address) && cell != cells.end() && cell->second == value)) return;
    Flush();
    Stored(address, value);
  } else {
    int value = 0;
    if (from != 'M') {
      value = Held(Index(from));
    } else if (const int address = Address(); address == kUnknown) {
      value = nextValue++;
    } else {
      const auto cell = cells.try_emplace(address, nextValue).first;
      if (cell->second == nextValue) ++nextValue;
      value = cell->second;
    }
    const int index = Index(to);
    int& target = held[static_cast<std::size_t>(index)];
    if (Skip(target == value)) return;
    if (from == 'M' || from == 'H' || from == 'L') Flush();
    target = value;
    if (index >= kH) {
      pending[static_cast<std::size_t>(index - kH)] = false;
      written[static_cast<std::size_t>(index - kH)] = value;
    }
  }
  Put("MOV " + RegisterName(to) + ", " + RegisterName(from), 1);
}

// Every ADD computes C's value modulo 256, which is what the byte it ends
// in means: its wrap is meant, and the run is told so.
void Emitter::Add(char reg) {
  int operand = kUnknown;
  if (reg != 'M') {
    operand = Held(Index(reg));
  } else if (const int address = Address(); address != kUnknown && cells.count(address) != 0) {
    operand = cells[address];
  }
  if (reg == 'M' || reg == 'H' || reg == 'L') Flush();
  const int a = Held(0);
  held[0] = a < 256 && operand >= 0 && operand < 256 ? (a + operand) & 0xFF : nextValue++;
  Put("ADD " + RegisterName(reg) + "           ; mirvo: allow carry-lost", 1);
}

void Emitter::SetHL(std::uint16_t address) {
  Mvi('H', address >> 8);
  Mvi('L', address & 0xFF);
}

// A = A * k modulo 256: the shortest register-only chain when optimising
// (it changes B to E), else by doubling and adding with the operand in B,
// which reads as the multiplication is taught.
void Emitter::MultiplyA(std::int64_t k) {
  const std::int64_t factor = ((k % 256) + 256) % 256;
  if (factor == 1) return;
  if (keepRegisters) {
    for (const ChainStep& step : MultiplyChain(static_cast<std::uint8_t>(factor))) {
      if (step.op == ChainStep::kMvi) {
        Mvi(step.dst, static_cast<unsigned char>(step.src));
      } else if (step.op == ChainStep::kMov) {
        Mov(step.dst, step.src);
      } else {
        Add(step.src);
      }
    }
    return;
  }
  if (factor == 0) {
    Mvi('A', 0);
    return;
  }
  int top = 7;
  while (((factor >> top) & 1) == 0) --top;
  if ((factor & (factor - 1)) != 0) Mov('B', 'A');
  for (int bit = top - 1; bit >= 0; --bit) {
    Add('A');
    if (((factor >> bit) & 1) != 0) Add('B');
  }
}

}  // namespace mirvo::cc
