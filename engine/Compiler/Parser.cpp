// Declarations and statements: read and lowered in one pass, as clox's
// compiler does; a loop's body is read again for each trip it unrolls to.
#include <string>

#include "CompilerState.h"

namespace mirvo::cc {

namespace {

constexpr std::size_t kMaxDiagnostics = 100;

bool IsTypeWord(const Token& t) {
  static constexpr std::string_view kWords[] = {"unsigned", "uint8_t", "bool",   "_Bool", "const", "void",
                                                "int",      "char",    "signed", "short", "long",  "float",
                                                "double",   "struct",  "union",  "enum",  "static"};
  if (t.kind != TokenKind::kIdentifier) return false;
  for (std::string_view w : kWords) {
    if (t.text == w) return true;
  }
  return false;
}

}  // namespace

Parser::Parser(std::string_view text, const CompileOptions& opts, Placer& where)
    : source(text), options(opts), placer(where) {
  Lexer lexer(text);
  for (;;) {
    tokens.push_back(lexer.Next());
    if (tokens.back().kind == TokenKind::kEnd) break;
  }
  last = static_cast<int>(tokens.size()) - 1;
  out.keepRegisters = options.optimise;
  out.placer = &placer;
}

const Token& Parser::Peek(int ahead) const {
  const int at = pos + ahead < last ? pos + ahead : last;
  return tokens[static_cast<std::size_t>(at)];
}

bool Parser::Accept(std::string_view what) {
  if (!Peek().Is(what)) return false;
  ++pos;
  return true;
}

bool Parser::Expect(std::string_view what) {
  if (Accept(what)) return true;
  std::string quoted(1, '\'');
  quoted.append(what).push_back('\'');
  Error(DiagnosticKind::kCSyntax, Peek(), std::move(quoted));
  return false;
}

void Parser::Error(DiagnosticKind kind, const Token& token, std::string detail) {
  if (!reported.insert({token.line, token.column, static_cast<int>(kind)}).second) return;
  if (diagnostics.size() >= kMaxDiagnostics) return;
  Diagnostic d{};
  d.kind = kind;
  d.line = token.line;
  d.column = token.column;
  d.length = static_cast<std::int32_t>(token.text.size());
  d.operation = Operation::kUndefined;
  const std::string_view shown = token.kind == TokenKind::kEnd ? std::string_view("end of file") : token.text;
  const std::size_t n = shown.size() < kTokenSlotSize - 1 ? shown.size() : kTokenSlotSize - 1;
  shown.copy(d.token, n);
  d.token[n] = '\0';
  d.detail = std::move(detail);
  diagnostics.push_back(std::move(d));
}

// Skips to the end of the statement after a mistake, to read on.
void Parser::SkipStatement() {
  while (Peek().kind != TokenKind::kEnd && !Peek().Is(";") && !Peek().Is("}")) {
    if (Peek().Is("{")) {
      pos = SkipBraces(pos);
    } else {
      ++pos;
    }
  }
  Accept(";");
}

// The token after the brace that closes the one at open.
int Parser::SkipBraces(int open) {
  int level = 0;
  int at = open;
  for (; at < last; ++at) {
    const Token& t = tokens[static_cast<std::size_t>(at)];
    if (t.Is("{")) ++level;
    if (t.Is("}") && --level == 0) return at + 1;
  }
  return at;
}

void Parser::Program() {
  scopes.push_back(0);
  Prologue();
  out.Comment("initial values of the globals");
  while (Peek().kind != TokenKind::kEnd) TopLevel();
  int main = -1;
  for (std::size_t i = 0; i < functions.size(); ++i) {
    if (functions[i].name == "main") main = static_cast<int>(i);
  }
  if (main < 0) {
    Error(DiagnosticKind::kCNoMain, Peek());
    return;
  }
  inlining.push_back(main);
  pos = functions[static_cast<std::size_t>(main)].bodyToken;
  Block();
  if (!returned) out.Line("RET", 1);
}

void Parser::TopLevel() {
  const Token start = Peek();
  if (start.kind == TokenKind::kDirective) {
    ++pos;
    Directive(start);
    return;
  }
  bool isBool = false, isConst = false;
  const int type = TypeSpec(isBool, isConst, true);
  if (type < 0) {
    SkipStatement();
    return;
  }
  const Token name = Peek();
  if (name.kind == TokenKind::kIdentifier && Peek(1).Is("(")) {
    ++pos;
    FunctionDefinition(type == 1, isBool, name);
    return;
  }
  if (type == 0) {
    Error(DiagnosticKind::kCSyntax, name, "a function after void");
    SkipStatement();
    return;
  }
  Declarators(isBool, isConst, true);
}

void Parser::Directive(const Token& token) {
  std::string_view text = token.text.substr(1);
  const auto trim = [&text] {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) text.remove_suffix(1);
  };
  trim();
  if (text.substr(0, 7) != "include") {
    Error(DiagnosticKind::kCUnsupported, token, "the directive");
    return;
  }
  text.remove_prefix(7);
  trim();
  if (text != "<mirvo.h>" && text != "<stdint.h>" && text != "<stdbool.h>" && text != "\"mirvo.h\"") {
    Token header = token;
    header.text = text.empty() ? token.text : text;
    header.column = token.column + static_cast<int>(text.data() - token.text.data());
    Error(DiagnosticKind::kCUnknownInclude, header);
  }
}

// Reads a type: 0 for void, 1 for a byte type, -1 after a diagnostic.
int Parser::TypeSpec(bool& isBool, bool& isConst, bool allowVoid) {
  isBool = isConst = false;
  while (Accept("const") || Accept("static"))
    isConst = isConst || tokens[static_cast<std::size_t>(pos - 1)].Is("const");
  const Token t = Take();
  int result = 1;
  if (t.Is("unsigned") && Peek().Is("char")) {
    ++pos;
  } else if (t.Is("uint8_t")) {
  } else if (t.Is("bool") || t.Is("_Bool")) {
    isBool = true;
  } else if (t.Is("void") && allowVoid) {
    result = 0;
  } else if (t.Is("int") && Peek().Is("main")) {
    result = 0;  // int main(void): the value it returns is not kept
  } else if (t.Is("float") || t.Is("double")) {
    Error(DiagnosticKind::kCFloat, t);
    return -1;
  } else if (t.Is("struct") || t.Is("union") || t.Is("enum")) {
    Error(DiagnosticKind::kCStruct, t);
    return -1;
  } else if (IsTypeWord(t)) {
    Error(DiagnosticKind::kCWideType, t);
    return -1;
  } else {
    Error(DiagnosticKind::kCSyntax, t, "a declaration");
    return -1;
  }
  while (Accept("const")) isConst = true;
  if (Peek().Is("*")) {
    Error(DiagnosticKind::kCPointer, Peek());
    return -1;
  }
  return result;
}

void Parser::FunctionDefinition(bool returnsValue, bool returnsBool, const Token& name) {
  Function function{name.text, returnsValue, returnsBool, {}, {}, 0};
  Expect("(");
  if (!(Peek().Is("void") && Peek(1).Is(")")) && !Peek().Is(")")) {
    do {
      bool isBool = false, isConst = false;
      if (TypeSpec(isBool, isConst, false) < 0) break;
      if (Peek().kind != TokenKind::kIdentifier) break;
      function.paramTokens.push_back(pos++);
      function.paramBool.push_back(isBool);
    } while (Accept(","));
  } else {
    Accept("void");
  }
  if (!Expect(")") || !Peek().Is("{")) {
    SkipStatement();
    return;
  }
  function.bodyToken = pos;
  pos = SkipBraces(pos);
  for (const Function& f : functions) {
    if (f.name == name.text) Error(DiagnosticKind::kCRedeclared, name);
  }
  functions.push_back(function);
}

void Parser::Declarators(bool isBool, bool isConst, bool global) {
  do {
    const Token name = Peek();
    const int nameToken = pos;
    if (name.kind != TokenKind::kIdentifier) {
      Error(DiagnosticKind::kCSyntax, name, "a name");
      SkipStatement();
      return;
    }
    ++pos;
    int size = 0;
    if (Accept("[")) {
      const int count = Expression();
      const std::optional<std::int64_t> n = Fold(count);
      if (!n || *n < 1 || *n > 256) Error(DiagnosticKind::kCNotConstant, TokenOf(count));
      size = n && *n >= 1 && *n <= 256 ? static_cast<int>(*n) : 1;
      Expect("]");
    }
    const int var = Declare(nameToken, isBool, isConst, size, global);
    if (Accept("=")) Initialiser(var, global);
  } while (Accept(","));
  if (!Expect(";")) SkipStatement();
}

int Parser::Declare(int nameToken, bool isBool, bool isConst, int size, bool global) {
  const Token& name = tokens[static_cast<std::size_t>(nameToken)];
  for (std::size_t i = scopes.back(); i < vars.size(); ++i) {
    if (vars[i].name == name.text) Error(DiagnosticKind::kCRedeclared, name);
  }
  auto cell = cellOf.find(nameToken);
  if (cell == cellOf.end()) {
    cell = cellOf.emplace(nameToken, placer.Cells(size == 0 ? 1 : size)).first;
    placed.push_back({std::string(name.text), cell->second});
  }
  Variable v{name.text, isBool, isConst, size, cell->second, std::nullopt};
  v.global = global;
  if (global) v.known = 0;  // globals start zero, as C says and memory is
  vars.push_back(v);
  return static_cast<int>(vars.size()) - 1;
}

int Parser::Lookup(std::string_view name) const {
  for (std::size_t i = vars.size(); i-- > 0;) {
    if (vars[i].name == name) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace mirvo::cc
