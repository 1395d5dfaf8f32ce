#include "Server.h"

#include <cctype>

#include "Format.h"
#include "Framing.h"
#include "JsonText.h"
#include "LanguageHelp.h"
#include "Machine.h"
#include "Notation.h"
#include "ShownDiagnostics.h"

namespace mirvo::lsp {

namespace {

// A request whose parameters do not name what it needs.
struct ParamsError {
  std::string message;
};

constexpr int kSeverityError = 1;
constexpr int kSeverityWarning = 2;
constexpr int kCompletionKeyword = 14;
constexpr int kCompletionVariable = 6;
constexpr int kSyncFull = 1;

std::string Response(const Json& id, Json result) {
  return DumpJson(Json{{"jsonrpc", "2.0"}, {"id", id}, {"result", std::move(result)}});
}

std::string Error(const Json& id, int code, const std::string& message) {
  return DumpJson(Json{{"jsonrpc", "2.0"}, {"id", id}, {"error", {{"code", code}, {"message", message}}}});
}

std::string Notification(const char* method, Json params) {
  return DumpJson(Json{{"jsonrpc", "2.0"}, {"method", method}, {"params", std::move(params)}});
}

std::string Capitalised(std::string text) {
  if (!text.empty()) text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
  return text;
}

constexpr int kSeverityInformation = 3;
constexpr int kMessageError = 1;
// The codes of the two findings that stand for many.
constexpr const char* kForeignCode = "not-this-machine";
constexpr const char* kMoreCode = "more-diagnostics";

// params[name], or null when params is no object or has no such member.
const Json& Member(const Json& params, const char* name) {
  static const Json kNone;
  if (!params.is_object()) return kNone;
  const auto found = params.find(name);
  return found == params.end() ? kNone : *found;
}

// True when a client's list of formats, most preferred first, puts plain
// text before Markdown. Without a list, Markdown.
bool PrefersPlainText(const Json& formats) {
  if (!formats.is_array()) return false;
  for (const Json& format : formats) {
    if (format == "markdown") return false;
    if (format == "plaintext") return true;
  }
  return false;
}

Json Markup(bool plain, const std::string& markdown) {
  if (plain) return {{"kind", "plaintext"}, {"value", PlainText(markdown)}};
  return {{"kind", "markdown"}, {"value", markdown}};
}

// A byte that ends the word being typed: white space, a comma, a comment.
bool IsWordEnd(char ch) { return ch == ' ' || ch == '\t' || ch == ',' || ch == ';'; }

// What an editor filters an item by: its label, with the part typed so far
// as it was typed when it matches in any letter case, so that "mv" keeps MVI.
std::string FilterText(const std::string& label, std::string_view typed) {
  if (typed.size() > label.size()) return label;
  for (std::size_t i = 0; i < typed.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(typed[i])) != std::toupper(static_cast<unsigned char>(label[i])))
      return label;
  }
  return std::string(typed) + label.substr(typed.size());
}

// How many statements of a program read: the C statements of a C program,
// else the assembly's.
std::size_t StatementCount(const Program& program) {
  if (const cc::CompileResult* compiled = program.Compiled()) return compiled->map.size();
  return program.Assembly() != nullptr ? program.Assembly()->GetStatements().size() : 0;
}

std::size_t LineIndex(const Json& position) {
  const auto line = position.at("line").get<std::int64_t>();
  if (line < 0) throw ParamsError{"a position has a negative line"};
  return static_cast<std::size_t>(line);
}

}  // namespace

void Server::Handle(std::string_view body, std::vector<std::string>& out) {
  // Measured before it is parsed: nothing below walks a value deeper than this.
  if (JsonDepth(body) > kMaxDepth) {
    out.push_back(
        Error(nullptr, kInvalidRequest, "the message nests deeper than " + std::to_string(kMaxDepth) + " levels"));
    return;
  }
  const Json message = Json::parse(body, nullptr, false);
  if (message.is_discarded()) {
    out.push_back(Error(nullptr, kParseError, "the message is not JSON"));
    return;
  }
  const bool hasId = message.is_object() && message.contains("id");
  // The id is checked before anything else: only a string or an integer is echoed.
  if (hasId && !message["id"].is_number_integer() && !message["id"].is_string()) {
    out.push_back(Error(nullptr, kInvalidRequest, "an id is a string or an integer"));
    return;
  }
  const Json id = hasId ? message["id"] : Json();
  if (!message.is_object() || !message.contains("method") || !message["method"].is_string()) {
    // A response to a request the server never sends is let go.
    if (hasId && (message.contains("result") || message.contains("error"))) return;
    out.push_back(Error(id, kInvalidRequest, "a request needs a method name"));
    return;
  }
  const std::string method = message["method"].get<std::string>();
  static const Json kNoParams = Json::object();
  const Json& params = message.contains("params") ? message["params"] : kNoParams;
  try {
    Dispatch(method, hasId ? &id : nullptr, params, out);
  } catch (const ParamsError& error) {
    if (hasId) out.push_back(Error(id, kInvalidParams, error.message));
  } catch (const Json::exception& error) {
    if (hasId)
      out.push_back(Error(id, kInvalidParams, std::string("the parameters of ") + method + " are not as expected"));
  }
}

void Server::HandleTooLarge(std::size_t size, std::string_view idText, std::vector<std::string>& out) {
  const std::string why = "a message of " + std::to_string(size) + " bytes was skipped: the server reads at most " +
                          std::to_string(kMaxBody >> 20) + " MiB";
  const Json id = Json::parse(idText, nullptr, false);
  if (!idText.empty() && (id.is_number_integer() || id.is_string())) {
    out.push_back(Error(id, kInvalidRequest, why));
    return;
  }
  out.push_back(Notification("window/showMessage", {{"type", kMessageError}, {"message", why}}));
}

void Server::Flush(std::vector<std::string>& out) {
  for (const std::string& uri : queue) {
    const auto found = documents.find(uri);
    if (found == documents.end() || !found->second.queued) continue;
    Publish(uri, found->second, out);
  }
  queue.clear();
}

void Server::Dispatch(const std::string& method, const Json* id, const Json& params, std::vector<std::string>& out) {
  if (method == "exit") {
    exited = true;
    return;
  }
  if (state == State::kStarting) {
    if (method == "initialize" && id != nullptr) {
      out.push_back(Response(*id, Machine::Initialized(*this, params, Initialize(params))));
      state = State::kRunning;
    } else if (id != nullptr) {
      out.push_back(Error(*id, kServerNotInitialized, "the server is not initialized yet"));
    }
    return;
  }
  if (state == State::kShutDown) {
    if (id != nullptr) out.push_back(Error(*id, kInvalidRequest, "the server has shut down"));
    return;
  }
  if (method == "textDocument/didOpen") return Open(params);
  if (method == "textDocument/didChange") return Change(params);
  if (method == "textDocument/didClose") return Close(params, out);
  if (method == "workspace/didChangeConfiguration") return Machine::Configure(*this, params);
  if (id == nullptr) return;  // other notifications ask for nothing
  if (method == "shutdown") {
    state = State::kShutDown;
    shutDown = true;
    out.push_back(Response(*id, nullptr));
  } else if (method == "initialize") {
    out.push_back(Error(*id, kInvalidRequest, "the server is already initialized"));
  } else if (method == "textDocument/codeAction") {
    out.push_back(Response(*id, Machine::CodeActions(*this, params)));
  } else if (method == "textDocument/hover") {
    out.push_back(Response(*id, Machine::Hover(*this, params)));
  } else if (method == "textDocument/completion") {
    out.push_back(Response(*id, Machine::Completion(*this, params)));
  } else if (method == "textDocument/inlayHint") {
    out.push_back(Response(*id, Machine::InlayHints(*this, params)));
  } else if (method == "textDocument/codeLens") {
    out.push_back(Response(*id, Machine::CodeLenses(*this, params)));
  } else if (method == "textDocument/signatureHelp") {
    out.push_back(Response(*id, Machine::SignatureHelp(*this, params)));
  } else if (method == "textDocument/semanticTokens/full") {
    out.push_back(Response(*id, Machine::SemanticTokens(*this, params)));
  } else if (method == "textDocument/formatting") {
    out.push_back(Response(*id, Formatting(params)));
  } else {
    out.push_back(Error(*id, kMethodNotFound, "no method " + method));
  }
}

Json Server::Initialize(const Json& params) {
  const Json& capabilities = Member(params, "capabilities");
  // UTF-8 positions when the editor can count in bytes, as the assembler does.
  terms.utf8 = false;
  const Json& encodings = Member(Member(capabilities, "general"), "positionEncodings");
  if (encodings.is_array()) {
    for (const Json& encoding : encodings) terms.utf8 = terms.utf8 || encoding == "utf-8";
  }
  const Json& document = Member(capabilities, "textDocument");
  terms.plainHover = PrefersPlainText(Member(Member(document, "hover"), "contentFormat"));
  terms.plainCompletion =
      PrefersPlainText(Member(Member(Member(document, "completion"), "completionItem"), "documentationFormat"));
  return {{"capabilities",
           {{"positionEncoding", terms.utf8 ? "utf-8" : "utf-16"},
            {"textDocumentSync", {{"openClose", true}, {"change", kSyncFull}}},
            {"hoverProvider", true},
            {"completionProvider", {{"triggerCharacters", {" ", ","}}}},
            {"codeActionProvider", {{"codeActionKinds", {"quickfix"}}}},
            {"inlayHintProvider", true},
            {"documentFormattingProvider", true}}},
          {"serverInfo", {{"name", "mirvo"}, {"version", version}}}};
}

void Server::Open(const Json& params) {
  const Json& item = params.at("textDocument");
  const std::string uri = item.at("uri").get<std::string>();
  std::string text = item.at("text").get<std::string>();
  Document& document = documents[uri];
  document.version =
      item.contains("version") && item["version"].is_number_integer() ? item["version"].get<std::int64_t>() : 0;
  document.pending = std::move(text);
  document.stale = true;
  Queue(uri, document);
}

void Server::Change(const Json& params) {
  const std::string uri = params.at("textDocument").at("uri").get<std::string>();
  const auto found = documents.find(uri);
  if (found == documents.end()) return;
  Document& document = found->second;
  std::string text = document.stale ? std::move(document.pending) : document.program.Text();
  document.stale = true;
  for (const Json& change : params.at("contentChanges")) {
    const std::string& changed = change.at("text").get_ref<const std::string&>();
    if (!change.contains("range")) {
      text = changed;
      continue;
    }
    // A change of part of the text, for editors that send them anyway.
    const SourceLines lines(text, LineBreaks::kProtocol);
    const Json& range = change["range"];
    const std::size_t start = lines.Offset(LineIndex(range.at("start")), ByteColumn(lines, range.at("start")));
    const std::size_t end = lines.Offset(LineIndex(range.at("end")), ByteColumn(lines, range.at("end")));
    if (end < start) {
      document.pending = std::move(text);
      throw ParamsError{"a change ends before it starts"};
    }
    text.replace(start, end - start, changed);
  }
  document.pending = std::move(text);
  const Json& item = params["textDocument"];
  if (item.contains("version") && item["version"].is_number_integer())
    document.version = item["version"].get<std::int64_t>();
  Queue(uri, document);
}

void Server::Close(const Json& params, std::vector<std::string>& out) {
  const std::string uri = params.at("textDocument").at("uri").get<std::string>();
  if (documents.erase(uri) == 0) return;
  // The diagnostics of a closed file go with it.
  out.push_back(Notification("textDocument/publishDiagnostics", {{"uri", uri}, {"diagnostics", Json::array()}}));
}

void Server::Queue(const std::string& uri, Document& document) {
  if (document.queued) return;
  document.queued = true;
  queue.push_back(uri);
}

void Server::Publish(const std::string& uri, Document& document, std::vector<std::string>& out) {
  document.queued = false;
  const Document& current = Find(Json{{"textDocument", {{"uri", uri}}}});
  const std::string& text = current.program.Text();
  const SourceLines feeds(text);
  const SourceLines editor(text, LineBreaks::kProtocol);
  const ShownDiagnostics shown = ShowDiagnostics(current.program.Diagnostics(), StatementCount(current.program));
  Json diagnostics = Json::array();
  if (shown.foreign != nullptr) {
    diagnostics.push_back({{"range", Range(feeds, editor, 1, 0, 0)},
                           {"severity", kSeverityError},
                           {"code", kForeignCode},
                           {"source", "mirvo"},
                           {"message", DescribeForeign(shown)}});
  }
  for (const Diagnostic& diagnostic : shown.shown) diagnostics.push_back(DiagnosticOf(feeds, editor, diagnostic));
  if (shown.more > 0) {
    const Diagnostic& next = shown.shown.data()[shown.shown.size()];
    diagnostics.push_back({{"range", Range(feeds, editor, next.line, 0, 0)},
                           {"severity", kSeverityInformation},
                           {"code", kMoreCode},
                           {"source", "mirvo"},
                           {"message", DescribeMore(shown)}});
  }
  Machine::Diagnose(*this, current, feeds, editor, diagnostics);
  out.push_back(Notification("textDocument/publishDiagnostics",
                             {{"uri", uri}, {"version", current.version}, {"diagnostics", std::move(diagnostics)}}));
}

Document& Server::Find(const Json& params) {
  const std::string uri = params.at("textDocument").at("uri").get<std::string>();
  const auto found = documents.find(uri);
  if (found == documents.end()) throw ParamsError{"the document " + uri + " is not open"};
  Document& document = found->second;
  if (document.stale) {
    document.program = Program::FromSource(uri, std::move(document.pending));
    document.pending = std::string();
    document.stale = false;
    Machine::Rerun(*this, document);
  }
  return document;
}

Json Server::Position(const SourceLines& lines, std::size_t line, std::size_t byteColumn) const {
  return {{"line", line}, {"character", terms.utf8 ? byteColumn : Utf16Units(lines.Line(line), byteColumn)}};
}

Json Server::PositionOf(const SourceLines& lines, std::size_t offset) const {
  const std::size_t line = lines.LineOf(offset);
  const std::size_t column = offset - lines.Start(line);
  const std::size_t size = lines.Line(line).size();
  return Position(lines, line, column < size ? column : size);
}

std::size_t Server::ByteColumn(const SourceLines& lines, const Json& position) const {
  const std::string_view line = lines.Line(LineIndex(position));
  const auto character = position.at("character").get<std::int64_t>();
  if (character < 0) throw ParamsError{"a position has a negative character"};
  const auto units = static_cast<std::size_t>(character);
  if (terms.utf8) return units < line.size() ? units : line.size();
  return BytesOfUtf16Units(line, units);
}

Json Server::Range(const SourceLines& feeds, const SourceLines& editor, std::int32_t line, std::int32_t column,
                   std::int32_t length) const {
  const auto index = static_cast<std::size_t>(line > 0 ? line - 1 : 0);
  const std::size_t size = feeds.Line(index).size();
  // Without a column the whole line is meant.
  const std::size_t start = column > 0 ? static_cast<std::size_t>(column - 1) : 0;
  const std::size_t end = column > 0 ? start + static_cast<std::size_t>(length) : size;
  // Through offsets: a lone CR ends an editor's line, not the assembler's.
  return {{"start", PositionOf(editor, feeds.Offset(index, start))},
          {"end", PositionOf(editor, feeds.Offset(index, end))}};
}

Json Server::DiagnosticOf(const SourceLines& feeds, const SourceLines& editor, const Diagnostic& diagnostic) const {
  return {{"range", Range(feeds, editor, diagnostic.line, diagnostic.column, diagnostic.length)},
          {"severity", SeverityOf(diagnostic.kind) == Severity::kError ? kSeverityError : kSeverityWarning},
          {"code", DiagnosticCode(diagnostic.kind)},
          {"source", "mirvo"},
          {"message", DescribeDiagnostic(diagnostic)}};
}

Json Server::CodeActions(const Json& params) {
  const Document& document = Find(params);
  const std::string uri = params["textDocument"]["uri"].get<std::string>();
  Json actions = Json::array();
  // Only quick fixes are offered; an editor that asks for other kinds only gets none.
  if (params.contains("context") && params["context"].contains("only")) {
    bool wanted = false;
    for (const Json& kind : params["context"]["only"]) {
      const std::string name = kind.get<std::string>();
      wanted = wanted || name.empty() || std::string("quickfix").rfind(name, 0) == 0;
    }
    if (!wanted) return actions;
  }
  const SourceLines feeds(document.program.Text());
  const SourceLines editor(document.program.Text(), LineBreaks::kProtocol);
  const Json& range = params.at("range");
  // The editor's lines, as the assembler's lines that hold them.
  const std::size_t first = feeds.LineOf(editor.Start(LineIndex(range.at("start"))));
  const std::size_t last = feeds.LineOf(editor.Start(LineIndex(range.at("end"))));
  for (const Diagnostic& diagnostic : document.program.Diagnostics()) {
    const auto line = static_cast<std::size_t>(diagnostic.line - 1);
    if (line < first || line > last) continue;
    for (const Fix& fix : diagnostic.fixes) {
      // A line feed in the fix ends a line as the document ends them.
      const std::string_view lineEnd = feeds.LineEnd(static_cast<std::size_t>(fix.line - 1));
      std::string text;
      for (const char ch : fix.text) {
        if (ch == '\n' && lineEnd == "\r\n") text += '\r';
        text += ch;
      }
      Json edit = {{"range", Range(feeds, editor, fix.line, fix.column, fix.length)}, {"newText", text}};
      actions.push_back({{"title", Capitalised(fix.title)},
                         {"kind", "quickfix"},
                         {"diagnostics", {DiagnosticOf(feeds, editor, diagnostic)}},
                         {"isPreferred", diagnostic.fixes.size() == 1},
                         {"edit", {{"changes", {{uri, {edit}}}}}}});
    }
  }
  return actions;
}

Json Server::HoverAt(const Json& params) {
  const Document& document = Find(params);
  // The help on mnemonics, registers and numbers is the assembly's.
  if (document.program.IsC()) return nullptr;
  const SourceLines lines(document.program.Text(), LineBreaks::kProtocol);
  const Json& position = params.at("position");
  const std::size_t line = LineIndex(position);
  const Hover hover = mirvo::HoverAt(lines.Line(line), ByteColumn(lines, position));
  if (!hover.found) return nullptr;
  return {
      {"contents", Markup(terms.plainHover, hover.text)},
      {"range",
       {{"start", Position(lines, line, hover.column)}, {"end", Position(lines, line, hover.column + hover.length)}}}};
}

Json Server::Completion(const Json& params) {
  const Document& document = Find(params);
  const SourceLines lines(document.program.Text(), LineBreaks::kProtocol);
  const Json& position = params.at("position");
  const std::size_t line = LineIndex(position);
  const std::string_view text = lines.Line(line);
  const std::size_t cursor = ByteColumn(lines, position);
  // The word typed so far: editors filter the items by it, and keep only
  // those whose filterText starts with it as written.
  std::size_t start = cursor;
  while (start > 0 && !IsWordEnd(text[start - 1])) --start;
  const std::string_view typed = text.substr(start, cursor - start);
  const Json replaced = {{"start", Position(lines, line, start)}, {"end", Position(lines, line, cursor)}};
  Json items = Json::array();
  if (document.program.IsC()) return items;
  for (const mirvo::Completion& item : CompletionsAt(text, cursor)) {
    items.push_back({{"label", item.label},
                     {"kind", item.kind == CompletionKind::kMnemonic ? kCompletionKeyword : kCompletionVariable},
                     {"detail", item.detail},
                     {"documentation", Markup(terms.plainCompletion, item.documentation)},
                     {"filterText", FilterText(item.label, typed)},
                     {"textEdit", {{"range", replaced}, {"newText", item.label}}}});
  }
  return items;
}

Json Server::Formatting(const Json& params) {
  const Document& document = Find(params);
  Json edits = Json::array();
  // mirvo fmt lays out assembly; C is left as written.
  if (document.program.IsC()) return edits;
  const std::string& before = document.program.Text();
  const std::string formatted = FormatSource(before);
  if (formatted == before) return edits;
  // One edit, of the lines from the first that changed to the last: an
  // editor applies it in time linear in the text, however many lines changed.
  const SourceLines lines(before, LineBreaks::kProtocol);
  std::size_t prefix = 0;
  const std::size_t shorter = before.size() < formatted.size() ? before.size() : formatted.size();
  while (prefix < shorter && before[prefix] == formatted[prefix]) ++prefix;
  std::size_t suffix = 0;
  while (suffix < shorter - prefix && before[before.size() - 1 - suffix] == formatted[formatted.size() - 1 - suffix])
    ++suffix;
  // Widened to whole lines, within the parts that are the same.
  const std::size_t from = lines.Start(lines.LineOf(prefix));
  std::size_t to = before.size() - suffix;
  const std::size_t toLine = lines.LineOf(to);
  if (to != lines.Start(toLine)) to = lines.Start(toLine + 1);
  const std::size_t kept = before.size() - to;
  edits.push_back({{"range", {{"start", PositionOf(lines, from)}, {"end", PositionOf(lines, to)}}},
                   {"newText", formatted.substr(from, formatted.size() - kept - from)}});
  return edits;
}

}  // namespace mirvo::lsp
