// A table lookup: the square of the byte at 1000h, kept to its low byte, at
// 1001h. The compiler builds the table in memory before the program runs
// (only its non-zero entries cost bytes) and reads it with H the table's
// page and L the index.
#include <mirvo.h>

const uint8_t squares[16] = {0, 1, 4, 9, 16, 25, 36, 49, 64, 81, 100, 121, 144, 169, 196, 225};

void main(void) {
  uint8_t x = mem[0x1000] & 15;
  mem[0x1001] = squares[x];
}
