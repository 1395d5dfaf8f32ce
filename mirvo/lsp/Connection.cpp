#include "Connection.h"

namespace mirvo::lsp {

void Connection::Receive(const char* data, std::size_t size, std::string& out) {
  if (server.Exited()) return;
  reader.Feed(data, size);
  for (;;) {
    const MessageReader::Result result = reader.Next(body);
    if (result == MessageReader::Result::kNeedMore) break;
    if (result == MessageReader::Result::kTooLarge) {
      server.HandleTooLarge(reader.SkippedSize(), reader.SkippedId(), replies);
    } else {
      server.Handle(body, replies);
    }
    Send(out);
    if (server.Exited()) break;
  }
}

void Connection::Idle(std::string& out) {
  if (server.Exited()) return;
  server.Flush(replies);
  Send(out);
}

void Connection::Send(std::string& out) {
  for (const std::string& reply : replies) out += Frame(reply);
  replies.clear();
}

}  // namespace mirvo::lsp
