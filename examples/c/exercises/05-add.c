// exercises/05-add.toml in C: the byte at 1002h = the byte at 1000h + the byte at 1001h.
#include <mirvo.h>

void main(void) { mem[0x1002] = mem[0x1000] + mem[0x1001]; }
