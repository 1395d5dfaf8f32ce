#include "Server.h"

#include <cctype>

#include "Format.h"
#include "JsonText.h"
#include "LanguageHelp.h"
#include "Machine.h"

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

std::size_t LineIndex(const Json& position) {
  const auto line = position.at("line").get<std::int64_t>();
  if (line < 0) throw ParamsError{"a position has a negative line"};
  return static_cast<std::size_t>(line);
}

}  // namespace

void Server::Handle(std::string_view body, std::vector<std::string>& out) {
  const Json message = Json::parse(body, nullptr, false);
  if (message.is_discarded()) {
    out.push_back(Error(nullptr, kParseError, "the message is not JSON"));
    return;
  }
  const bool hasId = message.is_object() && message.contains("id");
  const Json id = hasId && (message["id"].is_number_integer() || message["id"].is_string()) ? message["id"] : Json();
  if (!message.is_object() || !message.contains("method") || !message["method"].is_string()) {
    // A response to a request the server never sends is let go.
    if (hasId && (message.contains("result") || message.contains("error"))) return;
    out.push_back(Error(id, kInvalidRequest, "a request needs a method name"));
    return;
  }
  const std::string method = message["method"].get<std::string>();
  try {
    Dispatch(method, message, out);
  } catch (const ParamsError& error) {
    if (hasId) out.push_back(Error(id, kInvalidParams, error.message));
  } catch (const Json::exception& error) {
    if (hasId)
      out.push_back(Error(id, kInvalidParams, std::string("the parameters of ") + method + " are not as expected"));
  }
}

void Server::Dispatch(const std::string& method, const Json& message, std::vector<std::string>& out) {
  const bool request = message.contains("id");
  const Json id = request ? message["id"] : Json();
  static const Json kNoParams = Json::object();
  const Json& params = message.contains("params") ? message["params"] : kNoParams;
  if (method == "exit") {
    exited = true;
    return;
  }
  if (state == State::kStarting) {
    if (method == "initialize" && request) {
      out.push_back(Response(id, Machine::Initialized(*this, params, Initialize(params))));
      state = State::kRunning;
    } else if (request) {
      out.push_back(Error(id, kServerNotInitialized, "the server is not initialized yet"));
    }
    return;
  }
  if (state == State::kShutDown) {
    if (request) out.push_back(Error(id, kInvalidRequest, "the server has shut down"));
    return;
  }
  if (method == "textDocument/didOpen") return Open(params, out);
  if (method == "textDocument/didChange") return Change(params, out);
  if (method == "textDocument/didClose") return Close(params, out);
  if (method == "workspace/didChangeConfiguration") return Machine::Configure(*this, params, out);
  if (!request) return;  // other notifications ask for nothing
  if (method == "shutdown") {
    state = State::kShutDown;
    shutDown = true;
    out.push_back(Response(id, nullptr));
  } else if (method == "initialize") {
    out.push_back(Error(id, kInvalidRequest, "the server is already initialized"));
  } else if (method == "textDocument/codeAction") {
    out.push_back(Response(id, Machine::CodeActions(*this, params)));
  } else if (method == "textDocument/hover") {
    out.push_back(Response(id, Machine::Hover(*this, params)));
  } else if (method == "textDocument/completion") {
    out.push_back(Response(id, Machine::Completion(*this, params)));
  } else if (method == "textDocument/inlayHint") {
    out.push_back(Response(id, Machine::InlayHints(*this, params)));
  } else if (method == "textDocument/codeLens") {
    out.push_back(Response(id, Machine::CodeLenses(*this, params)));
  } else if (method == "textDocument/signatureHelp") {
    out.push_back(Response(id, Machine::SignatureHelp(*this, params)));
  } else if (method == "textDocument/semanticTokens/full") {
    out.push_back(Response(id, Machine::SemanticTokens(*this, params)));
  } else if (method == "textDocument/formatting") {
    out.push_back(Response(id, Formatting(params)));
  } else {
    out.push_back(Error(id, kMethodNotFound, "no method " + method));
  }
}

Json Server::Initialize(const Json& params) {
  // UTF-8 positions when the editor can count in bytes, as the assembler does.
  utf8 = false;
  if (params.is_object() && params.contains("capabilities")) {
    const Json& capabilities = params["capabilities"];
    if (capabilities.is_object() && capabilities.contains("general") && capabilities["general"].is_object()) {
      const Json& general = capabilities["general"];
      if (general.contains("positionEncodings") && general["positionEncodings"].is_array()) {
        for (const Json& encoding : general["positionEncodings"]) utf8 = utf8 || encoding == "utf-8";
      }
    }
  }
  return {{"capabilities",
           {{"positionEncoding", utf8 ? "utf-8" : "utf-16"},
            {"textDocumentSync", {{"openClose", true}, {"change", kSyncFull}}},
            {"hoverProvider", true},
            {"completionProvider", {{"triggerCharacters", {" ", ","}}}},
            {"codeActionProvider", {{"codeActionKinds", {"quickfix"}}}},
            {"inlayHintProvider", true},
            {"documentFormattingProvider", true}}},
          {"serverInfo", {{"name", "mirvo"}, {"version", version}}}};
}

void Server::Open(const Json& params, std::vector<std::string>& out) {
  const Json& item = params.at("textDocument");
  const std::string uri = item.at("uri").get<std::string>();
  std::string text = item.at("text").get<std::string>();
  Document& document = documents[uri];
  document.version =
      item.contains("version") && item["version"].is_number_integer() ? item["version"].get<std::int64_t>() : 0;
  Analyse(uri, document, std::move(text), out);
}

void Server::Change(const Json& params, std::vector<std::string>& out) {
  const std::string uri = params.at("textDocument").at("uri").get<std::string>();
  const auto found = documents.find(uri);
  if (found == documents.end()) return;
  Document& document = found->second;
  std::string text = document.program.Text();
  for (const Json& change : params.at("contentChanges")) {
    const std::string& changed = change.at("text").get_ref<const std::string&>();
    if (!change.contains("range")) {
      text = changed;
      continue;
    }
    // A change of part of the text, for editors that send them anyway.
    const SourceLines lines(text);
    const Json& range = change["range"];
    const std::size_t start = lines.Offset(LineIndex(range.at("start")), ByteColumn(lines, range.at("start")));
    const std::size_t end = lines.Offset(LineIndex(range.at("end")), ByteColumn(lines, range.at("end")));
    if (end < start) throw ParamsError{"a change ends before it starts"};
    text.replace(start, end - start, changed);
  }
  const Json& item = params["textDocument"];
  if (item.contains("version") && item["version"].is_number_integer())
    document.version = item["version"].get<std::int64_t>();
  Analyse(uri, document, std::move(text), out);
}

void Server::Close(const Json& params, std::vector<std::string>& out) {
  const std::string uri = params.at("textDocument").at("uri").get<std::string>();
  if (documents.erase(uri) == 0) return;
  // The diagnostics of a closed file go with it.
  out.push_back(Notification("textDocument/publishDiagnostics", {{"uri", uri}, {"diagnostics", Json::array()}}));
}

void Server::Analyse(const std::string& uri, Document& document, std::string text, std::vector<std::string>& out) {
  document.program = Program::FromSource(uri, std::move(text));
  const SourceLines lines(document.program.Text());
  Json diagnostics = Json::array();
  for (const Diagnostic& diagnostic : document.program.Assembly()->GetDiagnostics()) {
    diagnostics.push_back(DiagnosticOf(lines, diagnostic));
  }
  Machine::Run(*this, document, lines, diagnostics);
  out.push_back(Notification("textDocument/publishDiagnostics",
                             {{"uri", uri}, {"version", document.version}, {"diagnostics", std::move(diagnostics)}}));
}

Document& Server::Find(const Json& params) {
  const std::string uri = params.at("textDocument").at("uri").get<std::string>();
  const auto found = documents.find(uri);
  if (found == documents.end()) throw ParamsError{"the document " + uri + " is not open"};
  return found->second;
}

Json Server::Position(const SourceLines& lines, std::size_t line, std::size_t byteColumn) const {
  return {{"line", line}, {"character", utf8 ? byteColumn : Utf16Units(lines.Line(line), byteColumn)}};
}

std::size_t Server::ByteColumn(const SourceLines& lines, const Json& position) const {
  const std::string_view line = lines.Line(LineIndex(position));
  const auto character = position.at("character").get<std::int64_t>();
  if (character < 0) throw ParamsError{"a position has a negative character"};
  const auto units = static_cast<std::size_t>(character);
  if (utf8) return units < line.size() ? units : line.size();
  return BytesOfUtf16Units(line, units);
}

Json Server::Range(const SourceLines& lines, std::int32_t line, std::int32_t column, std::int32_t length) const {
  const auto index = static_cast<std::size_t>(line > 0 ? line - 1 : 0);
  const std::size_t size = lines.Line(index).size();
  // Without a column the whole line is meant.
  const std::size_t start = column > 0 ? static_cast<std::size_t>(column - 1) : 0;
  const std::size_t end = column > 0 ? start + static_cast<std::size_t>(length) : size;
  return {{"start", Position(lines, index, start < size ? start : size)},
          {"end", Position(lines, index, end < size ? end : size)}};
}

Json Server::DiagnosticOf(const SourceLines& lines, const Diagnostic& diagnostic) const {
  return {{"range", Range(lines, diagnostic.line, diagnostic.column, diagnostic.length)},
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
  const Json& range = params.at("range");
  const std::size_t first = LineIndex(range.at("start"));
  const std::size_t last = LineIndex(range.at("end"));
  const SourceLines lines(document.program.Text());
  for (const Diagnostic& diagnostic : document.program.Assembly()->GetDiagnostics()) {
    const auto line = static_cast<std::size_t>(diagnostic.line - 1);
    if (line < first || line > last) continue;
    for (const Fix& fix : diagnostic.fixes) {
      // A line feed in the fix ends a line as the document ends them.
      const std::string_view lineEnd = lines.LineEnd(static_cast<std::size_t>(fix.line - 1));
      std::string text;
      for (const char ch : fix.text) {
        if (ch == '\n' && lineEnd == "\r\n") text += '\r';
        text += ch;
      }
      Json edit = {{"range", Range(lines, fix.line, fix.column, fix.length)}, {"newText", text}};
      actions.push_back({{"title", Capitalised(fix.title)},
                         {"kind", "quickfix"},
                         {"diagnostics", {DiagnosticOf(lines, diagnostic)}},
                         {"isPreferred", diagnostic.fixes.size() == 1},
                         {"edit", {{"changes", {{uri, {edit}}}}}}});
    }
  }
  return actions;
}

Json Server::HoverAt(const Json& params) {
  const Document& document = Find(params);
  const SourceLines lines(document.program.Text());
  const Json& position = params.at("position");
  const std::size_t line = LineIndex(position);
  const Hover hover = mirvo::HoverAt(lines.Line(line), ByteColumn(lines, position));
  if (!hover.found) return nullptr;
  return {{"contents", {{"kind", "markdown"}, {"value", hover.text}}},
          {"range", Range(lines, static_cast<std::int32_t>(line + 1), static_cast<std::int32_t>(hover.column + 1),
                          static_cast<std::int32_t>(hover.length))}};
}

Json Server::Completion(const Json& params) {
  const Document& document = Find(params);
  const SourceLines lines(document.program.Text());
  const Json& position = params.at("position");
  Json items = Json::array();
  for (const mirvo::Completion& item : CompletionsAt(lines.Line(LineIndex(position)), ByteColumn(lines, position))) {
    items.push_back({{"label", item.label},
                     {"kind", item.kind == CompletionKind::kMnemonic ? kCompletionKeyword : kCompletionVariable},
                     {"detail", item.detail},
                     {"documentation", {{"kind", "markdown"}, {"value", item.documentation}}}});
  }
  return items;
}

Json Server::Formatting(const Json& params) {
  const Document& document = Find(params);
  const std::string formatted = FormatSource(document.program.Text());
  Json edits = Json::array();
  if (formatted == document.program.Text()) return edits;
  const SourceLines before(document.program.Text());
  const SourceLines after(formatted);
  // Formatting keeps every line: one edit per line that changed.
  for (std::size_t i = 0; i < before.Count() && i < after.Count(); ++i) {
    if (before.Line(i) == after.Line(i)) continue;
    edits.push_back(
        {{"range", {{"start", Position(before, i, 0)}, {"end", Position(before, i, before.Line(i).size())}}},
         {"newText", after.Line(i)}});
  }
  return edits;
}

}  // namespace mirvo::lsp
