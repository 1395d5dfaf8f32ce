#pragma once
// A source text as editors see it: physical lines, each without its line
// end, and positions in them counted in bytes or in UTF-16 code units (what
// most editors count in).

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace mirvo {

// Where lines end: at each line feed (a CR before it belongs to the line
// end), as the assembler and its listings count lines; or, as the language
// server protocol counts them, at a lone CR as well.
enum class LineBreaks : std::uint8_t { kFeeds, kProtocol };

class SourceLines {
 public:
  explicit SourceLines(std::string_view text, LineBreaks breaks = LineBreaks::kFeeds);

  // The lines an editor shows: an empty line after the last line end counts.
  std::size_t Count() const { return starts.size(); }
  // The lines a file holds, as a listing numbers them: that empty line does not count.
  std::size_t FileLines() const { return Count() - (starts.back() == text.size() ? 1 : 0); }
  // Line index (0-based) without its line end ("\n", "\r\n", or a lone
  // "\r" under kProtocol); empty past the end.
  std::string_view Line(std::size_t index) const;
  // The same as a listing or a caret line prints it: a carriage return at
  // the end of the text goes too.
  std::string_view PrintedLine(std::size_t index) const;
  // The line end of line index: "\r\n", "\n", "\r" or "" (the last line).
  std::string_view LineEnd(std::size_t index) const;
  // The line that holds offset of the text (a line end belongs to its line).
  std::size_t LineOf(std::size_t offset) const;
  // The offset in the text where line index starts.
  std::size_t Start(std::size_t index) const { return index < starts.size() ? starts[index] : text.size(); }
  // The offset in the text of byte column of line index, the column kept
  // within the line.
  std::size_t Offset(std::size_t index, std::size_t column) const;

 private:
  std::string_view text;
  std::vector<std::size_t> starts;
};

// The UTF-16 code units that the first bytes of line take (a byte that is
// not UTF-8 counts as one unit).
std::size_t Utf16Units(std::string_view line, std::size_t bytes);
// The byte offset in line of units UTF-16 code units, kept within the line
// and never inside a character.
std::size_t BytesOfUtf16Units(std::string_view line, std::size_t units);

// A statement's place as the listing, the trace and the disassembly show
// it: "0000  3E F0", at most kPlaceWidth characters for an instruction's one
// or two bytes. AppendPlace writes it into out and returns its end.
inline constexpr std::size_t kPlaceWidth = 11;
char* AppendPlace(char* out, std::uint16_t address, const std::uint8_t* bytes, std::size_t count);
std::string PlaceText(std::uint16_t address, const std::uint8_t* bytes, std::size_t count);

}  // namespace mirvo
