// Conditions without a jump. A run-time condition is a 0 or 1 in a cell;
// both branches of an if run, and each store under the condition goes to
// its target when the condition is 1 and to a discard cell when it is 0,
// the address chosen by a two-entry select: the two candidates written to
// bytes 0 and 1 of the equality page, and L set to the condition. An early
// return plants RET on the next byte when the condition is 1, and on the
// storing instruction itself, already run, when it is 0.
#include <string>

#include "CompilerState.h"

namespace mirvo::cc {

std::uint16_t Lowering::EqPage() {
  if (p.eqPage == 0) {
    p.eqPage = p.placer.Page();
    p.placed.push_back({"equality page", p.eqPage});
  }
  return p.eqPage;
}

void Lowering::Select(Emitter& e, char reg, std::uint16_t cond, Entry zero, Entry one) {
  const std::uint16_t page = EqPage();
  e.SetHL(page);
  for (int i = 0; i < 2; ++i) {
    const Entry& entry = i == 0 ? zero : one;
    if (i == 1) e.Mvi('L', 1);
    if (entry.reg != 0) {
      e.Mov('M', entry.reg);
    } else {
      e.Mvi('M', entry.byte);
    }
  }
  e.SetHL(cond);
  e.Mov('L', 'M');
  e.Mvi('H', page >> 8);
  e.Mov(reg, 'M');
}

std::uint16_t Lowering::Condition(int node) {
  Value c = ToBool(Lower(node), p.At(node));
  if (c.constant) out.Mvi('A', c.lo);
  const std::size_t depth = p.conditions.size();
  while (p.conditionCells.size() <= depth) {  // a flag put in below may skip a depth
    p.conditionCells.push_back(p.placer.Cells(1));
    p.placed.push_back({"condition " + std::to_string(p.conditionCells.size()), p.conditionCells.back()});
  }
  const std::uint16_t cell = p.conditionCells[depth];
  SaveA(cell);
  if (!p.conditions.empty()) {  // joined with the condition outside: inner ? outer : 0
    LoadInto('C', p.conditions.back());
    Select(out, 'A', cell, {0, 0}, {'C', 0});
    SaveA(cell);
  }
  p.conditions.push_back(cell);
  return cell;
}

void Lowering::Otherwise() {
  const std::uint16_t cell = p.conditions.back();
  if (p.conditions.size() > 1) {  // this ? 0 : outer
    LoadInto('C', p.conditions[p.conditions.size() - 2]);
    Select(out, 'A', cell, {'C', 0}, {0, 0});
  } else {
    Select(out, 'A', cell, {0, 1}, {0, 0});
  }
  SaveA(cell);
}

// A break, continue or return under the innermost condition c: every
// path on which c holds leaves the code the cells from index from up
// guard, so each becomes c ? 0 : itself. c itself is left as it is:
// nothing more runs under it, and the else of its if reads it.
void Lowering::Leave(std::size_t from, std::uint16_t fresh) {
  const std::uint16_t c = p.conditions.back();
  for (std::size_t i = from; i + 1 < p.conditions.size(); ++i) {
    const std::uint16_t cell = p.conditions[i];
    Entry kept{0, 1};
    if (cell != fresh) {
      LoadInto('C', cell);
      kept = {'C', 0};
    } else if (i > 0) {
      LoadInto('C', p.conditions[i - 1]);
      kept = {'C', 0};
    }
    Select(out, 'A', c, kept, {0, 0});
    SaveA(cell);
  }
}

void Lowering::ConditionalHL(bool constant, std::uint16_t address, std::uint16_t lowCell, std::uint8_t high) {
  if (p.discard == 0) {
    p.discard = p.placer.Cells(1);
    p.placed.push_back({"discard cell", p.discard});
  }
  out.Comment("address select: the store goes to the discard cell when the condition is 0");
  if (!constant) LoadInto('C', lowCell);
  const Entry low = constant ? Entry{0, address & 0xFF} : Entry{'C', 0};
  const std::uint16_t cond = p.conditions.back();
  Select(out, 'E', cond, {0, p.discard & 0xFF}, low);
  const int page = constant ? address >> 8 : high;
  if (page == p.discard >> 8) {
    out.Mvi('H', page);
  } else {
    Select(out, 'H', cond, {0, p.discard >> 8}, {0, page});
  }
  out.Mov('L', 'E');
}

// RET stored at S + c, S the storing MOV itself: when c is 0 it overwrites
// an instruction already run, when c is 1 the MOV A, A after it (A holds
// C9h, so it reads nothing unset). S and
// S + 1 share a page (a MOV A, A before S sees to it), so that the
// condition chooses the low byte alone.
void Lowering::PlantReturn() {
  const std::uint16_t cond = p.conditions.back();
  const auto plant = [&](Emitter& e, std::int64_t at, bool pad) {
    e.ForgetValues();  // the trial knows no more, so that both write the same lengths
    e.Mvi('A', 0xC9);
    Select(e, 'E', cond, {0, static_cast<int>(at & 0xFF)}, {0, static_cast<int>((at + 1) & 0xFF)});
    e.Forget();  // H written whatever it holds, so that the length does not depend on the address
    e.Mvi('H', at >> 8);
    e.Mov('L', 'E');
    if (pad) e.Line("MOV A, A        ; keeps the RET's two places in one page", 1);
    e.Line("MOV Mem, A      ; plants RET here, already run, or on the next byte (mirvo: allow code-write)", 1);
    e.Line("MOV A, A        ; becomes RET when the condition is 1", 1);
  };
  EqPage();
  Emitter trial = out.Fresh();
  plant(trial, 0, false);
  std::int64_t at = out.bytes + trial.bytes - 2;
  const bool pad = (at & 0xFF) == 0xFF;
  out.Comment("return under the condition: a planted RET");
  plant(out, at + (pad ? 1 : 0), pad);
}

// c ? x : y on a run-time c: x and y both computed, one chosen by c.
Value Lowering::Choose(const Node& n) {
  if (p.SideEffects(n.b) || p.SideEffects(n.args[0])) {
    p.Error(DiagnosticKind::kCUnsupported, p.tokens[static_cast<std::size_t>(n.token)],
            "a ?: whose branches have side effects, on a condition known only as the program runs");
    return Value{};
  }
  const Value c = ToBool(Lower(n.a), p.At(n.a));
  if (c.constant) return Lower(c.lo != 0 ? n.b : n.args[0]);
  const std::uint16_t condCell = Temp();
  SaveA(condCell);
  ++p.depth;
  const Value x = Lower(n.b);
  const std::uint16_t xCell = Temp();
  if (!x.constant) SaveA(xCell);
  ++p.depth;
  const Value y = Lower(n.args[0]);
  p.depth -= 2;
  if (!y.constant) out.Mov('E', 'A');
  if (!x.constant) LoadInto('C', xCell);
  const Entry one = x.constant ? Entry{0, static_cast<int>(x.lo & 0xFF)} : Entry{'C', 0};
  const Entry zero = y.constant ? Entry{0, static_cast<int>(y.lo & 0xFF)} : Entry{'E', 0};
  Select(out, 'A', condCell, zero, one);
  return {false, x.lo < y.lo ? x.lo : y.lo, x.hi > y.hi ? x.hi : y.hi};
}

}  // namespace mirvo::cc
