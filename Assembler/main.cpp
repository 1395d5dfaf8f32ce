#include "Assembler.h"

int main(int argc, char** argv) { return mirvo::RunAssemblerProgram(argc, argv); }
