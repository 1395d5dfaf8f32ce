#include "AssemblerDriver.h"

int main(int argc, char** argv) { return mirvo::RunAssemblerProgram(argc, argv); }
