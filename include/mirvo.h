/* mirvo.h: the machine's memory for C programs that mirvo cc compiles.
 *
 * mem is the machine's 64 KiB: mem[0x1000] is the byte at 1000h. A program
 * reads its inputs from there and leaves its results there, where the state
 * map and mirvo run show them.
 *
 * Under mirvo cc (which defines __MIRVO__) mem is the memory itself. Under
 * any other C compiler it is an ordinary array, and the program's main is
 * renamed mirvo_main, so that the same file builds and runs on the host
 * with a harness of three lines that prints the memory afterwards:
 *
 *     #include "prog.c"
 *     #undef main
 *     int main(void) { mirvo_main(); fwrite(mem, 1, sizeof mem, stdout); }
 *
 * (cc harness.c -o prog && ./prog | xxd -s 0x1000 -l 16 shows 1000h on.)
 */
#ifndef MIRVO_H
#define MIRVO_H

#include <stdbool.h>
#include <stdint.h>

#ifdef __MIRVO__
extern uint8_t mem[65536];
#else
#include <stdio.h>
static uint8_t mem[65536];
#define main mirvo_main
#endif

#endif
