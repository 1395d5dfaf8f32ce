#include "CompilerDriver.h"

int main(int argc, char** argv) { return mirvo::RunCompilerProgram(argc, argv); }
