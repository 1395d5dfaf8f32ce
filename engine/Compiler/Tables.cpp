// Byte functions through tables in memory: f(x) for x a byte is the byte at
// (the table's page, x), read with H the page, L = x and MOV A, Mem. The
// prologue builds the tables before the program runs; memory starts
// zeroed, so only the non-zero entries cost code, and only the tables the
// program uses are built (the compiler's first reading finds them).
// && and || are chosen by a select, as ?: is. A comparison of two bytes
// reads the carry of a - b, computed in halves so that no sum needs a
// ninth bit.
#include <optional>
#include <string>

#include "CompilerState.h"

namespace mirvo::cc {

namespace {

constexpr int kRepeatedValue = 3;  // from this many entries alike, the value is kept in B

// A table of nibble pairs ("nibbles &") holds at 16 * p + q the operator
// of the nibbles p and q; every other table x op k.
constexpr std::string_view kPairs = "nibbles ";

bool IsPairs(const Parser::TableKey& key) { return key.first.starts_with(kPairs); }

std::uint8_t Entry(const Parser::TableKey& key, int i) {
  const std::optional<std::int64_t> f =
      IsPairs(key) ? Arithmetic(key.first.substr(kPairs.size()), i >> 4, i & 15) : Arithmetic(key.first, i, key.second);
  return static_cast<std::uint8_t>(f.value_or(0) & 0xFF);
}

// The value most entries share (0 on a tie): the table holds each entry
// less it, so that those cells stay the zero memory starts with, and a
// read adds it back. x > 0 is then one entry, at 0, and not 255.
std::uint8_t Offset(const Parser::TableKey& key) {
  int count[256] = {};
  for (int i = 0; i < 256; ++i) ++count[Entry(key, i)];
  int most = 0;
  for (int value = 1; value < 256; ++value) most = count[value] > count[most] ? value : most;
  return static_cast<std::uint8_t>(most);
}

std::uint8_t Stored(const Parser::TableKey& key, std::uint8_t offset, int i) {
  return static_cast<std::uint8_t>(Entry(key, i) - offset);
}

std::string TableName(const Parser::TableKey& key) {
  if (IsPairs(key)) return "table of nibble pairs: (i >> 4) " + key.first.substr(kPairs.size()) + " (i & 15)";
  const std::uint8_t offset = Offset(key);
  return "table of x " + key.first + " " + std::to_string(key.second) +
         (offset != 0 ? ", less " + std::to_string(offset) : "");
}

// The prologue's bytes for a table, as Prologue writes it.
std::int64_t TableBytes(const Parser::TableKey& key) {
  const std::uint8_t offset = Offset(key);
  int count[256] = {};
  for (int i = 0; i < 256; ++i) ++count[Stored(key, offset, i)];
  std::int64_t bytes = 2;
  for (int value = 1; value < 256; ++value) {
    bytes += count[value] >= kRepeatedValue ? 2 + 3 * count[value] : 4 * count[value];
  }
  return bytes;
}

// About what Compare adds for a comparison with a constant, besides the
// tables every such comparison shares (x >> 1, x & 1 and x >= 128).
constexpr std::int64_t kCompareBytes = 40;

}  // namespace

void Parser::Prologue() {
  if (wanted.empty()) return;  // the first reading, or a program without tables
  prologueBuilt = true;
  out.Comment("tables, built before the program runs");
  for (const TableKey& key : wanted) {
    const std::uint16_t page = placer.Page();
    tables[key] = page;
    placed.push_back({TableName(key), page});
    out.Comment(TableName(key));
    std::uint8_t entries[256] = {};
    int count[256] = {};
    const std::uint8_t offset = Offset(key);
    for (int i = 0; i < 256; ++i) {
      entries[i] = Stored(key, offset, i);
      ++count[entries[i]];
    }
    out.Mvi('H', page >> 8);
    for (int value = 1; value < 256; ++value) {
      if (count[value] == 0) continue;
      const bool kept = count[value] >= kRepeatedValue;
      if (kept) out.Mvi('B', value);
      for (int i = 0; i < 256; ++i) {
        if (entries[i] != value) continue;
        out.Mvi('L', i);
        if (kept) {
          out.Mov('M', 'B');
        } else {
          out.Mvi('M', value);
        }
      }
    }
  }
}

// x op k for x a byte known only as the program runs, k a constant.
Value Lowering::Table(const Node& n, std::string_view op, std::int64_t k, int operand) {
  const Node& at = p.At(operand);
  const std::size_t reported = p.diagnostics.size();
  const Value v = Lower(operand);
  if (p.diagnostics.size() > reported) return Value{false, 0, 255};  // said already, not again for the table
  if (v.constant) {  // a value with side effects, or known only after lowering: C's int result
    if (const std::optional<std::int64_t> f = Arithmetic(op, v.lo, k)) return {true, *f, *f};
  }
  // & | ^ keep the low byte of a wider operand: the table of its low byte serves.
  const bool bitwise = op == "&" || op == "|" || op == "^";
  if (bitwise && !v.Exact()) {
    const std::uint16_t page = TablePage({std::string(op), k}, n);
    if (page == 0) return Value{false, 0, 255};
    ReadTable(page, TableOffset({std::string(op), k}));
    return BitwiseRange(op, v, Value{true, k, k});
  }
  if (Wide(v, at)) return Value{false, 0, 255};
  std::int64_t lo = 0, hi = 0;
  for (std::int64_t i = v.lo; i <= v.hi; ++i) {
    const std::optional<std::int64_t> f = Arithmetic(op, i, k);
    if (!f) {
      p.Error(DiagnosticKind::kCUnsupported, p.tokens[static_cast<std::size_t>(n.token)],
              "'" + std::string(op) + "' by this constant, which C leaves undefined");
      return Value{false, 0, 255};
    }
    lo = i == v.lo || *f < lo ? *f : lo;
    hi = i == v.lo || *f > hi ? *f : hi;
  }
  if (lo == hi) return {true, lo, hi};  // the same for every value the operand may have
  const std::uint16_t page = TablePage({std::string(op), k}, n);
  if (page == 0) return Value{false, 0, 255};
  if (v.constant) out.Mvi('A', v.lo);
  ReadTable(page, TableOffset({std::string(op), k}));
  return {false, lo, hi};
}

std::uint8_t Lowering::TableOffset(const Parser::TableKey& key) {
  const auto found = p.offsets.find(key);
  return found != p.offsets.end() ? found->second : p.offsets.emplace(key, Offset(key)).first->second;
}

void Lowering::ReadTable(std::uint16_t page, std::uint8_t offset) {
  out.Mov('L', 'A');
  out.Mvi('H', page >> 8);
  out.Mov('A', 'M');
  if (offset != 0) {
    out.Mvi('B', offset);
    out.Add('B');
  }
}

std::uint16_t Lowering::TablePage(const Parser::TableKey& key, const Node& n) {
  auto found = p.tables.find(key);
  if (found == p.tables.end()) {
    if (p.prologueBuilt) {
      p.Error(DiagnosticKind::kCUnsupported, p.tokens[static_cast<std::size_t>(n.token)],
              "a table the compiler's first reading did not foresee");
      return 0;
    }
    found = p.tables.emplace(key, p.placer.Page()).first;
    p.wanted.push_back(key);
  }
  return found->second;
}

// A comparison with a constant reads a table of its own: 4 bytes where it
// is used, but the table's entries in the prologue. Compare costs more
// where it is used, but its tables serve every comparison. Tables are
// kept while they are cheap or already built, and while all those the
// program's comparisons took stay below what Compare would cost; past
// that (a new constant in each trip of an unrolled loop), Compare is the
// cheaper from then on, as skis are rented until their price is paid. The
// choice rests only on what this reading has seen, so both readings agree.
bool Lowering::SharesComparison(const Parser::TableKey& key, int operand) {
  if (p.SideEffects(operand) || p.comparisonTables.count(key) != 0) return false;
  std::int64_t compare = kCompareBytes;
  if (!p.comparedAtRunTime) {  // the tables Compare shares, not yet built for it
    for (const Parser::TableKey& shared : {Parser::TableKey{">>", 1}, {"&", 1}, {">=", 128}}) {
      compare += TableBytes(shared);
    }
  }
  const std::int64_t table = TableBytes(key);
  if (table > kCompareBytes && p.comparisonSpent + table > compare) return true;
  p.comparisonSpent += table;
  p.comparisonTables.insert(key);
  return false;
}

// a && b and a || b: b has no side effects, so computing it whatever a is
// keeps C's meaning; a chooses between b and the constant.
Value Lowering::Logical(const Node& n) {
  const bool both = n.op == "&&";
  if (p.SideEffects(n.b)) {
    p.Error(DiagnosticKind::kCUnsupported, p.tokens[static_cast<std::size_t>(n.token)],
            "'" + std::string(n.op) + "' whose right side has side effects, on values known only as the program runs");
    return Value{false, 0, 1};
  }
  const Value a = ToBool(Lower(n.a), p.At(n.a));
  if (a.constant) {
    if ((a.lo != 0) != both) return Value{true, both ? 0 : 1, both ? 0 : 1};
    return ToBool(Lower(n.b), p.At(n.b));
  }
  const std::uint16_t cell = Temp();
  SaveA(cell);
  ++p.depth;
  const Value b = ToBool(Lower(n.b), p.At(n.b));
  --p.depth;
  const Entry right = b.constant ? Entry{0, static_cast<int>(b.lo)} : Entry{'C', 0};
  if (!b.constant) out.Mov('C', 'A');
  Select(out, 'A', cell, both ? Entry{0, 0} : right, both ? right : Entry{0, 1});
  return {false, 0, 1};
}

// a < b, a <= b, a > b, a >= b of two bytes: a >= b exactly when a + ~b + 1
// carries out of eight bits, and a > b when a + ~b does: when the upper
// seven bits and the carry into them,
// h = (a >> 1) + 127 - (b >> 1) + (((a & 1) - (b & 1) + 1 + c) >> 1), c the 1 or 0,
// reach 128; h lies in 0..255, so it is exact in a byte. The four share
// one table, x >= 128, the two sides swapped for < and <=.
Value Lowering::Compare(const Node& n) {
  if (p.SideEffects(n.a) || p.SideEffects(n.b)) {
    p.Error(DiagnosticKind::kCUnsupported, p.tokens[static_cast<std::size_t>(n.token)],
            "a comparison whose sides have side effects");
    return Value{false, 0, 1};
  }
  p.comparedAtRunTime = true;
  const bool swap = n.op == "<" || n.op == "<=";
  const int a = swap ? n.b : n.a, b = swap ? n.a : n.b;  // now a >= b or a > b
  const std::int64_t carry = n.op == ">=" || n.op == "<=" ? 2 : 1;
  const auto make = [&](NodeKind kind, std::string_view op, int left, int right, std::int64_t value) {
    Node node;
    node.kind = kind;
    node.op = op;
    node.a = left;
    node.b = right;
    node.value = value;
    node.token = n.token;
    node.begin = n.begin;
    node.end = n.end;
    p.nodes.push_back(node);
    return static_cast<int>(p.nodes.size()) - 1;
  };
  const auto constant = [&](std::int64_t value) { return make(NodeKind::kConst, "", -1, -1, value); };
  const auto binary = [&](std::string_view op, int left, int right) {
    return make(NodeKind::kBinary, op, left, right, 0);
  };
  const int halves =
      binary("-", binary("+", binary(">>", a, constant(1)), constant(127)), binary(">>", b, constant(1)));
  const int low = binary("+", binary("-", binary("&", a, constant(1)), binary("&", b, constant(1))), constant(carry));
  const int h = binary("+", halves, binary(">>", low, constant(1)));
  return Table(n, ">=", 128, h);
}

}  // namespace mirvo::cc
