#pragma once
// The layout of a source in aligned columns: the mnemonic first, in upper
// case, then the operands separated by ", ", then the comment in one column
// for the whole source. Only the layout changes: the bytes the source
// assembles to and its diagnostics stay the same.

#include <cstddef>
#include <string>
#include <string_view>

namespace mirvo {

// Statements are padded to this width before their comment, unless a longer
// statement of the source pushes the column further.
inline constexpr std::size_t kStatementWidth = 16;

// text laid out; every line stays a line and keeps its line end, and a
// byte-order mark stays where it was.
std::string FormatSource(std::string_view text);

}  // namespace mirvo
