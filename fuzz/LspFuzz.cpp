// The language server's framing and requests. The input is a stream of
// framed messages, fed in two pieces cut where its first byte says, to a
// server that is initialized and has the input itself open as a document
// (file:///f.asm). Invariants: nothing crashes, and every answer is JSON.

#include <cstdint>
#include <string>
#include <vector>

#include "Framing.h"
#include "FuzzCheck.h"
#include "Server.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace mirvo::lsp;
  const auto* const bytes = reinterpret_cast<const char*>(data);
  Server server("fuzz");
  std::vector<std::string> out;
  server.Handle(R"({"jsonrpc":"2.0","id":0,"method":"initialize","params":{"capabilities":{}}})", out);
  server.Handle(
      Json{{"jsonrpc", "2.0"},
           {"method", "textDocument/didOpen"},
           {"params",
            {{"textDocument", {{"uri", "file:///f.asm"}, {"version", 1}, {"text", std::string(bytes, size)}}}}}}
          .dump(-1, ' ', false, Json::error_handler_t::replace),
      out);
  MessageReader reader;
  const std::size_t cut = size > 0 ? data[0] % (size + 1) : 0;
  std::string body;
  for (const auto& [from, to] : {std::pair{std::size_t{0}, cut}, std::pair{cut, size}}) {
    reader.Feed(bytes + from, to - from);
    for (MessageReader::Result result = reader.Next(body); result != MessageReader::Result::kNeedMore;
         result = reader.Next(body)) {
      if (server.Exited()) continue;
      if (result == MessageReader::Result::kMessage) server.Handle(body, out);
      if (result == MessageReader::Result::kTooLarge)
        server.HandleTooLarge(reader.SkippedSize(), reader.SkippedId(), out);
    }
    // A pause between the pieces: what changed is published.
    if (!server.Exited()) server.Flush(out);
  }
  for (const std::string& answer : out) FUZZ_CHECK(!Json::parse(answer, nullptr, false).is_discarded());
  return 0;
}
