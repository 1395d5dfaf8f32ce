#include "Framing.h"

#include <algorithm>
#include <cctype>

namespace mirvo::lsp {

namespace {

constexpr std::string_view kLengthName = "content-length";
// A header block longer than this is not waited for: it is no header.
constexpr std::size_t kMaxHeader = 4096;
// An id longer than this is no id a client sends.
constexpr std::size_t kMaxId = 256;

bool IsSpace(char ch) { return ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n'; }

char Lower(char ch) { return static_cast<char>(std::tolower(static_cast<unsigned char>(ch))); }

// Where "Content-Length" starts in text, in any case, or npos.
std::size_t FindLengthName(std::string_view text) {
  const auto found = std::search(text.begin(), text.end(), kLengthName.begin(), kLengthName.end(),
                                 [](char a, char b) { return Lower(a) == b; });
  return found == text.end() ? std::string_view::npos : static_cast<std::size_t>(found - text.begin());
}

// True for a header line: a name of letters, digits and dashes, a colon.
bool IsHeaderLine(std::string_view line) {
  const std::size_t colon = line.find(':');
  if (colon == 0 || colon == std::string_view::npos) return false;
  return std::all_of(line.begin(), line.begin() + static_cast<std::ptrdiff_t>(colon),
                     [](char ch) { return std::isalnum(static_cast<unsigned char>(ch)) != 0 || ch == '-'; });
}

// The value of the header line "Content-Length: N", or -1 when it is not
// that line or N is no usable length.
long long LengthOf(std::string_view line) {
  if (line.size() <= kLengthName.size() || line[kLengthName.size()] != ':') return -1;
  std::string_view value = line.substr(kLengthName.size() + 1);
  while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
  while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
  if (value.empty() || value.size() > 12) return -1;
  long long parsed = 0;
  for (const char ch : value) {
    if (ch < '0' || ch > '9') return -1;
    parsed = parsed * 10 + (ch - '0');
  }
  return parsed;
}

}  // namespace

void JsonShape::Feed(char ch) {
  // Most bytes of a large message are inside a string and change nothing.
  if (inString && !escaped && !capturingId && !readingKey && ch != '\\' && ch != '"' && ch != '\n' && ch != '\r')
    return;
  if (capturingId && depth == 1 && !inString && (ch == ',' || ch == '}')) capturingId = false;
  if (capturingId && (inString || !IsSpace(ch))) {
    if (id.size() < kMaxId) {
      id += ch;
    } else {
      idTooLong = true;
    }
  }
  if (inString) {
    if (escaped) {
      escaped = false;
    } else if (ch == '\\') {
      escaped = true;
    } else if (ch == '"' || ch == '\n' || ch == '\r') {
      // JSON has no line end inside a string: one ends whatever was taken for one.
      inString = false;
      readingKey = false;
    }
    if (readingKey && key.size() < 3) key += ch;
    return;
  }
  switch (ch) {
    case '"':
      inString = true;
      readingKey = depth == 1 && expectKey;
      key.clear();
      break;
    case '{':
    case '[':
      maxDepth = std::max(maxDepth, ++depth);
      if (depth == 1) expectKey = topIsObject = ch == '{';
      idNested = idNested || capturingId;
      break;
    case '}':
    case ']':
      if (depth == 0) break;
      ended = --depth == 0 || ended;
      break;
    case ',':
      if (depth == 1) expectKey = topIsObject;
      break;
    case ':':
      if (depth != 1 || !expectKey) break;
      expectKey = false;
      capturingId = key == "id";
      if (capturingId) {
        id.clear();
        idNested = idTooLong = false;
      }
      break;
    default:
      break;
  }
}

std::size_t JsonDepth(std::string_view body) {
  JsonShape shape;
  for (const char ch : body) shape.Feed(ch);
  return shape.MaxDepth();
}

void MessageReader::Feed(const char* data, std::size_t size) {
  // Drop what was read before appending, so the buffer holds at most one
  // message and what follows it.
  if (position > 0) {
    buffer.erase(0, position);
    position = 0;
  }
  buffer.append(data, size);
}

bool MessageReader::ReadHeader() {
  for (;;) {
    std::string_view pending = std::string_view(buffer).substr(position);
    const std::size_t found = FindLengthName(pending);
    if (found == std::string_view::npos) {
      // Nothing here starts a frame: keep only what could begin the name.
      position = buffer.size() - std::min(pending.size(), kLengthName.size() - 1);
      return false;
    }
    position += found;
    pending.remove_prefix(found);
    // The header lines, each ended by LF or CR LF, up to a blank line.
    long long value = -1;
    std::size_t at = 0;
    bool header = true;
    for (;;) {
      const std::size_t end = pending.find('\n', at);
      if (end == std::string_view::npos || end > kMaxHeader) {
        if (pending.size() <= kMaxHeader) return false;
        header = false;
        break;
      }
      std::string_view line = pending.substr(at, end - at);
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      at = end + 1;
      if (line.empty()) break;
      if (!IsHeaderLine(line)) {
        header = false;
        break;
      }
      if (value < 0) value = LengthOf(line);
    }
    if (!header) {
      // Not a header block after all: look for the next one past this name.
      position += 1;
      continue;
    }
    position += at;
    // A block without a usable length is dropped; its body is skipped as
    // bytes that start no frame.
    if (value < 0) continue;
    length = static_cast<std::size_t>(value);
    scanned = 0;
    shape = JsonShape();
    phase = length > kMaxBody ? Phase::kSkip : Phase::kBody;
    return true;
  }
}

MessageReader::Result MessageReader::Next(std::string& body) {
  for (;;) {
    if (phase == Phase::kHeader) {
      if (!ReadHeader()) return Result::kNeedMore;
      continue;
    }
    if (phase == Phase::kSkip) {
      // The skipped bytes are consumed as they come: the buffer never holds them all.
      const std::size_t take = std::min(buffer.size() - position, length - scanned);
      for (std::size_t i = 0; i < take && !shape.Ended(); ++i) shape.Feed(buffer[position + i]);
      scanned += take;
      position += take;
      if (scanned < length) return Result::kNeedMore;
      skippedSize = length;
      skippedId = shape.Id();
      phase = Phase::kHeader;
      return Result::kTooLarge;
    }
    const std::size_t available = std::min(buffer.size() - position, length);
    // A body is its JSON value: bytes past the value's end, other than
    // white space, belong to the next frame, whatever the length said.
    for (; scanned < available; ++scanned) {
      const char ch = buffer[position + scanned];
      if (!shape.Ended()) {
        shape.Feed(ch);
      } else if (!IsSpace(ch)) {
        break;
      }
    }
    const bool cut = scanned < available;
    if (!cut && available < length) return Result::kNeedMore;
    const std::size_t size = cut ? scanned : length;
    body.assign(buffer, position, size);
    position += size;
    phase = Phase::kHeader;
    return Result::kMessage;
  }
}

std::string Frame(std::string_view body) {
  std::string framed = "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n";
  framed += body;
  return framed;
}

}  // namespace mirvo::lsp
