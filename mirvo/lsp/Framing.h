#pragma once
// The framing of the language server protocol over a byte stream: each
// message is a block of header lines ("Content-Length: N", each ended by
// CR LF), a blank line, and N bytes of JSON.
//
// The reader never loses its footing: bytes that start no header block are
// skipped up to the next "Content-Length:" line, a header block without a
// usable length is dropped, a frame too large to take is skipped by its
// length, and a length that runs past the end of its JSON value (a client
// that counted characters instead of bytes) is cut where the next header
// starts. Whatever came before, the next valid frame is read.

#include <cstddef>
#include <string>
#include <string_view>

namespace mirvo::lsp {

// The largest message body taken; a longer one is skipped by its length.
inline constexpr std::size_t kMaxBody = 64U << 20;

// The structure of a JSON text read a byte at a time, without building it
// and without recursion: how deep it nests, whether its first value has
// ended, and the text of its top-level "id" member when that is a scalar.
class JsonShape {
 public:
  void Feed(char ch);
  // The deepest nesting of objects and arrays seen.
  std::size_t MaxDepth() const { return maxDepth; }
  // True once the object or array the text starts with is closed.
  bool Ended() const { return ended; }
  // The top-level "id" member's value as written ("7", "\"a\""), empty when
  // there is none, it is an object or an array, or it is unusually long.
  std::string_view Id() const { return idTooLong || idNested ? std::string_view() : std::string_view(id); }

 private:
  std::size_t depth = 0;
  std::size_t maxDepth = 0;
  bool inString = false;
  bool escaped = false;
  bool ended = false;
  bool topIsObject = false;
  bool expectKey = false;    // at depth 1 of an object, before a member's name
  bool readingKey = false;   // inside that name
  bool capturingId = false;  // inside the value of the member "id"
  bool idNested = false;
  bool idTooLong = false;
  std::string key;
  std::string id;
};

// The depth of the JSON text body (JsonShape::MaxDepth).
std::size_t JsonDepth(std::string_view body);

class MessageReader {
 public:
  enum class Result {
    kMessage,   // body holds the next message
    kNeedMore,  // the bytes fed so far end inside a message
    kTooLarge,  // a frame longer than kMaxBody was skipped: SkippedSize, SkippedId
  };

  void Feed(const char* data, std::size_t size);
  Result Next(std::string& body);

  // The length of the last frame skipped as too large, and the text of its
  // top-level id (empty for a notification or an id that could not be read).
  std::size_t SkippedSize() const { return skippedSize; }
  const std::string& SkippedId() const { return skippedId; }

 private:
  enum class Phase { kHeader, kBody, kSkip };

  // Looks for the next header block from position; true with phase set
  // once one is read, false when more bytes are needed.
  bool ReadHeader();

  std::string buffer;
  std::size_t position = 0;  // the first byte not yet consumed
  Phase phase = Phase::kHeader;
  std::size_t length = 0;   // of the body being read or skipped
  std::size_t scanned = 0;  // of its bytes, those fed to shape
  JsonShape shape;
  std::size_t skippedSize = 0;
  std::string skippedId;
};

// body with its header, ready to write.
std::string Frame(std::string_view body);

}  // namespace mirvo::lsp
