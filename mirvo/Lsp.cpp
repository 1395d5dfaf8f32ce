// mirvo lsp: the language server on standard input and output.

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <string>
#include <vector>

#include "Commands.h"
#include "Connection.h"

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

// True when standard input has bytes (or its end) to read at once.
bool InputWaiting() {
  pollfd input{STDIN_FILENO, POLLIN, 0};
  return ::poll(&input, 1, 0) != 0;
}

}  // namespace

int RunLsp(const char* version) {
  // An editor that goes away ends the server through a failed write, not a signal.
  std::signal(SIGPIPE, SIG_IGN);
  lsp::Connection connection(version);
  std::string frames;
  std::vector<char> block(1 << 16);
  while (!connection.Exited()) {
    // Before waiting for more, what the input so far changed is published.
    if (!InputWaiting()) connection.Idle(frames);
    if (!WriteAll(frames)) return 1;
    frames.clear();
    const ssize_t got = ::read(STDIN_FILENO, block.data(), block.size());
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    connection.Receive(block.data(), static_cast<std::size_t>(got), frames);
    if (!WriteAll(frames)) return 1;
    frames.clear();
  }
  return connection.ExitCode();
}

}  // namespace mirvo::cli
