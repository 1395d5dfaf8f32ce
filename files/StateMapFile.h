#pragma once
// The state map as a file in the current folder.

#include "CommandFiles.h"
#include "VirtualMachine.h"

namespace mirvo {

// Writes the report of machine, run from imagePath, to path (by default
// "MirvoVMStateMap.txt" in the current folder), replacing the old file only
// once the new one is complete, and never when path names one of the inputs
// of files. Returns 0, or 1 when it could not be written; the caller says so.
int WriteStateMap(const VirtualMachine& machine, const char* imagePath, const CommandFiles& files,
                  const char* path = nullptr);

}  // namespace mirvo
