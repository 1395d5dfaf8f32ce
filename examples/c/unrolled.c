// An unrolled loop: the trip count is known, so each iteration is written
// out. The sum of the eight bytes from 1000h goes to 1008h, and the largest
// of them, chosen without a jump (address select), to 1009h.
#include <mirvo.h>

void main(void) {
  uint8_t sum = 0;
  uint8_t largest = 0;
  for (uint8_t i = 0; i < 8; i++) {
    sum += mem[0x1000 + i];
    if (mem[0x1000 + i] > largest) largest = mem[0x1000 + i];
  }
  mem[0x1008] = sum;
  mem[0x1009] = largest;
}
