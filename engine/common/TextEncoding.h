#pragma once
// What the first bytes of a text say of its encoding, for every reader of
// sources and exercise files: a UTF-8 byte-order mark (EF BB BF), which an
// editor may put in front of UTF-8 and which readers skip with a warning, or
// the mark of UTF-16 (FF FE or FE FF), which no reader can read. The words
// are here so that each reader says the same.

#include <cstddef>
#include <string_view>

namespace mirvo {

enum class TextMark { kNone, kUtf8, kUtf16 };

struct TextStart {
  TextMark mark = TextMark::kNone;
  std::size_t length = 0;  // the bytes of the mark
};

inline TextStart ReadTextStart(std::string_view text) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") return {TextMark::kUtf8, 3};
  if (text.substr(0, 2) == "\xFF\xFE" || text.substr(0, 2) == "\xFE\xFF") return {TextMark::kUtf16, 2};
  return {};
}

inline constexpr const char* kByteOrderMarkWarning =
    "the text starts with a UTF-8 byte-order mark, which is skipped: UTF-8 needs none";
inline constexpr const char* kUtf16Error = "the text is UTF-16, which cannot be read: save it as UTF-8";

}  // namespace mirvo
