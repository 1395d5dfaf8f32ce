// Statements, lowered as they are read. A statement under a condition the
// compiler knows to be false, or after a break or return, is read "dead":
// checked, but nothing is emitted and nothing known changes.
#include <string>

#include "CompilerState.h"

namespace mirvo::cc {

namespace {

constexpr int kMaxNesting = 64;
constexpr std::int64_t kMaxTrips = 100000;  // unrolled trips of every loop together

// The C line of a token, without its line end, for the assembly's headings.
std::string_view LineOf(std::string_view source, const Token& token) {
  const std::size_t at = static_cast<std::size_t>(token.text.data() - source.data());
  const std::size_t begin = source.rfind('\n', at) == std::string_view::npos ? 0 : source.rfind('\n', at) + 1;
  std::size_t end = source.find('\n', at);
  if (end == std::string_view::npos) end = source.size();
  std::string_view line = source.substr(begin, end - begin);
  while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
  while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.remove_suffix(1);
  return line.substr(0, 200);
}

bool IsDeclarationStart(const Token& t) {
  static constexpr std::string_view kWords[] = {"unsigned", "uint8_t", "bool",  "_Bool",  "const", "int",
                                                "char",     "signed",  "short", "long",   "float", "double",
                                                "struct",   "union",   "enum",  "static", "void"};
  for (std::string_view w : kWords) {
    if (t.Is(w)) return true;
  }
  return false;
}

}  // namespace

void Parser::BeginSpan(const Token& token) {
  if (dead > 0) return;
  if (token.line != lastHeaderLine) {
    out.Comment(std::to_string(token.line) + ": " + std::string(LineOf(source, token)));
    lastHeaderLine = token.line;
  }
  if (!options.optimise) out.Forget();
  spanStart = out.lines;
  StatementSpan span;
  span.line = token.line;
  span.column = token.column;
  spans.push_back(span);
}

void Parser::EndSpan() {
  if (dead > 0 || spanStart < 0) return;
  const Token& end = tokens[static_cast<std::size_t>(pos > 0 ? pos - 1 : 0)];
  spans.back().endLine = end.line;
  spans.back().endColumn = end.column + static_cast<int>(end.text.size());
  spanLines.emplace_back(spanStart + 1, out.lines);
  spanStart = -1;
  if (out.bytes > 0x10000 && !tooLarge) {
    tooLarge = true;
    Error(DiagnosticKind::kProgramTooLarge, end);
  }
}

void Parser::Statement() {
  if (++nesting > kMaxNesting) {
    Error(DiagnosticKind::kCTooDeep, Peek());
    pos = last;
    --nesting;
    return;
  }
  const Token t = Peek();
  if (t.Is("{")) {
    Block();
  } else if (t.Is("if")) {
    If();
  } else if (t.Is("while")) {
    While();
  } else if (t.Is("do")) {
    DoWhile();
  } else if (t.Is("for")) {
    For();
  } else if (t.Is("return")) {
    Return();
  } else if (t.Is("break") || t.Is("continue")) {
    ++pos;
    if (loops.empty()) {
      Error(DiagnosticKind::kCSyntax, t, "a loop around it");
    } else if (dead == 0 && diagnostics.empty()) {
      LoopJump(t);
    }
    Expect(";");
  } else if (t.Is("goto")) {
    Error(DiagnosticKind::kCGoto, t);
    SkipStatement();
  } else if (t.Is("switch")) {
    Error(DiagnosticKind::kCUnsupported, t, "switch");
    SkipStatement();
  } else if (IsDeclarationStart(t)) {
    bool isBool = false, isConst = false;
    if (TypeSpec(isBool, isConst, false) < 0) {
      SkipStatement();
    } else {
      Declarators(isBool, isConst, false);
    }
  } else if (!Accept(";")) {
    ExpressionStatement();
  }
  --nesting;
}

// A break or continue. One that every path still running takes ends the
// loop or the trip as the compiler unrolls it; one under a run-time
// condition clears the loop's flag where the condition holds, and what
// follows runs under the flag.
void Parser::LoopJump(const Token& t) {
  LoopState& loop = *loops.back();
  const bool isBreak = t.Is("break");
  const std::uint16_t inner = conditions.size() > loop.conditions ? conditions.back() : 0;
  if (inner == 0 || inner == loop.running || (!isBreak && inner == loop.trip)) {
    (isBreak ? loop.broke : loop.continued) = true;
    ++dead;
    return;
  }
  const std::size_t from = loop.conditions + (!isBreak && loop.running != 0 ? 1 : 0);
  std::uint16_t& flag = isBreak ? loop.running : loop.trip;
  std::uint16_t fresh = 0;
  if (flag == 0) {  // the flag starts as the conditions outside it: no path has left yet
    fresh = flag = FlowCell();
    conditions.insert(conditions.begin() + static_cast<std::ptrdiff_t>(from), fresh);
  }
  BeginSpan(t);
  Lowering(*this).Leave(from, fresh);
  EndSpan();
  (isBreak ? loop.exits : loop.skips).push_back(KnownNow());
  if (inner == loop.trip) loop.tripDead = true;
  ++dead;
}

// A cell for a loop's or function's flag: one no condition in force uses.
std::uint16_t Parser::FlowCell() {
  for (std::uint16_t cell : flowCells) {
    bool inUse = false;
    for (std::uint16_t c : conditions) inUse = inUse || c == cell;
    if (!inUse) return cell;
  }
  flowCells.push_back(placer.Cells(1));
  placed.push_back({"flag " + std::to_string(flowCells.size()), flowCells.back()});
  return flowCells.back();
}

KnownValues Parser::KnownNow() const {
  KnownValues known;
  for (const Variable& v : vars) known.push_back(v.known);
  return known;
}

// Where paths that left early meet the ones that ran on, the compiler
// knows of a variable only what all of them agree on.
void Parser::Forget(const std::vector<KnownValues>& paths) {
  for (const KnownValues& known : paths) {
    for (std::size_t i = 0; i < vars.size() && i < known.size(); ++i) {
      if (vars[i].known != known[i]) vars[i].known.reset();
    }
  }
}

// Ends a flag's time as a condition in force.
void Parser::DropFlag(std::uint16_t& cell) {
  if (cell == 0) return;
  for (std::size_t i = conditions.size(); i-- > 0;) {
    if (conditions[i] == cell) {
      conditions.erase(conditions.begin() + static_cast<std::ptrdiff_t>(i));
      break;
    }
  }
  cell = 0;
}

void Parser::Block() {
  if (!Expect("{")) return;
  scopes.push_back(vars.size());
  while (!Peek().Is("}") && Peek().kind != TokenKind::kEnd) Statement();
  Expect("}");
  vars.resize(scopes.back());
  scopes.pop_back();
}

void Parser::ExpressionStatement() {
  const Token start = Peek();
  const int node = Expression();
  BeginSpan(start);
  if (dead == 0 && diagnostics.empty()) Lowering(*this).Lower(node, true);
  if (!Expect(";")) SkipStatement();
  EndSpan();
}

void Parser::Return() {
  const Token start = Take();
  int value = -1;
  if (!Peek().Is(";")) value = Expression();
  BeginSpan(start);
  // Under a run-time condition, unless it is the function's own flag: then
  // every path still running returns here.
  const bool conditional =
      conditions.size() > returnConditions && (notReturned == 0 || conditions.back() != notReturned);
  if (dead == 0 && diagnostics.empty()) {
    if (value >= 0 && returnVar >= 0) {
      Node assign;
      assign.kind = NodeKind::kAssign;
      assign.op = "=";
      Node target;
      target.kind = NodeKind::kVar;
      target.var = returnVar;
      nodes.push_back(target);
      assign.a = static_cast<int>(nodes.size()) - 1;
      assign.b = value;
      assign.begin = At(value).begin;
      assign.end = At(value).end;
      nodes.push_back(assign);
      Lowering(*this).Lower(static_cast<int>(nodes.size()) - 1, true);
    } else if (value >= 0) {
      Lowering(*this).Lower(value, true);  // main's value is not kept
    }
    if (conditional && inlining.size() == 1) {
      Lowering(*this).PlantReturn();
    } else if (conditional) {  // the rest of the function runs under "not returned yet"
      std::uint16_t fresh = 0;
      if (notReturned == 0) {
        fresh = notReturned = FlowCell();
        conditions.insert(conditions.begin() + static_cast<std::ptrdiff_t>(returnConditions), fresh);
        for (LoopState* loop : loops) ++loop->conditions;
      }
      Lowering(*this).Leave(returnConditions, fresh);
      returns.push_back(KnownNow());
    } else if (inlining.size() == 1) {
      out.Line("RET", 1);
    }
    // Directly under a loop's flag, every path still running leaves the
    // rest of that loop's trip, or of the loop; the loops inside it end.
    for (std::size_t i = loops.size(); conditional && i-- > 0;) {
      if (conditions.back() == loops[i]->trip) loops[i]->tripDead = true;
      if (conditions.back() == loops[i]->running) loops[i]->stopped = true;
    }
  }
  Expect(";");
  EndSpan();
  if (dead == 0) {
    returned = returned || !conditional;
    ++dead;
  }
}

// A condition the compiler must know: a constant once what it knows of
// the variables is put in.
bool Parser::LoopCondition(int cond, const Token& at) {
  if (cond < 0) return true;
  const std::optional<std::int64_t> value = Fold(cond);
  if (!value) {
    Error(DiagnosticKind::kCUnboundedLoop, at);
    return false;
  }
  return *value != 0;
}

void Parser::If() {
  const Token start = Take();
  Expect("(");
  const int cond = Expression();
  Expect(")");
  std::optional<std::int64_t> value;
  if (dead == 0) {
    value = Known(cond);
    if (!value && diagnostics.empty()) {
      BeginSpan(start);
      Lowering(*this).Condition(cond);
      EndSpan();
      RuntimeIf();
      return;
    }
  }
  const bool taken = value && *value != 0;
  if (!taken) ++dead;
  Statement();
  if (!taken) --dead;
  if (Accept("else")) {
    if (taken || !value) ++dead;
    Statement();
    if (taken || !value) --dead;
  }
}

// The branches of an if on the run-time condition just lowered: both are
// lowered, the else under the opposite condition. What the compiler knows
// of a variable afterwards is what both branches agree on.
void Parser::RuntimeIf() {
  std::vector<std::optional<std::uint8_t>> before;
  for (const Variable& v : vars) before.push_back(v.known);
  const int savedDead = dead;
  Statement();
  dead = savedDead;
  std::vector<std::optional<std::uint8_t>> taken;
  for (std::size_t i = 0; i < vars.size() && i < before.size(); ++i) {
    taken.push_back(vars[i].known);
    vars[i].known = before[i];
  }
  if (Peek().Is("else")) {
    const Token otherwise = Take();
    if (dead == 0 && diagnostics.empty()) {
      BeginSpan(otherwise);
      Lowering(*this).Otherwise();
      EndSpan();
    }
    Statement();
    dead = savedDead;
  }
  for (std::size_t i = 0; i < vars.size() && i < taken.size(); ++i) {
    if (vars[i].known != taken[i]) vars[i].known.reset();
  }
  conditions.pop_back();
}

void Parser::While() {
  const Token start = Take();
  Expect("(");
  const int cond = Expression();
  Expect(")");
  Unroll(cond, -1, pos, true);
  (void)start;
}

void Parser::DoWhile() {
  Take();
  const int body = pos;
  LoopState reading;
  loops.push_back(&reading);
  ++dead;
  Statement();  // read once to find its end
  --dead;
  loops.pop_back();
  if (!Peek().Is("while")) {
    Error(DiagnosticKind::kCSyntax, Peek(), "'while'");
    return;
  }
  ++pos;
  Expect("(");
  const int cond = Expression();
  Expect(")");
  Expect(";");
  const int after = pos;
  Unroll(cond, -1, body, false);
  pos = after;
}

void Parser::For() {
  Take();
  Expect("(");
  scopes.push_back(vars.size());
  if (IsDeclarationStart(Peek())) {
    Statement();
  } else if (!Accept(";")) {
    ExpressionStatement();
  }
  const int cond = Peek().Is(";") ? -1 : Expression();
  Expect(";");
  const int step = Peek().Is(")") ? -1 : Expression();
  Expect(")");
  Unroll(cond, step, pos, true);
  vars.resize(scopes.back());
  scopes.pop_back();
}

// Lowers the body at token body once for each trip the condition allows,
// the step after each; leaves pos after the body.
void Parser::Unroll(int cond, int step, int body, bool testFirst) {
  const Token& at = tokens[static_cast<std::size_t>(body > 0 ? body - 1 : 0)];
  int end = -1;
  LoopState state;
  state.conditions = conditions.size();
  loops.push_back(&state);
  for (bool first = true; dead == 0; first = false) {
    if ((testFirst || !first) && !LoopCondition(cond, at)) break;
    if (++trips > kMaxTrips) {
      Error(DiagnosticKind::kCUnboundedLoop, at);
      break;
    }
    pos = body;
    Statement();
    end = pos;
    if (state.broke || state.continued || state.tripDead || state.stopped) --dead;
    state.tripDead = false;
    Forget(state.skips);  // the paths that continued meet the others at the step
    state.skips.clear();
    DropFlag(state.trip);
    if (state.broke || state.stopped || dead > 0 || !diagnostics.empty()) break;
    state.continued = false;
    if (step >= 0) {
      BeginSpan(TokenOf(step));
      Lowering(*this).Lower(step, true);
      EndSpan();
    }
  }
  if (end < 0) {  // no trip: the body is read to find its end
    pos = body;
    ++dead;
    Statement();
    --dead;
    end = pos;
  }
  loops.pop_back();
  Forget(state.exits);
  DropFlag(state.running);
  pos = end;
}

void Parser::Initialiser(int var, bool global) {
  Variable& v = vars[static_cast<std::size_t>(var)];
  std::vector<int> values;
  const Token start = Peek();
  if (Accept("{")) {
    while (!Peek().Is("}") && Peek().kind != TokenKind::kEnd) {
      values.push_back(Expression(2));
      if (!Accept(",")) break;
    }
    Expect("}");
  } else {
    values.push_back(Expression(2));
  }
  if ((v.size == 0) != (values.size() == 1 && start.text != "{") ||
      static_cast<int>(values.size()) > (v.size == 0 ? 1 : v.size)) {
    Error(DiagnosticKind::kCSyntax, start, v.size == 0 ? "one value" : "as many values as the array holds, in braces");
    return;
  }
  BeginSpan(start);
  for (std::size_t i = 0; i < values.size() && dead == 0 && diagnostics.empty(); ++i) {
    const std::optional<std::int64_t> value = Fold(values[i]);
    if (global && !value) {
      Error(DiagnosticKind::kCNotConstant, TokenOf(values[i]));
      continue;
    }
    Node index;
    index.value = static_cast<std::int64_t>(i);
    nodes.push_back(index);
    Node target;
    target.kind = v.size == 0 ? NodeKind::kVar : NodeKind::kIndex;
    target.var = var;
    target.a = static_cast<int>(nodes.size()) - 1;
    nodes.push_back(target);
    Node assign;
    assign.kind = NodeKind::kAssign;
    assign.op = "=";
    assign.value = 1;  // an initialiser, which a const may have
    assign.a = static_cast<int>(nodes.size()) - 1;
    assign.b = values[i];
    assign.begin = At(values[i]).begin;
    assign.end = At(values[i]).end;
    nodes.push_back(assign);
    if (!global || (value && (*value & 0xFF) != 0)) Lowering(*this).Lower(static_cast<int>(nodes.size()) - 1, true);
    if (global && value) v.known = static_cast<std::uint8_t>(v.isBool ? *value != 0 : *value & 0xFF);
  }
  EndSpan();
}

void Parser::InlineCall(const Function& function, int functionIndex, int resultVar) {
  const int savedPos = pos, savedReturn = returnVar, savedDead = dead;
  const std::size_t savedConditions = returnConditions;
  returnConditions = conditions.size();
  const bool savedReturned = returned;
  const std::uint16_t savedNotReturned = notReturned;
  std::vector<KnownValues> savedReturns;
  savedReturns.swap(returns);
  inlining.push_back(functionIndex);
  returnVar = resultVar;
  returned = false;
  notReturned = 0;
  pos = function.bodyToken;
  std::vector<LoopState*> savedLoops;
  savedLoops.swap(loops);
  Block();
  loops.swap(savedLoops);
  Forget(returns);
  DropFlag(notReturned);
  notReturned = savedNotReturned;
  returns.swap(savedReturns);
  inlining.pop_back();
  pos = savedPos;
  returnVar = savedReturn;
  returnConditions = savedConditions;
  returned = savedReturned;
  dead = savedDead;
}

}  // namespace mirvo::cc
