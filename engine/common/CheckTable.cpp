#include "CheckTable.h"

#include <algorithm>
#include <vector>

#include "Words.h"

namespace mirvo {

const CheckRow* FindCheck(std::string_view name) {
  for (const CheckRow& row : kCheckTable) {
    if (name == row.name) return &row;
  }
  return nullptr;
}

std::string CheckNamesInWords() {
  std::vector<std::string_view> names;
  for (const CheckRow& row : kCheckTable) names.push_back(row.name);
  return ListedInWords(names);
}

std::string CheckPageLink(const CheckRow& row) { return std::string("man:mirvo-checks(7)#") + row.name; }

std::string HowToTurnOff(const CheckRow& row) {
  return std::string("Give mirvo run the option -Wno-") + row.name +
         " (or -Wno-checks for every check). Where a statement means it, say so in the comment on its line, "
         "\"; " +
         std::string(kAllowMarker) + " " + row.name + "\", and this check is quiet there.";
}

CheckMask Allowances::On(std::int32_t line) const {
  const auto at = std::lower_bound(lines.begin(), lines.end(), line,
                                   [](const LineAllowance& entry, std::int32_t wanted) { return entry.line < wanted; });
  return at != lines.end() && at->line == line ? at->allowed : CheckMask{0};
}

Allowances FindAllowances(const char* text, std::size_t size) {
  Allowances found;
  const std::string_view source(text, size);
  std::int32_t line = 1;
  std::size_t counted = 0;    // newlines are counted up to here
  std::size_t lineStart = 0;  // of the line that holds counted
  for (std::size_t at = source.find(kAllowMarker); at != std::string_view::npos;
       at = source.find(kAllowMarker, at + kAllowMarker.size())) {
    for (; counted < at; ++counted) {
      if (source[counted] == '\n') {
        ++line;
        lineStart = counted + 1;
      }
    }
    // Only a comment can carry the marker.
    if (source.substr(lineStart, at - lineStart).find(';') == std::string_view::npos) continue;
    std::size_t end = source.find('\n', at);
    if (end == std::string_view::npos) end = size;
    CheckMask allowed = 0;
    ForEachAllowName(source, at + kAllowMarker.size(), end, [&](std::size_t wordStart, std::size_t length) {
      if (const CheckRow* row = FindCheck(source.substr(wordStart, length))) {
        allowed = static_cast<CheckMask>(allowed | CheckBit(row->id));
      } else {
        found.unknown.push_back(
            {line, static_cast<std::int32_t>(wordStart - lineStart + 1), static_cast<std::int32_t>(length), wordStart});
      }
    });
    if (allowed == 0) continue;
    if (!found.lines.empty() && found.lines.back().line == line) {
      found.lines.back().allowed = static_cast<CheckMask>(found.lines.back().allowed | allowed);
    } else {
      found.lines.push_back({line, allowed});
    }
  }
  return found;
}

}  // namespace mirvo
