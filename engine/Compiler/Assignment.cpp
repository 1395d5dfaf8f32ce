// Assignments, ++ and --, and calls, which are inlined.
#include <string>

#include "CompilerState.h"

namespace mirvo::cc {

namespace {

constexpr std::size_t kMaxInlined = 32;
constexpr std::int64_t kMaxCalls = 100000;

}  // namespace

// The node of value, converted as the target's type says and stored; the
// stored byte is left in A (or is a constant).
Value Lowering::Store(const Node& target, int value, const Node& at) {
  const bool isBool = target.var >= 0 && p.vars[static_cast<std::size_t>(target.var)].isBool;
  std::uint16_t address = 0;
  const bool constant = ConstantAddress(target, address);
  std::uint16_t lowCell = 0;
  std::uint8_t high = 0;
  if (!constant) {  // the address's low byte first, kept in a scratch cell
    IndexToA(target, high);
    lowCell = Temp();
    SaveA(lowCell);
    ++p.depth;
  }
  Value v = Lower(value);
  if (isBool) v = ToBool(v, p.At(value));
  (void)at;
  if (!constant) --p.depth;
  Variable* var = target.kind == NodeKind::kVar ? &p.vars[static_cast<std::size_t>(target.var)] : nullptr;
  if (var != nullptr && v.constant && !p.Conditional() && p.options.optimise && !var->global) {
    // A local's constant needs no store while every read of it is folded:
    // its cell is written only once a store under a condition may leave it.
    var->known = static_cast<std::uint8_t>(v.lo & 0xFF);
    var->stale = true;
    return {true, v.lo & 0xFF, v.lo & 0xFF};
  }
  if (var != nullptr && p.Conditional()) WriteStale(*var);
  if (var != nullptr) var->stale = false;  // and without one the cell is written now
  if (p.Conditional()) {
    if (!v.constant) out.Mov('D', 'A');
    ConditionalHL(constant, address, lowCell, high);
    if (v.constant) {
      out.Mvi('M', v.lo);
    } else {
      out.Mov('M', 'D');
      out.Mov('A', 'D');
    }
  } else {
    StoreHere(v, constant, address, lowCell, high);
  }
  if (var != nullptr) {
    if (v.constant) {
      var->known = static_cast<std::uint8_t>(v.lo & 0xFF);
    } else {
      var->known.reset();
    }
  }
  if (v.constant) return {true, v.lo & 0xFF, v.lo & 0xFF};
  return v.Exact() ? v : Value{false, 0, isBool ? 1 : 255};
}

// The store left out of a local's constant, made before one under a
// condition, which leaves the cell as it was when the condition is 0.
void Lowering::WriteStale(Variable& var) {
  if (!var.stale) return;
  var.stale = false;
  out.SetHL(var.address);
  out.Mvi('M', *var.known);
}

// The store without a condition: to the address, constant or computed.
void Lowering::StoreHere(Value v, bool constant, std::uint16_t address, std::uint16_t lowCell, std::uint8_t high) {
  if (!v.constant && !constant) out.Mov('D', 'A');
  if (!constant) {
    LoadInto('L', lowCell);
    out.Mvi('H', high);
    out.Forget();
  } else {
    out.SetHL(address);
  }
  if (v.constant) {
    out.Mvi('M', v.lo);
  } else {
    out.Mov('M', constant ? 'A' : 'D');
    if (!constant) out.Mov('A', 'D');
  }
}

Value Lowering::Assign(const Node& n) {
  const Node target = p.At(n.a);
  // Only a variable, an array's element or a byte of mem holds a value:
  // "200 *= x" or "(a + b) = 1" assign to nothing.
  if (target.kind != NodeKind::kVar && target.kind != NodeKind::kIndex && target.kind != NodeKind::kMem) {
    p.Error(DiagnosticKind::kCSyntax, p.tokens[static_cast<std::size_t>(target.token)],
            "a variable, an array's element or mem[...] to assign to");
    return Value{};
  }
  if (n.value == 0 && target.var >= 0 && p.vars[static_cast<std::size_t>(target.var)].isConst) {
    p.Error(DiagnosticKind::kCConstAssigned, p.tokens[static_cast<std::size_t>(target.token)]);
    return Value{};
  }
  int value = n.b;
  if (n.op != "=") {
    if (p.SideEffects(target.a)) {
      p.Error(DiagnosticKind::kCUnsupported, p.tokens[static_cast<std::size_t>(n.token)],
              "a compound assignment whose target has side effects");
      return Value{};
    }
    Node combined = n;
    combined.kind = NodeKind::kBinary;
    combined.op = n.op.substr(0, n.op.size() - 1);
    p.nodes.push_back(combined);
    value = static_cast<int>(p.nodes.size()) - 1;
  }
  return Store(target, value, n);
}

Value Lowering::IncDec(const Node& n, bool discard) {
  Node one;
  one.kind = NodeKind::kConst;
  one.value = 1;
  p.nodes.push_back(one);
  Node assign = n;
  assign.kind = NodeKind::kAssign;
  assign.op = n.op == "++" ? "+=" : "-=";
  assign.b = static_cast<int>(p.nodes.size()) - 1;
  const bool postfix = n.value == 1 && !discard;
  const Node& target = p.At(n.a);
  if (postfix && target.var >= 0 && p.vars[static_cast<std::size_t>(target.var)].isBool) {
    p.Error(DiagnosticKind::kCUnsupported, p.tokens[static_cast<std::size_t>(n.token)],
            "the value of a bool's ++ or --");
    return Value{};
  }
  const Value stored = Assign(assign);
  if (!postfix) return stored;
  if (stored.constant) out.Mvi('A', stored.lo);
  out.Mvi('B', n.op == "++" ? 0xFF : 1);  // the value before the step
  out.Add('B');
  return Value{false, 0, 255};
}

Value Lowering::Call(const Node& n) {
  const std::string_view name = p.tokens[static_cast<std::size_t>(n.token)].text;
  int index = -1;
  for (std::size_t i = 0; i < p.functions.size(); ++i) {
    if (p.functions[i].name == name) index = static_cast<int>(i);
  }
  if (index < 0) return Value{};
  const Function function = p.functions[static_cast<std::size_t>(index)];
  for (int active : p.inlining) {
    if (active == index) {
      p.Error(DiagnosticKind::kCRecursion, p.tokens[static_cast<std::size_t>(n.token)]);
      return Value{};
    }
  }
  if (p.inlining.size() > kMaxInlined || ++p.calls > kMaxCalls || out.bytes > 0x10000) {
    p.Error(DiagnosticKind::kCTooDeep, p.tokens[static_cast<std::size_t>(n.token)]);
    return Value{};
  }
  if (function.paramTokens.size() != n.args.size()) {
    p.Error(DiagnosticKind::kCSyntax, p.tokens[static_cast<std::size_t>(n.token)],
            std::to_string(function.paramTokens.size()) + " arguments");
    return Value{};
  }
  const std::size_t mark = p.vars.size();
  p.scopes.push_back(mark);
  const std::size_t placedBefore = p.placed.size();
  const int result = p.Declare(function.bodyToken, function.returnsBool, false, 0, false);
  if (p.placed.size() > placedBefore) p.placed.back().name = std::string(name) + "'s result";
  p.scopes.push_back(p.vars.size());
  for (std::size_t i = 0; i < n.args.size(); ++i) {
    const int param = p.Declare(function.paramTokens[i], function.paramBool[i], false, 0, false);
    Node target;
    target.kind = NodeKind::kVar;
    target.var = param;
    Store(target, n.args[i], p.At(n.args[i]));
  }
  p.InlineCall(function, index, function.returnsValue ? result : -1);
  const Variable returned = p.vars[static_cast<std::size_t>(result)];
  p.vars.resize(mark);
  p.scopes.pop_back();
  p.scopes.pop_back();
  if (!function.returnsValue) return Value{};
  if (returned.stale) return {true, *returned.known, *returned.known};
  LoadInto('A', p.cellOf[function.bodyToken]);
  return Value{false, 0, function.returnsBool ? 1 : 255};
}

}  // namespace mirvo::cc
