#include "CompilerFront.h"

int main(int argc, char** argv) { return mirvo::RunCompilerFront(argc, argv); }
