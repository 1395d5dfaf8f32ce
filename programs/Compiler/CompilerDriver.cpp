#include "CompilerDriver.h"

#include <cstdio>

#include "Banner.h"

namespace mirvo {

int RunCompilerProgram(int argc, char** argv) {
  PrintBanner("----------------------\n", "MirvoVM Compiler v%s\n");
  std::printf("This application has not yet been implemented...\n\n");
  if (argc < 2) {
    std::printf("Invalid arguments!\nUsage: MirvoVMCompiler <filename>\n\n");
    return 1;
  }
  std::printf("Opening %s ...\n", argv[1]);
  std::printf("\nTODO: Read in and compile the .c file\n");
  return 0;
}

}  // namespace mirvo
