#include "SourceText.h"

#include <algorithm>

#include "Notation.h"

namespace mirvo {

namespace {

// The bytes of the UTF-8 sequence that starts with lead, 1 for a byte that
// starts none.
std::size_t SequenceLength(unsigned char lead) {
  if (lead >= 0xF0 && lead < 0xF8) return 4;
  if (lead >= 0xE0) return lead < 0xF0 ? 3 : 1;
  if (lead >= 0xC0) return 2;
  return 1;
}

}  // namespace

SourceLines::SourceLines(std::string_view text, LineBreaks breaks) : text(text) {
  starts.push_back(0);
  const bool loneReturns = breaks == LineBreaks::kProtocol;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool loneReturn = loneReturns && text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n');
    if (text[i] == '\n' || loneReturn) starts.push_back(i + 1);
  }
}

std::string_view SourceLines::Line(std::size_t index) const {
  if (index >= starts.size()) return {};
  const std::size_t start = starts[index];
  if (index + 1 == starts.size()) return text.substr(start);
  return text.substr(start, starts[index + 1] - start - LineEnd(index).size());
}

std::string_view SourceLines::PrintedLine(std::size_t index) const {
  const std::string_view line = Line(index);
  const bool last = index + 1 == starts.size();
  return last && !line.empty() && line.back() == '\r' ? line.substr(0, line.size() - 1) : line;
}

std::string_view SourceLines::LineEnd(std::size_t index) const {
  if (index + 1 >= starts.size()) return {};
  const std::size_t end = starts[index + 1] - 1;
  if (text[end] == '\r') return "\r";
  return end > starts[index] && text[end - 1] == '\r' ? std::string_view("\r\n") : std::string_view("\n");
}

std::size_t SourceLines::LineOf(std::size_t offset) const {
  const auto after = std::upper_bound(starts.begin(), starts.end(), offset);
  return static_cast<std::size_t>(after - starts.begin()) - 1;
}

std::size_t SourceLines::Offset(std::size_t index, std::size_t column) const {
  if (index >= starts.size()) return text.size();
  const std::size_t length = Line(index).size();
  return starts[index] + (column < length ? column : length);
}

std::size_t Utf16Units(std::string_view line, std::size_t bytes) {
  if (bytes > line.size()) bytes = line.size();
  std::size_t units = 0;
  for (std::size_t i = 0; i < bytes;) {
    const std::size_t n = SequenceLength(static_cast<unsigned char>(line[i]));
    units += n == 4 ? 2 : 1;
    i += n;
  }
  return units;
}

std::size_t BytesOfUtf16Units(std::string_view line, std::size_t units) {
  std::size_t i = 0;
  std::size_t counted = 0;
  while (i < line.size()) {
    const std::size_t n = SequenceLength(static_cast<unsigned char>(line[i]));
    const std::size_t width = n == 4 ? 2 : 1;
    if (counted + width > units) break;
    counted += width;
    i += n;
  }
  return i < line.size() ? i : line.size();
}

char* AppendPlace(char* out, std::uint16_t address, const std::uint8_t* bytes, std::size_t count) {
  out = AppendHex(out, address, 4);
  for (std::size_t i = 0; i < count; ++i) {
    *out++ = ' ';
    if (i == 0) *out++ = ' ';
    out = AppendHex(out, bytes[i], 2);
  }
  return out;
}

std::string PlaceText(std::uint16_t address, const std::uint8_t* bytes, std::size_t count) {
  char text[kPlaceWidth];
  // An instruction has one or two bytes.
  return std::string(text, AppendPlace(text, address, bytes, count < 2 ? count : 2));
}

}  // namespace mirvo
