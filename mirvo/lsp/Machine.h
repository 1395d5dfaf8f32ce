#pragma once
// The machine in the editor: what the server shows of a document's run
// (DocumentRun) and of the language's shape. The run's findings and the
// given state's problems join the document's diagnostics; each statement's
// first step is an inlay hint (or, for an editor without them, part of the
// hover), the outcome a code lens on the first line; signature help,
// semantic tokens, "fix all" and the names of allow comments come from the
// engine's instruction table, tokenizer, fixes and check table.

#include "Server.h"

namespace mirvo::lsp {

struct Machine {
  // What the editor said of itself and its settings at initialize; adds
  // the server's capabilities for these requests to result.
  static Json Initialized(Server& server, const Json& params, Json result);
  // workspace/didChangeConfiguration: a new given state for documents
  // without their own; every open document runs again.
  static void Configure(Server& server, const Json& params);
  // Runs the document's program anew, as it was just assembled.
  static void Rerun(const Server& server, Document& document);
  // The run's findings and the given state's problems, appended to
  // diagnostics; feeds and editor are the text's lines as the assembler and
  // the editor count them.
  static void Diagnose(const Server& server, const Document& document, const SourceLines& feeds,
                       const SourceLines& editor, Json& diagnostics);

  static Json InlayHints(Server& server, const Json& params);
  static Json CodeLenses(Server& server, const Json& params);
  static Json Hover(Server& server, const Json& params);
  static Json Completion(Server& server, const Json& params);
  static Json SignatureHelp(Server& server, const Json& params);
  static Json SemanticTokens(Server& server, const Json& params);
  static Json CodeActions(Server& server, const Json& params);
};

}  // namespace mirvo::lsp
