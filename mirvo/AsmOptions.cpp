// mirvo asm's options: the source, the image to write, a listing, JSON and
// the sure fixes.

#include "CommandOptions.h"

namespace mirvo::cli {

AfterParse DeclareAsm(CLI::App& app, AsmOptions& options) {
  app.add_option("SOURCE", options.source, "Assembly source")->required();
  app.add_option("-o,--output", options.image, "Image to write (default: SOURCE with .bin)")->type_name("IMAGE");
  CLI::Option* const listing =
      AddOptionalPath(app, "--listing", options.listing, "Write a listing to standard output or FILE");
  app.add_flag("--json", options.json, "Print one JSON object instead of the diagnostics");
  app.add_flag("--fix", options.fix, "Apply the fixes that are sure to SOURCE first");
  CLI::Option* const inPlace =
      app.add_flag("--in-place", options.inPlace, "With --fix, write over a SOURCE that a new file cannot replace");
  return [&options, listing, inPlace] {
    if (inPlace->count() > 0 && !options.fix) throw CLI::ValidationError("--in-place", "is for --fix");
    // The JSON object takes standard output.
    if (options.json && listing->count() > 0 && (options.listing.path.empty() || options.listing.path == "-")) {
      throw CLI::ValidationError("--listing", "with --json the listing needs a FILE: --listing=FILE");
    }
    Settle(options.listing, listing);
  };
}

}  // namespace mirvo::cli
