#pragma once
// Lists as a sentence writes them, for every message that names several
// things: "A", "H and L", "A, B and C".

#include <string>
#include <string_view>
#include <vector>

namespace mirvo {

// items joined by ", ", the last two by last (" and ", or " or ").
inline std::string ListedInWords(const std::vector<std::string_view>& items, std::string_view last = " and ") {
  std::string text;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i > 0) text += i + 1 == items.size() ? last : std::string_view(", ");
    text += items[i];
  }
  return text;
}

}  // namespace mirvo
