// exercises/06-double.toml in C: the byte at 1001h = twice the byte at 1000h.
#include <mirvo.h>

void main(void) { mem[0x1001] = mem[0x1000] * 2; }
