#pragma once
// How every front end writes numbers, in one place. A number of the language
// is upper-case hexadecimal and an h, with a 0 in front of a letter digit; a
// byte always has two digits (05h, 20h, 0F0h), and an address or another
// 16-bit value in a report four, without that 0 (000Ch, FFFFh). Each
// function writes into a character buffer and returns the end of what it
// wrote, so that a trace of millions of lines builds no strings.

#include <cstddef>
#include <cstdint>

namespace mirvo {

// The letter that ends every number, and the places of an address in words.
inline constexpr char kNumberSuffix = 'h';
inline constexpr unsigned kWordDigits = 4;

// The decimal digits of value.
inline char* AppendDecimal(char* out, std::uint64_t value) {
  char digits[20];
  int count = 0;
  do {
    digits[count++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  while (count > 0) *out++ = digits[--count];
  return out;
}

// value in exactly digits upper-case hexadecimal places: 000C for 12 in 4.
inline char* AppendHex(char* out, unsigned value, unsigned digits) {
  constexpr char kDigits[] = "0123456789ABCDEF";
  for (unsigned place = digits; place > 0; --place) *out++ = kDigits[(value >> (4 * (place - 1))) & 0xFU];
  return out;
}

// value as a number of the language with at least digits places: 5h, 0Ch,
// 1000h, 0FFFFh (05h with two places).
inline char* AppendNumber(char* out, unsigned value, unsigned digits) {
  while (digits < 8 && value >> (4 * digits) != 0) ++digits;
  if (((value >> (4 * (digits - 1))) & 0xFU) >= 10) *out++ = '0';
  out = AppendHex(out, value, digits);
  *out++ = kNumberSuffix;
  return out;
}

// A byte, always in two places: 05h, 20h, 0F0h.
inline char* AppendByte(char* out, std::uint8_t value) { return AppendNumber(out, value, 2); }

// An address or another 16-bit value in four places: 000Ch, FFFFh.
inline char* AppendWord(char* out, std::uint16_t value) {
  out = AppendHex(out, value, kWordDigits);
  *out++ = kNumberSuffix;
  return out;
}

// The one notation for a byte, as text. FormatByte writes it into out, which
// must hold 5 characters, and returns its length.
inline std::size_t FormatByte(std::uint8_t value, char* out) {
  char* const end = AppendByte(out, value);
  *end = '\0';
  return static_cast<std::size_t>(end - out);
}
struct ByteText {
  char text[5];
};
inline ByteText ByteNotation(std::uint8_t value) {
  ByteText text{};
  FormatByte(value, text.text);
  return text;
}

// An address or another 16-bit value as text: "000Ch", "1000h", "FFFFh".
struct WordText {
  char text[6];
};
inline WordText WordNotation(std::uint16_t value) {
  WordText text{};
  *AppendWord(text.text, value) = '\0';
  return text;
}

}  // namespace mirvo
