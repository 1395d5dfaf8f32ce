#include "VmDriver.h"

int main(int argc, char** argv) { return mirvo::RunVirtualMachineProgram(argc, argv); }
