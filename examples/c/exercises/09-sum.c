// exercises/09-sum.toml in C: the byte at 1004h = the sum of the four bytes from 1000h.
#include <mirvo.h>

void main(void) {
  uint8_t sum = 0;
  for (uint8_t i = 0; i < 4; i++) sum += mem[0x1000 + i];
  mem[0x1004] = sum;
}
