// mirvo dis's options: the image and the source to write.

#include "CommandOptions.h"

namespace mirvo::cli {

AfterParse DeclareDis(CLI::App& app, DisOptions& options) {
  app.add_option("IMAGE", options.image, "Program image")->required();
  app.add_option("-o,--output", options.output, "Source to write (default: standard output)")->type_name("SOURCE");
  AddProgramAs(app, options.as);
  return nullptr;
}

}  // namespace mirvo::cli
