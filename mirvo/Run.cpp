// mirvo run: run an image (or a source assembled in memory) as MirvoVM does,
// and show the result in a screenful: the outcome and where, the registers,
// flags and the memory the program changed; optionally every step.

#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>

#include "Commands.h"
#include "Output.h"
#include "Program.h"
#include "ProgramImage.h"
#include "StateMap.h"
#include "StateMapFile.h"
#include "Trace.h"

namespace mirvo::cli {

namespace {

constexpr const auto& kRegisters = kRegisterReportOrder;
constexpr const auto& kFlags = kFlagReportOrder;

// Slices of the run between which the trace buffer is looked at.
constexpr std::uint64_t kSlice = std::uint64_t{1} << 24;

struct ChangedByte {
  std::uint16_t address;
  std::uint8_t before;
  std::uint8_t after;
};

std::vector<ChangedByte> ChangedMemory(const VirtualMachine& machine, const std::vector<std::uint8_t>& image) {
  std::vector<ChangedByte> changed;
  for (std::size_t address = 0; address < kMemorySize; ++address) {
    const std::uint8_t before = address < image.size() ? image[address] : 0;
    const std::uint8_t after = machine.MemoryAt(static_cast<std::uint16_t>(address));
    if (before != after) changed.push_back({static_cast<std::uint16_t>(address), before, after});
  }
  return changed;
}

std::string HumanSummary(const Run& run, const VirtualMachine& machine, const std::vector<ChangedByte>& changed) {
  std::string text = "Outcome:   " + DescribeOutcome(run, machine) + "\n";
  text += "Steps:     " + std::to_string(run.Steps()) + "\n";
  const RegisterFile& registers = machine.GetRegisters();
  char line[128];
  for (std::size_t i = 0; i < std::size(kRegisters); ++i) {
    const unsigned value = registers[kRegisters[i].slot];
    // Columns are padded within a row, never at its end.
    const bool rowEnd = i == 3 || i + 1 == std::size(kRegisters);
    const std::string decimal = "(" + std::to_string(value) + ")";
    std::snprintf(line, sizeof(line), "%s%s %02Xh %-*s", i == 0 ? "Registers: " : i == 4 ? "\n           " : "  ",
                  kRegisters[i].name, value, rowEnd ? 0 : 5, decimal.c_str());
    text += line;
  }
  text += "\nFlags:    ";
  const FlagBytes& flags = machine.GetFlags();
  for (const NamedSlot& flag : kFlags) text += std::string(" ") + flag.name + "=" + std::to_string(flags[flag.slot] & 1U);
  std::snprintf(line, sizeof(line), "\nPC:        %04Xh (%u)\nSP:        %04Xh (%u)\n",
                static_cast<unsigned>(machine.GetProgramCounter()), static_cast<unsigned>(machine.GetProgramCounter()),
                static_cast<unsigned>(machine.GetStackPointer()), static_cast<unsigned>(machine.GetStackPointer()));
  text += line;
  if (changed.empty()) {
    text += "Memory:    no byte changed\n";
  } else {
    text += "Memory:    " + std::to_string(changed.size()) + (changed.size() == 1 ? " byte" : " bytes") +
            " changed (address: before -> after)\n";
    for (const ChangedByte& byte : changed) {
      std::snprintf(line, sizeof(line), "  %04Xh: %02Xh -> %02Xh\n", static_cast<unsigned>(byte.address),
                    static_cast<unsigned>(byte.before), static_cast<unsigned>(byte.after));
      text += line;
    }
  }
  return text;
}

nlohmann::ordered_json JsonSummary(const Run& run, const VirtualMachine& machine, const std::vector<ChangedByte>& changed) {
  nlohmann::ordered_json registers = nlohmann::ordered_json::object();
  for (const NamedSlot& reg : kRegisters) registers[reg.name] = machine.GetRegisters()[reg.slot];
  nlohmann::ordered_json flags = nlohmann::ordered_json::object();
  for (const NamedSlot& flag : kFlags) flags[flag.name] = machine.GetFlags()[flag.slot] & 1U;
  nlohmann::ordered_json bytes = nlohmann::ordered_json::array();
  for (const ChangedByte& byte : changed) {
    bytes.push_back({{"address", byte.address}, {"before", byte.before}, {"after", byte.after}});
  }
  return {{"outcome", OutcomeName(run.Outcome())},
          {"steps", run.Steps()},
          {"registers", registers},
          {"flags", flags},
          {"pc", machine.GetProgramCounter()},
          {"sp", machine.GetStackPointer()},
          {"changed", bytes}};
}

}  // namespace

int RunRun(const RunOptions& options) {
  LoadedProgram program;
  std::string reason;
  switch (LoadProgram(options.file, program, reason)) {
    case LoadResult::kLoaded:
      break;
    case LoadResult::kCannotRead:
      Report("%s", reason.c_str());
      return 1;
    case LoadResult::kSourceErrors:
      PrintDiagnostics(options.file, program.source, ColourWanted());
      return 1;
  }
  // A source's warnings are shown; they do not stop the run.
  if (program.fromSource) PrintDiagnostics(options.file, program.source, ColourWanted());

  const auto machine = std::make_unique<VirtualMachine>();
  const ImageStatus status = LoadImage(*machine, program.bytes.data(), program.bytes.size());
  if (status != ImageStatus::kLoaded) {
    Report("%s", DescribeImageStatus(status, options.file).c_str());
    return 1;
  }

  Output summary;
  summary.Open("");
  std::unique_ptr<Output> traceFile;
  Output* traceOutput = nullptr;
  if (options.trace.given) {
    if (options.trace.path.empty() || options.trace.path == "-") {
      traceOutput = &summary;
    } else {
      traceFile = std::make_unique<Output>();
      if (traceFile->Open(options.trace.path) != 0) return 1;
      traceOutput = traceFile.get();
    }
  }

  Run run(*machine, options.maxSteps);
  if (traceOutput != nullptr) {
    TraceWriter trace(*traceOutput, options.json);
    while (run.Resume(kSlice, &TraceWriter::Observe, &trace) == RunOutcome::kRunning) {
    }
    trace.Flush();
  } else {
    while (run.Resume(run.StepLimit()) == RunOutcome::kRunning) {
    }
  }

  int result = run.Outcome() == RunOutcome::kHalted ? 0 : 2;
  if (traceFile && traceFile->Commit() != 0) result = 1;
  if (options.stateMap.given) {
    const std::string mapPath = options.stateMap.path.empty() ? kStateMapFileName : options.stateMap.path;
    if (WriteStateMap(*machine, options.file.c_str(), mapPath.c_str()) != 0) {
      Report("cannot write %s", mapPath.c_str());
      result = 1;
    }
  }

  const std::vector<ChangedByte> changed = ChangedMemory(*machine, program.bytes);
  if (options.json) {
    summary.Write(JsonSummary(run, *machine, changed).dump() + "\n");
  } else {
    summary.Write(HumanSummary(run, *machine, changed));
  }
  if (summary.Commit() != 0) result = 1;
  return result;
}

}  // namespace mirvo::cli
