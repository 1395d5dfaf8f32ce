// mirvo fmt's options: the sources, and whether only to check them.

#include "CommandOptions.h"

namespace mirvo::cli {

AfterParse DeclareFmt(CLI::App& app, FmtOptions& options) {
  app.add_option("SOURCE", options.files, "Assembly sources, each replaced by its laid-out text")->required();
  app.add_flag("--check", options.check, "Change nothing; fail if a source is not laid out");
  app.add_flag("--in-place", options.inPlace,
               "Write over a source that a new file cannot replace (hard link, owner, folder)");
  return nullptr;
}

}  // namespace mirvo::cli
