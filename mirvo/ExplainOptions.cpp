// mirvo explain's options: the check to explain, or the manual of them all.

#include "CommandOptions.h"

namespace mirvo::cli {

AfterParse DeclareExplain(CLI::App& app, ExplainOptions& options) {
  app.add_option("ID", options.id, "The check's id");
  app.add_flag("--man", options.man, "Print the manual page of every check, or of ID alone (roff)");
  return nullptr;
}

}  // namespace mirvo::cli
