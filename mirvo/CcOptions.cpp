// mirvo cc's options: the C source, the assembly and image to write, JSON
// and the optimisation level.

#include "CommandOptions.h"

namespace mirvo::cli {

AfterParse DeclareCc(CLI::App& app, CcOptions& options) {
  app.add_option("SOURCE", options.source, "C source")->required();
  app.add_option("-S,--assembly", options.assembly, "Assembly to write (default: SOURCE with .asm)")->type_name("FILE");
  app.add_option("-o,--output", options.image, "Image to write as well")->type_name("IMAGE");
  app.add_flag("--json", options.json, "Print one JSON object instead of the diagnostics");
  AddChoice(app, "-O", options.level, std::map<std::string, int>{{"0", 0}, {"1", 1}},
            "0: each statement on its own, for reading; 1 (default): optimised");
  return nullptr;
}

}  // namespace mirvo::cli
