#include "Machine.h"

#include <algorithm>

#include "CheckTable.h"
#include "Explain.h"
#include "LanguageHelp.h"
#include "Notation.h"

namespace mirvo::lsp {

namespace {

constexpr int kSeverityWarning = 2;
constexpr int kCompletionEnumMember = 20;

std::size_t LineOf(const Json& position) {
  const auto line = position.at("line").get<std::int64_t>();
  return line < 0 ? 0 : static_cast<std::size_t>(line);
}

// True when path names a value that is true in json: {"a": {"b": true}}.
bool Says(const Json& json, std::initializer_list<const char*> path) {
  const Json* at = &json;
  for (const char* key : path) {
    if (!at->is_object() || !at->contains(key)) return false;
    at = &(*at)[key];
  }
  return at->is_boolean() ? at->get<bool>() : at->is_object();
}

// The given state of settings: {"mirvo": {"given": "..."}} or {"given": "..."}.
bool GivenOf(const Json& settings, std::string& given) {
  if (!settings.is_object()) return false;
  const Json& mirvo = settings.contains("mirvo") ? settings["mirvo"] : settings;
  if (!mirvo.is_object() || !mirvo.contains("given") || !mirvo["given"].is_string()) return false;
  given = mirvo["given"].get<std::string>();
  return true;
}

// The statement on line (0-based) of a document, as an index into its
// statements, or npos.
std::size_t StatementOnLine(const Document& document, std::size_t line) {
  const std::vector<StatementRecord>& statements = document.program.Assembly()->GetStatements();
  const auto at = std::lower_bound(statements.begin(), statements.end(), static_cast<std::int32_t>(line + 1),
                                   [](const StatementRecord& s, std::int32_t wanted) { return s.line < wanted; });
  if (at == statements.end() || at->line != static_cast<std::int32_t>(line + 1)) return std::string::npos;
  return static_cast<std::size_t>(at - statements.begin());
}

// A statement's place and what its first step changed: "0000  3E 50  A 00h→50h".
std::string StepLabel(const Document& document, std::size_t index) {
  const StatementRecord& record = document.program.Assembly()->GetStatements()[index];
  std::string label = PlaceText(record.address, record.bytes, record.length);
  if (index < document.run.statements.size() && document.run.statements[index].ran) {
    label += "  " + StepChanges(document.run.statements[index]);
  }
  return label;
}

// True when the request asks for kind by name ("source" or "source.fixAll"):
// a fix of the whole document is offered only to an editor that asks for it,
// on saving, say, not in every menu of quick fixes.
bool AsksFor(const Json& params, const std::string& kind) {
  if (!params.contains("context") || !params["context"].contains("only")) return false;
  for (const Json& wanted : params["context"]["only"]) {
    const std::string name = wanted.get<std::string>();
    if (!name.empty() && kind.rfind(name, 0) == 0) return true;
  }
  return false;
}

}  // namespace

Json Machine::Initialized(Server& server, const Json& params, Json result) {
  server.clientInlayHints = params.is_object() && params.contains("capabilities") &&
                            Says(params["capabilities"], {"textDocument", "inlayHint"});
  if (params.is_object() && params.contains("initializationOptions"))
    GivenOf(params["initializationOptions"], server.givenSetting);
  Json& capabilities = result["capabilities"];
  capabilities["codeActionProvider"]["codeActionKinds"].push_back("source.fixAll");
  capabilities["codeLensProvider"] = Json::object();
  capabilities["signatureHelpProvider"] = {{"triggerCharacters", {" ", ","}}};
  Json types = Json::array();
  for (const char* name : kTokenKindNames) types.push_back(name);
  capabilities["semanticTokensProvider"] = {{"legend", {{"tokenTypes", types}, {"tokenModifiers", Json::array()}}},
                                            {"full", true}};
  return result;
}

void Machine::Configure(Server& server, const Json& params) {
  if (!params.is_object() || !params.contains("settings") || !GivenOf(params["settings"], server.givenSetting)) return;
  // Each document runs again when next asked for, and publishes anew.
  for (auto& [uri, document] : server.documents) {
    if (!document.stale) document.pending = document.program.Text();
    document.stale = true;
    server.Queue(uri, document);
  }
}

void Machine::Rerun(const Server& server, Document& document) {
  document.run = RunDocument(document.program, server.givenSetting);
}

void Machine::Diagnose(const Server& server, const Document& document, const SourceLines& feeds,
                       const SourceLines& editor, Json& diagnostics) {
  for (const GivenProblem& problem : document.run.problems) {
    const std::string where = problem.line == 0 ? "the setting mirvo.given: " : "";
    diagnostics.push_back({{"range", server.Range(feeds, editor, problem.line, problem.column, problem.length)},
                           {"severity", kSeverityWarning},
                           {"code", "given-state"},
                           {"source", "mirvo"},
                           {"message", where + problem.message}});
  }
  for (const CheckFinding& finding : document.run.findings) {
    const CheckRow& row = CheckRowOf(finding.id);
    diagnostics.push_back({{"range", server.Range(feeds, editor, finding.line, finding.column, finding.length)},
                           {"severity", kSeverityWarning},
                           {"code", row.name},
                           {"codeDescription", {{"href", CheckPageLink(row)}}},
                           {"source", "mirvo"},
                           {"message", finding.message}});
  }
  if (document.run.findingsLeftOut > 0) {
    diagnostics.push_back({{"range", server.Range(feeds, editor, 1, 0, 0)},
                           {"severity", kSeverityWarning},
                           {"source", "mirvo"},
                           {"message", std::to_string(document.run.findingsLeftOut) +
                                           " more findings of the run-time checks are not shown"}});
  }
}

Json Machine::InlayHints(Server& server, const Json& params) {
  const Document& document = server.Find(params);
  const SourceLines feeds(document.program.Text());
  const SourceLines editor(document.program.Text(), LineBreaks::kProtocol);
  const Json& range = params.at("range");
  const std::size_t first = LineOf(range.at("start"));
  const std::size_t last = LineOf(range.at("end"));
  Json hints = Json::array();
  if (const cc::CompileResult* compiled = document.program.Compiled()) {
    // A C statement's hint is where its bytes went, as a listing's address.
    for (const cc::StatementSpan& span : compiled->map) {
      const auto line = static_cast<std::size_t>(span.endLine - 1);
      if (line < first || line > last || span.endAddress == span.firstAddress) continue;
      hints.push_back({{"position", server.Position(editor, line, editor.Line(line).size())},
                       {"label", std::string(WordNotation(span.firstAddress).text) + "-" +
                                     WordNotation(static_cast<std::uint16_t>(span.endAddress - 1)).text},
                       {"paddingLeft", true}});
    }
    return hints;
  }
  if (document.program.Assembly() == nullptr) return hints;
  const std::vector<StatementRecord>& statements = document.program.Assembly()->GetStatements();
  for (std::size_t i = 0; i < statements.size(); ++i) {
    const auto index = static_cast<std::size_t>(statements[i].line - 1);
    // After the statement's line, as the editor counts lines.
    const std::size_t end = feeds.Offset(index, feeds.Line(index).size());
    const std::size_t line = editor.LineOf(end);
    if (line < first || line > last) continue;
    hints.push_back(
        {{"position", server.PositionOf(editor, end)}, {"label", StepLabel(document, i)}, {"paddingLeft", true}});
  }
  return hints;
}

Json Machine::CodeLenses(Server& server, const Json& params) {
  const Document& document = server.Find(params);
  Json lenses = Json::array();
  if (!document.run.ran) return lenses;
  const SourceLines lines(document.program.Text());
  lenses.push_back({{"range", {{"start", server.Position(lines, 0, 0)}, {"end", server.Position(lines, 0, 0)}}},
                    {"command", {{"title", document.run.outcomeText}, {"command", ""}}}});
  return lenses;
}

Json Machine::Hover(Server& server, const Json& params) {
  Json hover = server.HoverAt(params);
  const Document& document = server.Find(params);
  // The statements of a C program are its lines' C, not assembly.
  if (document.program.IsC()) return hover;
  const SourceLines lines(document.program.Text());
  const Json& position = params.at("position");
  const std::size_t line = LineOf(position);
  if (hover.is_null()) {
    const mirvo::Hover allow = AllowHoverAt(lines.Line(line), server.ByteColumn(lines, position));
    if (allow.found) {
      hover = {{"contents", {{"kind", "markdown"}, {"value", allow.text}}},
               {"range",
                server.Range(lines, lines, static_cast<std::int32_t>(line + 1),
                             static_cast<std::int32_t>(allow.column + 1), static_cast<std::int32_t>(allow.length))}};
    }
  }
  // An editor without inlay hints sees the statement's step here.
  const std::size_t index = server.clientInlayHints ? std::string::npos : StatementOnLine(document, line);
  if (index == std::string::npos || index >= document.run.statements.size() || !document.run.statements[index].ran)
    return hover;
  const bool plain = hover.is_object() && hover["contents"].value("kind", "markdown") == "plaintext";
  const std::string label = StepLabel(document, index);
  std::string step = (plain ? label : "`" + label + "`") + "\n\n" + ExplainStep(document.run.statements[index].record);
  if (hover.is_null()) return {{"contents", {{"kind", "markdown"}, {"value", step}}}};
  std::string text = hover["contents"]["value"].get<std::string>();
  hover["contents"]["value"] = text + "\n\n" + step;
  return hover;
}

Json Machine::Completion(Server& server, const Json& params) {
  const Document& document = server.Find(params);
  if (document.program.IsC()) return server.Completion(params);
  const SourceLines lines(document.program.Text());
  const Json& position = params.at("position");
  const std::vector<mirvo::Completion> names =
      AllowCompletionsAt(lines.Line(LineOf(position)), server.ByteColumn(lines, position));
  if (names.empty()) return server.Completion(params);
  Json items = Json::array();
  for (const mirvo::Completion& item : names) {
    items.push_back({{"label", item.label},
                     {"kind", kCompletionEnumMember},
                     {"detail", item.detail},
                     {"documentation", {{"kind", "markdown"}, {"value", item.documentation}}}});
  }
  return items;
}

Json Machine::SignatureHelp(Server& server, const Json& params) {
  const Document& document = server.Find(params);
  if (document.program.IsC()) return nullptr;
  const SourceLines lines(document.program.Text());
  const Json& position = params.at("position");
  const Signature signature = SignatureAt(lines.Line(LineOf(position)), server.ByteColumn(lines, position));
  if (!signature.found) return nullptr;
  Json operands = Json::array();
  for (const OperandLabel& operand : signature.operands) operands.push_back({{"label", {operand.start, operand.end}}});
  return {{"signatures",
           {{{"label", signature.label}, {"documentation", signature.documentation}, {"parameters", operands}}}},
          {"activeSignature", 0},
          {"activeParameter", signature.active}};
}

Json Machine::SemanticTokens(Server& server, const Json& params) {
  const Document& document = server.Find(params);
  const SourceLines lines(document.program.Text());
  Json data = Json::array();
  if (document.program.IsC()) return {{"data", std::move(data)}};
  std::size_t lastLine = 0;
  std::size_t lastStart = 0;
  for (const SourceToken& token : SourceTokens(document.program.Text())) {
    const std::string_view line = lines.Line(token.line);
    const std::size_t start = server.terms.utf8 ? token.column : Utf16Units(line, token.column);
    const std::size_t end =
        server.terms.utf8 ? token.column + token.length : Utf16Units(line, token.column + token.length);
    data.push_back(token.line - lastLine);
    data.push_back(token.line == lastLine ? start - lastStart : start);
    data.push_back(end - start);
    data.push_back(static_cast<unsigned>(token.kind));
    data.push_back(0);
    lastLine = token.line;
    lastStart = start;
  }
  return {{"data", std::move(data)}};
}

Json Machine::CodeActions(Server& server, const Json& params) {
  Json actions = server.CodeActions(params);
  if (!AsksFor(params, "source.fixAll")) return actions;
  const Document& document = server.Find(params);
  Program fixed = Program::FromSource(document.program.Name(), document.program.Text());
  if (fixed.ApplySureFixes() == 0) return actions;
  // One edit of the whole text, as mirvo asm --fix writes it.
  const SourceLines lines(document.program.Text());
  const std::size_t last = lines.Count() - 1;
  const Json whole = {{"start", server.Position(lines, 0, 0)},
                      {"end", server.Position(lines, last, lines.Line(last).size())}};
  const std::string uri = params["textDocument"]["uri"].get<std::string>();
  actions.push_back({{"title", "Apply every sure fix"},
                     {"kind", "source.fixAll"},
                     {"edit", {{"changes", {{uri, {{{"range", whole}, {"newText", fixed.Text()}}}}}}}}});
  return actions;
}

}  // namespace mirvo::lsp
