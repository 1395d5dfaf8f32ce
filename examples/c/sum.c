// The sum of the four bytes from 1000h, at 1004h, as examples/sum.asm adds:
// the addition wraps past FFh, as C's unsigned char does when it is stored.
#include <mirvo.h>

void main(void) {
  uint8_t sum = mem[0x1000] + mem[0x1001];
  sum += mem[0x1002];
  sum += mem[0x1003];
  mem[0x1004] = sum;
}
