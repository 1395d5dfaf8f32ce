#pragma once
// What an exercise file must not hold before toml++ reads it. toml++ walks
// a dotted key's tables recursively (a key of 150,000 parts overflows the
// stack), and a few malformed texts ("[;", "x = [}") reach assertions that
// optimised builds take as facts. One pass over the text, through its
// strings and comments, refuses those with their place; anything else is
// left to toml++, whose walk stops at the first mistake, so the pass stops
// wherever toml++ is sure to report one.

#include <cstddef>
#include <string>
#include <string_view>

namespace mirvo {

// The most parts a dotted key ("a.b.c") or a table's name may have.
inline constexpr std::size_t kMaxKeyParts = 64;
// The deepest values may nest: arrays, inline tables and the tables that
// the parts of dotted keys and of table names open, all counted.
inline constexpr std::size_t kMaxNesting = 256;

struct TomlRefusal {
  std::size_t offset = 0;  // in bytes from the start of the text
  std::string message;
};

// 0 when toml++ may read text; 1 with refusal set.
int GuardToml(std::string_view text, TomlRefusal& refusal);

}  // namespace mirvo
