#pragma once
// How reports write text that someone else chose: a file name, a source's
// token, an exercise's case name. One rule per format, here only, so that
// no name can forge a line, break a reader or run as a spreadsheet formula.
// Each rule starts from the same reading of UTF-8 (Utf8SequenceAt).

#include <cstddef>
#include <string>
#include <string_view>

namespace mirvo {

// The length of the valid UTF-8 sequence that starts at text[at], with its
// code point; 0 when the byte there starts none: a stray continuation byte,
// a truncated sequence, an overlong form (C0, C1, E0 80..9F, F0 80..8F), a
// surrogate (ED A0..BF) or a code point past U+10FFFF (F4 90.., F5..FF).
std::size_t Utf8SequenceAt(std::string_view text, std::size_t at, char32_t& codepoint);
bool IsValidUtf8(std::string_view text);

// For people (text reports, --summary, messages naming files): the text
// with nothing a terminal acts on and nothing invisible. A line feed is
// written as the two characters \n, another C0 control and DEL in caret
// notation (^[ for ESC, ^I for a tab, ^? for DEL), a C1 control and a byte
// that is not UTF-8 as \xHH, and the characters that move or hide text
// (bidirectional controls, zero-width marks, line separators, U+FEFF,
// U+FFFE, U+FFFF) as \uHHHH.
std::string VisibleText(std::string_view text);

// For JSON: valid UTF-8 that keeps every valid character as it is (the
// writer escapes controls), each byte that starts no sequence written as
// the text \xHH, so that two names differing in such bytes stay apart.
std::string Utf8WithEscapes(std::string_view text);

// For XML 1.0 (an attribute or element text): VisibleText, which leaves no
// character XML forbids, with & < > " ' as entities.
std::string XmlText(std::string_view text);

// For HTML (element text, or an attribute's value in quotes): XmlText's
// rule, whose five entities HTML reads alike. VisibleText leaves no control
// and no mark that reorders text (U+202E), so no name turns a page's lines
// around or reaches a script's source.
std::string HtmlText(std::string_view text);

// For a TAP test point's description: VisibleText on one line, with # and
// \ escaped by a backslash so that no name starts a directive.
std::string TapDescription(std::string_view text);

// For a value in a TAP test point's YAML block: a double-quoted YAML
// scalar of VisibleText, which leaves only characters YAML prints.
std::string YamlString(std::string_view text);

// For a CSV cell: VisibleText, with a ' in front when it would start with
// = + - @, a tab or a carriage return (so that no spreadsheet reads a
// formula), quoted as RFC 4180 says when it holds a comma or a quote.
std::string CsvCell(std::string_view text);

}  // namespace mirvo
