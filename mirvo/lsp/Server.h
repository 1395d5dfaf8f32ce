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

// An open document: its version, its text as a program, assembled, and its
// run. A
// change only stores the new text; the text is assembled when a request
// needs it or when its diagnostics are published, so that a burst of
// changes costs one assembly and one publication, of the last version.
struct Document {
  std::int64_t version = 0;
  Program program;
  std::string pending;  // the newest text, while stale
  bool stale = false;   // pending is newer than program
  bool queued = false;  // its diagnostics wait for Flush
  DocumentRun run;      // the run of program
};

// What the client asked for in its capabilities.
struct ClientTerms {
  bool utf8 = false;             // positions count bytes; else UTF-16 code units
  bool plainHover = false;       // hover text without Markdown
  bool plainCompletion = false;  // completion documentation without Markdown
};

// Messages nested deeper than this are refused unread: nothing in the
// protocol nests half as deep, and nothing here then recurses far.
inline constexpr std::size_t kMaxDepth = 64;

class Server {
 public:
  explicit Server(std::string version) : version(std::move(version)) {}

  // Handles one message body; appends the bodies to send to out.
  void Handle(std::string_view body, std::vector<std::string>& out);
  // Answers a message that was skipped unread for its size (framing's
  // kTooLarge): an error for a request whose id is known, a notice otherwise.
  void HandleTooLarge(std::size_t size, std::string_view idText, std::vector<std::string>& out);
  // Publishes the diagnostics of each document changed since the last
  // flush, once, for its newest text: called when no input is waiting.
  void Flush(std::vector<std::string>& out);

  bool Exited() const { return exited; }
  // 0 after shutdown then exit, else 1.
  int ExitCode() const { return shutDown ? 0 : 1; }

 private:
  enum class State { kStarting, kRunning, kShutDown };

  // id is null for a notification.
  void Dispatch(const std::string& method, const Json* id, const Json& params, std::vector<std::string>& out);
  Json Initialize(const Json& params);
  void Open(const Json& params);
  void Change(const Json& params);
  void Close(const Json& params, std::vector<std::string>& out);
  Json CodeActions(const Json& params);
  Json HoverAt(const Json& params);
  Json Completion(const Json& params);
  Json Formatting(const Json& params);

  // Queues the document's diagnostics for the next Flush.
  void Queue(const std::string& uri, Document& document);
  void Publish(const std::string& uri, Document& document, std::vector<std::string>& out);
  // The open document params name, assembled from its newest text.
  Document& Find(const Json& params);
  Json Position(const SourceLines& lines, std::size_t line, std::size_t byteColumn) const;
  // The editor's position of a byte offset of the text lines were made of.
  Json PositionOf(const SourceLines& lines, std::size_t offset) const;
  // The byte column of an editor position in lines.
  std::size_t ByteColumn(const SourceLines& lines, const Json& position) const;
  // The editor's range of a place the assembler names: a 1-based line (as
  // the assembler counts lines), a 1-based byte column (0: the whole line)
  // and a length in bytes.
  Json Range(const SourceLines& feeds, const SourceLines& editor, std::int32_t line, std::int32_t column,
             std::int32_t length) const;
  Json DiagnosticOf(const SourceLines& feeds, const SourceLines& editor, const Diagnostic& diagnostic) const;

  std::string version;
  State state = State::kStarting;
  bool shutDown = false;
  bool exited = false;
  ClientTerms terms;
  std::map<std::string, Document> documents;
  std::vector<std::string> queue;  // uris whose diagnostics wait for Flush
  // What Machine.cpp shows of a document's run.
  friend struct Machine;
  bool clientInlayHints = false;  // the editor shows inlay hints
  std::string givenSetting;       // the state of runs without a given comment
};

}  // namespace mirvo::lsp
