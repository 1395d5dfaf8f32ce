#pragma once
// Tells whether two paths name one file, so a program can refuse to write
// its output over its own input.

namespace mirvo {

// True when both paths reach the same file (same device and inode) after
// following symbolic links; a path that names nothing is never the same.
bool IsSameFile(const char* first, const char* second);

}  // namespace mirvo
