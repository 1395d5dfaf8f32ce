#pragma once

namespace mirvo {

// The MirvoVMCompiler program: banner, argument check, and the note that
// compiling is not implemented. Returns the process exit code.
int RunCompilerProgram(int argc, char** argv);

}  // namespace mirvo
