#pragma once
// The kinds of option several subcommands share, and each subcommand's
// declaration of its options on its own CLI::App (AsmOptions.cpp,
// RunOptions.cpp, ...), which the table in CommandLine.cpp names.

#include <CLI/CLI.hpp>
#include <cstdint>
#include <map>
#include <string>

#include "CommandLine.h"

namespace mirvo::cli {

// An option that takes its value only after "=" ("--trace" or
// "--trace=FILE"), so it never swallows the file name that follows it.
// "-" stands for the default destination; Settle says so once parsed.
CLI::Option* AddOptionalPath(CLI::App& app, const std::string& name, OptionalPath& target, const std::string& help);
void Settle(OptionalPath& path, const CLI::Option* option);

// A whole number from least to most, for an option of a count: one that is
// no whole number ("1e3", "1.5") is named with the form expected
// ("--max-steps: 1e3 is not a whole number: N is written in decimal digits,
// from 1 to 1073741824"), one out of range with the range.
CLI::Validator WholeNumber(std::uint64_t least, std::uint64_t most);

// --max-steps N: a step limit from 1 to the driver's own.
void AddMaxSteps(CLI::App& app, std::uint64_t& target, const std::string& help);

// --as source|image: how a program file is read when its name or content
// should not decide.
void AddProgramAs(CLI::App& app, ProgramAs& target);

// An option that takes one of a few words, each standing for a value of an
// enumeration; any other word is refused with the list of the words.
template <typename T>
CLI::Option* AddChoice(CLI::App& app, const std::string& name, T& target, const std::map<std::string, T>& words,
                       const std::string& help) {
  std::string list;
  for (const auto& [word, value] : words) list += (list.empty() ? "" : "|") + word;
  const CLI::Validator choice(
      [words, list](std::string& value) -> std::string {
        const auto found = words.find(value);
        if (found == words.end()) return "'" + value + "' is none of " + list;
        value = std::to_string(static_cast<int>(found->second));
        return "";
      },
      "");
  return app.add_option(name, target, help)->type_name(list)->transform(choice);
}

AfterParse DeclareAsm(CLI::App& app, AsmOptions& options);
AfterParse DeclareRun(CLI::App& app, RunOptions& options);
AfterParse DeclareDis(CLI::App& app, DisOptions& options);
AfterParse DeclareCheck(CLI::App& app, CheckOptions& options);
AfterParse DeclareTest(CLI::App& app, TestOptions& options);
AfterParse DeclareLink(CLI::App& app, LinkOptions& options);
AfterParse DeclareExplain(CLI::App& app, ExplainOptions& options);
AfterParse DeclareFmt(CLI::App& app, FmtOptions& options);
AfterParse DeclareCc(CLI::App& app, CcOptions& options);

// mirvo test grades, or with --validate checks the exercise alone.
int RunTestOrValidate(const TestOptions& options);

}  // namespace mirvo::cli
