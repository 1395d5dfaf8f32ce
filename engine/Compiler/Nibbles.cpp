// x & y, x | y, x ^ y and x * y of two bytes known only as the program
// runs. No table of 256 entries holds a function of two bytes, but one
// holds a function of two nibbles: index 16 * p + q. So each operand is
// split with one table, x >> 4: its high nibble xh is the table at x, its
// low nibble xl the table at 16 * x (modulo 256, a chain of ADD A), and
// the nibbles are combined through a table of nibble pairs:
//   x & y = 16 * AND(xh, yh) + AND(xl, yl)
//   x | y = x + y - (x & y)        x ^ y = x + y - 2 * (x & y)
//   x * y = PROD(xl, yl) + 16 * (PROD(xl, yh) + PROD(xh, yl))   (mod 256)
// where 16 * p + q is 16 * x + yl for the low nibbles, since 16 * x is
// 16 * xl modulo 256. Every step is a byte, so nothing needs the carry
// the machine cannot read. Only the low byte of x * y is computed, which
// is what a store keeps; the value's range says when more was needed.
#include <algorithm>
#include <string>
#include <utility>

#include "CompilerState.h"

namespace mirvo::cc {

namespace {

// The least k with every value of v in -2^k .. 2^k - 1.
int Bits(Value v) {
  int k = 0;
  while (v.lo < -(std::int64_t{1} << k) || v.hi >= (std::int64_t{1} << k)) ++k;
  return k;
}

Value ProductRange(Value x, Value y) {
  const std::int64_t corners[] = {x.lo * y.lo, x.lo * y.hi, x.hi * y.lo, x.hi * y.hi};
  return {false, *std::min_element(std::begin(corners), std::end(corners)),
          *std::max_element(std::begin(corners), std::end(corners))};
}

bool Nibble(Value v) { return v.lo >= 0 && v.hi <= 15; }

constexpr std::int64_t kIntMax = 2147483647;

}  // namespace

Value BitwiseRange(std::string_view op, Value x, Value y) {
  const std::int64_t top = (std::int64_t{1} << std::max(Bits(x), Bits(y))) - 1;
  if (op == "&" && x.lo >= 0 && y.lo >= 0) return {false, 0, std::min(x.hi, y.hi)};
  if (op == "&" && (x.lo >= 0 || y.lo >= 0)) return {false, 0, x.lo >= 0 ? x.hi : y.hi};
  if (x.lo >= 0 && y.lo >= 0) return {false, op == "|" ? std::max(x.lo, y.lo) : 0, top};
  return {false, -top - 1, top};
}

Value Lowering::Runtime(const Node& n) {
  const bool multiply = n.op == "*";
  Value x = Lower(n.a);
  if (x.constant) out.Mvi('A', x.lo);
  std::uint16_t xCell = Temp();
  SaveA(xCell);
  ++p.depth;
  Value y = Lower(n.b);
  if (y.constant) out.Mvi('A', y.lo);
  std::uint16_t yCell = Temp();
  SaveA(yCell);
  --p.depth;
  const Value range = multiply ? ProductRange(x, y) : BitwiseRange(n.op, x, y);
  if (range.lo < -kIntMax - 1 || range.hi > kIntMax) {
    p.Error(DiagnosticKind::kCUnsupported, p.tokens[static_cast<std::size_t>(n.token)],
            "a product past int's range, which C leaves undefined");
    return {false, 0, 255};
  }
  if (Nibble(x) && !Nibble(y)) {  // the nibble, if one is, goes second
    std::swap(x, y);
    std::swap(xCell, yCell);
  }
  const std::uint16_t pairs = TablePage({multiply ? "nibbles *" : "nibbles &", 0}, n);
  const bool split = !Nibble(y) || (multiply && !Nibble(x));  // a byte of more than a nibble to split
  const std::uint16_t shift = split ? TablePage({">>", 4}, n) : 0;
  if (pairs == 0 || (split && shift == 0)) return {false, 0, 255};
  static constexpr std::pair<std::string_view, std::string_view> kSteps[] = {
      {"&", "x & y by nibbles: 16 * AND(xh, yh) + AND(xl, yl), from the table of nibble pairs"},
      {"|", "x | y = x + y - (x & y), x & y by nibbles from the table of nibble pairs"},
      {"^", "x ^ y = x + y - 2 * (x & y), x & y by nibbles from the table of nibble pairs"},
      {"*", "x * y modulo 256 by nibbles: PROD(xl, yl) + 16 * (PROD(xl, yh) + PROD(xh, yl))"}};
  for (const auto& [op, step] : kSteps) {
    if (n.op == op) out.Comment(step);
  }
  if (multiply) {
    MultiplyNibbles(xCell, yCell, Nibble(x), Nibble(y), pairs, shift);
  } else {
    AndNibbles(xCell, yCell, Nibble(y), pairs, shift);
    if (n.op != "&") {  // x + y - (x & y), or x + y - 2 * (x & y)
      out.MultiplyA(n.op == "|" ? 255 : 254);
      out.SetHL(xCell);
      out.Add('M');
      out.SetHL(yCell);
      out.Add('M');
    }
  }
  return range;
}

// A = (the byte in cell) >> 4.
void Lowering::HighNibble(std::uint16_t cell, std::uint16_t shift) {
  LoadInto('L', cell);
  out.Mvi('H', shift >> 8);
  out.Mov('A', 'M');
}

// A = the table at page, indexed by the byte in index: a table of nibble
// pairs, or x >> 4.
void Lowering::PairEntry(std::uint16_t pairs, char index) {
  out.Mov('L', index);
  out.Mvi('H', pairs >> 8);
  out.Mov('A', 'M');
}

// reg = (the byte in cell) & 15: the high nibble of the byte times 16.
void Lowering::LowNibble(char reg, std::uint16_t cell, std::uint16_t shift) {
  LoadInto('A', cell);
  out.MultiplyA(16);
  out.Mov('L', 'A');
  out.Mvi('H', shift >> 8);
  out.Mov('A', 'M');
  out.Mov(reg, 'A');
}

// A = x & y, with x in C and y in B, read from their cells once. y a
// nibble (x too, perhaps): the single entry at 16 * xl + y.
void Lowering::AndNibbles(std::uint16_t xCell, std::uint16_t yCell, bool yNibble, std::uint16_t pairs,
                          std::uint16_t shift) {
  LoadInto('C', xCell);
  LoadInto('B', yCell);
  if (yNibble) {
    out.Mov('A', 'C');
    out.MultiplyA(16);  // 16 * xl modulo 256
    out.Add('B');
    PairEntry(pairs);
    return;
  }
  out.Mov('A', 'B');
  out.MultiplyA(16);
  PairEntry(shift);
  out.Mov('D', 'A');  // D = yl
  PairEntry(shift, 'B');
  out.Mov('E', 'A');  // E = yh
  PairEntry(shift, 'C');
  out.MultiplyA(16);
  out.Add('E');
  PairEntry(pairs);
  out.MultiplyA(16);
  out.Mov('E', 'A');  // E = 16 * (xh & yh)
  out.Mov('A', 'C');
  out.MultiplyA(16);
  out.Add('D');
  PairEntry(pairs);  // xl & yl
  out.Add('E');
}

// A = x * y modulo 256. y a nibble: yh is 0, so the product of xl and yh drops.
void Lowering::MultiplyNibbles(std::uint16_t xCell, std::uint16_t yCell, bool xNibble, bool yNibble,
                               std::uint16_t pairs, std::uint16_t shift) {
  if (!yNibble) LowNibble('D', yCell, shift);  // D = yl
  LoadInto('A', xCell);
  out.MultiplyA(16);
  if (yNibble) {
    out.SetHL(yCell);
    out.Add('M');
  } else {
    out.Mov('C', 'A');  // C = 16 * xl
    out.Add('D');
  }
  PairEntry(pairs);  // xl * yl
  if (xNibble) return;
  out.Mov('D', 'A');
  if (!yNibble) {
    HighNibble(yCell, shift);
    out.Add('C');
    PairEntry(pairs);  // xl * yh
    out.Mov('E', 'A');
  }
  HighNibble(xCell, shift);
  out.Mov('B', 'A');
  LoadInto('A', yCell);
  out.MultiplyA(16);
  out.Add('B');
  PairEntry(pairs);  // yl * xh
  if (!yNibble) out.Add('E');
  out.MultiplyA(16);
  out.Add('D');
}

}  // namespace mirvo::cc
