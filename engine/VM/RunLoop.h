#pragma once
// Running a loaded machine to its end, in one call or in slices, with an
// optional observer of every step.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "VirtualMachine.h"

namespace mirvo {

// How a run ended, or why it paused. Every front end names and describes an
// outcome with kOutcomeNames and DescribeOutcome, written once below.
enum class RunOutcome {
  kHalted,           // a RET found the stack empty
  kUndefinedOpcode,  // a step left the program counter where it was: frozen for ever
  kLoopsForever,     // the machine came back to a state it had at an earlier wrap
  kStepLimit,        // stepLimit steps without any of the above
  kRunning,          // the budget of the last Resume ran out first; more can follow
  kBreakpoint,       // a front end stopped the run before an instruction it marked; more can follow
  kWatchpoint,       // a front end stopped the run after a step that changed or ran what it watches
};

// Each outcome's name in machine-readable reports and expectations, indexed
// by its value.
inline constexpr std::array<const char*, 7> kOutcomeNames = {
    "halt", "undefined-opcode", "loops-forever", "step-limit", "running", "breakpoint", "watchpoint"};
constexpr const char* OutcomeName(RunOutcome outcome) { return kOutcomeNames[static_cast<std::size_t>(outcome)]; }
// True for the outcomes that end a run; after the others it can go on.
constexpr bool IsFinal(RunOutcome outcome) {
  return outcome != RunOutcome::kRunning && outcome != RunOutcome::kBreakpoint && outcome != RunOutcome::kWatchpoint;
}

// The driver's backstop: a run that neither halts nor is proved endless
// within this many steps is stopped.
inline constexpr std::uint64_t kStepLimit = std::uint64_t{1} << 30;

// What one step did, as an observer sees it: the instruction at address,
// and every register, flag and memory byte before and after.
struct StepRecord {
  std::uint64_t step;         // counted from 1 over the whole run
  std::uint16_t address;      // program counter before the step
  std::uint16_t nextAddress;  // program counter after it
  Instruction instruction;    // decoded from bytes[0]
  std::uint8_t bytes[2];      // the instruction's bytes; bytes[1] only for a 2-byte one
  StepResult result;
  RegisterFile registersBefore;
  RegisterFile registersAfter;
  FlagBytes flagsBefore;
  FlagBytes flagsAfter;
  bool readMemory;              // the step read the byte at memoryAddress (Mem as a source)
  bool wroteMemory;             // the instruction stored a byte there (Instruction::writesMemory)
  std::uint16_t memoryAddress;  // HL, when the step used Mem
  std::uint8_t memoryBefore;    // the byte there before the step: the byte read
  std::uint8_t memoryAfter;
};

// What a step changed, in the order every report lists it: each register
// that differs (A first), as changed(name, before, after, false), then each
// flag that differs, as changed(name, before, after, true); then, for a byte
// it stored, stored(address, before, after).
template <class Changed, class Stored>
void ForEachChange(const StepRecord& record, Changed changed, Stored stored) {
  for (const NamedSlot& reg : kRegisterReportOrder) {
    const unsigned before = record.registersBefore[reg.slot];
    const unsigned after = record.registersAfter[reg.slot];
    if (before != after) changed(reg.name, before, after, false);
  }
  for (const NamedSlot& flag : kFlagReportOrder) {
    const unsigned before = record.flagsBefore[flag.slot] & 1U;
    const unsigned after = record.flagsAfter[flag.slot] & 1U;
    if (before != after) changed(flag.name, before, after, true);
  }
  if (record.wroteMemory) stored(record.memoryAddress, record.memoryBefore, record.memoryAfter);
}

// What a step changed in words, the first item after separator, the others
// after ", ", arrow between each value before and after: "A 00h->0FFh",
// "Z 0->1", "[0009h] 46h->0C9h", or else "nothing changed". Returns the end
// of what it wrote; out must hold kChangesRoom bytes, for an arrow and a
// separator of at most four bytes each.
inline constexpr std::size_t kChangesRoom = 256;
char* AppendChanges(char* out, const StepRecord& record, const char* separator, const char* arrow);
// The same as a string.
std::string ChangesInWords(const StepRecord& record, const char* arrow);

// Called after each step with what it did; context is the caller's.
using StepObserver = void (*)(void* context, const StepRecord& record);

// A run of one machine from the state it had when the run was made. The step
// count and the endless-loop detector live here, so a run can be resumed in
// slices with the same outcome and step count as one call, or as calling
// Step one at a time.
//
// Without jumps the program counter only moves forward, so the state at each
// wrap past 0xFFFF determines the next one: the states at the wraps (the
// starting state first) are searched for a repeat with Brent's cycle
// detection, which compares whole machines and so never reports a loop that
// is not there.
class Run {
 public:
  explicit Run(VirtualMachine& machine, std::uint64_t stepLimit = kStepLimit);
  Run(const Run&) = delete;
  Run& operator=(const Run&) = delete;

  // Executes at most budget more steps. Returns kRunning if the budget ran
  // out first, else the outcome, which every later call returns again.
  // Without an observer the threaded loop runs the long stretches.
  RunOutcome Resume(std::uint64_t budget, StepObserver observer = nullptr, void* context = nullptr);
  // The same through the watched threaded loop: observer sees only the steps
  // that the loop hands back (those with an event for watch, halts, frozen
  // steps and steps near a wrap), and must keep watch.written up to date
  // for them.
  RunOutcome Resume(std::uint64_t budget, StepWatch& watch, StepObserver observer, void* context);

  RunOutcome Outcome() const { return outcome; }
  std::uint64_t Steps() const { return steps; }
  // Wraps of the program counter past 0xFFFF so far.
  std::uint64_t Wraps() const { return wraps; }
  // For kLoopsForever: the state after wrap RepeatWrap() equals the state
  // after wrap RepeatOfWrap() (0 stands for the start of the run).
  std::uint64_t RepeatWrap() const { return wraps; }
  std::uint64_t RepeatOfWrap() const { return savedWrap; }
  std::uint64_t StepLimit() const { return stepLimit; }

 private:
  // Steps once through Step and classifies what happened.
  RunOutcome StepOnce(StepObserver observer, void* context);
  // Resume's loop, with the threaded loop watched or not.
  RunOutcome ResumeWith(std::uint64_t budget, StepWatch* watch, StepObserver observer, void* context);
  // Called with the state just after a wrap; true once a state repeats.
  bool WrapRepeats();

  VirtualMachine& machine;
  std::uint64_t stepLimit;
  std::uint64_t steps = 0;
  std::uint64_t wraps = 0;
  RunOutcome outcome = RunOutcome::kRunning;
  std::unique_ptr<VirtualMachine> saved;  // Brent's saved state
  std::uint64_t savedWrap = 0;
  std::uint64_t power = 1;
};

// An outcome of run in words, with where it happened, as every front end
// shows it: "halted by the RET at 000Ch", "loops forever without a RET: ...",
// "paused at 0005h". The outcome is given apart from the run for the pauses
// that a front end makes itself (kBreakpoint).
std::string DescribeOutcome(RunOutcome outcome, const Run& run, const VirtualMachine& machine);
inline std::string DescribeOutcome(const Run& run, const VirtualMachine& machine) {
  return DescribeOutcome(run.Outcome(), run, machine);
}

// A memory byte a run changed: its value at the run's start and at its end.
struct ChangedByte {
  std::uint16_t address;
  std::uint8_t before;
  std::uint8_t after;
};
// The bytes that differ between start (the machine as the run started: the
// image and the given state) and machine, by address.
std::vector<ChangedByte> ChangedMemory(const VirtualMachine& machine, const VirtualMachine& start);

// Runs the machine from its current state to an outcome other than kRunning.
// stepsTaken, when given, receives the number of steps executed.
RunOutcome RunToEnd(VirtualMachine& machine, std::uint64_t stepLimit, std::uint64_t* stepsTaken = nullptr);

}  // namespace mirvo
