#pragma once

namespace mirvo {

// The whole MirvoVMAssembler program: assembles argv[1] into the image
// argv[2]. Returns the process exit code: 0 after "Assembly Complete", 1
// after "Assembly Failure!" or the usage text.
int RunAssemblerProgram(int argc, char** argv);

}  // namespace mirvo
