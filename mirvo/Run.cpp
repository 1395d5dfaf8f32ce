// mirvo run: run an image (or a source assembled in memory) as MirvoVM does,
// and show the result in a screenful: the outcome and where, the registers,
// flags and the memory the program changed; optionally every step.

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "Commands.h"
#include "EngineJson.h"
#include "Expectations.h"
#include "JsonText.h"
#include "Output.h"
#include "ProgramFile.h"
#include "StateMap.h"
#include "StateMapFile.h"
#include "Trace.h"

namespace mirvo::cli {

namespace {

constexpr const auto& kRegisters = kRegisterReportOrder;
constexpr const auto& kFlags = kFlagReportOrder;

// Steps traced between two looks at the trace's output, so that a write
// error stops the run within a few milliseconds.
constexpr std::uint64_t kTraceSlice = std::uint64_t{1} << 16;

std::string HumanSummary(const Run& run, const VirtualMachine& machine, const std::vector<ChangedByte>& changed) {
  std::string text = "Outcome:   " + DescribeOutcome(run, machine) + "\n";
  text += "Steps:     " + std::to_string(run.Steps()) + "\n";
  const RegisterFile& registers = machine.GetRegisters();
  char line[128];
  for (std::size_t i = 0; i < std::size(kRegisters); ++i) {
    const std::uint8_t value = registers[kRegisters[i].slot];
    // Columns are padded within a row, never at its end, to the width of
    // "20h (255)"; a byte written with four characters widens its column.
    const bool rowEnd = i == 3 || i + 1 == std::size(kRegisters);
    const std::string shown = std::string(ByteNotation(value).text) + " (" + std::to_string(value) + ")";
    std::snprintf(line, sizeof(line), "%s%s %-*s", i == 0 ? "Registers: " : i == 4 ? "\n           " : "  ",
                  kRegisters[i].name, rowEnd ? 0 : 9, shown.c_str());
    text += line;
  }
  text += "\nFlags:    ";
  const FlagBytes& flags = machine.GetFlags();
  for (const NamedSlot& flag : kFlags) text += std::string(" ") + flag.name + "=" + std::to_string(flags[flag.slot] & 1U);
  std::snprintf(line, sizeof(line), "\nPC:        %s (%u)\nSP:        %s (%u)\n",
                WordNotation(machine.GetProgramCounter()).text, static_cast<unsigned>(machine.GetProgramCounter()),
                WordNotation(machine.GetStackPointer()).text, static_cast<unsigned>(machine.GetStackPointer()));
  text += line;
  if (changed.empty()) {
    text += "Memory:    no byte changed\n";
  } else {
    text += "Memory:    " + std::to_string(changed.size()) + (changed.size() == 1 ? " byte" : " bytes") +
            " changed (address: before -> after)\n";
    for (const ChangedByte& byte : changed) {
      std::snprintf(line, sizeof(line), "  %s: %s -> %s\n", WordNotation(byte.address).text,
                    ByteNotation(byte.before).text, ByteNotation(byte.after).text);
      text += line;
    }
  }
  return text;
}

// Each check's finding as a warning, with the source line and a caret when
// the program came from a source.
void PrintChecks(const Program& program, const RunChecks& checks, bool colour) {
  const SourceLines lines(program.Text());
  std::string text;
  for (const CheckFinding& finding : checks.Findings()) {
    const DiagnosticPlace place{finding.line, finding.column, finding.length};
    text.clear();
    AppendDiagnostic(text, program.Name(), lines, place, Severity::kWarning,
                     finding.message + " [-W" + CheckRowOf(finding.id).name + "]", colour);
    std::fwrite(text.data(), 1, text.size(), stderr);
  }
}

// The trace and the checks both see every step of a traced run.
struct TracedRun {
  TraceWriter* trace;
  RunChecks* checks;
  static void Observe(void* context, const StepRecord& record) {
    auto& both = *static_cast<TracedRun*>(context);
    both.checks->Look(record);
    TraceWriter::Observe(both.trace, record);
  }
};

}  // namespace

int RunRun(const RunOptions& options) {
  std::vector<Expectation> given;
  SyntaxError error;
  if (ParseState(options.given, StateRole::kGiven, given, error) != 0) {
    std::fprintf(stderr, "%s: --given: %s\nTry '%s run --help' for more information.\n", kProgramName,
                 error.message.c_str(), kProgramName);
    return kUsageExit;
  }
  const bool traceToFile = options.trace.given && !IsStandardOutput(options.trace.path);
  const std::string mapPath = options.stateMap.path.empty() ? kStateMapFileName : options.stateMap.path;
  CommandFiles files;
  files.AddInput(options.file);
  if (traceToFile) files.AddOutput("trace", options.trace.path);
  if (options.stateMap.given) files.AddOutput("state map", mapPath);
  if (RefuseInputsAsOutputs(files) != 0) return 1;

  Program program;
  if (LoadProgramOrSay(options.file, options.as, program) != 0) return 1;
  // A source's warnings are shown; they do not stop the run.
  PrintDiagnostics(program, ColourWanted());

  const auto machine = std::make_unique<VirtualMachine>();
  LoadImage(*machine, program.Image().data(), program.Image().size());
  const Expectation* conflict = nullptr;
  if (ApplyGiven(given, program.Image().size(), *machine, &conflict) != 0) {
    Report("%s", DescribeConflict(*conflict, program.Image().size()).c_str());
    return 1;
  }
  const auto start = std::make_unique<VirtualMachine>(*machine);

  Output summary;
  summary.OpenStandardOutput();
  Output traceFile;
  Output* traceOutput = nullptr;
  if (options.trace.given) {
    traceOutput = &summary;
    if (traceToFile) {
      if (traceFile.OpenFile(options.trace.path, files) != 0) return 1;
      traceOutput = &traceFile;
    }
  }

  Run run(*machine, options.maxSteps);
  // With every check off, nothing watches the run: the threaded loop runs
  // at full speed.
  std::unique_ptr<RunChecks> checks;
  if (options.checks != 0) checks = std::make_unique<RunChecks>(program.Checked(GivenRegisters(given)), options.checks);
  if (traceOutput != nullptr) {
    TraceWriter trace(*traceOutput, options.json, options.explain);
    TracedRun both{&trace, checks.get()};
    const StepObserver observer = checks ? &TracedRun::Observe : &TraceWriter::Observe;
    void* const context = checks ? static_cast<void*>(&both) : static_cast<void*>(&trace);
    while (run.Outcome() == RunOutcome::kRunning && run.Steps() < options.traceLimit && !traceOutput->Failed()) {
      run.Resume(std::min(kTraceSlice, options.traceLimit - run.Steps()), observer, context);
    }
    if (run.Outcome() == RunOutcome::kRunning) trace.WriteLimitNote(options.traceLimit);
    trace.Flush();
    // A trace that cannot be written ends the run: nothing more is computed
    // for an output that is lost.
    if (!traceOutput->Flush()) {
      traceOutput->ReportFailure();
      return 1;
    }
  }
  if (checks) {
    while (checks->Resume(run, run.StepLimit()) == RunOutcome::kRunning) {
    }
  } else {
    while (run.Resume(run.StepLimit()) == RunOutcome::kRunning) {
    }
  }
  // The checks warn; they never change the outcome or the exit code.
  if (checks) PrintChecks(program, *checks, ColourWanted());

  int result = run.Outcome() == RunOutcome::kHalted ? 0 : 2;
  if (traceToFile && traceFile.Commit() != 0) result = 1;
  if (options.stateMap.given) {
    errno = 0;
    if (WriteStateMap(*machine, options.file.c_str(), files, mapPath.c_str()) != 0) {
      Report("cannot write %s: %s", mapPath.c_str(), std::strerror(errno != 0 ? errno : EIO));
      result = 1;
    }
  }

  const std::vector<ChangedByte> changed = ChangedMemory(*machine, *start);
  if (options.json) {
    const std::span<const CheckFinding> findings = checks ? checks->Findings() : std::span<const CheckFinding>();
    summary.Write(DumpJson(RunSummaryJson(run, *machine, changed, findings)) + "\n");
  } else {
    summary.Write(HumanSummary(run, *machine, changed));
  }
  if (summary.Commit() != 0) result = 1;
  return result;
}

}  // namespace mirvo::cli
