#include "TextEscape.h"

#include "Notation.h"

namespace mirvo {

namespace {

unsigned char ByteAt(std::string_view text, std::size_t at) { return static_cast<unsigned char>(text[at]); }

// "\xHH" or "\uHHHH".
void AppendEscape(std::string& out, char kind, unsigned value, unsigned digits) {
  char buffer[8] = {'\\', kind};
  char* const end = AppendHex(buffer + 2, value, digits);
  out.append(buffer, end);
}

// Characters that reorder, hide or break the text around them on a screen:
// bidirectional controls, zero-width marks, line and paragraph separators,
// the byte-order mark, interlinear annotations and the two noncharacters
// that XML and YAML refuse.
bool MovesOrHidesText(char32_t codepoint) {
  return codepoint == 0x061C || (codepoint >= 0x200B && codepoint <= 0x200F) ||
         (codepoint >= 0x2028 && codepoint <= 0x202E) || (codepoint >= 0x2060 && codepoint <= 0x2069) ||
         codepoint == 0xFEFF || (codepoint >= 0xFFF9 && codepoint <= 0xFFFB) || codepoint == 0xFFFE ||
         codepoint == 0xFFFF;
}

}  // namespace

std::size_t Utf8SequenceAt(std::string_view text, std::size_t at, char32_t& codepoint) {
  const unsigned lead = ByteAt(text, at);
  if (lead < 0x80) {
    codepoint = lead;
    return 1;
  }
  // The length and the range of the second byte for each lead byte, as
  // RFC 3629 lists the well-formed sequences; the others continue 80..BF.
  std::size_t length = 0;
  unsigned low = 0x80;
  unsigned high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    low = lead == 0xE0 ? 0xA0 : 0x80;
    high = lead == 0xED ? 0x9F : 0xBF;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    low = lead == 0xF0 ? 0x90 : 0x80;
    high = lead == 0xF4 ? 0x8F : 0xBF;
  } else {
    return 0;
  }
  if (at + length > text.size()) return 0;
  const unsigned second = ByteAt(text, at + 1);
  if (second < low || second > high) return 0;
  char32_t value = lead & (0x7FU >> length);
  for (std::size_t k = 1; k < length; ++k) {
    const unsigned byte = ByteAt(text, at + k);
    if ((byte & 0xC0U) != 0x80U) return 0;
    value = (value << 6) | (byte & 0x3FU);
  }
  codepoint = value;
  return length;
}

bool IsValidUtf8(std::string_view text) {
  char32_t codepoint = 0;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t length = Utf8SequenceAt(text, at, codepoint);
    if (length == 0) return false;
    at += length;
  }
  return true;
}

// text rewritten character by character: each byte that starts no UTF-8
// sequence as the text \xHH, each character as write(out, codepoint, its
// bytes) appends it.
template <typename Write>
std::string Rewritten(std::string_view text, Write write) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t at = 0; at < text.size();) {
    char32_t codepoint = 0;
    const std::size_t length = Utf8SequenceAt(text, at, codepoint);
    if (length == 0) {
      AppendEscape(out, 'x', ByteAt(text, at), 2);
      at += 1;
      continue;
    }
    write(out, codepoint, text.substr(at, length));
    at += length;
  }
  return out;
}

std::string VisibleText(std::string_view text) {
  return Rewritten(text, [](std::string& out, char32_t codepoint, std::string_view bytes) {
    if (codepoint == '\n') {
      out += "\\n";
    } else if (codepoint < 0x20 || codepoint == 0x7F) {
      out += '^';
      out += static_cast<char>(codepoint ^ 0x40U);
    } else if (codepoint >= 0x80 && codepoint <= 0x9F) {
      AppendEscape(out, 'x', static_cast<unsigned>(codepoint), 2);
    } else if (MovesOrHidesText(codepoint)) {
      AppendEscape(out, 'u', static_cast<unsigned>(codepoint), 4);
    } else {
      out += bytes;
    }
  });
}

std::string Utf8WithEscapes(std::string_view text) {
  return Rewritten(text, [](std::string& out, char32_t, std::string_view bytes) { out += bytes; });
}

std::string XmlText(std::string_view text) {
  std::string out;
  for (const char ch : VisibleText(text)) {
    switch (ch) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&apos;";
        break;
      default:
        out += ch;
        break;
    }
  }
  return out;
}

std::string HtmlText(std::string_view text) { return XmlText(text); }

std::string TapDescription(std::string_view text) {
  std::string out;
  for (const char ch : VisibleText(text)) {
    if (ch == '#' || ch == '\\') out += '\\';
    out += ch;
  }
  return out;
}

std::string YamlString(std::string_view text) {
  std::string out = "\"";
  for (const char ch : VisibleText(text)) {
    if (ch == '"' || ch == '\\') out += '\\';
    out += ch;
  }
  return out + "\"";
}

std::string CsvCell(std::string_view text) {
  std::string cell = VisibleText(text);
  if (!cell.empty() && std::string_view("=+-@\t\r").find(cell.front()) != std::string_view::npos) {
    cell.insert(0, 1, '\'');
  }
  if (cell.find_first_of(",\"\r\n") == std::string::npos) return cell;
  std::string out = "\"";
  for (const char ch : cell) out += ch == '"' ? std::string("\"\"") : std::string(1, ch);
  return out + "\"";
}

}  // namespace mirvo
