// The language server, frames in and frames out: for each case the bytes an
// editor sends, with the pauses where no input waits (kPause: the server
// publishes what changed), and the responses and notifications it must
// answer with, in order, and its exit code. The table runs in-process
// through the connection mirvo lsp runs; a few rows run the real program.
// Expected messages are patterns: every key they name must be there with
// that value (arrays whole), so a row states what it is about and no more.

#include <gtest/gtest.h>

#include <algorithm>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "Connection.h"
#include "TestSupport.h"

namespace mirvo::test {
namespace {

using Json = nlohmann::json;

const std::string kMirvo = MIRVO_CLI_PATH;
const std::string kUri = "file:///p.asm";
const std::string kCUri = "file:///p.c";

std::string Frame(const std::string& body) {
  return "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}
std::string Request(int id, const std::string& method, const Json& params = Json::object()) {
  return Frame(Json{{"jsonrpc", "2.0"}, {"id", id}, {"method", method}, {"params", params}}.dump());
}
std::string Note(const std::string& method, const Json& params = Json::object()) {
  return Frame(Json{{"jsonrpc", "2.0"}, {"method", method}, {"params", params}}.dump());
}
std::string Open(const std::string& text) {
  return Note("textDocument/didOpen",
              {{"textDocument", {{"uri", kUri}, {"languageId", "asm"}, {"version", 1}, {"text", text}}}});
}
// a with the keys of b added, objects merged.
Json With(Json a, const Json& b) {
  a.update(b, true);
  return a;
}
Json At(int line, int character) { return {{"line", line}, {"character", character}}; }
Json Span(int line, int start, int end) { return {{"start", At(line, start)}, {"end", At(line, end)}}; }
// A request about the document at a position, or over lines first to last.
std::string About(int id, const std::string& method, int line, int character) {
  return Request(id, method, {{"textDocument", {{"uri", kUri}}}, {"position", At(line, character)}});
}
std::string Over(int id, const std::string& method, int first, int last, const Json& extra = Json::object()) {
  Json params = {{"textDocument", {{"uri", kUri}}}, {"range", {{"start", At(first, 0)}, {"end", At(last, 0)}}}};
  params.update(extra);
  return Request(id, method, params);
}

// Where the editor pauses: the server is idle, and publishes.
const std::string kPause = "\x1F";
std::string Opened(const std::string& text) { return Open(text) + kPause; }
std::string Framed(const std::string& body, std::size_t length, const char* lineEnd = "\r\n") {
  return "Content-Length: " + std::to_string(length) + lineEnd + lineEnd + body;
}
std::string RequestBody(const Json& id, const std::string& method, const Json& params = Json::object()) {
  return Json{{"jsonrpc", "2.0"}, {"id", id}, {"method", method}, {"params", params}}.dump();
}

const std::string kInitialize = Request(0, "initialize", {{"capabilities", Json::object()}}) + Note("initialized");
const std::string kShutdown = Request(99, "shutdown") + Note("exit");

Json Result(int id, const Json& result) { return {{"id", id}, {"result", result}}; }
Json Failure(const Json& id, int code, const std::string& message) {
  return {{"id", id}, {"error", {{"code", code}, {"message", message}}}};
}
Json Published(const Json& diagnostics) {
  return {{"method", "textDocument/publishDiagnostics"}, {"params", {{"uri", kUri}, {"diagnostics", diagnostics}}}};
}
Json Problem(const Json& range, int severity, const std::string& code) {
  return {{"range", range}, {"severity", severity}, {"code", code}, {"source", "mirvo"}};
}

const Json kInitialized = Result(0, {{"capabilities",
                                      {{"positionEncoding", "utf-16"},
                                       {"textDocumentSync", {{"openClose", true}, {"change", 1}}},
                                       {"hoverProvider", true},
                                       {"completionProvider", {{"triggerCharacters", {" ", ","}}}},
                                       {"codeActionProvider", {{"codeActionKinds", {"quickfix", "source.fixAll"}}}},
                                       {"inlayHintProvider", true},
                                       {"documentFormattingProvider", true},
                                       {"codeLensProvider", Json::object()},
                                       {"signatureHelpProvider", {{"triggerCharacters", {" ", ","}}}}}},
                                     {"serverInfo", {{"name", "mirvo"}, {"version", "1.0"}}}});
const Json kShutDown = Result(99, nullptr);

// True when actual has everything expected has; where says what differs.
bool Matches(const Json& actual, const Json& expected, std::string& where) {
  if (expected.is_object()) {
    if (!actual.is_object()) return false;
    for (const auto& [key, value] : expected.items()) {
      if (!actual.contains(key) || !Matches(actual[key], value, where)) {
        where = key + (where.empty() ? "" : "." + where);
        return false;
      }
    }
    return true;
  }
  if (expected.is_array()) {
    if (!actual.is_array() || actual.size() != expected.size()) return false;
    for (std::size_t i = 0; i < expected.size(); ++i) {
      if (!Matches(actual[i], expected[i], where)) {
        where = "[" + std::to_string(i) + "]" + (where.empty() ? "" : "." + where);
        return false;
      }
    }
    return true;
  }
  return actual == expected;
}

std::vector<Json> Messages(std::string stream) {
  std::vector<Json> messages;
  while (!stream.empty()) {
    const std::size_t end = stream.find("\r\n\r\n");
    if (end == std::string::npos || stream.compare(0, 16, "Content-Length: ") != 0) {
      ADD_FAILURE() << "not a frame: " << stream;
      break;
    }
    const std::size_t length = std::stoul(stream.substr(16, end - 16));
    messages.push_back(Json::parse(stream.substr(end + 4, length)));
    stream.erase(0, end + 4 + length);
  }
  return messages;
}

struct Case {
  const char* name;
  std::string input;
  std::vector<Json> output;
  int exitCode = 0;
};

// What the connection sends for input, fed in blocks as mirvo lsp reads
// them, idle at each pause and before the first block.
struct Exchanged {
  std::string out;
  int exitCode;
};
Exchanged Exchange(const std::string& input) {
  lsp::Connection connection("1.0");
  std::string out;
  std::size_t from = 0;
  while (from <= input.size()) {
    std::size_t to = input.find(kPause, from);
    if (to == std::string::npos) to = input.size();
    for (std::size_t at = from; at < to; at += 1 << 16) {
      connection.Receive(input.data() + at, std::min<std::size_t>(1 << 16, to - at), out);
    }
    connection.Idle(out);
    from = to + 1;
  }
  return {out, connection.ExitCode()};
}

void Expect(const Exchanged& exchanged, const std::vector<Json>& output, int exitCode) {
  EXPECT_EQ(exchanged.exitCode, exitCode);
  const std::vector<Json> messages = Messages(exchanged.out);
  ASSERT_EQ(messages.size(), output.size()) << exchanged.out.substr(0, 4000);
  for (std::size_t i = 0; i < messages.size(); ++i) {
    std::string where;
    EXPECT_TRUE(Matches(messages[i], With(output[i], {{"jsonrpc", "2.0"}}), where))
        << "message " << i << " differs at " << where << ":\n"
        << messages[i].dump().substr(0, 4000) << "\nexpected\n"
        << output[i].dump();
  }
}

TEST(LspTest, Protocol) {
  const std::vector<Case> cases = {
      {"life cycle", kInitialize + kShutdown, {kInitialized, kShutDown}},
      {"exit without shutdown", kInitialize + Note("exit"), {kInitialized}, 1},
      {"the end of the input without exit", kInitialize, {kInitialized}, 1},
      {"requests before initialize are refused, notifications dropped",
       About(1, "textDocument/hover", 0, 0) + Open("RET\n") + kInitialize + kShutdown,
       {Failure(1, -32002, "the server is not initialized yet"), kInitialized, kShutDown}},
      {"unknown methods",
       kInitialize + Request(1, "workspace/symbol") + Note("$/setTrace", {{"value", "off"}}) + Request(2, "$/mirvo") +
           Request(3, "initialize") + kShutdown,
       {kInitialized, Failure(1, -32601, "no method workspace/symbol"), Failure(2, -32601, "no method $/mirvo"),
        Failure(3, -32600, "the server is already initialized"), kShutDown}},
      {"malformed messages are answered or skipped",
       kInitialize + "Content-Type: text/plain\r\n\r\n" + "Content-Length: x1\r\n\r\n" + Frame("{not json") +
           Frame("[1, 2]") + Frame(R"({"jsonrpc": "2.0", "id": 3})") +
           Frame(R"({"jsonrpc": "2.0", "id": 7, "result": 1})") + Request(4, "textDocument/hover") +
           About(5, "textDocument/hover", 0, 0) + Request(6, "textDocument/didOpen", {{"textDocument", 5}}) + kShutdown,
       {kInitialized, Failure(nullptr, -32700, "the message is not JSON"),
        Failure(nullptr, -32600, "a request needs a method name"), Failure(3, -32600, "a request needs a method name"),
        Failure(4, -32602, "the parameters of textDocument/hover are not as expected"),
        Failure(5, -32602, "the document file:///p.asm is not open"),
        Failure(6, -32602, "the parameters of textDocument/didOpen are not as expected"), kShutDown}},
      {"requests after shutdown are refused",
       kInitialize + Request(1, "shutdown") + About(2, "textDocument/hover", 0, 0) + Note("exit"),
       {kInitialized, Result(1, nullptr), Failure(2, -32600, "the server has shut down")}},
      {"diagnostics as the text changes, whole or in part, and none once closed",
       kInitialize + Opened("MOV b, A\nADD 22h\nRET\n") +
           Note("textDocument/didChange", {{"textDocument", {{"uri", kUri}, {"version", 2}}},
                                           {"contentChanges", {{{"range", Span(0, 4, 5)}, {"text", "B"}}}}}) +
           kPause +
           Note("textDocument/didChange",
                {{"textDocument", {{"uri", kUri}, {"version", 3}}}, {"contentChanges", {{{"text", "RET\n"}}}}}) +
           kPause + Note("textDocument/didClose", {{"textDocument", {{"uri", kUri}}}}) + kShutdown,
       {kInitialized,
        {{"method", "textDocument/publishDiagnostics"},
         {"params",
          {{"uri", kUri},
           {"version", 1},
           {"diagnostics",
            {With(Problem(Span(0, 4, 5), 1, "not-a-register"),
                  {{"message", "'b' is not a register: register letters are upper case, write B"}}),
             Problem(Span(1, 4, 7), 2, "number-read-as-mem")}}}}},
        With(Published(
                 Json::array({Problem(Span(1, 4, 7), 2, "number-read-as-mem"), Problem(Span(0, 0, 3), 2, "unset-read"),
                              Problem(Span(1, 0, 3), 2, "hl-unset"), Problem(Span(1, 0, 3), 2, "unset-read")})),
             {{"params", {{"version", 2}}}}),
        With(Published(Json::array()), {{"params", {{"version", 3}}}}),
        Published(Json::array()),
        kShutDown}},
      {"quick fixes: one sure, two alternatives, none of other kinds",
       kInitialize + Opened("MVI A, 10\r\nMOV b, A\r\nADD 22h\r\nRET\r\n") + Over(1, "textDocument/codeAction", 0, 1) +
           Over(2, "textDocument/codeAction", 2, 2) +
           Over(3, "textDocument/codeAction", 0, 2,
                {{"context", {{"diagnostics", Json::array()}, {"only", {"refactor"}}}}}) +
           kShutdown,
       {kInitialized, Published(Json::array({Json::object(), Json::object(), Json::object()})),
        Result(1, {{{"title", "Write 0Ah, if decimal 10 was meant"},
                    {"kind", "quickfix"},
                    {"isPreferred", false},
                    {"diagnostics", {Problem(Span(0, 7, 9), 1, "not-a-number")}},
                    {"edit", {{"changes", {{kUri, {{{"range", Span(0, 7, 9)}, {"newText", "0Ah"}}}}}}}}},
                   {{"title", "Write 10h, if hexadecimal 10 was meant"}, {"isPreferred", false}},
                   {{"title", "Write B"},
                    {"isPreferred", true},
                    {"edit", {{"changes", {{kUri, {{{"range", Span(1, 4, 5)}, {"newText", "B"}}}}}}}}}}),
        Result(2,
               {{{"title", "Load 22h into C, which the program does not use, then add C"},
                 {"edit", {{"changes", {{kUri, {{{"range", Span(2, 0, 7)}, {"newText", "MVI C, 22h\r\nADD C"}}}}}}}}}}),
        Result(3, Json::array()), kShutDown}},
      // A C document is compiled, not assembled: no help on mnemonics, and
      // fmt's columns are not laid over it.
      {"a .c document",
       kInitialize +
           Note("textDocument/didOpen",
                {{"textDocument", {{"uri", kCUri}, {"languageId", "c"}, {"version", 1}, {"text", "mvi A,0F0h;x\n"}}}}) +
           kPause + Request(1, "textDocument/hover", {{"textDocument", {{"uri", kCUri}}}, {"position", At(0, 8)}}) +
           Request(2, "textDocument/completion", {{"textDocument", {{"uri", kCUri}}}, {"position", At(0, 0)}}) +
           Request(3, "textDocument/formatting", {{"textDocument", {{"uri", kCUri}}}, {"options", {{"tabSize", 4}}}}) +
           kShutdown,
       {kInitialized,
        {{"method", "textDocument/publishDiagnostics"}, {"params", {{"uri", kCUri}}}},
        Result(1, nullptr),
        Result(2, Json::array()),
        Result(3, Json::array()),
        kShutDown}},
      {"hover, completion, inlay hints and formatting",
       kInitialize + Opened("mvi A,0F0h;x\nRET\n") + About(1, "textDocument/hover", 0, 8) +
           About(2, "textDocument/hover", 0, 5) + About(3, "textDocument/completion", 1, 0) +
           About(4, "textDocument/completion", 0, 4) + Over(5, "textDocument/inlayHint", 0, 1) +
           Request(6, "textDocument/formatting", {{"textDocument", {{"uri", kUri}}}, {"options", {{"tabSize", 4}}}}) +
           kShutdown,
       {kInitialized, Published(Json::array()),
        Result(1, {{"contents",
                    {{"kind", "markdown"},
                     {"value",
                      "**0F0h**: the byte 0F0h = 240 = `11110000` in binary; here, the number MVI loads\n\n"
                      "`0000  3E F0  A 00h\u21920F0h`\n\nMVI A, 0F0h: A = 0F0h; the flags stay as they were"}}},
                   {"range", Span(0, 6, 10)}}),
        Result(2,
               {{"contents",
                 {{"kind", "markdown"},
                  {"value", "`0000  3E F0  A 00h\u21920F0h`\n\nMVI A, 0F0h: A = 0F0h; the flags stay as they were"}}}}),
        Result(3, {{{"label", "MOV"}, {"kind", 14}, {"detail", "MOV dst, src"}},
                   {{"label", "MVI"}},
                   {{"label", "ADD"}},
                   {{"label", "CMP"}},
                   {{"label", "RET"}}}),
        Result(4, {{{"label", "A"}, {"kind", 6}, {"detail", "register, code 7"}},
                   {{"label", "B"}},
                   {{"label", "C"}},
                   {{"label", "D"}},
                   {{"label", "E"}},
                   {{"label", "H"}},
                   {{"label", "L"}},
                   {{"label", "Mem"}, {"detail", "the byte at HL"}}}),
        Result(5, {{{"position", At(0, 12)}, {"label", "0000  3E F0  A 00h\u21920F0h"}, {"paddingLeft", true}},
                   {{"position", At(1, 3)}, {"label", "0002  C9  nothing changed"}}}),
        Result(6, {{{"range", {{"start", At(0, 0)}, {"end", At(1, 0)}}}, {"newText", "MVI A, 0F0h     ;x\n"}}}),
        kShutDown}},
      {"positions in UTF-16 code units by default",
       kInitialize + Opened("MOV \xC3\xA9, b\n") + kShutdown,
       {kInitialized,
        Published({Problem(Span(0, 4, 5), 1, "operand-kind"), Problem(Span(0, 7, 8), 1, "not-a-register")}),
        kShutDown}},
      {"a byte-order mark is skipped with a warning, one code unit wide",
       kInitialize + Opened("\xEF\xBB\xBFMOV b, A\n") + kShutdown,
       {kInitialized, Published({Problem(Span(0, 0, 1), 2, "bom"), Problem(Span(0, 5, 6), 1, "not-a-register")}),
        kShutDown}},
      {"positions in bytes when the editor counts in UTF-8",
       Request(0, "initialize", {{"capabilities", {{"general", {{"positionEncodings", {"utf-8", "utf-16"}}}}}}}) +
           Opened("MOV \xC3\xA9, b\n") + kShutdown,
       {Result(0, {{"capabilities", {{"positionEncoding", "utf-8"}}}}),
        Published({Problem(Span(0, 4, 6), 1, "operand-kind"), Problem(Span(0, 8, 9), 1, "not-a-register")}),
        kShutDown}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Expect(Exchange(c.input), c.output, c.exitCode);
  }
}

// Each case's input sent after initialize and before shutdown, its output
// expected between their answers.
void ExpectBetweenStartAndShutdown(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<Json> output = c.output;
    output.insert(output.begin(), kInitialized);
    output.push_back(kShutDown);
    Expect(Exchange(kInitialize + c.input + kShutdown), output, 0);
  }
}

// Each fault of framing, followed by a request that must be answered.
TEST(LspTest, FramingFaultsLoseNothingAfterThem) {
  const std::string hover =
      RequestBody(1, "textDocument/hover", {{"textDocument", {{"uri", kUri}}}, {"position", At(0, 0)}});
  const Json answered = Failure(1, -32602, "the document file:///p.asm is not open");
  // A client that counted the characters of 日本, not their bytes.
  const std::string wide = Note("textDocument/didOpen",
                                {{"textDocument", {{"uri", "file:///w.asm"}, {"text", "; \xE6\x97\xA5\xE6\x9C\xAC"}}}})
                               .substr(0);
  const std::string wideBody = wide.substr(wide.find("\r\n\r\n") + 4);
  std::string deep = R"({"jsonrpc":"2.0","method":"shutdown","id":)";
  deep += std::string(100000, '[') + std::string(100000, ']') + "}";
  const std::string huge(65U << 20, 'x');
  const std::string hugeRequest = RequestBody(8, "textDocument/hover", {{"huge", huge}});
  const std::string hugeNote =
      Json{{"jsonrpc", "2.0"}, {"method", "textDocument/didOpen"}, {"params", {{"huge", huge}}}}.dump();
  const std::string hugeWords =
      "a message of " + std::to_string(hugeRequest.size()) + " bytes was skipped: the server reads at most 64 MiB";
  const std::vector<Case> cases = {
      {"a header block without a length", "Content-Type: text/plain\r\n\r\n" + hover + Frame(hover), {answered}},
      {"a length that is no number", Framed(hover, 0).replace(16, 1, "x1") + Frame(hover), {answered}},
      {"a length in characters, too short",
       Framed(wideBody, wideBody.size() - 4) + Frame(hover),
       {Failure(nullptr, -32700, "the message is not JSON"), answered}},
      {"a length too long, cut where the next frame starts",
       Framed(hover, hover.size() + 30) +
           Frame(RequestBody(2, "textDocument/hover", {{"textDocument", {{"uri", kUri}}}, {"position", At(0, 0)}})),
       {answered, Failure(2, -32602, "the document file:///p.asm is not open")}},
      {"header lines ended by LF alone", Framed(hover, hover.size(), "\n"), {answered}},
      {"stray bytes before a frame", "\r\n}garbage: \"" + Frame(hover), {answered}},
      {"a header line that is none", "Content-Length: 10\r\n{\"id\": 5}\r\n\r\n" + Frame(hover), {answered}},
      {"a frame too large to take, a request",
       Frame(hugeRequest) + Frame(hover),
       {Failure(8, -32600, hugeWords), answered}},
      {"a frame too large to take, a notification",
       Frame(hugeNote) + Frame(hover),
       {{{"method", "window/showMessage"}, {"params", {{"type", 1}}}}, answered}},
      {"an id nested 100,000 deep",
       Frame(deep) + Frame(hover),
       {Failure(nullptr, -32600, "the message nests deeper than 64 levels"), answered}},
      {"ids that are no string or integer",
       Frame(RequestBody(Json::object({{"a", 1}}), "shutdown")) + Frame(RequestBody({1, 2}, "shutdown")) +
           Frame(RequestBody(1.5, "shutdown")) + Frame(RequestBody(nullptr, "shutdown")) + Frame(hover),
       {Failure(nullptr, -32600, "an id is a string or an integer"),
        Failure(nullptr, -32600, "an id is a string or an integer"),
        Failure(nullptr, -32600, "an id is a string or an integer"),
        Failure(nullptr, -32600, "an id is a string or an integer"), answered}},
  };
  ExpectBetweenStartAndShutdown(cases);
}

std::string Lines(const std::string& line, int count) {
  std::string text;
  for (int i = 0; i < count; ++i) text += line;
  return text;
}
std::string Changed(int version, const std::string& text) {
  return Note("textDocument/didChange",
              {{"textDocument", {{"uri", kUri}, {"version", version}}}, {"contentChanges", {{{"text", text}}}}});
}

TEST(LspTest, DiagnosticsAreBoundedAndCurrent) {
  std::string burst;
  for (int version = 2; version <= 21; ++version)
    burst += Changed(version, Lines("MOV b, A\n", 22 - version) + "RET\n");
  Json capped = Json::array();
  for (int i = 0; i < 500; ++i) capped.push_back(Json::object());
  capped.push_back({{"range", Span(1001, 0, 8)},
                    {"severity", 3},
                    {"code", "more-diagnostics"},
                    {"message", "100 more diagnostics are not shown: the first 500 are"}});
  const std::vector<Case> cases = {
      {"a burst of changes is published once, at its last version",
       Opened("RET\n") + burst + kPause,
       {Published(Json::array()), With(Published(Json::array({Json::object()})), {{"params", {{"version", 21}}}})}},
      {"the first 500 diagnostics, then how many more",
       Opened(Lines("MVI A, 10h\nMOV b, A\n", 600) + "RET\n"),
       {Published(capped)}},
      {"a source for another processor is one finding",
       Opened(Lines("push rbp\n", 30) + "RET\n"),
       {Published({{{"range", Span(0, 0, 8)},
                    {"severity", 1},
                    {"code", "not-this-machine"},
                    {"message",
                     "this is not an assembly of this machine: 30 lines do not read as its statements, "
                     "1 do; the first, line 1: 'push' is not an instruction: the instructions are MOV, MVI, ADD, CMP "
                     "and RET"}}})}},
  };
  ExpectBetweenStartAndShutdown(cases);
}

TEST(LspTest, TheClientsTerms) {
  const std::string plain =
      Request(0, "initialize",
              {{"capabilities",
                {{"textDocument",
                  {{"hover", {{"contentFormat", {"plaintext"}}}},
                   {"completion", {{"completionItem", {{"documentationFormat", {"plaintext", "markdown"}}}}}}}}}}}) +
      Note("initialized");
  const std::vector<Case> cases = {
      {"plain text when the client asks for it",
       plain + Opened("RET\n") + About(1, "textDocument/hover", 0, 0) + About(2, "textDocument/completion", 0, 0),
       {Result(0, Json::object()), Published(Json::array()),
        Result(1, {{"contents",
                    {{"kind", "plaintext"},
                     {"value",
                      "RET: ends the program\n\nEncoding 11 001 001, 1 byte; flags written: none\n\n0000  C9  nothing "
                      "changed\n\nRET: the stack is empty, so the program ends here"}}}}),
        Result(2, Json(5, {{"documentation", {{"kind", "plaintext"}}}}))}},
      {"a lower-case prefix completes, as typed",
       kInitialize + Opened("mv\n") + About(1, "textDocument/completion", 0, 2),
       {kInitialized, Published(Json::array({Json::object()})),
        Result(1,
               {{{"label", "MOV"}, {"filterText", "MOV"}, {"textEdit", {{"range", Span(0, 0, 2)}, {"newText", "MOV"}}}},
                {{"filterText", "mvI"}},
                {{"filterText", "ADD"}},
                {{"filterText", "CMP"}},
                {{"filterText", "RET"}}})}},
      // The assembler reads a lone CR as a space: its one statement's
      // second word is the editor's second line.
      {"a lone CR ends a line",
       kInitialize + Opened("RET\rMOV b, A\rRET\r"),
       {kInitialized, Published(Json::array({Problem(Span(1, 0, 3), 1, "operand-count")}))}},
      {"formatting is one edit, of the lines that change",
       kInitialize + Opened("RET\nmov B,A\nadd B\nRET\n") +
           Request(1, "textDocument/formatting", {{"textDocument", {{"uri", kUri}}}, {"options", {{"tabSize", 4}}}}),
       {kInitialized, Published(Json::array()),
        Result(1, {{{"range", {{"start", At(1, 0)}, {"end", At(3, 0)}}}, {"newText", "MOV B, A\nADD B\n"}}})}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<Json> output = c.output;
    output.push_back(kShutDown);
    Expect(Exchange(c.input + kShutdown), output, 0);
  }
}

// The real program: its exit codes, and --stdio, which many clients pass.
TEST(LspTest, TheProgram) {
  const struct {
    std::vector<std::string> args;
    std::string input;
    std::vector<Json> output;
    int exitCode;
  } cases[] = {
      {{"lsp"}, kInitialize + kShutdown, {kInitialized, kShutDown}, 0},
      {{"lsp", "--stdio"}, kInitialize + kShutdown, {kInitialized, kShutDown}, 0},
      {{"lsp"}, kInitialize + Note("exit"), {kInitialized}, 1},
      {{"lsp"}, kInitialize, {kInitialized}, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.back());
    ScratchDir dir;
    WriteFile(dir / "input", c.input);
    const SplitResult result = RunProgramWithInput(kMirvo, c.args, dir.Path(), dir / "input");
    EXPECT_EQ(result.err, "");
    Expect({result.out, result.exitCode}, c.output, c.exitCode);
  }
}

}  // namespace
}  // namespace mirvo::test
