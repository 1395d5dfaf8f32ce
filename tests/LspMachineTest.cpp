// What mirvo lsp shows of a document's run, against the real mirvo run of
// the same source: the run-time checks' warnings it prints must be the
// findings the server publishes, the steps its trace prints (the first of
// each statement) the inlay hints, and its outcome and step count the code
// lens. Then a table of the language's shape (signature help, semantic
// tokens, fix all, allow comments), the fix checked against mirvo asm --fix.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "Connection.h"
#include "TestSupport.h"

namespace mirvo::test {
namespace {

using Json = nlohmann::json;

const std::string kMirvo = MIRVO_CLI_PATH;
const std::string kUri = "file:///p.asm";

std::string Frame(const Json& message) {
  const std::string body = message.dump();
  return "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}
Json Ask(int id, const std::string& method, Json params) {
  params["textDocument"] = {{"uri", kUri}};
  return {{"jsonrpc", "2.0"}, {"id", id}, {"method", method}, {"params", params}};
}
Json At(int line, int character) { return {{"line", line}, {"character", character}}; }

// mirvo lsp's answers to an editor that opens text and sends requests:
// the first publish of diagnostics, then each request's result by id.
struct Answers {
  Json diagnostics;
  std::vector<Json> results;
};
Answers Serve(const std::string& text, const std::vector<Json>& requests, const Json& initialize = Json::object()) {
  Json params = initialize;
  params["capabilities"] = params.value("capabilities", Json::object());
  // In process, idle once the document is open, as an editor that waits
  // for its diagnostics: a burst of messages publishes only when idle.
  lsp::Connection connection("1.0");
  std::string out;
  const auto send = [&](const std::string& bytes) { connection.Receive(bytes.data(), bytes.size(), out); };
  send(Frame({{"jsonrpc", "2.0"}, {"id", 0}, {"method", "initialize"}, {"params", params}}));
  send(Frame({{"jsonrpc", "2.0"},
              {"method", "textDocument/didOpen"},
              {"params", {{"textDocument", {{"uri", kUri}, {"languageId", "asm"}, {"version", 1}, {"text", text}}}}}}));
  connection.Idle(out);
  for (const Json& request : requests) send(Frame(request));
  send(Frame({{"jsonrpc", "2.0"}, {"id", 999}, {"method", "shutdown"}}) +
       Frame({{"jsonrpc", "2.0"}, {"method", "exit"}}));
  EXPECT_EQ(connection.ExitCode(), 0);
  Answers answers;
  answers.results.resize(requests.size() + 1);
  std::string stream = out;
  while (!stream.empty()) {
    const std::size_t end = stream.find("\r\n\r\n");
    if (end == std::string::npos) break;
    const std::size_t length = std::stoul(stream.substr(16, end - 16));
    const Json message = Json::parse(stream.substr(end + 4, length));
    stream.erase(0, end + 4 + length);
    if (message.value("method", "") == "textDocument/publishDiagnostics" && answers.diagnostics.is_null()) {
      answers.diagnostics = message["params"]["diagnostics"];
    } else if (message.contains("id") && message["id"].is_number() && message["id"] != 999) {
      const auto id = message["id"].get<std::size_t>();
      if (id > 0 && id <= requests.size()) answers.results[id] = message.value("result", Json());
    }
  }
  return answers;
}

// What mirvo run says of a source: its run-time warnings as
// "LINE ID MESSAGE", the first step of each address as a hint, the outcome.
struct Reference {
  std::vector<std::string> findings;
  std::vector<std::string> hints;
  std::string lens;
};
std::string Trimmed(std::string text) {
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}
Reference RunReference(const std::string& text, const std::string& given) {
  ScratchDir dir;
  WriteFile(dir / "p.asm", text);
  std::vector<std::string> args = {"run", "p.asm", "--trace"};
  if (!given.empty()) args.insert(args.end(), {"--given", given});
  const SplitResult run = RunProgramSplit(kMirvo, args, dir.Path());
  Reference reference;
  std::size_t at = 0;
  for (std::size_t end; (end = run.err.find('\n', at)) != std::string::npos; at = end + 1) {
    const std::string line = run.err.substr(at, end - at);
    const std::size_t id = line.rfind(" [-W");
    if (line.rfind("p.asm:", 0) != 0 || id == std::string::npos) continue;
    const std::size_t colon = line.find(':', 6);
    const std::size_t message = line.find(": warning: ") + 11;
    reference.findings.push_back(line.substr(6, colon - 6) + " " + line.substr(id + 4, line.size() - id - 5) + " " +
                                 line.substr(message, id - message));
  }
  std::set<std::string> seen;
  std::string outcome;
  std::string steps;
  at = 0;
  for (std::size_t end; (end = run.out.find('\n', at)) != std::string::npos; at = end + 1) {
    const std::string line = run.out.substr(at, end - at);
    if (line.rfind("Outcome:   ", 0) == 0) outcome = line.substr(11);
    if (line.rfind("Steps:     ", 0) == 0) steps = line.substr(11);
    // "       1  0000  3E 50  MVI A, 50h      A 00h->50h": step, place, text, changes.
    // A byte that is no instruction is no statement.
    if (line.size() < 40 || line[7] < '0' || line[7] > '9' || line.find("(no instruction)") != std::string::npos)
      continue;
    const std::string place = Trimmed(line.substr(10, 11));
    if (!seen.insert(place.substr(0, 4)).second) continue;
    std::string changes = line.substr(39);
    // The byte a step read comes first ("[1000h] = 07h, "): it is no change.
    if (changes[0] == '[' && changes.find("] = ") == 6) changes.erase(0, changes.find(", ") + 2);
    for (std::size_t arrow; (arrow = changes.find("->")) != std::string::npos;) changes.replace(arrow, 2, "\u2192");
    reference.hints.push_back(place + "  " + changes);
  }
  reference.lens = outcome + " after " + steps + (steps == "1" ? " step" : " steps");
  return reference;
}

struct RunRow {
  const char* name;
  std::string source;
  std::string given;  // what mirvo run is given: the source's given comment
};

TEST(LspMachineTest, ShowsWhatMirvoRunShows) {
  const std::vector<RunRow> rows = {
      {"the first run of README: five warnings besides the missing RET",
       "MVI A, 42h\nMOV Mem, A\nMVI B, 0F0h\nADD B\nADD B\n", ""},
      {"a given state from a comment line",
       "; mirvo: given B=5h [1000h]=7h,8h\nMVI H, 10h\nMVI L, 00h\nMOV A, Mem\nADD B\nMOV Mem, A\nCMP B\nRET\n",
       "B=5h [1000h]=7h,8h"},
      {"registers read before they are set", "MVI B, 5h\nADD B\nCMP C\nRET\n", ""},
      {"an allowed write over the program's own code",
       "MVI H, 00h\nMVI L, 00h\nMVI A, 1h\nMVI Mem, 0C9h ; mirvo: allow code-write\nRET\n", ""},
      {"a given comment after a statement, with CRLF", "MVI A, 0F0h ; mirvo: given B=20h\r\nADD B\r\nRET\r\n", "B=20h"},
  };
  for (const RunRow& row : rows) {
    SCOPED_TRACE(row.name);
    const Reference reference = RunReference(row.source, row.given);
    const Json everything = {{"range", {{"start", At(0, 0)}, {"end", At(100, 0)}}}};
    const Answers answers =
        Serve(row.source, {Ask(1, "textDocument/inlayHint", everything), Ask(2, "textDocument/codeLens", {})});
    std::vector<std::string> findings;
    for (const Json& d : answers.diagnostics) {
      if (!d.contains("codeDescription")) continue;
      const std::string id = d["code"].get<std::string>();
      EXPECT_EQ(d["codeDescription"]["href"], "man:mirvo-checks(7)#" + id);
      findings.push_back(std::to_string(d["range"]["start"]["line"].get<int>() + 1) + " " + id + " " +
                         d["message"].get<std::string>());
    }
    EXPECT_EQ(findings, reference.findings);
    std::vector<std::string> hints;
    for (const Json& hint : answers.results[1]) hints.push_back(hint["label"].get<std::string>());
    EXPECT_EQ(hints, reference.hints);
    ASSERT_EQ(answers.results[2].size(), 1U);
    EXPECT_EQ(answers.results[2][0]["command"]["title"], reference.lens);
  }
}

// The fixed text mirvo asm --fix leaves of text.
std::string AsmFix(const std::string& text) {
  ScratchDir dir;
  WriteFile(dir / "p.asm", text);
  RunProgramSplit(kMirvo, {"asm", "--fix", "p.asm"}, dir.Path());
  return ReadFile(dir / "p.asm");
}

TEST(LspMachineTest, FixAllIsAsmFix) {
  for (const std::string text : {"MOV b, A\nADD 22h\r\nmov c, b\nRET", "MVI A, 10\nRET\n", "RET\n"}) {
    SCOPED_TRACE(text);
    const Json only = {{"range", {{"start", At(0, 0)}, {"end", At(0, 0)}}},
                       {"context", {{"diagnostics", Json::array()}, {"only", {"source.fixAll"}}}}};
    const Answers answers = Serve(text, {Ask(1, "textDocument/codeAction", only)});
    const std::string fixed = AsmFix(text);
    if (fixed == text) {
      EXPECT_EQ(answers.results[1], Json::array());
      continue;
    }
    ASSERT_EQ(answers.results[1].size(), 1U);
    const Json& edit = answers.results[1][0]["edit"]["changes"][kUri][0];
    EXPECT_EQ(answers.results[1][0]["kind"], "source.fixAll");
    EXPECT_EQ(edit["range"]["start"], At(0, 0));
    EXPECT_EQ(edit["newText"], fixed);
  }
}

struct ShapeRow {
  const char* name;
  std::string text;
  Json request;
  Json expected;
  Json initialize = Json::object();
};

TEST(LspMachineTest, TheLanguagesShape) {
  const Json hints = {{"range", {{"start", At(0, 0)}, {"end", At(9, 0)}}}};
  const std::vector<ShapeRow> rows = {
      {"signature help on the second operand",
       "MOV B, ",
       Ask(1, "textDocument/signatureHelp", {{"position", At(0, 7)}}),
       {{"signatures",
         {{{"label", "MOV dst, src"},
           {"documentation", "copies src into dst; the flags stay as they were"},
           {"parameters", {{{"label", {4, 7}}}, {{"label", {9, 12}}}}}}}},
        {"activeSignature", 0},
        {"activeParameter", 1}}},
      {"signature help on the first operand",
       "ADD ",
       Ask(1, "textDocument/signatureHelp", {{"position", At(0, 4)}}),
       {{"signatures",
         {{{"label", "ADD src"},
           {"documentation",
            "adds src to A; ADD Mem also sets Z when the sum is zero and CY when it carries out of "
            "bit 7, the register form leaves the flags as they were"},
           {"parameters", {{{"label", {4, 7}}}}}}}},
        {"activeSignature", 0},
        {"activeParameter", 0}}},
      {"no signature help before the mnemonic ends", "ADD",
       Ask(1, "textDocument/signatureHelp", {{"position", At(0, 3)}}), nullptr},
      {"no signature help in a comment or for RET", "RET ; MOV ",
       Ask(1, "textDocument/signatureHelp", {{"position", At(0, 10)}}), nullptr},
      // Relative lines and starts, lengths, types: keyword, variable,
      // property (Mem), number, comment, decorator (a comment to mirvo).
      {"semantic tokens",
       "MVI Mem, 0F0h ; x\n  MOV A, B\n; mirvo: allow code-write\nFOO 5h\n",
       Ask(1, "textDocument/semanticTokens/full", {}),
       {{"data", {0, 0, 3, 0, 0, 0, 4, 3, 2, 0, 0, 5, 4, 3, 0,  0, 5, 3, 4, 0, 1, 2, 3,
                  0, 0, 0, 4, 1, 1, 0, 0, 3, 1, 1, 0, 1, 0, 25, 5, 0, 1, 4, 2, 3, 0}}}},
      {"semantic tokens count UTF-16 code units",
       "MVI A, 5h ; \xC3\xA9t\xC3\xA9\n",
       Ask(1, "textDocument/semanticTokens/full", {}),
       {{"data", {0, 0, 3, 0, 0, 0, 4, 1, 1, 0, 0, 3, 2, 3, 0, 0, 3, 5, 4, 0}}}},
      {"hover of an allow comment's name",
       "MVI A, 1h ; mirvo: allow carry-lost, nope\nRET\n",
       Ask(1, "textDocument/hover", {{"position", At(0, 27)}}),
       {{"contents",
         {{"kind", "markdown"},
          {"value",
           "**carry-lost**: a register ADD wraps past FFh and loses the carry\n\nADD with a register operand "
           "keeps only the low eight bits of the sum and, unlike ADD Mem, sets no flag: a sum above FFh "
           "wraps round, and neither CY nor anything else shows that it did."}}},
        {"range", {{"start", At(0, 25)}, {"end", At(0, 35)}}}},
       {{"capabilities", {{"textDocument", {{"inlayHint", Json::object()}}}}}}},
      {"hover of a word that names no check",
       "MVI A, 1h ; mirvo: allow carry-lost, nope\nRET\n",
       Ask(1, "textDocument/hover", {{"position", At(0, 38)}}),
       {{"contents",
         {{"kind", "markdown"},
          {"value",
           "**nope** names no check; the checks are hl-unset, code-write, past-end, carry-lost and "
           "unset-read"}}},
        {"range", {{"start", At(0, 37)}, {"end", At(0, 41)}}}},
       {{"capabilities", {{"textDocument", {{"inlayHint", Json::object()}}}}}}},
      {"completion of allow comments' names",
       "RET ; mirvo: allow c",
       Ask(1, "textDocument/completion", {{"position", At(0, 20)}}),
       {{{"label", "hl-unset"}, {"kind", 20}, {"detail", "Mem is used before H and L are set"}},
        {{"label", "code-write"}},
        {{"label", "past-end"}},
        {{"label", "carry-lost"}},
        {{"label", "unset-read"}}}},
      {"no names after the list ends", "RET ; mirvo: allow code-write: c",
       Ask(1, "textDocument/completion", {{"position", At(0, 32)}}), Json::array()},
      {"the given state from the editor's setting",
       "ADD B\nRET\n",
       Ask(1, "textDocument/inlayHint", hints),
       {{{"label", "0000  80  A 01h\u219203h"}}, {{"label", "0001  C9  nothing changed"}}},
       {{"initializationOptions", {{"mirvo", {{"given", "A=1h B=2h"}}}}}}},
      {"a given comment wins over the setting",
       "ADD B ; mirvo: given B=7h\nRET\n",
       Ask(1, "textDocument/inlayHint", hints),
       {{{"label", "0000  80  A 00h\u219207h"}}, {{"label", "0001  C9  nothing changed"}}},
       {{"initializationOptions", {{"given", "B=2h"}}}}},
      {"a source with errors does not run", "MOV b, A\nRET\n", Ask(1, "textDocument/codeLens", {}), Json::array()},
  };
  for (const ShapeRow& row : rows) {
    SCOPED_TRACE(row.name);
    const Answers answers = Serve(row.text, {row.request}, row.initialize);
    if (row.expected.is_array() && !row.expected.empty()) {
      ASSERT_EQ(answers.results[1].size(), row.expected.size()) << answers.results[1].dump();
      for (std::size_t i = 0; i < row.expected.size(); ++i) {
        for (const auto& [key, value] : row.expected[i].items()) EXPECT_EQ(answers.results[1][i][key], value) << key;
      }
    } else {
      EXPECT_EQ(answers.results[1], row.expected);
    }
  }
}

// A given state that cannot be used is a warning where it is written, in
// the words mirvo run --given refuses it with; the document does not run.
TEST(LspMachineTest, GivenStateProblems) {
  struct Row {
    std::string state;
    Json range;
  };
  const std::vector<Row> rows = {
      {"B=5h Q=1h", {{"start", At(0, 20)}, {"end", At(0, 24)}}},
      {"[0000h]=5h", {{"start", At(0, 15)}, {"end", At(0, 25)}}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.state);
    const std::string text = "; mirvo: given " + row.state + "\nRET\n";
    ScratchDir dir;
    WriteFile(dir / "p.asm", text);
    std::string refused = RunProgramSplit(kMirvo, {"run", "p.asm", "--given", row.state}, dir.Path()).err;
    refused = refused.substr(0, refused.find('\n')).substr(std::string("mirvo: ").size());
    if (refused.rfind("--given: ", 0) == 0) refused = "the given state: " + refused.substr(9);
    const Answers answers = Serve(text, {Ask(1, "textDocument/codeLens", {})});
    ASSERT_EQ(answers.diagnostics.size(), 1U) << answers.diagnostics.dump();
    EXPECT_EQ(answers.diagnostics[0]["code"], "given-state");
    EXPECT_EQ(answers.diagnostics[0]["range"], row.range);
    EXPECT_EQ(answers.diagnostics[0]["message"], refused);
    EXPECT_EQ(answers.results[1], Json::array());
  }
}

}  // namespace
}  // namespace mirvo::test
