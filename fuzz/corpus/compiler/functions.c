#include <mirvo.h>
unsigned char a, b, x, y, i, s;
bool t, f, u;
uint8_t arr[8];
unsigned char twice(unsigned char v) { return v + v; }
bool odd(unsigned char v) { return (unsigned char)(v * 128); }
void put(unsigned char at, unsigned char v) { mem[0x1000 + at] = v; }
void main(void) {
mem[0x2000] = 200; mem[0x2001] = 3; a = mem[0x2000]; b = mem[0x2001];
mem[0x1000] = twice(a) + twice(3); mem[0x1001] = odd(b) + odd(a) * 2; put(2, twice(twice(b))); put(b, a - 1);
}
