// mirvo fmt's options: the sources, and whether only to check them.

#include "CommandOptions.h"

namespace mirvo::cli {

AfterParse DeclareFmt(CLI::App& app, FmtOptions& options) {
  app.add_option("SOURCE", options.files, "Assembly sources, rewritten in place")->required();
  app.add_flag("--check", options.check, "Change nothing; fail if a source is not laid out");
  return nullptr;
}

}  // namespace mirvo::cli
