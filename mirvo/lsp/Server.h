#pragma once
// The language server: takes the body of one message from the editor and
// gives the bodies of the messages to send back (a response, diagnostics).
// It reads and writes nothing itself, so tests, benchmarks and the fuzzer
// drive it directly; mirvo lsp connects it to standard input and output.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "DocumentRun.h"
#include "Program.h"
#include "SourceText.h"

namespace mirvo::lsp {

using Json = nlohmann::ordered_json;

// The protocol's error codes.
enum ErrorCode : int {
  kParseError = -32700,
  kInvalidRequest = -32600,
  kMethodNotFound = -32601,
  kInvalidParams = -32602,
  kServerNotInitialized = -32002,
};

// An open document: its version, its text as a program, assembled, and its run.
struct Document {
  std::int64_t version = 0;
  Program program;
  DocumentRun run;
};

class Server {
 public:
  explicit Server(std::string version) : version(std::move(version)) {}

  // Handles one message body; appends the bodies to send to out.
  void Handle(std::string_view body, std::vector<std::string>& out);

  bool Exited() const { return exited; }
  // 0 after shutdown then exit, else 1.
  int ExitCode() const { return shutDown ? 0 : 1; }

 private:
  enum class State { kStarting, kRunning, kShutDown };

  void Dispatch(const std::string& method, const Json& message, std::vector<std::string>& out);
  Json Initialize(const Json& params);
  void Open(const Json& params, std::vector<std::string>& out);
  void Change(const Json& params, std::vector<std::string>& out);
  void Close(const Json& params, std::vector<std::string>& out);
  Json CodeActions(const Json& params);
  Json HoverAt(const Json& params);
  Json Completion(const Json& params);
  Json Formatting(const Json& params);

  // Takes text as the document's, assembled, and queues its diagnostics.
  void Analyse(const std::string& uri, Document& document, std::string text, std::vector<std::string>& out);
  Document& Find(const Json& params);
  Json Position(const SourceLines& lines, std::size_t line, std::size_t byteColumn) const;
  // The byte column of an editor position in lines.
  std::size_t ByteColumn(const SourceLines& lines, const Json& position) const;
  Json Range(const SourceLines& lines, std::int32_t line, std::int32_t column, std::int32_t length) const;
  Json DiagnosticOf(const SourceLines& lines, const Diagnostic& diagnostic) const;

  std::string version;
  State state = State::kStarting;
  bool shutDown = false;
  bool exited = false;
  bool utf8 = false;  // positions count bytes; else UTF-16 code units
  std::map<std::string, Document> documents;
  // What Machine.cpp shows of a document's run.
  friend struct Machine;
  bool clientInlayHints = false;  // the editor shows inlay hints
  std::string givenSetting;       // the state of runs without a given comment
};

}  // namespace mirvo::lsp
