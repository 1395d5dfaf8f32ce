#include "DocumentRun.h"

#include <memory>

#include "Expectations.h"
#include "ProgramImage.h"

namespace mirvo {

namespace {

// The arrow between a value before and after, as an editor shows it.
constexpr const char* kArrow = "\xE2\x86\x92";  // →

// Steps enough to pass every address once: the first wrap comes before.
constexpr std::uint64_t kFirstPassSteps = kMemorySize + 1;

// Sees every step of the first pass: the checks look at it, and the
// statement it starts keeps what it did, until the program counter wraps.
struct FirstPass {
  RunChecks* checks;
  const std::vector<StatementRecord>* statements;
  std::vector<StatementStep>* steps;
  bool wrapped = false;

  static void Observe(void* context, const StepRecord& record) {
    auto& pass = *static_cast<FirstPass*>(context);
    pass.checks->Look(record);
    if (pass.wrapped) return;
    if (record.nextAddress < record.address) pass.wrapped = true;
    const StatementRecord* const statement = StatementCovering(*pass.statements, record.address);
    if (statement == nullptr || statement->address != record.address) return;
    StatementStep& step = (*pass.steps)[static_cast<std::size_t>(statement - pass.statements->data())];
    if (step.ran) return;
    step = {true, record};
  }
};

// A problem with the given state at offset of its text.
GivenProblem ProblemAt(bool commented, const GivenComment& comment, std::uint32_t offset, std::string_view state,
                       std::string message) {
  GivenProblem problem;
  problem.message = std::move(message);
  if (!commented) return problem;
  problem.line = comment.line;
  std::size_t end = offset;
  while (end < state.size() && state[end] != ' ' && state[end] != '\t' && state[end] != '\r') ++end;
  problem.column = comment.column + static_cast<std::int32_t>(offset);
  problem.length = static_cast<std::int32_t>(end > offset ? end - offset : 1);
  return problem;
}

std::string OutcomeText(const Run& run, const VirtualMachine& machine) {
  std::string text = DescribeOutcome(run, machine);
  // The step limit's words name the count already.
  if (run.Outcome() == RunOutcome::kStepLimit) return text;
  return text + " after " + std::to_string(run.Steps()) + (run.Steps() == 1 ? " step" : " steps");
}

}  // namespace

std::string StepChanges(const StatementStep& step) { return ChangesInWords(step.record, kArrow); }

bool FindGivenComment(std::string_view text, GivenComment& found) {
  std::int32_t line = 1;
  for (std::size_t start = 0; start < text.size(); ++line) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view row = text.substr(start, end - start);
    const std::size_t comment = row.find(';');
    const std::size_t marker = comment == std::string_view::npos ? comment : row.find(kGivenMarker, comment);
    if (marker != std::string_view::npos) {
      const std::size_t state = marker + kGivenMarker.size();
      found.line = line;
      found.column = static_cast<std::int32_t>(state + 1);
      found.state = row.substr(state);
      return true;
    }
    start = end + 1;
  }
  return false;
}

DocumentRun RunDocument(const Program& program, std::string_view setting, std::uint64_t stepLimit) {
  DocumentRun result;
  if (!program.IsSource() || program.HasErrors()) return result;
  GivenComment comment;
  const bool commented = FindGivenComment(program.Text(), comment);
  const std::string_view state = commented ? comment.state : setting;
  std::vector<Expectation> given;
  SyntaxError error;
  if (ParseState(state, StateRole::kGiven, given, error) != 0) {
    result.problems.push_back(ProblemAt(commented, comment, error.offset, state, "the given state: " + error.message));
    return result;
  }
  const std::span<const std::uint8_t> image = program.Image();
  const auto machine = std::make_unique<VirtualMachine>();
  LoadImage(*machine, image.data(), image.size());
  const Expectation* conflict = nullptr;
  if (ApplyGiven(given, image.size(), *machine, &conflict) != 0) {
    result.problems.push_back(
        ProblemAt(commented, comment, conflict->offset, state, DescribeConflict(*conflict, image.size())));
    return result;
  }
  RunChecks checks(program.Checked(GivenRegisters(given)), kAllChecks);
  checks.KeepAtMost(kDocumentFindings);
  const std::vector<StatementRecord>& statements = program.Assembly()->GetStatements();
  result.statements.resize(statements.size());
  Run run(*machine, stepLimit);
  FirstPass pass{&checks, &statements, &result.statements};
  run.Resume(kFirstPassSteps, &FirstPass::Observe, &pass);
  // After the first wrap the statements have shown their steps: the rest
  // runs in the watched threaded loop.
  while (checks.Resume(run, run.StepLimit()) == RunOutcome::kRunning) {
  }
  result.ran = true;
  result.outcome = run.Outcome();
  result.steps = run.Steps();
  result.outcomeText = OutcomeText(run, *machine);
  result.findings = checks.Findings();
  result.findingsLeftOut = checks.LeftOut();
  return result;
}

}  // namespace mirvo
