#pragma once
// One learner's session in the web page: the last assembly of the editor's
// text, and a machine run from an image. The page's worker drives it through
// the C functions of PlaygroundApi.cpp; everything it computes comes from the
// engine libraries, so the page shows what the programs compute.

#include <bitset>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

#include "Exercise.h"
#include "InstructionSet.h"
#include "Program.h"
#include "RunChecks.h"
#include "RunLoop.h"
#include "Timeline.h"
#include "VirtualMachine.h"

namespace mirvo {

// What a watchpoint watches: a register or flag (by slot), a memory byte, or
// the execution of the instruction at an address (by address).
enum class WatchKind { kRegister, kFlag, kMemory, kExecuted };
struct Watch {
  WatchKind kind;
  std::uint16_t which;  // a slot (below 8) or an address
};
inline constexpr std::size_t kMostWatches = 8;

// What Playground::BackToChange found.
enum class Search { kFound, kNotFound, kMore };

// What the page shows: the state after `step` steps of the run, on the run's
// own machine when that is the run's last step (onRun) and otherwise on a
// view rebuilt from the timeline, with the record of the step that led
// there when it is known.
struct Cursor {
  std::uint64_t step = 0;
  bool onRun = true;
  bool recorded = false;  // record holds step `step`
  StepRecord record{};
};

class Playground {
 public:
  Playground();

  // Assembles size bytes of text, keeping every diagnostic, warnings
  // included, and the statements. 0 on success, 1 with errors.
  int Assemble(const char* text, std::size_t size);
  // Compiles size bytes of C (optimised unless optimise is false), then
  // assembles what it became; the result is the last assembly, as
  // Assemble's is. 0 on success, 1 with errors.
  int Compile(const char* text, std::size_t size, bool optimise);
  // The assembly as mirvo asm --json prints it (no image file: "image" is
  // null); after Compile, the object mirvo cc --json prints.
  nlohmann::ordered_json AssemblyReport() const;
  // After a Compile that compiled, its generated assembly as mirvo asm
  // --json prints it (each instruction's line, address and bytes); else null.
  nlohmann::ordered_json GeneratedReport() const;
  const std::uint8_t* AssembledImage() const { return assembled.Image().data(); }
  std::uint32_t AssembledLength() const { return static_cast<std::uint32_t>(assembled.Image().size()); }

  // Puts an image into a fresh machine and starts a run; the image is kept
  // for Restart. An ImageStatus value (0 loaded). The run is watched by the
  // run-time checks, which know the statements when the image is the last
  // assembly's.
  int Load(const std::uint8_t* bytes, std::size_t size);
  // The machine as Load left it, with a new run.
  void Restart();
  // Runs at most budget more steps from the state shown (an earlier one
  // runs again as far as the run went, then the run goes on). With
  // breakpoints on, stops before the instruction at a breakpoint, except the
  // first one when skipFirst is set (so a run can go on from the breakpoint
  // it stopped at); and after a step that did what a watch watches. Returns
  // the outcome, kBreakpoint and kWatchpoint included, which Outcome() keeps
  // until the next call. The run keeps checkpoints as it goes (Timeline).
  RunOutcome Resume(std::uint64_t budget, bool breakpoints, bool skipFirst);
  void SetBreakpoint(std::uint16_t address, bool on) { breakpointAt[address] = on; }
  void ClearBreakpoints() { breakpointAt.reset(); }
  // At most kMostWatches; a slot above 7 is refused. True when added.
  bool AddWatch(Watch watch);
  void ClearWatches() { watches.clear(); }

  // Shows the state after step steps of the run (at most RunSteps()), with
  // the record of the step that led there.
  void GoTo(std::uint64_t step);
  // Searches back from the state shown for the last step before it that did
  // what watch watches, re-running at most budget steps per call: kFound
  // (that step's state is shown), kNotFound (back to the start: nothing
  // moved), or kMore (call again with fresh set to false to go on).
  Search BackToChange(Watch watch, std::uint64_t budget, bool fresh);

  // The machine shown: the run's own, or an earlier state of it.
  const VirtualMachine& Machine() const { return cursor.onRun ? *machine : *view; }
  const Run& CurrentRun() const { return *run; }
  RunOutcome Outcome() const { return outcome; }
  // Steps to the state shown, and the most the run has taken.
  std::uint64_t Position() const { return cursor.step; }
  std::uint64_t RunSteps() const { return run->Steps(); }
  const Timeline& History() const { return timeline; }
  // The step that brought the machine to its state, as a line of mirvo's
  // JSON trace, or "null" when it was not recorded (no step yet, or a run
  // that ended inside a stretch run without records).
  std::string LastStepReport() const;
  // The state map MirvoVM writes for this machine run from imagePath.
  std::string StateMap(const char* imagePath) const;
  // One line of disassembly of the instruction at address.
  std::string DisassembleAt(std::uint16_t address) const;
  // The outcome in words, as mirvo run shows it.
  std::string OutcomeText() const;
  // What the run-time checks found in the run so far, as mirvo run --json
  // lists them: those of the run's steps, wherever the page shows an earlier
  // state (the page keeps those up to its step).
  nlohmann::ordered_json ChecksReport() const;
  // Why an image called name was refused, in words.
  static std::string ImageStatusText(int status, const char* name);
  // Reads an exercise file's text, for Check: {"exercise": ExerciseJson} or
  // {"error": ExerciseErrorJson} (engine/json/ExerciseJson.h).
  nlohmann::ordered_json OpenExercise(const char* exerciseText, std::size_t size);
  // The learner's copy of an exercise file's text, as mirvo link writes it
  // (the text itself when nothing in it is the teacher's alone), or "" for a
  // text that cannot be read.
  static std::string LearnerExercise(const char* exerciseText, std::size_t size);
  // Grades the last assembly against the open exercise as mirvo test does
  // (GradeProgram: every case on a fresh machine, watched by the run-time
  // checks), as a learner may see it (a hidden case passes or fails, nothing
  // more): GradeJson, or null with no exercise open.
  nlohmann::ordered_json CheckExercise() const;
  // The last text handed out to the page, held until the next one.
  const std::string& LastText() const { return text; }
  const char* Hand(std::string value) {
    text = std::move(value);
    return text.c_str();
  }

 private:
  static void KeepRecord(void* context, const StepRecord& record);
  static void KeepRunRecord(void* context, const StepRecord& record);
  // One step of the run with its record kept.
  RunOutcome RecordedStep();
  // One step of target, unrecorded, stopping before a breakpoint (unless
  // mayPass) or after a step that fired a watch: kRunning, kBreakpoint or
  // kWatchpoint (or the run's end, for the run's own machine).
  RunOutcome WatchedStep(VirtualMachine& target, bool breakpoints, bool mayPass);
  // The one way the cursor moves: to the state after step steps of the run
  // (at most the run's), with that step's record, re-run from the timeline
  // unless it is the run's own last step, recorded as it was taken.
  void ShowStep(std::uint64_t step);

  Program assembled;                        // the last assembly of the editor's text
  Program loaded;                           // the image the run started from
  std::unique_ptr<VirtualMachine> machine;  // the run's, after its last step
  std::unique_ptr<Run> run;
  CheckedProgram checkedProgram;
  std::unique_ptr<RunChecks> checks;  // watch the run's own steps
  Timeline timeline;
  std::unique_ptr<VirtualMachine> view;  // an earlier state, when shown
  Cursor cursor;
  std::vector<Watch> watches;
  std::uint64_t searchEnd = 0;  // BackToChange: the steps at and after it are searched
  RunOutcome outcome = RunOutcome::kRunning;
  std::bitset<kMemorySize> breakpointAt;
  std::unique_ptr<Exercise> exercise;  // the open exercise, if any
  std::string text;                    // the last text handed out
};

}  // namespace mirvo
