#include "RunLoop.h"

#include "InstructionEffects.h"

#include <algorithm>
#include <cstdint>

namespace mirvo {

Run::Run(VirtualMachine& machine, std::uint64_t stepLimit)
    : machine(machine), stepLimit(stepLimit), saved(std::make_unique<VirtualMachine>(machine)) {}

bool Run::WrapRepeats() {
  if (*saved == machine) return true;
  // Brent: the saved state moves to the current one whenever the distance
  // between them reaches the next power of two.
  if (wraps - savedWrap == power) {
    *saved = machine;
    savedWrap = wraps;
    power *= 2;
  }
  return false;
}

RunOutcome Run::StepOnce(StepObserver observer, void* context) {
  const std::uint16_t before = machine.GetProgramCounter();
  StepRecord record;
  if (observer != nullptr) {
    record.step = steps + 1;
    record.address = before;
    record.bytes[0] = machine.MemoryAt(before);
    record.bytes[1] = machine.MemoryAt(static_cast<std::uint16_t>(before + 1));
    record.instruction = kDecodeTable[record.bytes[0]];
    record.registersBefore = machine.GetRegisters();
    record.flagsBefore = machine.GetFlags();
    record.readMemory = kUseTable[record.bytes[0]].loads;
    record.wroteMemory = record.instruction.writesMemory;
    const RegisterFile& r = record.registersBefore;
    record.memoryAddress = record.readMemory || record.wroteMemory ? HlAddress(r[kRegH], r[kRegL]) : 0;
    record.memoryBefore = machine.MemoryAt(record.memoryAddress);
  }
  const StepResult result = machine.Step();
  ++steps;
  const std::uint16_t after = machine.GetProgramCounter();
  if (observer != nullptr) {
    record.result = result;
    record.nextAddress = after;
    record.registersAfter = machine.GetRegisters();
    record.flagsAfter = machine.GetFlags();
    record.memoryAfter = machine.MemoryAt(record.memoryAddress);
    observer(context, record);
  }
  if (result == Halt) return RunOutcome::kHalted;
  if (after == before) return RunOutcome::kUndefinedOpcode;
  if (after < before) {
    ++wraps;
    if (WrapRepeats()) return RunOutcome::kLoopsForever;
  }
  return RunOutcome::kRunning;
}

RunOutcome Run::Resume(std::uint64_t budget, StepObserver observer, void* context) {
  return ResumeWith(budget, nullptr, observer, context);
}

RunOutcome Run::Resume(std::uint64_t budget, StepWatch& watch, StepObserver observer, void* context) {
  return ResumeWith(budget, &watch, observer, context);
}

RunOutcome Run::ResumeWith(std::uint64_t budget, StepWatch* watch, StepObserver observer, void* context) {
  if (outcome != RunOutcome::kRunning) return outcome;
  const std::uint64_t end = steps + std::min(budget, stepLimit - steps);
  while (steps < end) {
    if (observer == nullptr || watch != nullptr) {
      // Long stretches run threaded; halts, frozen steps, wraps and the
      // watch's events are left to StepOnce, which sees each of them through
      // Step itself.
      const auto room = static_cast<std::uint32_t>(std::min<std::uint64_t>(end - steps, UINT32_MAX));
      steps += watch != nullptr ? machine.RunWithoutWrap(room, *watch) : machine.RunWithoutWrap(room);
      if (steps >= end) break;
    }
    const RunOutcome result = StepOnce(observer, context);
    if (result != RunOutcome::kRunning) {
      outcome = result;
      return outcome;
    }
  }
  if (steps >= stepLimit) outcome = RunOutcome::kStepLimit;
  return outcome;
}

std::string DescribeOutcome(RunOutcome outcome, const Run& run, const VirtualMachine& machine) {
  const std::uint16_t pc = machine.GetProgramCounter();
  switch (outcome) {
    case RunOutcome::kHalted:
      return std::string("halted by the RET at ") + WordNotation(pc).text;
    case RunOutcome::kUndefinedOpcode:
      return std::string("stopped: the byte ") + ByteNotation(machine.MemoryAt(pc)).text + " at " +
             WordNotation(pc).text + " is no instruction";
    case RunOutcome::kLoopsForever: {
      const std::string earlier =
          run.RepeatOfWrap() == 0 ? std::string("the start") : "wrap " + std::to_string(run.RepeatOfWrap());
      return "loops forever without a RET: after wrap " + std::to_string(run.RepeatWrap()) +
             " of the program counter the machine is in the state it had at " + earlier;
    }
    case RunOutcome::kStepLimit:
      return "stopped: no RET within the step limit of " + std::to_string(run.StepLimit()) + " steps";
    case RunOutcome::kRunning:
      break;
    case RunOutcome::kBreakpoint:
      return std::string("stopped before the breakpoint at ") + WordNotation(pc).text;
    case RunOutcome::kWatchpoint:
      return std::string("stopped by a watchpoint, before ") + WordNotation(pc).text;
  }
  return std::string("paused at ") + WordNotation(pc).text;
}

namespace {

char* Append(char* out, const char* text) {
  while (*text != '\0') *out++ = *text++;
  return out;
}

}  // namespace

char* AppendChanges(char* out, const StepRecord& record, const char* separator, const char* arrow) {
  char* const changesStart = out;
  ForEachChange(
      record,
      [&](const char* name, unsigned before, unsigned after, bool flag) {
        out = Append(out, separator);
        out = Append(out, name);
        *out++ = ' ';
        if (flag) {
          *out++ = static_cast<char>('0' + before);
          out = Append(out, arrow);
          *out++ = static_cast<char>('0' + after);
        } else {
          out = AppendByte(out, static_cast<std::uint8_t>(before));
          out = Append(out, arrow);
          out = AppendByte(out, static_cast<std::uint8_t>(after));
        }
        separator = ", ";
      },
      [&](std::uint16_t address, std::uint8_t before, std::uint8_t after) {
        out = Append(out, separator);
        *out++ = '[';
        out = AppendWord(out, address);
        out = Append(out, "] ");
        out = AppendByte(out, before);
        out = Append(out, arrow);
        out = AppendByte(out, after);
      });
  if (out == changesStart) {
    out = Append(out, separator);
    out = Append(out, "nothing changed");
  }
  return out;
}

std::string ChangesInWords(const StepRecord& record, const char* arrow) {
  char text[kChangesRoom];
  return std::string(text, AppendChanges(text, record, "", arrow));
}

std::vector<ChangedByte> ChangedMemory(const VirtualMachine& machine, const VirtualMachine& start) {
  std::vector<ChangedByte> changed;
  for (std::size_t address = 0; address < kMemorySize; ++address) {
    const std::uint8_t before = start.MemoryAt(static_cast<std::uint16_t>(address));
    const std::uint8_t after = machine.MemoryAt(static_cast<std::uint16_t>(address));
    if (before != after) changed.push_back({static_cast<std::uint16_t>(address), before, after});
  }
  return changed;
}

RunOutcome RunToEnd(VirtualMachine& machine, std::uint64_t stepLimit, std::uint64_t* stepsTaken) {
  Run run(machine, stepLimit);
  const RunOutcome outcome = run.Resume(UINT64_MAX);
  if (stepsTaken != nullptr) *stepsTaken = run.Steps();
  return outcome;
}

}  // namespace mirvo
