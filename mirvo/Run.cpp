// mirvo run: run an image (or a source assembled in memory) as MirvoVM does,
// and show the result in a screenful: the outcome and where, the registers,
// flags and the memory the program changed; optionally every step.

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "Commands.h"
#include "EngineJson.h"
#include "Expectations.h"
#include "JsonText.h"
#include "Output.h"
#include "ProgramFile.h"
#include "StateMap.h"
#include "StateMapFile.h"
#include "TextEscape.h"
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
    std::snprintf(line, sizeof(line), "%s%s %-*s",
                  i == 0   ? "Registers: "
                  : i == 4 ? "\n           "
                           : "  ",
                  kRegisters[i].name, rowEnd ? 0 : 9, shown.c_str());
    text += line;
  }
  text += "\nFlags:    ";
  const FlagBytes& flags = machine.GetFlags();
  for (const NamedSlot& flag : kFlags)
    text += std::string(" ") + flag.name + "=" + std::to_string(flags[flag.slot] & 1U);
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

// What the options ask of a run, settled before a byte is read: the state
// it starts from, whether the trace goes to a file, where the state map
// goes, and the command's files, so that no output is one of its inputs.
struct RunPlan {
  std::vector<Expectation> given;
  bool traceToFile = false;
  std::string mapPath;
  CommandFiles files;
};

// 0; kUsageExit after saying what is wrong with --given; 1 after saying
// which output names the input.
int PlanRun(const RunOptions& options, RunPlan& plan) {
  SyntaxError error;
  if (ParseState(options.given, StateRole::kGiven, plan.given, error) != 0) {
    return ReportUsage("run", "--given: %s", VisibleText(error.message).c_str());
  }
  plan.traceToFile = options.trace.given && !IsStandardOutput(options.trace.path);
  plan.mapPath = options.stateMap.path.empty() ? kStateMapFileName : options.stateMap.path;
  plan.files.AddInput(options.file);
  if (plan.traceToFile) plan.files.AddOutput("trace", options.trace.path);
  if (options.stateMap.given) plan.files.AddOutput("state map", plan.mapPath);
  return RefuseInputsAsOutputs(plan.files);
}

// The program on the machine it runs on, the given state applied; start is
// that machine before the first step, to tell which bytes the run changed.
// checks is null when every check is off: nothing watches the run, and the
// threaded loop runs at full speed.
struct LoadedRun {
  Program program;
  std::unique_ptr<VirtualMachine> machine;
  std::unique_ptr<VirtualMachine> start;
  std::unique_ptr<RunChecks> checks;
};

// 0, or 1 after saying why the program cannot be read or the given state
// does not fit it.
int LoadRun(const RunOptions& options, const RunPlan& plan, LoadedRun& loaded) {
  if (LoadProgramOrSay(options.file, options.as, loaded.program) != 0) return 1;
  // A source's warnings are shown; they do not stop the run.
  PrintDiagnostics(loaded.program, ColourWanted());
  const std::span<const std::uint8_t> image = loaded.program.Image();
  loaded.machine = std::make_unique<VirtualMachine>();
  LoadImage(*loaded.machine, image.data(), image.size());
  const Expectation* conflict = nullptr;
  if (ApplyGiven(plan.given, image.size(), *loaded.machine, &conflict) != 0) {
    Report("%s", DescribeConflict(*conflict, image.size()).c_str());
    return 1;
  }
  loaded.start = std::make_unique<VirtualMachine>(*loaded.machine);
  if (options.checks != 0) {
    loaded.checks = std::make_unique<RunChecks>(loaded.program.Checked(GivenRegisters(plan.given)), options.checks);
  }
  return 0;
}

// Where the run's words go: the summary on standard output, the trace there
// too or in a file of its own; trace is null when no trace is asked for.
struct RunOutputs {
  Output summary;
  Output traceFile;
  Output* trace = nullptr;
};

// 0, or 1 after saying the trace file cannot be created.
int OpenRunOutputs(const RunOptions& options, const RunPlan& plan, RunOutputs& outputs) {
  outputs.summary.OpenStandardOutput();
  if (!options.trace.given) return 0;
  outputs.trace = &outputs.summary;
  if (!plan.traceToFile) return 0;
  if (outputs.traceFile.OpenFile(options.trace.path, plan.files) != 0) return 1;
  outputs.trace = &outputs.traceFile;
  return 0;
}

// Writes a line for each of the run's first steps (at most --trace-limit)
// to output, the checks watching the same steps. 0, or 1 after saying the
// trace cannot be written.
int TraceRun(const RunOptions& options, Run& run, RunChecks* checks, Output& output) {
  TraceWriter trace(output, options.json, options.explain);
  TracedRun both{&trace, checks};
  const StepObserver observer = checks != nullptr ? &TracedRun::Observe : &TraceWriter::Observe;
  void* const context = checks != nullptr ? static_cast<void*>(&both) : static_cast<void*>(&trace);
  while (run.Outcome() == RunOutcome::kRunning && run.Steps() < options.traceLimit && !output.Failed()) {
    run.Resume(std::min(kTraceSlice, options.traceLimit - run.Steps()), observer, context);
  }
  if (run.Outcome() == RunOutcome::kRunning) trace.WriteLimitNote(options.traceLimit);
  trace.Flush();
  if (!output.Flush()) {
    output.ReportFailure();
    return 1;
  }
  return 0;
}

// Runs the program to its end or the step limit, traced first when asked.
// 0, or 1 when the trace cannot be written: that ends the run, for nothing
// more is computed for an output that is lost.
int RunToEnd(const RunOptions& options, Run& run, RunChecks* checks, Output* trace) {
  if (trace != nullptr && TraceRun(options, run, checks, *trace) != 0) return 1;
  if (checks != nullptr) {
    while (checks->Resume(run, run.StepLimit()) == RunOutcome::kRunning) {
    }
  } else {
    while (run.Resume(run.StepLimit()) == RunOutcome::kRunning) {
    }
  }
  return 0;
}

// Shows how the run ended: the checks' warnings, the trace file and the
// state map put in place, then the summary. The exit code: 0 when the
// program halted, 2 for any other end, 1 when an output cannot be written.
int ReportRun(const RunOptions& options, const RunPlan& plan, const LoadedRun& loaded, const Run& run,
              RunOutputs& outputs) {
  // The checks warn; they never change the outcome or the exit code.
  if (loaded.checks) PrintChecks(loaded.program, *loaded.checks, ColourWanted());
  int result = run.Outcome() == RunOutcome::kHalted ? 0 : 2;
  if (plan.traceToFile && outputs.traceFile.Commit() != 0) result = 1;
  if (options.stateMap.given) {
    errno = 0;
    if (WriteStateMap(*loaded.machine, options.file.c_str(), plan.files, plan.mapPath.c_str()) != 0) {
      Report("cannot write %s: %s", plan.mapPath.c_str(), std::strerror(errno != 0 ? errno : EIO));
      result = 1;
    }
  }
  const std::vector<ChangedByte> changed = ChangedMemory(*loaded.machine, *loaded.start);
  if (options.json) {
    const std::span<const CheckFinding> findings =
        loaded.checks ? loaded.checks->Findings() : std::span<const CheckFinding>();
    outputs.summary.Write(DumpJson(RunSummaryJson(run, *loaded.machine, changed, findings)) + "\n");
  } else {
    outputs.summary.Write(HumanSummary(run, *loaded.machine, changed));
  }
  if (outputs.summary.Commit() != 0) result = 1;
  return result;
}

}  // namespace

int RunRun(const RunOptions& options) {
  RunPlan plan;
  if (const int refused = PlanRun(options, plan); refused != 0) return refused;
  LoadedRun loaded;
  if (LoadRun(options, plan, loaded) != 0) return 1;
  RunOutputs outputs;
  if (OpenRunOutputs(options, plan, outputs) != 0) return 1;
  Run run(*loaded.machine, options.maxSteps);
  if (RunToEnd(options, run, loaded.checks.get(), outputs.trace) != 0) return 1;
  return ReportRun(options, plan, loaded, run, outputs);
}

}  // namespace mirvo::cli
