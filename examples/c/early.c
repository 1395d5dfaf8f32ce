// An if with a planted RET: the machine has no jump, so "if (c) return;"
// stores RET (C9h) over the storing instruction itself, already run, when c
// is 0, and over the byte after it (a harmless MOV A, A) when c is 1: the run
// ends exactly there, or goes on.
#include <mirvo.h>

void main(void) {
  uint8_t a = mem[0x1000];
  mem[0x1001] = 1;
  if (a == 0) return;
  mem[0x1001] = 2;
}
