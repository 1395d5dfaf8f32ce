// Writes one random program of MOV, MVI, ADD and CMP statements with comments,
// followed by a RET, in two syntaxes, for timing assemblers side by side:
//   MakeBenchSources <statements> <prefix>
// writes <prefix>.asm (this toolchain) and <prefix>.z80 (Z80 mnemonics, which
// z80asm and pasmo both read), with the same instructions in the same order,
// so that the three images come out byte for byte the same.

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

namespace {

const char* const kLetters = "BCDEHLA";
const char* const kZ80Registers[] = {"b", "c", "d", "e", "h", "l", "(hl)", "a"};
const char* const kComments[] = {"copy it", "load it", "sum", "compare", "flags", "next one"};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::printf("Usage: MakeBenchSources <statements> <prefix>\n");
    return 1;
  }
  const long count = std::strtol(argv[1], nullptr, 10);
  const std::string prefix = argv[2];
  std::FILE* ours = std::fopen((prefix + ".asm").c_str(), "w");
  std::FILE* z80 = std::fopen((prefix + ".z80").c_str(), "w");
  if (ours == nullptr || z80 == nullptr) {
    std::printf("Cannot create %s.asm or %s.z80\n", prefix.c_str(), prefix.c_str());
    return 1;
  }
  std::mt19937 random(2026);
  // Register codes 0-5 and 7 are registers, 6 is the memory operand.
  const auto pickCode = [&random] { return static_cast<unsigned>(random() % 8); };
  const auto ourName = [](unsigned code) {
    return code == 6 ? std::string("Mem") : std::string(1, kLetters[code == 7 ? 6 : code]);
  };
  for (long i = 0; i < count; ++i) {
    const char* comment = kComments[random() % 6];
    const unsigned kind = random() % 4;
    const unsigned d = pickCode();
    unsigned s = pickCode();
    if (kind == 0 && d == 6 && s == 6) s = 7;  // M to M would be HALT on a Z80
    const unsigned value = random() % 256;
    switch (kind) {
      case 0:
        std::fprintf(ours, "MOV %s, %s\t; %s\n", ourName(d).c_str(), ourName(s).c_str(), comment);
        std::fprintf(z80, "\tld %s, %s\t; %s\n", kZ80Registers[d], kZ80Registers[s], comment);
        break;
      case 1:
        std::fprintf(ours, "MVI %s, 0%02Xh\t; %s\n", ourName(d).c_str(), value, comment);
        std::fprintf(z80, "\tld %s, %u\t; %s\n", kZ80Registers[d], value, comment);
        break;
      case 2:
        std::fprintf(ours, "ADD %s\t; %s\n", ourName(s).c_str(), comment);
        std::fprintf(z80, "\tadd a, %s\t; %s\n", kZ80Registers[s], comment);
        break;
      default:
        std::fprintf(ours, "CMP %s\t; %s\n", ourName(s).c_str(), comment);
        std::fprintf(z80, "\tcp %s\t; %s\n", kZ80Registers[s], comment);
        break;
    }
  }
  std::fprintf(ours, "RET\n");
  std::fprintf(z80, "\tret\n");
  const bool closed = std::fclose(ours) == 0;
  return std::fclose(z80) == 0 && closed ? 0 : 1;
}
