// An if with a planted RET: the machine has no jump, so "if (c) return;"
// stores RET (C9h) just after the storing instruction when c is 1, and a
// harmless byte when c is 0; the run ends exactly there, or goes on.
#include <mirvo.h>

void main(void) {
  uint8_t a = mem[0x1000];
  mem[0x1001] = 1;
  if (a == 0) return;
  mem[0x1001] = 2;
}
