// Expression trees lowered to assembly. A value ends in A (or is a
// constant); temporaries live in scratch cells, one per depth, since the
// machine's registers are few: B is the operand of ADD, C and D hold a
// value across an address computation, H and L address memory.
#include <string>

#include "CompilerState.h"

namespace mirvo::cc {

namespace {

Value Constant(std::int64_t value) { return {true, value, value}; }

// The operator a table computes for op with a constant on the side known,
// or "": k op x is x op k for & | ^, and the mirrored comparison.
std::string_view TableOperator(std::string_view op, bool leftKnown, bool rightKnown) {
  static constexpr std::pair<std::string_view, std::string_view> kMirrored[] = {
      {"&", "&"}, {"|", "|"}, {"^", "^"}, {"<", ">"}, {"<=", ">="}, {">", "<"}, {">=", "<="}};
  static constexpr std::string_view kRightOnly[] = {">>", "/", "%"};
  if (rightKnown) {
    for (const auto& [from, to] : kMirrored) {
      if (op == from) return from;
    }
    for (std::string_view o : kRightOnly) {
      if (op == o) return o;
    }
  } else if (leftKnown) {
    for (const auto& [from, to] : kMirrored) {
      if (op == from) return to;
    }
  }
  return {};
}
Value Byte(bool isBool) { return {false, 0, isBool ? 1 : 255}; }

}  // namespace

std::uint16_t Lowering::Temp() {
  const auto depth = static_cast<std::size_t>(p.depth);
  while (p.temps.size() <= depth) {
    p.temps.push_back(p.placer.Cells(1));
    p.placed.push_back({"scratch " + std::to_string(p.temps.size()), p.temps.back()});
  }
  return p.temps[depth];
}

void Lowering::SaveA(std::uint16_t cell) {
  out.SetHL(cell);
  out.Mov('M', 'A');
}

void Lowering::LoadInto(char reg, std::uint16_t cell) {
  out.SetHL(cell);
  out.Mov(reg, 'M');
}

bool Lowering::Simple(int node) const {
  const Node& n = p.At(node);
  return n.kind == NodeKind::kVar && p.vars[static_cast<std::size_t>(n.var)].size == 0;
}

bool Lowering::Wide(Value value, const Node& n) {
  if (value.Exact()) return false;
  const std::size_t length = n.end > n.begin ? n.end - n.begin : 0;
  p.Error(DiagnosticKind::kCWideResult, p.tokens[static_cast<std::size_t>(n.token)],
          std::string(p.source.substr(n.begin, length < 120 ? length : 120)));
  return true;
}

static void ToA(Emitter& out, Value v) {
  if (v.constant) out.Mvi('A', v.lo);
}

Value Lowering::Lower(int node, bool discard) {
  if (!p.SideEffects(node)) {
    if (const std::optional<std::int64_t> v = p.Fold(node)) return Constant(*v);
  }
  const Node n = p.At(node);
  switch (n.kind) {
    case NodeKind::kVar:
    case NodeKind::kIndex:
    case NodeKind::kMem:
      return Load(n);
    case NodeKind::kUnary:
      return Unary(n);
    case NodeKind::kBinary:
      return Binary(n);
    case NodeKind::kAssign:
      return Assign(n);
    case NodeKind::kIncDec:
      return IncDec(n, discard);
    case NodeKind::kCast:
      return Cast(n);
    case NodeKind::kCall:
      return Call(n);
    case NodeKind::kConst:
      break;
  }
  return Constant(0);
}

bool Lowering::ConstantAddress(const Node& n, std::uint16_t& address) {
  if (n.kind == NodeKind::kVar) {
    address = p.vars[static_cast<std::size_t>(n.var)].address;
    return true;
  }
  const std::optional<std::int64_t> index = p.Known(n.a);
  if (!index) return false;
  const std::int64_t size = n.kind == NodeKind::kIndex ? p.vars[static_cast<std::size_t>(n.var)].size : 0x10000;
  if (*index < 0 || *index >= size) {
    p.Error(DiagnosticKind::kCUnsupported, p.TokenOf(n.a),
            n.kind == NodeKind::kIndex ? "an index outside the array" : "an address outside the 65536 bytes of memory");
    address = 0;
    return true;
  }
  if (n.kind == NodeKind::kIndex) {
    address = static_cast<std::uint16_t>(p.vars[static_cast<std::size_t>(n.var)].address + *index);
  } else {
    address = static_cast<std::uint16_t>(*index);
    p.placer.touchedBytes.insert(address);
    p.named.push_back({address, address, n.token});
  }
  return true;
}

// Lowers the low byte of a computed address into A and says its page.
void Lowering::IndexToA(const Node& n, std::uint8_t& high) {
  int index = n.a;
  std::int64_t page = 0;
  if (n.kind == NodeKind::kIndex) {
    page = p.vars[static_cast<std::size_t>(n.var)].address;
  } else {
    const Node& sum = p.At(n.a);
    if (sum.kind == NodeKind::kBinary && sum.op == "+") {
      for (int side = 0; side < 2; ++side) {
        const int k = side == 0 ? sum.a : sum.b;
        const std::optional<std::int64_t> base = p.Known(k);
        if (base && *base % 256 == 0 && *base >= 0 && *base <= 0xFF00) {
          page = *base;
          index = side == 0 ? sum.b : sum.a;
        }
      }
    }
    p.placer.touchedPages.insert(static_cast<int>(page >> 8));
    p.named.push_back({static_cast<int>(page), static_cast<int>(page + 255), n.token});
  }
  high = static_cast<std::uint8_t>(page >> 8);
  const Value e = Lower(index);
  // An array's index past 255 is past its end, which C leaves undefined; an
  // address of mem must not carry into its high byte.
  if (n.kind == NodeKind::kMem && Wide(e, p.At(index))) return;
  ToA(out, e);
  if ((page & 0xFF) != 0) {
    out.Mvi('B', page & 0xFF);
    out.Add('B');
  }
}

Value Lowering::Load(const Node& n) {
  const bool isBool = n.var >= 0 && p.vars[static_cast<std::size_t>(n.var)].isBool;
  std::uint16_t address = 0;
  if (ConstantAddress(n, address)) {
    out.SetHL(address);
  } else {
    std::uint8_t high = 0;
    IndexToA(n, high);
    out.Mov('L', 'A');
    out.Mvi('H', high);
  }
  out.Mov('A', 'M');
  return Byte(isBool);
}

Value Lowering::Unary(const Node& n) {
  Value v = Lower(n.a);
  if (n.op == "+") return v;
  if (n.op == "!") {
    Node zero;
    zero.kind = NodeKind::kConst;
    p.nodes.push_back(zero);
    Node eq = n;
    eq.kind = NodeKind::kBinary;
    eq.op = "==";
    eq.b = static_cast<int>(p.nodes.size()) - 1;
    return Equality(eq, false);
  }
  ToA(out, v);
  out.MultiplyA(255);  // -x is x * 255 modulo 256
  if (n.op == "~") {
    out.Mvi('B', 0xFF);  // ~x is -x - 1
    out.Add('B');
    return {false, -v.hi - 1, -v.lo - 1};
  }
  return {false, -v.hi, -v.lo};
}

Value Lowering::Binary(const Node& n) {
  if (n.op == "+" || n.op == "-") return AddSub(n);
  if (n.op == "==" || n.op == "!=") return Equality(n, n.op == "!=");
  if (n.op == "?") {
    const std::optional<std::int64_t> c = p.Known(n.a);
    if (c) return Lower(*c != 0 ? n.b : n.args[0]);
    return Choose(n);
  }
  if (n.op == "&&" || n.op == "||") return Logical(n);
  const bool scaled = n.op == "*" || n.op == "<<";
  const std::optional<std::int64_t> fb = p.Known(n.b);
  const std::optional<std::int64_t> fa = p.Known(n.a);
  const bool ordering = n.op == "<" || n.op == "<=" || n.op == ">" || n.op == ">=";
  if (const std::string_view op = TableOperator(n.op, fa.has_value(), fb.has_value()); !op.empty()) {
    const std::int64_t k = fb ? *fb : *fa;
    const int operand = fb ? n.a : n.b;
    if (!ordering || !SharesComparison({std::string(op), k}, operand)) return Table(n, op, k, operand);
  }
  if (ordering) return Compare(n);
  if (!fa && !fb && (n.op == "&" || n.op == "|" || n.op == "^" || n.op == "*")) return Runtime(n);
  if (scaled && (fb || (fa && n.op == "*"))) {
    const std::int64_t k = fb ? *fb : *fa;
    if (n.op == "<<" && (k < 0 || k > 15)) {
      p.Error(DiagnosticKind::kCUnsupported, p.tokens[static_cast<std::size_t>(n.token)], "a shift by this count");
      return Byte(false);
    }
    const Value v = Lower(fb ? n.a : n.b);
    if (n.op == "<<" && v.lo < 0 && !Wide(v, p.At(n.a))) return v;
    ToA(out, v);
    const std::int64_t factor = n.op == "<<" ? std::int64_t{1} << k : k;
    out.MultiplyA(factor);
    return factor >= 0 ? Value{false, v.lo * factor, v.hi * factor} : Value{false, v.hi * factor, v.lo * factor};
  }
  p.Error(DiagnosticKind::kCUnsupported, p.tokens[static_cast<std::size_t>(n.token)],
          "'" + std::string(n.op) + "' of values known only as the program runs");
  return Byte(false);
}

Value Lowering::AddSub(const Node& n) {
  const bool sub = n.op == "-";
  const std::optional<std::int64_t> fa = p.Known(n.a);
  const std::optional<std::int64_t> fb = p.Known(n.b);
  if (fb) {
    const Value l = Lower(n.a);
    ToA(out, l);
    const std::int64_t k = sub ? -*fb : *fb;
    if ((k & 0xFF) != 0) {
      out.Mvi('B', k);
      out.Add('B');
    }
    return {false, l.lo + k, l.hi + k};
  }
  if (fa || Simple(n.b) == false) {
    Value r = Lower(n.b);
    ToA(out, r);
    if (sub) {
      out.MultiplyA(255);
      r = {false, -r.hi, -r.lo};
    }
    if (fa) {
      if ((*fa & 0xFF) != 0) {
        out.Mvi('B', *fa);
        out.Add('B');
      }
      return {false, r.lo + *fa, r.hi + *fa};
    }
    const std::uint16_t t = Temp();
    SaveA(t);
    ++p.depth;
    const Value l = Lower(n.a);
    --p.depth;
    ToA(out, l);
    LoadInto('B', t);
    out.Add('B');
    return {false, l.lo + r.lo, l.hi + r.hi};
  }
  // b is a variable: read it straight into B once a is in A.
  const Value l = Lower(n.a);
  ToA(out, l);
  const Variable& v = p.vars[static_cast<std::size_t>(p.At(n.b).var)];
  LoadInto('B', v.address);
  if (!sub) {
    out.Add('B');
    return {false, l.lo, l.hi + (v.isBool ? 1 : 255)};
  }
  // a - b: b negated in A, then a added back from its scratch cell.
  const std::uint16_t t = Temp();
  SaveA(t);
  out.Mov('A', 'B');
  out.MultiplyA(255);
  LoadInto('B', t);
  out.Add('B');
  return {false, l.lo - (v.isBool ? 1 : 255), l.hi};
}

// a == b without a table: 0 stored at [a], then 1 at [b], and [a] read, in
// a page of its own. For a != b the two stores are 1 and then 0.
Value Lowering::Equality(const Node& n, bool notEqual) {
  if (p.eqPage == 0) {
    p.eqPage = p.placer.Page();
    p.placed.push_back({"equality page", p.eqPage});
  }
  const std::optional<std::int64_t> fb = p.Known(n.b);
  Value r = fb ? Constant(*fb) : Lower(n.b);
  if (!fb) {
    ToA(out, r);
    SaveA(Temp());
  }
  ++p.depth;
  const Value l = Lower(n.a);
  --p.depth;
  ToA(out, l);
  // The bytes are equal exactly when the values are: no difference of 256 or more.
  if (l.lo - r.hi <= -256 || l.hi - r.lo >= 256) {
    Wide(l.Exact() ? r : l, p.At(l.Exact() ? n.b : n.a));
    return Byte(true);
  }
  if (!fb) LoadInto('C', Temp());
  out.Mov('L', 'A');
  out.Mvi('H', p.eqPage >> 8);
  out.Mvi('M', notEqual ? 1 : 0);
  if (fb) {
    out.Mvi('L', *fb);
  } else {
    out.Mov('L', 'C');
  }
  out.Mvi('M', notEqual ? 0 : 1);
  out.Mov('L', 'A');
  out.Mov('A', 'M');
  return Byte(true);
}

Value Lowering::ToBool(Value v, const Node& n) {
  if (v.constant) return Constant(v.lo != 0 ? 1 : 0);
  if (v.lo > 0 || v.hi < 0) return Constant(1);
  if (v.lo >= 0 && v.hi <= 1) return v;
  if (v.lo <= -256 || v.hi >= 256) {
    Wide(v, n);
    return Byte(true);
  }
  // v != 0: 1 stored at [v], then 0 at [0], and [v] read.
  out.Mov('L', 'A');
  if (p.eqPage == 0) {
    p.eqPage = p.placer.Page();
    p.placed.push_back({"equality page", p.eqPage});
  }
  out.Mvi('H', p.eqPage >> 8);
  out.Mvi('M', 1);
  out.Mvi('L', 0);
  out.Mvi('M', 0);
  out.Mov('L', 'A');
  out.Mov('A', 'M');
  return Byte(true);
}

Value Lowering::Cast(const Node& n) {
  const Value v = Lower(n.a);
  if (n.value != 0) return ToBool(v, p.At(n.a));
  if (v.constant) return Constant(v.lo & 0xFF);
  return v.Exact() ? v : Byte(false);
}

}  // namespace mirvo::cc
