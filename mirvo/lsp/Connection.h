#pragma once
// The server behind its framing: the bytes an editor sends in, the framed
// messages to send back out. It reads and writes nothing itself; mirvo lsp
// feeds it standard input and calls Idle when no more input is waiting, so
// a burst of changes is published once, after the burst.

#include <cstddef>
#include <string>
#include <vector>

#include "Framing.h"
#include "Server.h"

namespace mirvo::lsp {

class Connection {
 public:
  explicit Connection(std::string version) : server(std::move(version)) {}

  // Handles every whole message that the bytes complete; appends the
  // frames to send to out. Nothing more is read once the server exited.
  void Receive(const char* data, std::size_t size, std::string& out);
  // No input is waiting: the diagnostics of changed documents go out.
  void Idle(std::string& out);

  bool Exited() const { return server.Exited(); }
  int ExitCode() const { return server.ExitCode(); }

 private:
  void Send(std::string& out);

  Server server;
  MessageReader reader;
  std::vector<std::string> replies;
  std::string body;
};

}  // namespace mirvo::lsp
