// The kinds of option several subcommands share.

#include "CommandOptions.h"

#include <string>

#include "TextEscape.h"

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

CLI::Validator WholeNumber(std::uint64_t least, std::uint64_t most) {
  const std::string form =
      "N is written in decimal digits, from " + std::to_string(least) + " to " + std::to_string(most);
  return CLI::Validator(
      [least, most, form](std::string& value) -> std::string {
        std::uint64_t number = 0;
        // Read as CLI11 reads the option's type (0x10 as well).
        if (!CLI::detail::lexical_cast(value, number)) return VisibleText(value) + " is not a whole number: " + form;
        if (number < least || number > most) {
          return "Value " + VisibleText(value) + " not in range " + std::to_string(least) + " to " +
                 std::to_string(most);
        }
        return std::string();
      },
      "N");
}

void AddMaxSteps(CLI::App& app, std::uint64_t& target, const std::string& help) {
  app.add_option("--max-steps", target, help)->type_name("N")->check(WholeNumber(1, mirvo::kStepLimit));
}

void AddProgramAs(CLI::App& app, ProgramAs& target) {
  AddChoice(app, "--as", target, {{"source", ProgramAs::kSource}, {"image", ProgramAs::kImage}},
            "Read the program as source or image, whatever its name and content");
}

}  // namespace mirvo::cli
