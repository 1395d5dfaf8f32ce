#include <mirvo.h>
unsigned char a, b, x, y, i, s;
bool t, f, u;
uint8_t arr[8];
void main(void) {
mem[0x2000] = 200; mem[0x2001] = 3; a = mem[0x2000]; b = mem[0x2001];
mem[0x1000] = -a; mem[0x1001] = ~a; mem[0x1002] = !a; mem[0x1003] = !(unsigned char)(a - 200); mem[0x1004] = ~b + 1;
}
