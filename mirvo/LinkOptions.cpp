// mirvo link's options: the source or exercise, the page's address, and
// whether the link is the teacher's.

#include "CommandOptions.h"

namespace mirvo::cli {

AfterParse DeclareLink(CLI::App& app, LinkOptions& options) {
  app.add_option("FILE", options.file, "Source, or exercise file (.toml)")->required();
  options.base = "http://127.0.0.1:8080/";
  app.add_option("--base", options.base, "The page's address (default: make playground's)")->type_name("URL");
  app.add_flag("--with-hidden", options.withHidden,
               "The teacher's link: the whole exercise, its hidden cases and solution too");
  return nullptr;
}

}  // namespace mirvo::cli
