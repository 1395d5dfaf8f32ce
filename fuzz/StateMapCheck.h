#pragma once

#include <string>

#include "VirtualMachine.h"

// Traps unless text, the report of machine run from path, has 65565 lines
// and parses back to the machine's registers, flags, program counter, stack
// pointer and memory.
void VerifyStateMap(const mirvo::VirtualMachine& machine, const std::string& path, const std::string& text);
