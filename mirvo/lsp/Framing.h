#pragma once
// The framing of the language server protocol over a byte stream: each
// message is a block of header lines ("Content-Length: N", each ended by
// CR LF), a blank line, and N bytes of JSON.

#include <cstddef>
#include <string>
#include <string_view>

namespace mirvo::lsp {

// The largest message body taken; a longer one is skipped as malformed.
inline constexpr std::size_t kMaxBody = 64U << 20;

class MessageReader {
 public:
  enum class Result {
    kMessage,    // body holds the next message
    kNeedMore,   // the bytes fed so far end inside a message
    kMalformed,  // a header block without a usable Content-Length was skipped
  };

  void Feed(const char* data, std::size_t size);
  Result Next(std::string& body);

 private:
  std::string buffer;
  std::size_t position = 0;  // where the next header block starts
};

// body with its header, ready to write.
std::string Frame(std::string_view body);

}  // namespace mirvo::lsp
