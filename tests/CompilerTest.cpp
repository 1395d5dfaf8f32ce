// The C compiler: programs compiled and run on the machine, their memory
// compared with what the host's C compiler makes of the same source (the
// expected bytes were produced by cc -std=c11 with mem an ordinary array),
// and the diagnostics of programs the machine cannot run.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "Compiler.h"
#include "VirtualMachine.h"

namespace {

using mirvo::cc::Compile;
using mirvo::cc::CompileOptions;

struct RunCase {
  const char* name;
  const char* source;
  std::array<std::uint8_t, 16> expected;  // the 16 bytes from results on after the run
  std::uint16_t results = 0x1000;         // above the code of a long program
};

// Runs an image to its RET and returns the 16 bytes from results on.
std::array<std::uint8_t, 16> RunImage(const std::vector<std::uint8_t>& image, std::uint16_t results = 0x1000) {
  mirvo::VirtualMachine machine;
  for (std::size_t i = 0; i < image.size(); ++i) machine.WriteMemory(static_cast<std::uint16_t>(i), image[i]);
  machine.SetProgramCounter(0);
  machine.RunWithoutWrap(1000000);
  EXPECT_EQ(machine.MemoryAt(machine.GetProgramCounter()), 0xC9) << "the run stops at a RET, perhaps a planted one";
  std::array<std::uint8_t, 16> bytes{};
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = machine.MemoryAt(static_cast<std::uint16_t>(results + i));
  return bytes;
}

const RunCase kRunCases[] = {
    {"add wraps",
     "#include <mirvo.h>\nunsigned char a, b, x, y, i, s;\nbool t, f, u;\nuint8_t arr[8];\nvoid main(void) "
     "{\nmem[0x2000] = 200; mem[0x2001] = 3; a = mem[0x2000]; b = mem[0x2001];\nmem[0x1000] = a + 100; mem[0x1001] = a "
     "+ a; mem[0x1002] = a + b + 1;\n}\n",
     {0x2C, 0x90, 0xCC, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
    {"subtract",
     "#include <mirvo.h>\nunsigned char a, b, x, y, i, s;\nbool t, f, u;\nuint8_t arr[8];\nvoid main(void) "
     "{\nmem[0x2000] = 200; mem[0x2001] = 3; a = mem[0x2000]; b = mem[0x2001];\nmem[0x1000] = a - 201; mem[0x1001] = 3 "
     "- a; mem[0x1002] = a - b; mem[0x1003] = b - a - a;\n}\n",
     {0xFF, 0x3B, 0xC5, 0x73, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
    {"multiply by constants",
     "#include <mirvo.h>\nunsigned char a, b, x, y, i, s;\nbool t, f, u;\nuint8_t arr[8];\nvoid main(void) "
     "{\nmem[0x2000] = 200; mem[0x2001] = 3; a = mem[0x2000]; b = mem[0x2001];\nmem[0x1000] = a * 10; mem[0x1001] = a "
     "* 255; mem[0x1002] = a * 0; mem[0x1003] = 7 * a; mem[0x1004] = a << 3; mem[0x1005] = b * 85;\n}\n",
     {0xD0, 0x38, 0x00, 0x78, 0x40, 0xFF, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
    {"negation and complement",
     "#include <mirvo.h>\nunsigned char a, b, x, y, i, s;\nbool t, f, u;\nuint8_t arr[8];\nvoid main(void) "
     "{\nmem[0x2000] = 200; mem[0x2001] = 3; a = mem[0x2000]; b = mem[0x2001];\nmem[0x1000] = -a; mem[0x1001] = ~a; "
     "mem[0x1002] = !a; mem[0x1003] = !(unsigned char)(a - 200); mem[0x1004] = ~b + 1;\n}\n",
     {0x38, 0x37, 0x00, 0x01, 0xFD, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
    {"true and false of <stdbool.h>",
     "#include <mirvo.h>\nunsigned char a, b, x, y, i, s;\nbool t, f, u;\nuint8_t arr[8];\nvoid main(void) "
     "{\nmem[0x2000] = 200; a = mem[0x2000];\nt = true; f = false; mem[0x1000] = t; mem[0x1001] = f + 2; if (a == 200) "
     "u = true; mem[0x1002] = u; mem[0x1003] = (a == 7) == false;\n}\n",
     {0x01, 0x02, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
    {"equality",
     "#include <mirvo.h>\nunsigned char a, b, x, y, i, s;\nbool t, f, u;\nuint8_t arr[8];\nvoid main(void) "
     "{\nmem[0x2000] = 200; mem[0x2001] = 3; a = mem[0x2000]; b = mem[0x2001];\nmem[0x1000] = a == 200; mem[0x1001] = "
     "a != b; mem[0x1002] = (unsigned char)(a + 56) == 0; mem[0x1003] = b == a; mem[0x1004] = (a == 200) + (b == 3) * "
     "2;\n}\n",
     {0x01, 0x01, 0x01, 0x00, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
    {"bool conversion",
     "#include <mirvo.h>\nunsigned char a, b, x, y, i, s;\nbool t, f, u;\nuint8_t arr[8];\nvoid main(void) "
     "{\nmem[0x2000] = 200; mem[0x2001] = 3; a = mem[0x2000]; b = mem[0x2001];\nt = a; f = a - 200; u = (unsigned "
     "char)(a + 56); mem[0x1000] = t + f * 2 + u * 4; t = b - 4; mem[0x1001] = t; mem[0x1002] = (bool)b + (bool)(b - "
     "3);\n}\n",
     {0x01, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
    {"arrays by a byte index",
     "#include <mirvo.h>\nunsigned char a, b, x, y, i, s;\nbool t, f, u;\nuint8_t arr[8];\nvoid main(void) "
     "{\nmem[0x2000] = 200; mem[0x2001] = 3; a = mem[0x2000]; b = mem[0x2001];\ni = b; arr[i] = 42; arr[0] = 1; "
     "mem[0x1000] = arr[3]; mem[0x1001] = arr[i] + arr[0]; arr[i + 1] = arr[i] * 2; mem[0x1002] = arr[4];\n}\n",
     {0x2A, 0x2B, 0x54, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
    {"mem at a page plus a byte",
     "#include <mirvo.h>\nunsigned char a, b, x, y, i, s;\nbool t, f, u;\nuint8_t arr[8];\nvoid main(void) "
     "{\nmem[0x2000] = 200; mem[0x2001] = 3; a = mem[0x2000]; b = mem[0x2001];\nmem[0x3000 + a] = 7; mem[0x1000] = "
     "mem[0x3000 + a]; mem[0x3100 + b] = a; mem[0x1001] = mem[0x3103] + mem[0x30C8];\n}\n",
     {0x07, 0xCF, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
    {"increment and decrement",
     "#include <mirvo.h>\nunsigned char a, b, x, y, i, s;\nbool t, f, u;\nuint8_t arr[8];\nvoid main(void) "
     "{\nmem[0x2000] = 200; mem[0x2001] = 3; a = mem[0x2000]; b = mem[0x2001];\nx = a; x++; ++x; mem[0x1000] = x; "
     "mem[0x1001] = x--; mem[0x1002] = x; y = x++ + 1; mem[0x1003] = y; mem[0x1004] = --y; x = 255; x++; mem[0x1005] = "
     "x;\n}\n",
     {0xCA, 0xCA, 0xC9, 0xCA, 0xC9, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
    {"compound assignment",
     "#include <mirvo.h>\nunsigned char a, b, x, y, i, s;\nbool t, f, u;\nuint8_t arr[8];\nvoid main(void) "
     "{\nmem[0x2000] = 200; mem[0x2001] = 3; a = mem[0x2000]; b = mem[0x2001];\nx = 10; x += 5; x -= a; mem[0x1000] = "
     "x; x *= 3; mem[0x1001] = x; x <<= 1; mem[0x1002] = x; mem[0x1003] += a; mem[0x1003] += a;\n}\n",
     {0x47, 0xD5, 0xAA, 0x90, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
    {"loops unrolled",
     "#include <mirvo.h>\nunsigned char a, b, x, y, i, s;\nbool t, f, u;\nuint8_t arr[8];\nvoid main(void) "
     "{\nmem[0x2000] = 200; mem[0x2001] = 3; a = mem[0x2000]; b = mem[0x2001];\ns = 0; for (i = 0; i < 5; i++) { s += "
     "i * a; } mem[0x1000] = s; i = 0; while (i < 10) { i++; if (i == 4) continue; if (i == 7) break; mem[0x1000 + i] "
     "= i + b; } do { i--; } while (i > 3); mem[0x100F] = i;\n}\n",
     {0xD0, 0x04, 0x05, 0x06, 0x00, 0x08, 0x09, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03}},
    {"nested temporaries",
     "#include <mirvo.h>\nunsigned char a, b, x, y, i, s;\nbool t, f, u;\nuint8_t arr[8];\nvoid main(void) "
     "{\nmem[0x2000] = 200; mem[0x2001] = 3; a = mem[0x2000]; b = mem[0x2001];\nmem[0x1000] = (a + b) - (a - b) + (a * "
     "3 - b); mem[0x1001] = (a - (b - (a - (b - 1)))); mem[0x1002] = (a == b) + ((unsigned char)(a + b) == 203) + "
     "((unsigned char)(b - a) != 59);\n}\n",
     {0x5B, 0x8B, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
    {"blocks and shadowing",
     "#include <mirvo.h>\nunsigned char a, b, x, y, i, s;\nbool t, f, u;\nuint8_t arr[8];\nvoid main(void) "
     "{\nmem[0x2000] = 200; mem[0x2001] = 3; a = mem[0x2000]; b = mem[0x2001];\nunsigned char v = a; { unsigned char v "
     "= b; mem[0x1000] = v; } mem[0x1001] = v; const unsigned char k = 9; mem[0x1002] = k * a;\n}\n",
     {0x03, 0xC8, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
    {"constant conditions",
     "#include <mirvo.h>\nunsigned char a, b, x, y, i, s;\nbool t, f, u;\nuint8_t arr[8];\nvoid main(void) "
     "{\nmem[0x2000] = 200; mem[0x2001] = 3; a = mem[0x2000]; b = mem[0x2001];\nif (3 > 2) mem[0x1000] = 1; else "
     "mem[0x1000] = 2; mem[0x1001] = 1 ? a : b; if (0) { mem[0x1002] = 5; } mem[0x1003] = 100 / 7 + 100 % 7 + (0xF0 >> "
     "4) + (6 & 3) + (6 | 3) + (6 ^ 3);\n}\n",
     {0x01, 0xC8, 0x00, 0x2D, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
    {"functions inlined",
     "#include <mirvo.h>\nunsigned char a, b, x, y, i, s;\nbool t, f, u;\nuint8_t arr[8];\nunsigned char "
     "twice(unsigned char v) { return v + v; }\nbool odd(unsigned char v) { return (unsigned char)(v * 128); }\nvoid "
     "put(unsigned char at, unsigned char v) { mem[0x1000 + at] = v; }\nvoid main(void) {\nmem[0x2000] = 200; "
     "mem[0x2001] = 3; a = mem[0x2000]; b = mem[0x2001];\nmem[0x1000] = twice(a) + twice(3); mem[0x1001] = odd(b) + "
     "odd(a) * 2; put(2, twice(twice(b))); put(b, a - 1);\n}\n",
     {0x96, 0x01, 0x0C, 0xC7, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
    {"tables of a constant operand",
     "#include <mirvo.h>\nunsigned char a, b, x, y, i, s;\nbool t, f, u;\nuint8_t arr[8];\nvoid main(void) "
     "{\nmem[0x2000] = 200; mem[0x2001] = 3; a = mem[0x2000]; b = mem[0x2001];\nmem[0x1000] = a >> 3; mem[0x1001] = a "
     "/ 10; mem[0x1002] = b % 2; x = a; x >>= 4; mem[0x1004] = x;\n}\n",
     {0x19, 0x14, 0x01, 0x00, 0x0C, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
    {"comparisons with a constant, && and ||",
     "#include <mirvo.h>\nunsigned char a, b, x, y, i, s;\nbool t, f, u;\nuint8_t arr[8];\nvoid main(void) "
     "{\nmem[0x2000] = 200; mem[0x2001] = 3; a = mem[0x2000]; b = mem[0x2001];\nmem[0x1000] = a < 100; mem[0x1001] = "
     "50 >= b; mem[0x1002] = (b > 2) && (a == 200); mem[0x1003] = (a > 250) || !b; mem[0x1004] = 0x55 ^ b; if (a > 150 "
     "&& b) mem[0x1005] = 1;\n}\n",
     {0x00, 0x01, 0x01, 0x00, 0x56, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
    {"comparisons of two bytes",
     "#include <mirvo.h>\nunsigned char a, b, x, y, i, s;\nbool t, f, u;\nuint8_t arr[8];\nvoid main(void) "
     "{\nmem[0x2000] = 200; mem[0x2001] = 3; a = mem[0x2000]; b = mem[0x2001];\nmem[0x1000] = a < b; mem[0x1001] = a "
     "<= b; mem[0x1002] = a > b; mem[0x1003] = b >= a; mem[0x1004] = a < b ? a : b; if (b <= a && a < 201) mem[0x1005] "
     "= 1;\n}\n",
     {0x00, 0x00, 0x01, 0x00, 0x03, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
    {"& | ^ of two run-time bytes",
     "#include <mirvo.h>\nunsigned char a, b, x, y, i, s;\nbool t, f, u;\nuint8_t arr[8];\nvoid main(void) "
     "{\nmem[0x2000] = 200; mem[0x2001] = 3; a = mem[0x2000]; b = mem[0x2001];\n"
     "x = a + 37; mem[0x1000] = a & b; mem[0x1001] = a | b; mem[0x1002] = a ^ b; mem[0x1003] = x & a; mem[0x1004] = x "
     "| a; mem[0x1005] = x ^ a; mem[0x1006] = (a - x) & (b - a); y = a; y &= x; y |= b; y ^= a; mem[0x1007] = y; "
     "mem[0x1008] = (a & b) == 0; mem[0x1009] = (a | x) ^ (b & (x - a)); mem[0x100A] = (b == 3) & x; mem[0x100B] = x ^ "
     "(b | a);\n}\n",
     {0x00, 0xCB, 0xCB, 0xC8, 0xED, 0x25, 0x1B, 0x03, 0x01, 0xEC, 0x01, 0x26, 0x00, 0x00, 0x00, 0x00}},
    {"products of two run-time bytes",
     "#include <mirvo.h>\nunsigned char a, b, x, y, i, s;\nbool t, f, u;\nuint8_t arr[8];\nvoid main(void) "
     "{\nmem[0x2000] = 200; mem[0x2001] = 3; a = mem[0x2000]; b = mem[0x2001];\n"
     "x = a + 37; mem[0x1000] = a * b; mem[0x1001] = x * a; mem[0x1002] = (unsigned char)(a + x) * (b + x); y = a; y "
     "*= x; mem[0x1003] = y; mem[0x1004] = (a == 200) * a + b * b; mem[0x1005] = -a * ~x; mem[0x1006] = (b == 3) * x; "
     "mem[0x1007] = (unsigned char)(x * x) * 3; mem[0x1008] = b * (b == 3);\n}\n",
     {0x58, 0x28, 0xB0, 0x28, 0xD1, 0xF0, 0xED, 0x3B, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
    {"comparisons with a new constant in each trip",
     "#include <mirvo.h>\nunsigned char a, b, x, y, i, s;\nbool t, f, u;\nuint8_t arr[8];\nvoid main(void) "
     "{\nmem[0x2000] = 200; mem[0x2001] = 3; a = mem[0x2000]; b = mem[0x2001];\ns = 0; for (i = 0; i < 8; i++) { if (i "
     "< b) s++; if (b >= i) mem[0x1000 + i] = i * a; if (i > a) s += 100; } "
     "mem[0x1008] = s; mem[0x1009] = a < 150; mem[0x100A] = a < 250; mem[0x100B] = 7 >= b;\n}\n",
     {0x00, 0xC8, 0x90, 0x58, 0x00, 0x00, 0x00, 0x00, 0x03, 0x00, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00}},
    {"if on a run-time condition",
     "#include <mirvo.h>\nunsigned char a, b, x, y, i, s;\nbool t, f, u;\nuint8_t arr[8];\nvoid main(void) "
     "{\nmem[0x2000] = 200; mem[0x2001] = 3; a = mem[0x2000]; b = mem[0x2001];\nx = 1; if (a == 200) x = 5; else x = "
     "6; mem[0x1000] = x; if (b == 4) { mem[0x1001] = 9; arr[b] = 3; } else mem[0x1002] = a; if (a != b) if (b == 3) "
     "mem[0x1003] = 7; else mem[0x1003] = 8; mem[0x1004] = arr[3]; y = 0; if (!(a == 1)) { y += b; mem[0x3000 + b] = "
     "11; } mem[0x1005] = y; mem[0x1006] = mem[0x3003]; if (b == 3) { arr[b + 1] = a; t = b; } mem[0x1007] = arr[4] + "
     "t;\n}\n",
     {0x05, 0x00, 0xC8, 0x07, 0x00, 0x03, 0x0B, 0xC9, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
    {"?: on a run-time condition",
     "#include <mirvo.h>\nunsigned char a, b, x, y, i, s;\nbool t, f, u;\nuint8_t arr[8];\nvoid main(void) "
     "{\nmem[0x2000] = 200; mem[0x2001] = 3; a = mem[0x2000]; b = mem[0x2001];\nmem[0x1000] = a == 200 ? b : 9; "
     "mem[0x1001] = (b == 200) ? a + 1 : b * 3; x = a != b ? (a == b ? 1 : 2) : 3; mem[0x1002] = x; mem[0x1003] = "
     "(uint8_t)((a == 200 ? a : b) + 100); mem[0x1004] = b ? a : b;\n}\n",
     {0x03, 0x09, 0x02, 0x2C, 0xC8, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
    {"return under a run-time condition",
     "#include <mirvo.h>\nunsigned char a, b, x, y, i, s;\nbool t, f, u;\nuint8_t arr[8];\nvoid main(void) "
     "{\nmem[0x2000] = 200; mem[0x2001] = 3; a = mem[0x2000]; b = mem[0x2001];\nmem[0x1000] = 1; if (a == 7) return; "
     "mem[0x1001] = 2; if (b == 3) { mem[0x1002] = 3; return; } mem[0x1003] = 4;\n}\n",
     {0x01, 0x02, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
    {"return in an unrolled loop",
     "#include <mirvo.h>\nunsigned char a, b, x, y, i, s;\nbool t, f, u;\nuint8_t arr[8];\nvoid main(void) "
     "{\nmem[0x2000] = 200; mem[0x2001] = 3; a = mem[0x2000]; b = mem[0x2001];\nfor (i = 0; i < 8; i++) { if (i == b) "
     "return; mem[0x1000 + i] = i + 1; }\n}\n",
     {0x01, 0x02, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
    {"break and continue under run-time conditions",
     "#include <mirvo.h>\nunsigned char a, b, x, y, i, s;\nbool t, f, u;\nuint8_t arr[8];\nvoid main(void) "
     "{\nmem[0xC000] = 200; mem[0xC001] = 3; a = mem[0xC000]; b = mem[0xC001];\nx = 0; for (i = 0; i < 6; i++) { if (i "
     "== b) continue; x += i; mem[0x4000 + i] = x; if (i == a - 196) break; }\nmem[0x4008] = i; mem[0x4009] = x;\ny = "
     "0; for (s = 0; s < 3; s++) { for (i = 0; i < 3; i++) { if (i == b - s) break; y++; } if (y == b) { mem[0x400A] = "
     "s; continue; } mem[0x400B] += 1; }\nmem[0x400C] = y;\ni = 0; do { i++; if ((uint8_t)(i * 50) == a) { mem[0x400D] "
     "= i; break; } else if (i == b) continue; mem[0x400E] += i; } while (i < 5);\nmem[0x400F] = i;\n}\n",
     {0x00, 0x01, 0x03, 0x00, 0x07, 0x00, 0x00, 0x00, 0x04, 0x07, 0x00, 0x02, 0x06, 0x04, 0x03, 0x04},
     0x4000},
    {"a break and a continue under conditions of different depths",
     "#include <mirvo.h>\nunsigned char a, b, x, y, i, s;\nbool t, f, u;\nuint8_t arr[8];\nvoid main(void) "
     "{\nmem[0xC000] = 97; mem[0xC001] = 13; a = mem[0xC000]; b = mem[0xC001];\nfor (i = 0; i < 4; i++) { mem[0x4000 + "
     "i] += a + i; if (a < b) mem[0x4006] = 1; else { if (b >= 134) break; } mem[0x4007] = 204; if (a == 97 + i) { "
     "continue; } else { if (b >= a) break; } mem[0x4008 + i] = i + 1; }\n}\n",
     {0x61, 0x62, 0x63, 0x64, 0x00, 0x00, 0x00, 0xCC, 0x00, 0x02, 0x03, 0x04, 0x00, 0x00, 0x00, 0x00},
     0x4000},
    {"returns from functions under run-time conditions",
     "#include <mirvo.h>\nunsigned char a, b, x, y, i, s;\nbool t, f, u;\nuint8_t arr[8];\nunsigned char "
     "clamp(unsigned char v, unsigned char hi) { if (v > hi) return hi; return v; }\nunsigned char find(unsigned char "
     "v) { unsigned char k; for (k = 0; k < 8; k++) { if (arr[k] == v) return k; } return 255; }\nvoid put(unsigned "
     "char at, unsigned char v) { if (at > 7) return; arr[at] = v; if (v == 3) { mem[0x4007] = at; return; } "
     "mem[0x4006] = v; }\nbool odd(unsigned char v) { for (unsigned char k = 1; k < 8; k += 2) { if (v == k) return 1; "
     "if (v == k - 1) break; } return 0; }\nvoid main(void) {\nmem[0xC000] = 200; mem[0xC001] = 3; a = mem[0xC000]; b "
     "= mem[0xC001];\nmem[0x4000] = clamp(a, 100); mem[0x4001] = clamp(b, 100); arr[5] = b; mem[0x4002] = find(b); "
     "mem[0x4003] = find(a);\nput(b, a); put(a, b); put(1, b); mem[0x4004] = odd(b) + odd(b + 1) * 2 + odd(a) * 4; x = "
     "find(0) + clamp(b, 2);\nmem[0x4005] = x; mem[0x4009] = arr[1]; mem[0x400B] = arr[3];\n}\n",
     {0x64, 0x03, 0x05, 0xFF, 0x01, 0x02, 0xC8, 0x01, 0x00, 0x03, 0x00, 0xC8, 0x00, 0x00, 0x00, 0x00},
     0x4000},
    {"locals' constants, then stores under conditions",
     "#include <mirvo.h>\nunsigned char twice(unsigned char v) { return v + v; }\nunsigned char seven(void) { return "
     "7; }\nvoid main(void) {\nmem[0x2000] = 200; mem[0x2001] = 3; unsigned char a = mem[0x2000], b = "
     "mem[0x2001];\nunsigned char k = 5; k = 6; if (a == 200) k = 9; mem[0x1000] = k;\nunsigned char j = 4; if (b == "
     "4) j = 1; mem[0x1001] = j;\nunsigned char n = 2; if (b == 3) { n += 1; if (a == 1) n = 0; } mem[0x1002] = "
     "n;\nmem[0x1003] = seven() + twice(3); unsigned char m = 1; m = a; m = m + 1; mem[0x1004] = m;\nfor (unsigned "
     "char i = 0; i < 3; i++) { unsigned char t = i; if (t == (uint8_t)(b - 2)) mem[0x1005 + i] = t + 10; }\nunsigned "
     "char q = 8; if (a == 200) q++; else q--; mem[0x1008] = q;\nbool z = 1; if (b == 3) z = 0; mem[0x1009] = z + "
     "twice(z + 1);\n}\n",
     {0x09, 0x04, 0x03, 0x0D, 0xC9, 0x00, 0x0B, 0x00, 0x09, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
};

TEST(CompilerTest, ProgramsLeaveMemoryAsTheHostCompilerDoes) {
  for (const RunCase& row : kRunCases) {
    for (bool optimise : {true, false}) {
      const auto result = Compile(row.source, CompileOptions{optimise});
      ASSERT_TRUE(result.ok) << row.name
                             << (result.diagnostics.empty() ? ""
                                                            : ": " + mirvo::DescribeDiagnostic(result.diagnostics[0]));
      EXPECT_EQ(RunImage(result.image, row.results), row.expected) << row.name << (optimise ? "" : " at -O0");
      // The source map covers the image in order, each span inside it.
      std::uint16_t previous = 0;
      for (const auto& span : result.map) {
        EXPECT_LE(previous, span.firstAddress) << row.name;
        EXPECT_LE(span.firstAddress, span.endAddress) << row.name;
        EXPECT_LE(span.endAddress, result.image.size()) << row.name;
        previous = span.endAddress;
      }
    }
  }
}

// What optimising leaves out, in image bytes (counted by hand: MVI 2, MOV
// and RET 1): -O0 sets H and L for each access.
TEST(CompilerTest, OptimisingLeavesOutWhatChangesNothing) {
  struct Row {
    const char* what;
    const char* source;
    std::size_t o0, optimised;
  };
  const Row rows[] = {
      // -O0: three stores of 6 bytes; optimised: each value folded, no store.
      {"a local's constants", "void main(void) { unsigned char i = 1; i = 2; i++; }\n", 19, 1},
      // -O0: 6 for i = 0, then 12 a trip (the store, the counter's store);
      // optimised: 6 for the first store, 4 for each next (H kept), no counter.
      {"an unrolled loop's counter", "void main(void) { for (unsigned char i = 0; i < 4; i++) mem[0x1000 + i] = i; }\n",
       55, 19},
      // Optimised: the second load is of what A holds, and its MVI L is overwritten unused.
      {"a load of what A holds", "void main(void) { mem[0x1001] = mem[0x1000]; mem[0x1002] = mem[0x1000]; }\n", 21, 12},
      // Optimised: g's second store is of what its cell holds (the cell keeps it), and
      // mem[0x1001] and g are read from A.
      {"a store of what the cell holds",
       "unsigned char g;\nvoid main(void) { g = mem[0x1000]; mem[0x1001] = g; g = mem[0x1001]; }\n", 31, 14},
  };
  for (const Row& row : rows) {
    const std::string source = std::string("#include <mirvo.h>\n") + row.source;
    EXPECT_EQ(Compile(source, CompileOptions{false}).image.size(), row.o0) << row.what;
    EXPECT_EQ(Compile(source).image.size(), row.optimised) << row.what;
  }
}

TEST(CompilerTest, GlobalsArePlacedWhereNoMemIndexReaches) {
  const auto result = Compile("unsigned char x;\nvoid main(void) { mem[0xF000] = 1; mem[0xF100 + x] = 2; x = 3; }\n");
  ASSERT_TRUE(result.ok);
  ASSERT_FALSE(result.placed.empty());
  EXPECT_EQ(result.placed[0].name, "x");
  EXPECT_NE(result.placed[0].address, 0xF000);
  EXPECT_NE(result.placed[0].address >> 8, 0xF1);
  EXPECT_NE(result.assembly.find("; x at 0F001h"), std::string::npos);
  EXPECT_NE(result.assembly.find("; 2: void main(void)"), std::string::npos);
}

struct DiagnosticCase {
  const char* source;
  int line, column;
  const char* code;
  const char* words;  // a part of the message
};

const DiagnosticCase kDiagnosticCases[] = {
    {"int x;\nvoid main(void) {}\n", 1, 1, "c-wide-type", "unsigned bytes"},
    {"void main(void) { float f; }\n", 1, 19, "c-float", "floating point"},
    {"struct s { unsigned char a; };\nvoid main(void) {}\n", 1, 1, "c-struct", "separate variables"},
    {"unsigned char *p;\nvoid main(void) {}\n", 1, 15, "c-pointer", "index it as mem"},
    {"void main(void) { mem[0x1000] = \"a\"; }\n", 1, 33, "c-string", "strings"},
    {"void main(void) { goto out; }\n", 1, 19, "c-goto", "no jump"},
    {"void main(void) { while (mem[0x1000]) mem[0x1001] = 1; }\n", 1, 37, "c-unbounded-loop",
     "a loop must have a bound the compiler can unroll"},
    {"void main(void) { printf(1); }\n", 1, 19, "c-library-call", "no library"},
    {"void f(void) { f(); }\nvoid main(void) { f(); }\n", 1, 16, "c-recursion", "calls itself"},
    {"unsigned char a, b; bool t;\nvoid main(void) { a = mem[0x2001]; b = mem[0x2002]; t = a + b; }\n", 2, 59,
     "c-wide-result", "(unsigned char)(a + b)"},
    {"unsigned char a, b, c;\nvoid main(void) { a = mem[0x2001]; b = mem[0x2002]; c = mem[0x2003]; mem[0x1000] = a + b "
     "== c; }\n",
     2, 86, "c-wide-result", "more than a byte"},
    {"unsigned char a, b, c;\nvoid main(void) { a = mem[0x2001]; b = mem[0x2002]; c = mem[0x2003]; mem[0x1000] = a + b "
     "< c; }\n",
     2, 86, "c-wide-result", "(unsigned char)(a + b)"},
    {"unsigned char a, b;\nvoid main(void) { a = mem[0x2001]; b = mem[0x2002]; mem[0x1000] = (a + b) >> 1; }\n", 2, 70,
     "c-wide-result", "more than a byte"},
    {"unsigned char a, b, c;\nvoid main(void) { a = mem[0x2001]; b = mem[0x2002]; c = mem[0x2003]; mem[0x1000] = a * b "
     "< c; }\n",
     2, 86, "c-wide-result", "(unsigned char)(a * b)"},
    {"#include <stdio.h>\nvoid main(void) {}\n", 1, 10, "c-unknown-include", "<stdbool.h>"},
    {"unsigned char x;\n", 2, 1, "c-no-main", "void main(void)"},
    {"const unsigned char k = 1;\nvoid main(void) { k = 2; }\n", 2, 19, "c-const-assigned", "drop const"},
    {"void main(void) { y = 2; }\n", 1, 19, "c-undeclared", "'y' is not declared"},
    {"void main(void) { mem[0x1000] = true; }\n", 1, 33, "c-undeclared", "'true' is not declared"},
    {"void main(void) { mem[0x1000] = '\\", 1, 33, "c-syntax", "expected an expression"},
    {"void main(void) { mem[0x1000] = 1 }\n", 1, 35, "c-syntax", "expected ';'"},
    {"void main(void) { mem[0x1000] = 200 *= mem[0x1001]; }\n", 1, 33, "c-syntax", "mem[...] to assign to"},
    {"void main(void) { mem[0x0004] = 1; }\n", 1, 19, "c-code-overlap", "grows over address 0004h"},
};

TEST(CompilerTest, DiagnosticsSayWhereAndWhy) {
  for (const DiagnosticCase& row : kDiagnosticCases) {
    const auto result = Compile(row.source);
    ASSERT_FALSE(result.ok) << row.source;
    ASSERT_FALSE(result.diagnostics.empty()) << row.source;
    const mirvo::Diagnostic& d = result.diagnostics[0];
    EXPECT_EQ(d.line, row.line) << row.source;
    EXPECT_EQ(d.column, row.column) << row.source;
    EXPECT_STREQ(mirvo::DiagnosticCode(d.kind), row.code) << row.source;
    EXPECT_NE(mirvo::DescribeDiagnostic(d).find(row.words), std::string::npos) << mirvo::DescribeDiagnostic(d);
  }
}

TEST(CompilerTest, EveryMistakeOfAFileIsReported) {
  const auto result = Compile("int a;\nvoid main(void) {\n  goto x;\n  y = 1;\n  float f;\n}\n");
  ASSERT_EQ(result.diagnostics.size(), 4u);
  EXPECT_EQ(result.diagnostics[3].line, 5);
}

TEST(CompilerTest, DeepOrEndlessInputIsRefusedNotFollowed) {
  const std::string deep = "void main(void) { mem[0x1000] = " + std::string(100000, '(') + "1; }";
  EXPECT_FALSE(Compile(deep).ok);
  EXPECT_FALSE(Compile("void main(void) { for (;;) { } }").ok);
  EXPECT_FALSE(Compile("unsigned char i;\nvoid main(void) { for (i = 0; i < 10; i += 0) { } }").ok);
}

}  // namespace
