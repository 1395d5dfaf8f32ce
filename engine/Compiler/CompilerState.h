#pragma once
// The compiler's insides, shared by its parts: the expression tree the Pratt
// parser builds, the variables in scope, the emitter of assembly lines and
// the parser that lowers each statement as it reads it.

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "Compiler.h"
#include "Lexer.h"

namespace mirvo::cc {

// A binary operator of C on two int values, as the compiler folds it and
// fills its tables; nullopt where C leaves it undefined.
std::optional<std::int64_t> Arithmetic(std::string_view op, std::int64_t a, std::int64_t b);

enum class NodeKind : std::uint8_t { kConst, kVar, kMem, kIndex, kUnary, kBinary, kAssign, kIncDec, kCast, kCall };

// One node of an expression; children are indexes into the parser's nodes.
struct Node {
  NodeKind kind = NodeKind::kConst;
  std::string_view op;             // the operator's text (for assignment, "=" or "+=")
  int a = -1, b = -1;              // operands
  std::int64_t value = 0;          // a constant; for kIncDec 1 when postfix; for kCast 1 when to bool
  int var = -1;                    // a variable's index
  std::size_t begin = 0, end = 0;  // the expression's characters in the source
  int token = 0;                   // the token that names it, for diagnostics
  std::vector<int> args;           // a call's arguments
};

struct Variable {
  std::string_view name;
  bool isBool = false;
  bool isConst = false;
  int size = 0;  // 0: a scalar; else an array's length
  std::uint16_t address = 0;
  std::optional<std::uint8_t> known;  // the value it holds, when the compiler knows it
  bool global = false;
  // Known, and its cell not written yet: the store of a constant outside
  // every condition was left out, and known holds on every path. A store
  // under a condition writes the cell first (Lowering::WriteStale).
  bool stale = false;
};

struct Function {
  std::string_view name;
  bool returnsValue = false;
  bool returnsBool = false;
  std::vector<int> paramTokens;  // the token of each parameter's name
  std::vector<bool> paramBool;
  int bodyToken = 0;  // the body's opening brace
};

// A value an expression lowered to: a constant, or a byte in A that is the
// C value modulo 256, with the range the C value lies in.
struct Value {
  bool constant = false;
  std::int64_t lo = 0, hi = 255;
  bool Exact() const { return lo >= 0 && hi <= 255; }
};

// The range of x op y for a bitwise operator, from the operands' ranges.
Value BitwiseRange(std::string_view op, Value x, Value y);

// Where memory goes: cells upward from F000h, whole pages downward from
// FFh (below F000h once the pages above are taken), each skipping what
// the program's mem[...] touches.
class Placer {
 public:
  std::set<int> touchedBytes, touchedPages;
  std::uint16_t Cells(int count);
  std::uint16_t Page();
  std::uint16_t lowest = 0xFFFF;
  bool Named(int address) const { return touchedBytes.count(address) != 0 || touchedPages.count(address >> 8) != 0; }

 private:
  bool Free(int address) const;
  int next = 0xF000;
  std::set<int> pages;  // the whole pages given out
};

// Writes assembly lines and follows what each register and each memory cell
// at a known address holds, as a number: 0 to 255 a constant, above that a
// value computed as the program runs. The code is straight (there is no
// jump), so what it follows is what the machine holds. When optimising it
// leaves out what changes nothing: a load of what the register holds, a
// store of what the cell holds (to the compiler's own cells; every store to
// an address the program names stays), an MVI or MOV of what is there, and
// an MVI to H or L that another overwrites before HL is used.
class Emitter {
 public:
  std::string text;
  int lines = 0;
  std::int64_t bytes = 0;
  bool keepRegisters = true;
  const Placer* placer = nullptr;  // the addresses the program names, when known
  void Line(std::string_view line, int size);
  void Comment(std::string_view comment);
  void Mvi(char reg, std::int64_t value);
  void Mov(char to, char from);
  void Add(char reg);
  void SetHL(std::uint16_t address);
  // Forgets everything; ForgetValues all but what H and L hold.
  void Forget();
  void ForgetValues();
  // An emitter with nothing written that knows what this one knows of H
  // and L, to measure code before writing it; the code measured starts
  // with ForgetValues, so that both write the same lengths.
  Emitter Fresh() const {
    Emitter e;
    e.keepRegisters = keepRegisters;
    e.placer = placer;
    e.held[kH] = held[kH];
    e.held[kL] = held[kL];
    e.pending = pending;
    e.written = written;
    e.nextValue = nextValue;  // a new value is new to both
    return e;
  }
  void MultiplyA(std::int64_t k);

 private:
  static constexpr int kUnknown = -1, kH = 5, kL = 6;
  static int Index(char reg);
  int Held(int index);
  int Address() const;  // HL's address, or kUnknown
  bool Skip(bool same) const { return keepRegisters && same; }
  bool Program(int address) const { return placer == nullptr || placer->Named(address); }
  void Put(std::string line, int size);
  void Flush();
  void Stored(int address, int value);
  std::array<int, 7> held{kUnknown, kUnknown, kUnknown, kUnknown, kUnknown, kUnknown, kUnknown};  // A B C D E H L
  std::array<bool, 2> pending{};                   // H, L: set, and the MVI not written yet
  std::array<int, 2> written{kUnknown, kUnknown};  // what H and L hold in the machine
  std::unordered_map<int, int> cells;              // address -> what the cell holds
  int nextValue = 256;
};

// What the compiler knows of each variable in scope, by index.
using KnownValues = std::vector<std::optional<std::uint8_t>>;

// A loop being unrolled. A break or continue under a run-time condition
// clears a flag cell where the condition holds: "running" (no break yet)
// for the rest of the loop, "trip" (no continue yet) for the rest of the
// trip; each is a condition in force from then on, until the loop or the
// trip ends.
struct LoopState {
  bool broke = false, continued = false;  // a break or continue that every running path takes
  bool tripDead = false;                  // the rest of the trip runs under a cleared flag
  bool stopped = false;                   // so does every later trip
  std::size_t conditions = 0;             // the index in Parser::conditions where the loop's own begin
  std::uint16_t running = 0, trip = 0;    // the flag cells, 0 until a jump needs them
  std::vector<KnownValues> exits, skips;  // what the compiler knew at each conditional break and continue
};

class Parser {
 public:
  Parser(std::string_view source, const CompileOptions& options, Placer& placer);
  void Program();
  std::vector<Diagnostic> diagnostics;
  std::vector<Placement> placed;
  std::vector<StatementSpan> spans;
  Emitter out;
  std::vector<std::pair<int, int>> spanLines;  // each span's first and last assembly line

 private:
  friend class Lowering;
  // Tokens.
  const Token& Peek(int ahead = 0) const;
  Token Take() { return tokens[static_cast<std::size_t>(pos < last ? pos++ : pos)]; }
  bool Accept(std::string_view what);
  bool Expect(std::string_view what);
  void Error(DiagnosticKind kind, const Token& token, std::string detail = "");
  void SkipStatement();
  int SkipBraces(int open);
  // Declarations.
  void TopLevel();
  void Directive(const Token& token);
  int TypeSpec(bool& isBool, bool& isConst, bool allowVoid);
  void Declarators(bool isBool, bool isConst, bool global);
  void FunctionDefinition(bool returnsValue, bool returnsBool, const Token& name);
  void Initialiser(int var, bool global);
  int Declare(int nameToken, bool isBool, bool isConst, int size, bool global);
  const Token& TokenOf(int node) const {
    return tokens[static_cast<std::size_t>(nodes[static_cast<std::size_t>(node)].token)];
  }
  Node& At(int node) { return nodes[static_cast<std::size_t>(node)]; }
  const Node& At(int node) const { return nodes[static_cast<std::size_t>(node)]; }
  int Lookup(std::string_view name) const;
  // Statements.
  void Statement();
  void Block();
  void ExpressionStatement();
  void If();
  void While();
  void DoWhile();
  void For();
  void Return();
  void Unroll(int cond, int step, int body, bool testFirst);
  void RuntimeIf();
  void Prologue();
  bool Conditional() const { return !conditions.empty(); }
  void LoopJump(const Token& t);
  std::uint16_t FlowCell();
  KnownValues KnownNow() const;
  void Forget(const std::vector<KnownValues>& paths);
  void DropFlag(std::uint16_t& cell);
  bool LoopCondition(int cond, const Token& at);
  void BeginSpan(const Token& token);
  void EndSpan();
  // Expressions (the Pratt parser).
  int Expression(int precedence = 0);
  int Prefix();
  int Postfix(int node);
  int Primary();
  int Call(int node, const Token& name);
  int MakeNode(NodeKind kind, const Token& token);
  void Close(int node);
  std::optional<std::int64_t> Fold(int node) const;
  bool SideEffects(int node) const;
  // Fold's value of an expression without side effects; none for one with
  // them, which must run.
  std::optional<std::int64_t> Known(int node) const;

 public:
  // Inlining a call: stores the arguments and lowers the body.
  void InlineCall(const Function& function, int functionIndex, int returnVar);

  std::string_view source;
  CompileOptions options;
  Placer& placer;
  std::vector<Token> tokens;
  int pos = 0, last = 0;
  std::vector<Node> nodes;
  std::vector<Variable> vars;
  std::vector<std::size_t> scopes;
  std::vector<Function> functions;
  std::vector<int> inlining;                  // the functions being inlined, outermost first
  std::map<int, std::uint16_t> cellOf;        // a declaration's token -> its cell, reused across unrolled trips
  std::vector<std::uint16_t> temps;           // scratch cells by depth
  std::uint16_t eqPage = 0;                   // the page of the equality trick, 0 until used
  std::vector<std::uint16_t> conditions;      // the cells of the run-time conditions in force, innermost last
  std::vector<std::uint16_t> conditionCells;  // a cell for each depth of conditions
  std::uint16_t discard = 0;                  // where a store of a branch not taken goes, 0 until used
  using TableKey = std::pair<std::string, std::int64_t>;  // f(i) = i op k
  std::map<TableKey, std::uint16_t> tables;               // each table's page
  std::vector<TableKey> wanted;                           // the tables the first reading used, built by the prologue
  // The comparisons with a constant this reading lowered by their own
  // table, the bytes those tables take, and whether the reading lowered a
  // comparison by Compare: both readings decide alike.
  std::set<TableKey> comparisonTables;
  std::int64_t comparisonSpent = 0;
  std::map<TableKey, std::uint8_t> offsets;  // each table's offset, once found
  bool comparedAtRunTime = false;
  bool prologueBuilt = false;
  bool knowsTrue = false;  // <stdbool.h>, or <mirvo.h> which includes it, defines true and false
  int depth = 0, nesting = 0, dead = 0;
  std::int64_t trips = 0;
  std::vector<LoopState*> loops;
  int returnVar = -1;                // the cell a return stores to, in an inlined function
  std::size_t returnConditions = 0;  // the run-time conditions in force where the function began
  bool returned = false;
  std::uint16_t notReturned = 0;         // an inlined function's flag cell once it returns under a condition
  std::vector<KnownValues> returns;      // what the compiler knew at each of its conditional returns
  std::vector<std::uint16_t> flowCells;  // the cells of the loops' and functions' flags
  int lastHeaderLine = 0;
  int spanStart = -1;
  std::set<std::tuple<int, int, int>> reported;
  bool tooLarge = false;
  std::int64_t calls = 0;
  struct Named {
    int low, high, token;
  };
  std::vector<Named> named;  // the addresses mem[...] names, for the code's growth over them
};

// Lowers expression trees to assembly.
class Lowering {
 public:
  explicit Lowering(Parser& parser) : p(parser), out(parser.out) {}
  Value Lower(int node, bool discard = false);

 private:
  Value Binary(const Node& n);
  Value AddSub(const Node& n);
  Value Equality(const Node& n, bool notEqual);
  Value Unary(const Node& n);
  Value Assign(const Node& n);
  Value IncDec(const Node& n, bool discard);
  Value Cast(const Node& n);
  Value Call(const Node& n);
  Value Load(const Node& n);
  Value ToBool(Value value, const Node& n);
  Value Choose(const Node& n);
  Value Logical(const Node& n);
  Value Compare(const Node& n);
  Value Table(const Node& n, std::string_view op, std::int64_t k, int operand);
  // The value a table's entries are kept less of, found once per table.
  std::uint8_t TableOffset(const Parser::TableKey& key);
  // A = the table at A, with the value its entries are kept less of added back.
  void ReadTable(std::uint16_t page, std::uint8_t offset);
  // The page of a table the prologue builds, 0 (and a diagnostic) when the first reading did not foresee it.
  std::uint16_t TablePage(const Parser::TableKey& key, const Node& n);
  // Whether a comparison with a constant is lowered by Compare rather than by a table of its own.
  bool SharesComparison(const Parser::TableKey& key, int operand);
  // & | ^ * of two values known only as the program runs (Nibbles.cpp).
  Value Runtime(const Node& n);
  void HighNibble(std::uint16_t cell, std::uint16_t shift);
  void LowNibble(char reg, std::uint16_t cell, std::uint16_t shift);
  void PairEntry(std::uint16_t pairs, char index = 'A');
  void AndNibbles(std::uint16_t xCell, std::uint16_t yCell, bool yNibble, std::uint16_t pairs, std::uint16_t shift);
  void MultiplyNibbles(std::uint16_t xCell, std::uint16_t yCell, bool xNibble, bool yNibble, std::uint16_t pairs,
                       std::uint16_t shift);

 public:
  // An entry of a two-entry select: a register's byte, or a constant.
  struct Entry {
    char reg = 0;
    int byte = 0;
  };
  // reg = (the 0 or 1 in cell cond) ? one : zero, through the equality page.
  void Select(Emitter& e, char reg, std::uint16_t cond, Entry zero, Entry one);
  // Lowers a condition to 0 or 1, joined with the conditions in force, into a new condition cell.
  std::uint16_t Condition(int node);
  // The condition cell of an else: not the last condition, joined with the ones outside it.
  void Otherwise();
  // HL = the address a store under the conditions goes to.
  void ConditionalHL(bool constant, std::uint16_t address, std::uint16_t lowCell, std::uint8_t high);
  void PlantReturn();
  // Clears, where the innermost condition holds, each condition cell from
  // index from up below it; a fresh cell starts as the one below it.
  void Leave(std::size_t from, std::uint16_t fresh);
  std::uint16_t EqPage();

 private:
  Value Store(const Node& target, int value, const Node& at);
  void WriteStale(Variable& var);
  void StoreHere(Value v, bool constant, std::uint16_t address, std::uint16_t lowCell, std::uint8_t high);
  // The address of an lvalue: a constant one, or false after lowering the
  // low byte into A and choosing the page (high).
  bool ConstantAddress(const Node& n, std::uint16_t& address);
  void IndexToA(const Node& n, std::uint8_t& high);
  std::uint16_t Temp();
  void SaveA(std::uint16_t cell);
  void LoadInto(char reg, std::uint16_t cell);
  bool Simple(int node) const;
  bool Wide(Value value, const Node& n);
  Parser& p;
  Emitter& out;
};

}  // namespace mirvo::cc
