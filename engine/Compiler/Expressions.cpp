// The Pratt parser of expressions, and what the compiler can know of an
// expression before the program runs (Fold).
#include <string>

#include "CompilerState.h"

namespace mirvo::cc {

namespace {

constexpr int kMaxNesting = 64;
constexpr std::int64_t kIntMax = 2147483647L;

// The binding power of a binary operator, 0 for none; 1 is assignment.
int Precedence(const Token& t) {
  if (t.kind != TokenKind::kPunct) return 0;
  static constexpr std::pair<std::string_view, int> kTable[] = {
      {"=", 1},   {"+=", 1}, {"-=", 1}, {"*=", 1},  {"/=", 1},  {"%=", 1}, {"&=", 1}, {"|=", 1}, {"^=", 1}, {"<<=", 1},
      {">>=", 1}, {"?", 2},  {"||", 3}, {"&&", 4},  {"|", 5},   {"^", 6},  {"&", 7},  {"==", 8}, {"!=", 8}, {"<", 9},
      {"<=", 9},  {">", 9},  {">=", 9}, {"<<", 10}, {">>", 10}, {"+", 11}, {"-", 11}, {"*", 12}, {"/", 12}, {"%", 12}};
  for (const auto& [op, power] : kTable) {
    if (t.text == op) return power;
  }
  return 0;
}

bool IsCastType(const Token& t) {
  return t.Is("unsigned") || t.Is("uint8_t") || t.Is("bool") || t.Is("_Bool") || t.Is("int") || t.Is("char") ||
         t.Is("signed") || t.Is("short") || t.Is("long") || t.Is("float") || t.Is("double") || t.Is("const") ||
         t.Is("struct") || t.Is("void");
}

}  // namespace

// A binary operator of C on two int values; nullopt where C leaves it
// undefined (a division by zero, a shift out of range).
std::optional<std::int64_t> Arithmetic(std::string_view op, std::int64_t a, std::int64_t b) {
  if (op == "+") return a + b;
  if (op == "-") return a - b;
  if (op == "*") return a * b;
  if ((op == "/" || op == "%") && b == 0) return std::nullopt;
  if (op == "/") return a / b;
  if (op == "%") return a % b;
  if ((op == "<<" || op == ">>") && (b < 0 || b > 30 || a < 0)) return std::nullopt;
  if (op == "<<") return a << b;
  if (op == ">>") return a >> b;
  if (op == "&") return a & b;
  if (op == "|") return a | b;
  if (op == "^") return a ^ b;
  if (op == "==") return a == b;
  if (op == "!=") return a != b;
  if (op == "<") return a < b;
  if (op == "<=") return a <= b;
  if (op == ">") return a > b;
  if (op == ">=") return a >= b;
  return std::nullopt;
}

int Parser::MakeNode(NodeKind kind, const Token& token) {
  Node node;
  node.kind = kind;
  node.token = static_cast<int>(&token - tokens.data());
  node.begin = static_cast<std::size_t>(token.text.data() - source.data());
  node.end = node.begin + token.text.size();
  nodes.push_back(node);
  return static_cast<int>(nodes.size()) - 1;
}

// Ends a node at the last token read.
void Parser::Close(int node) {
  const Token& t = tokens[static_cast<std::size_t>(pos > 0 ? pos - 1 : 0)];
  At(node).end = static_cast<std::size_t>(t.text.data() - source.data()) + t.text.size();
}

int Parser::Expression(int precedence) {
  if (++nesting > kMaxNesting) {
    Error(DiagnosticKind::kCTooDeep, Peek());
    pos = last;
    --nesting;
    return MakeNode(NodeKind::kConst, tokens[static_cast<std::size_t>(last)]);
  }
  int left = Prefix();
  for (;;) {
    const int power = Precedence(Peek());
    if (power == 0 || power < precedence) break;
    const int op = pos++;
    const int node = MakeNode(power == 1 ? NodeKind::kAssign : NodeKind::kBinary, tokens[static_cast<std::size_t>(op)]);
    At(node).op = tokens[static_cast<std::size_t>(op)].text;
    At(node).a = left;
    At(node).begin = At(left).begin;
    const int right = Expression(power == 1 || power == 2 ? power : power + 1);
    At(node).b = right;
    if (power == 2) {
      Expect(":");
      const int otherwise = Expression(2);
      At(node).args.push_back(otherwise);
    }
    Close(node);
    left = node;
  }
  --nesting;
  return left;
}

int Parser::Prefix() {
  const Token& t = tokens[static_cast<std::size_t>(pos < last ? pos : last)];
  if (t.Is("(") && IsCastType(Peek(1))) {
    ++pos;
    bool isBool = false, isConst = false;
    const int node = MakeNode(NodeKind::kCast, t);
    TypeSpec(isBool, isConst, false);
    Expect(")");
    At(node).value = isBool ? 1 : 0;
    const int operand = Prefix();
    At(node).a = operand;
    Close(node);
    return node;
  }
  if (t.Is("-") || t.Is("+") || t.Is("~") || t.Is("!") || t.Is("++") || t.Is("--")) {
    ++pos;
    const bool step = t.Is("++") || t.Is("--");
    const int node = MakeNode(step ? NodeKind::kIncDec : NodeKind::kUnary, t);
    At(node).op = t.text;
    const int operand = Prefix();
    At(node).a = operand;
    Close(node);
    return node;
  }
  if (t.Is("&") || t.Is("*")) {
    Error(DiagnosticKind::kCPointer, t);
    ++pos;
    return Prefix();
  }
  if (t.Is("sizeof")) Error(DiagnosticKind::kCUnsupported, t, "sizeof");
  return Postfix(Primary());
}

int Parser::Postfix(int node) {
  while (Peek().Is("++") || Peek().Is("--")) {
    const int step = MakeNode(NodeKind::kIncDec, Peek());
    At(step).op = Take().text;
    At(step).a = node;
    At(step).value = 1;
    At(step).begin = At(node).begin;
    Close(step);
    node = step;
  }
  return node;
}

int Parser::Primary() {
  const Token& t = tokens[static_cast<std::size_t>(pos < last ? pos : last)];
  const int node = MakeNode(NodeKind::kConst, t);
  if (t.kind == TokenKind::kNumber || t.kind == TokenKind::kCharacter) {
    ++pos;
    At(node).value = t.value;
    if (t.value > kIntMax) Error(DiagnosticKind::kCWideType, t);
    return node;
  }
  if (t.kind == TokenKind::kString || t.kind == TokenKind::kFloat) {
    ++pos;
    Error(t.kind == TokenKind::kString ? DiagnosticKind::kCString : DiagnosticKind::kCFloat, t);
    return node;
  }
  if (t.Is("(")) {
    ++pos;
    const int inner = Expression();
    Expect(")");
    At(inner).begin = At(node).begin;
    Close(inner);
    return inner;
  }
  if (t.kind != TokenKind::kIdentifier) {
    Error(DiagnosticKind::kCSyntax, t, "an expression");
    if (t.kind != TokenKind::kEnd && !t.Is(";") && !t.Is(")") && !t.Is("}")) ++pos;
    return node;
  }
  ++pos;
  if (Peek().Is("(")) return Call(node, t);
  const int var = Lookup(t.text);
  if (var < 0 && knowsTrue && (t.text == "true" || t.text == "false")) {
    At(node).value = t.text == "true" ? 1 : 0;
    return node;
  }
  if (var < 0 && t.text != "mem") {
    Error(DiagnosticKind::kCUndeclared, t);
    return node;
  }
  At(node).kind = var < 0 ? NodeKind::kMem : NodeKind::kVar;
  At(node).var = var;
  if (Accept("[")) {
    if (var >= 0) At(node).kind = NodeKind::kIndex;
    const int index = Expression();
    At(node).a = index;
    Expect("]");
  } else if (var < 0 || vars[static_cast<std::size_t>(var)].size > 0) {
    Error(DiagnosticKind::kCPointer, t);
  }
  Close(node);
  return node;
}

// A call of a function the file defines, with its arguments; it is
// inlined where it is lowered.
int Parser::Call(int node, const Token& t) {
  ++pos;
  At(node).kind = NodeKind::kCall;
  bool known = false;
  for (const Function& f : functions) known = known || f.name == t.text;
  if (!known) Error(DiagnosticKind::kCLibraryCall, t);
  while (!Peek().Is(")") && Peek().kind != TokenKind::kEnd) {
    const int arg = Expression(2);
    At(node).args.push_back(arg);
    if (!Accept(",")) break;
  }
  Expect(")");
  Close(node);
  return node;
}

bool Parser::SideEffects(int node) const {
  if (node < 0) return false;
  const Node& n = At(node);
  if (n.kind == NodeKind::kAssign || n.kind == NodeKind::kIncDec || n.kind == NodeKind::kCall) return true;
  for (int arg : n.args) {
    if (SideEffects(arg)) return true;
  }
  return SideEffects(n.a) || SideEffects(n.b);
}

std::optional<std::int64_t> Parser::Known(int node) const {
  if (SideEffects(node)) return std::nullopt;
  return Fold(node);
}

// The value of an expression when the compiler knows it: constants and
// the variables whose cells hold a known value, computed in C's int.
std::optional<std::int64_t> Parser::Fold(int node) const {
  const Node& n = At(node);
  switch (n.kind) {
    case NodeKind::kConst:
      return n.value > kIntMax ? std::nullopt : std::optional<std::int64_t>(n.value);
    case NodeKind::kVar: {
      const Variable& v = vars[static_cast<std::size_t>(n.var)];
      if (v.size > 0 || !v.known) return std::nullopt;
      return *v.known;
    }
    case NodeKind::kCast: {
      const std::optional<std::int64_t> a = Fold(n.a);
      if (!a) return std::nullopt;
      return n.value != 0 ? (*a != 0 ? 1 : 0) : (*a & 0xFF);
    }
    case NodeKind::kUnary: {
      const std::optional<std::int64_t> a = Fold(n.a);
      if (!a) return std::nullopt;
      if (n.op == "-") return -*a;
      if (n.op == "~") return ~*a;
      if (n.op == "!") return *a == 0 ? 1 : 0;
      return *a;
    }
    case NodeKind::kBinary:
      break;
    default:
      return std::nullopt;
  }
  const std::optional<std::int64_t> a = Fold(n.a);
  if (n.op == "?") {
    if (!a) return std::nullopt;
    return Fold(*a != 0 ? n.b : n.args[0]);
  }
  if (n.op == "&&" && a && *a == 0 && !SideEffects(n.b)) return 0;
  if (n.op == "||" && a && *a != 0 && !SideEffects(n.b)) return 1;
  const std::optional<std::int64_t> b = Fold(n.b);
  if (!a || !b) return std::nullopt;
  if (n.op == "&&") return (*a != 0 && *b != 0) ? 1 : 0;
  if (n.op == "||") return (*a != 0 || *b != 0) ? 1 : 0;
  const std::optional<std::int64_t> result = Arithmetic(n.op, *a, *b);
  if (!result || *result > kIntMax || *result < -kIntMax - 1) return std::nullopt;
  return result;
}

}  // namespace mirvo::cc
