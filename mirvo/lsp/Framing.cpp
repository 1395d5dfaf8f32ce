#include "Framing.h"

#include <cctype>

namespace mirvo::lsp {

namespace {

constexpr std::string_view kHeaderEnd = "\r\n\r\n";
constexpr std::string_view kLengthName = "content-length";
// Header blocks longer than this are not waited for: they are garbage.
constexpr std::size_t kMaxHeader = 4096;

// The value of Content-Length in the header lines, or -1 when there is no
// usable one.
long long ContentLength(std::string_view header) {
  long long length = -1;
  while (!header.empty()) {
    const std::size_t end = header.find("\r\n");
    const std::string_view line = header.substr(0, end);
    header = end == std::string_view::npos ? std::string_view() : header.substr(end + 2);
    const std::size_t colon = line.find(':');
    if (colon != kLengthName.size()) continue;
    bool same = true;
    for (std::size_t i = 0; i < colon; ++i) {
      same = same && std::tolower(static_cast<unsigned char>(line[i])) == kLengthName[i];
    }
    if (!same) continue;
    std::string_view value = line.substr(colon + 1);
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
    if (value.empty() || value.size() > 12) return -1;
    long long parsed = 0;
    for (const char ch : value) {
      if (ch < '0' || ch > '9') return -1;
      parsed = parsed * 10 + (ch - '0');
    }
    length = parsed;
  }
  return length;
}

}  // namespace

void MessageReader::Feed(const char* data, std::size_t size) {
  // Drop what was read before appending, so the buffer holds at most one
  // message and what follows it.
  if (position > 0) {
    buffer.erase(0, position);
    position = 0;
  }
  buffer.append(data, size);
}

MessageReader::Result MessageReader::Next(std::string& body) {
  const std::string_view pending = std::string_view(buffer).substr(position);
  const std::size_t headerEnd = pending.find(kHeaderEnd);
  if (headerEnd == std::string_view::npos) {
    if (pending.size() <= kMaxHeader) return Result::kNeedMore;
    // No header ends here: keep only what could start the next one.
    position = buffer.size() - kHeaderEnd.size();
    return Result::kMalformed;
  }
  const long long length = ContentLength(pending.substr(0, headerEnd + 2));
  const std::size_t bodyStart = position + headerEnd + kHeaderEnd.size();
  if (length < 0 || static_cast<unsigned long long>(length) > kMaxBody) {
    position = bodyStart;
    return Result::kMalformed;
  }
  const auto size = static_cast<std::size_t>(length);
  if (buffer.size() - bodyStart < size) return Result::kNeedMore;
  body.assign(buffer, bodyStart, size);
  position = bodyStart + size;
  return Result::kMessage;
}

std::string Frame(std::string_view body) {
  std::string framed = "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n";
  framed += body;
  return framed;
}

}  // namespace mirvo::lsp
