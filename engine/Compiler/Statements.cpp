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
    } else if (dead == 0 && conditions.size() > loops.back()->conditions) {
      Error(DiagnosticKind::kCUnsupported, t,
            std::string(t.text) + " under a condition known only as the program runs");
    } else if (dead == 0) {
      (t.Is("break") ? loops.back()->broke : loops.back()->continued) = true;
      ++dead;
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
    if (conditions.size() > returnConditions) {
      if (inlining.size() == 1) {
        Lowering(*this).PlantReturn();
      } else {
        Error(DiagnosticKind::kCUnsupported, start,
              "a return from a function under a condition known only as the program runs");
      }
    } else if (inlining.size() == 1) {
      out.Line("RET", 1);
    }
  }
  Expect(";");
  EndSpan();
  if (dead == 0) {
    returned = returned || conditions.size() <= returnConditions;
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
    value = SideEffects(cond) ? std::nullopt : Fold(cond);
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
  ++dead;
  Statement();  // read once to find its end
  --dead;
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
    if (state.broke || state.continued) --dead;
    if (state.broke || !diagnostics.empty()) break;
    state.continued = false;
    if (step >= 0) {
      BeginSpan(TokenOf(step));
      Lowering(*this).Lower(step, true);
      EndSpan();
    }
  }
  loops.pop_back();
  if (end < 0) {
    pos = body;
    ++dead;
    Statement();
    --dead;
    end = pos;
  }
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
  inlining.push_back(functionIndex);
  returnVar = resultVar;
  returned = false;
  pos = function.bodyToken;
  std::vector<LoopState*> savedLoops;
  savedLoops.swap(loops);
  Block();
  loops.swap(savedLoops);
  inlining.pop_back();
  pos = savedPos;
  returnVar = savedReturn;
  returnConditions = savedConditions;
  returned = savedReturned;
  dead = savedDead;
}

}  // namespace mirvo::cc
