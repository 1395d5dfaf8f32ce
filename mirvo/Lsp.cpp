// mirvo lsp: the language server on standard input and output.

#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <string>
#include <vector>

#include "Commands.h"
#include "Framing.h"
#include "Server.h"

namespace mirvo::cli {

namespace {

// Writes all of text to standard output; false when the editor is gone.
bool WriteAll(const std::string& text) {
  std::size_t written = 0;
  while (written < text.size()) {
    const ssize_t n = ::write(STDOUT_FILENO, text.data() + written, text.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    written += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

int RunLsp(const char* version) {
  // An editor that goes away ends the server through a failed write, not a signal.
  std::signal(SIGPIPE, SIG_IGN);
  lsp::Server server(version);
  lsp::MessageReader reader;
  std::vector<std::string> replies;
  std::string body;
  std::vector<char> block(1 << 16);
  while (!server.Exited()) {
    const ssize_t got = ::read(STDIN_FILENO, block.data(), block.size());
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    reader.Feed(block.data(), static_cast<std::size_t>(got));
    for (;;) {
      const lsp::MessageReader::Result result = reader.Next(body);
      if (result == lsp::MessageReader::Result::kNeedMore) break;
      // A block that is no message is skipped: the next one may be.
      if (result == lsp::MessageReader::Result::kMalformed) continue;
      replies.clear();
      server.Handle(body, replies);
      std::string text;
      for (const std::string& reply : replies) text += lsp::Frame(reply);
      if (!WriteAll(text)) return 1;
      if (server.Exited()) break;
    }
  }
  return server.ExitCode();
}

}  // namespace mirvo::cli
