#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "TextEscape.h"

namespace mirvo {
namespace {

// The bytes of a code point as UTF-8 writes it: the one encoding of each.
std::string Encode(std::uint32_t c) {
  const auto byte = [](unsigned value) { return static_cast<char>(value); };
  if (c < 0x80) return std::string(1, byte(c));
  if (c < 0x800) return {byte(0xC0 | c >> 6), byte(0x80 | (c & 0x3F))};
  if (c < 0x10000) return {byte(0xE0 | c >> 12), byte(0x80 | (c >> 6 & 0x3F)), byte(0x80 | (c & 0x3F))};
  return {byte(0xF0 | c >> 18), byte(0x80 | (c >> 12 & 0x3F)), byte(0x80 | (c >> 6 & 0x3F)), byte(0x80 | (c & 0x3F))};
}

bool IsSurrogate(std::uint32_t c) { return c >= 0xD800 && c <= 0xDFFF; }

// Every code point reads back from its encoding; a surrogate's encoding
// reads as no sequence.
TEST(Utf8, EachCodePointReadsBackAndNoSurrogateDoes) {
  for (std::uint32_t c = 0; c <= 0x10FFFF; ++c) {
    const std::string bytes = Encode(c);
    char32_t read = 0;
    const std::size_t length = Utf8SequenceAt(bytes, 0, read);
    if (IsSurrogate(c)) {
      ASSERT_EQ(length, 0U) << std::hex << c;
    } else {
      ASSERT_EQ(length, bytes.size()) << std::hex << c;
      ASSERT_EQ(static_cast<std::uint32_t>(read), c);
    }
  }
}

// Whether a sequence is valid is settled by its first two bytes (a
// continuation byte after them is always right): each pair of a lead byte
// and a second byte, then 80h 80h, is a sequence exactly when some code
// point's encoding starts so, and as long as that encoding. This finds
// every overlong form, every surrogate and every code point past 10FFFFh.
TEST(Utf8, EveryTwoBytePrefixIsValidExactlyWhenAnEncodingStartsSo) {
  std::vector<std::size_t> lengthOfPrefix(0x10000, 0);
  for (std::uint32_t c = 0x80; c <= 0x10FFFF; ++c) {
    if (IsSurrogate(c)) continue;
    const std::string bytes = Encode(c);
    lengthOfPrefix[std::size_t{static_cast<unsigned char>(bytes[0])} << 8 | static_cast<unsigned char>(bytes[1])] =
        bytes.size();
  }
  for (unsigned lead = 0x80; lead <= 0xFF; ++lead) {
    for (unsigned second = 0; second <= 0xFF; ++second) {
      const std::string text{static_cast<char>(lead), static_cast<char>(second), '\x80', '\x80'};
      char32_t read = 0;
      ASSERT_EQ(Utf8SequenceAt(text, 0, read), lengthOfPrefix[lead << 8 | second]) << std::hex << lead << " " << second;
    }
  }
}

}  // namespace
}  // namespace mirvo
