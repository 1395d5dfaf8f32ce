// Byte functions through tables in memory: f(x) for x a byte is the byte at
// (the table's page, x), read with H the page, L = x and MOV A, Mem. The
// prologue builds the tables before the program runs; memory starts
// zeroed, so only the non-zero entries cost code, and only the tables the
// program uses are built (the compiler's first reading finds them).
// && and || are chosen by a select, as ?: is. A comparison of two bytes
// reads the carry of a - b, computed in halves so that no sum needs a
// ninth bit.
#include <string>

#include "CompilerState.h"

namespace mirvo::cc {

namespace {

constexpr int kRepeatedValue = 3;  // from this many entries alike, the value is kept in B

std::string TableName(const Parser::TableKey& key) {
  return "table of x " + key.first + " " + std::to_string(key.second);
}

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
    for (int i = 0; i < 256; ++i) {
      entries[i] = static_cast<std::uint8_t>(Arithmetic(key.first, i, key.second).value_or(0) & 0xFF);
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
  const Value v = Lower(operand);
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
  const Parser::TableKey key{std::string(op), k};
  auto found = p.tables.find(key);
  if (found == p.tables.end()) {
    if (p.prologueBuilt) {
      p.Error(DiagnosticKind::kCUnsupported, p.tokens[static_cast<std::size_t>(n.token)],
              "a table the compiler's first reading did not foresee");
      return Value{false, 0, 255};
    }
    found = p.tables.emplace(key, p.placer.Page()).first;
    p.wanted.push_back(key);
  }
  if (v.constant) out.Mvi('A', v.lo);
  out.Mov('L', 'A');
  out.Mvi('H', found->second >> 8);
  out.Mov('A', 'M');
  return {false, lo, hi};
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
// carries out of eight bits, that is when its upper seven bits and the
// carry into them, h = (a >> 1) + 127 - (b >> 1) + (((a & 1) - (b & 1) + 2) >> 1),
// reach 128; h lies in 0..255, so it is exact in a byte.
Value Lowering::Compare(const Node& n) {
  if (p.SideEffects(n.a) || p.SideEffects(n.b)) {
    p.Error(DiagnosticKind::kCUnsupported, p.tokens[static_cast<std::size_t>(n.token)],
            "a comparison whose sides have side effects");
    return Value{false, 0, 1};
  }
  const bool swap = n.op == ">" || n.op == "<=";
  const int a = swap ? n.b : n.a, b = swap ? n.a : n.b;  // now a >= b or a < b
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
  const int low = binary("+", binary("-", binary("&", a, constant(1)), binary("&", b, constant(1))), constant(2));
  const int h = binary("+", halves, binary(">>", low, constant(1)));
  const bool atLeast = n.op == ">=" || n.op == "<=";
  return Table(n, atLeast ? ">=" : "<", 128, h);
}

}  // namespace mirvo::cc
