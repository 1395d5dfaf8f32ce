#include "Compiler.h"

namespace mirvo::cc {

CompileResult Compile(std::string_view source, const CompileOptions& options) {
  (void)source;
  (void)options;
  return {};
}

}  // namespace mirvo::cc
