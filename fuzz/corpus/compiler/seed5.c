#include <mirvo.h>
unsigned char a, b, x, y, i, s;
bool t, f, u;
uint8_t arr[8];
void main(void) {
mem[0x2000] = 200; mem[0x2001] = 3; a = mem[0x2000]; b = mem[0x2001];
t = a; f = a - 200; u = (unsigned char)(a + 56); mem[0x1000] = t + f * 2 + u * 4; t = b - 4; mem[0x1001] = t; mem[0x1002] = (bool)b + (bool)(b - 3);
}
