#pragma once

namespace mirvo {

// The whole MirvoVM program: loads the image named by argv[1], runs it and
// writes the state map. Returns the process exit code: 0 after a halt, 2 when
// the run had to be stopped, 1 when the image or the report failed.
int RunVirtualMachineProgram(int argc, char** argv);

}  // namespace mirvo
