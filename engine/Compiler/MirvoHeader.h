#pragma once
// The text of include/mirvo.h, the header C programs for the machine
// include, built into the engine: the compiler reads #include <mirvo.h>
// from here, the page has no files, and the installed file is the same
// text for the host's compilers.

#include <string_view>

namespace mirvo::cc {

std::string_view MirvoHeaderText();

}  // namespace mirvo::cc
