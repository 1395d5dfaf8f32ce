// The kinds of option several subcommands share.

#include "CommandOptions.h"

namespace mirvo::cli {

CLI::Option* AddOptionalPath(CLI::App& app, const std::string& name, OptionalPath& target, const std::string& help) {
  CLI::Option* const option = app.add_flag(name + "{-}", target.path, help);
  option->type_name("[=FILE]");
  return option;
}

void Settle(OptionalPath& path, const CLI::Option* option) {
  path.given = option->count() > 0;
  if (path.path == "-") path.path.clear();
}

void AddMaxSteps(CLI::App& app, std::uint64_t& target, const std::string& help) {
  app.add_option("--max-steps", target, help)->type_name("N")->check(CLI::Range(std::uint64_t{1}, mirvo::kStepLimit));
}

void AddProgramAs(CLI::App& app, ProgramAs& target) {
  AddChoice(app, "--as", target, {{"source", ProgramAs::kSource}, {"image", ProgramAs::kImage}},
            "Read the program as source or image, whatever its name and content");
}

}  // namespace mirvo::cli
