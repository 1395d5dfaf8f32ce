// mirvo check's options: the programs and what they are expected to do.

#include "CommandOptions.h"

namespace mirvo::cli {

AfterParse DeclareCheck(CLI::App& app, CheckOptions& options) {
  app.add_option("FILE", options.files, "Program images or sources (.asm)")->required();
  CLI::Option* const expect =
      app.add_option("--expect", options.expect, "Expectations, e.g. \"A=20h Z=1 halt\"")->type_name("EXPECTATIONS");
  CLI::Option* const expectFile =
      app.add_option("--expect-file", options.expectFile, "File of expectations (; comments)")->type_name("F");
  expect->excludes(expectFile);
  app.add_flag("--json", options.json, "One JSON object per program");
  AddMaxSteps(app, options.maxSteps, "Stop each run after N steps (at most 2^30)");
  AddProgramAs(app, options.as);
  return [expect, expectFile] {
    if (expect->count() == 0 && expectFile->count() == 0) throw CLI::RequiredError("--expect or --expect-file");
  };
}

}  // namespace mirvo::cli
