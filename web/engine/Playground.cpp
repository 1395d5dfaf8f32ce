#include "Playground.h"

#include <algorithm>
#include <memory>

#include "EngineJson.h"
#include "ExerciseJson.h"
#include "Grading.h"
#include "ProgramImage.h"
#include "StateMap.h"

namespace mirvo {

Playground::Playground()
    : machine(std::make_unique<VirtualMachine>()),
      run(std::make_unique<Run>(*machine)),
      checks(std::make_unique<RunChecks>(checkedProgram, kAllChecks)) {
  timeline.Start(*machine);
}

int Playground::Assemble(const char* bytes, std::size_t size) {
  // The program keeps its own copy, so the caller's buffer can go at once.
  assembled = Program::FromAssembly("", std::string(bytes, size));
  return assembled.HasErrors() ? 1 : 0;
}

int Playground::Compile(const char* bytes, std::size_t size, bool optimise) {
  cc::CompileOptions options;
  options.optimise = optimise;
  assembled = Program::FromC("program.c", std::string(bytes, size), options);
  return assembled.HasErrors() ? 1 : 0;
}

nlohmann::ordered_json Playground::AssemblyReport() const {
  if (assembled.IsC()) return CompileJson(*assembled.Compiled());
  return AssemblyJson(*assembled.Assembly(), nullptr);
}

nlohmann::ordered_json Playground::GeneratedReport() const {
  if (!assembled.IsC() || assembled.Assembly() == nullptr) return nullptr;
  return AssemblyJson(*assembled.Assembly(), nullptr);
}

int Playground::Load(const std::uint8_t* bytes, std::size_t size) {
  const ImageStatus status = Program::FromImage("", std::vector<std::uint8_t>(bytes, bytes + size), loaded);
  if (status != ImageStatus::kLoaded) return static_cast<int>(status);
  // The last assembly's statements, when this is its image.
  const std::span<const std::uint8_t> image = assembled.Image();
  const bool fromAssembly = assembled.IsSource() && !assembled.HasErrors() && image.size() == size &&
                            std::equal(bytes, bytes + size, image.begin());
  checkedProgram = (fromAssembly ? assembled : loaded).Checked();
  Restart();
  return 0;
}

namespace {

// Whether a step from before (with byteBefore the watched byte, for a
// memory watch) to after did what watch watches.
bool Did(const Watch& watch, const VirtualMachine::Processor& before, std::uint8_t byteBefore,
         const VirtualMachine& after) {
  switch (watch.kind) {
    case WatchKind::kRegister:
      return before.registers[watch.which] != after.GetRegisters()[watch.which];
    case WatchKind::kFlag:
      return before.flags[watch.which] != after.GetFlags()[watch.which];
    case WatchKind::kMemory:
      return byteBefore != after.MemoryAt(watch.which);
    case WatchKind::kExecuted:
      return before.programCounter == watch.which;
  }
  return false;
}

}  // namespace

void Playground::Restart() {
  run.reset();
  machine = std::make_unique<VirtualMachine>();
  LoadImage(*machine, loaded.Image().data(), loaded.Image().size());
  run = std::make_unique<Run>(*machine);
  checks = std::make_unique<RunChecks>(checkedProgram, kAllChecks);
  timeline.Start(*machine);
  cursor = Cursor{};
  outcome = RunOutcome::kRunning;
}

void Playground::KeepRecord(void* context, const StepRecord& record) {
  Cursor& cursor = static_cast<Playground*>(context)->cursor;
  cursor.record = record;
  cursor.recorded = true;
}

// A step of the run itself: the checks look at it as it is recorded.
void Playground::KeepRunRecord(void* context, const StepRecord& record) {
  static_cast<Playground*>(context)->checks->Look(record);
  KeepRecord(context, record);
}

RunOutcome Playground::RecordedStep() { return run->Resume(1, &KeepRunRecord, this); }

bool Playground::AddWatch(Watch watch) {
  const bool slot = watch.kind == WatchKind::kRegister || watch.kind == WatchKind::kFlag;
  if (watches.size() >= kMostWatches || (slot && watch.which > 7)) return false;
  watches.push_back(watch);
  return true;
}

RunOutcome Playground::WatchedStep(VirtualMachine& target, bool breakpoints, bool mayPass) {
  if (breakpoints && !mayPass && breakpointAt[target.GetProgramCounter()]) return RunOutcome::kBreakpoint;
  const VirtualMachine::Processor before = target.GetProcessor();
  std::uint8_t bytes[kMostWatches] = {};
  const std::size_t watched = watches.size();
  for (std::size_t i = 0; i < watched; ++i) bytes[i] = target.MemoryAt(watches[i].which);
  if (&target == machine.get()) {
    const RunOutcome result = checks->Resume(*run, 1);
    if (result != RunOutcome::kRunning) return result;
  } else {
    target.Step();
  }
  for (std::size_t i = 0; i < watched; ++i) {
    if (Did(watches[i], before, bytes[i], target)) return RunOutcome::kWatchpoint;
  }
  return RunOutcome::kRunning;
}

RunOutcome Playground::Resume(std::uint64_t budget, bool breakpoints, bool skipFirst) {
  const bool checked = (breakpoints && breakpointAt.any()) || !watches.empty();
  bool mayPass = skipFirst;
  if (!cursor.onRun) {
    // An earlier state: the steps the run took already are taken again.
    const std::uint64_t again = std::min(budget, run->Steps() - cursor.step);
    if (!checked) {
      budget -= again;
      GoTo(cursor.step + again);
    } else {
      // The view steps itself, watched, as far as the run went.
      RunOutcome stop = RunOutcome::kRunning;
      std::uint64_t reached = cursor.step;
      for (std::uint64_t done = 0; done < again && stop == RunOutcome::kRunning; ++done) {
        stop = WatchedStep(*view, breakpoints, mayPass);
        mayPass = false;
        if (stop == RunOutcome::kBreakpoint) break;
        ++reached;
        --budget;
      }
      GoTo(reached);  // with the record of its step
      if (stop != RunOutcome::kRunning) return outcome = stop;
    }
    if (!cursor.onRun) return outcome = RunOutcome::kRunning;
    if (budget == 0 || IsFinal(run->Outcome())) return outcome = run->Outcome();
  }
  RunOutcome result = RunOutcome::kRunning;
  while (budget > 0 && run->Outcome() == RunOutcome::kRunning && result == RunOutcome::kRunning) {
    // Up to the next checkpoint at most.
    const std::uint64_t room = std::min(budget, timeline.NextCheckpoint() - run->Steps());
    const std::uint64_t before = run->Steps();
    if (!checked) {
      // The stretch runs at full speed without records; its last step is recorded.
      if (room > 1) checks->Resume(*run, room - 1);
      result = RecordedStep();
    } else {
      for (std::uint64_t done = 0; done < room && result == RunOutcome::kRunning; ++done) {
        result = WatchedStep(*machine, breakpoints, mayPass);
        mayPass = false;
      }
    }
    budget -= run->Steps() - before;
    if (run->Steps() == timeline.NextCheckpoint()) timeline.Record(*machine);
  }
  if (result == RunOutcome::kRunning) result = run->Outcome();
  ShowStep(run->Steps());
  outcome = result;
  return outcome;
}

void Playground::ShowStep(std::uint64_t step) {
  step = std::min(step, run->Steps());
  const bool last = step == run->Steps();
  // The run's own last step, recorded as it was taken (RecordedStep).
  const bool kept = cursor.recorded && cursor.record.step == step && (cursor.onRun || cursor.step == step);
  if (last && (kept || step == 0)) {
    cursor.step = step;
    cursor.onRun = true;
    cursor.recorded = kept;
    return;
  }
  if (!view) view = std::make_unique<VirtualMachine>();
  cursor.step = step;
  cursor.recorded = false;
  if (step == 0) {
    timeline.Rebuild(0, *view);
    cursor.onRun = false;
    return;
  }
  // The state before the step, then the step itself with its record; at the
  // run's last step the view then equals the run's machine.
  timeline.Rebuild(step - 1, *view);
  Run single(*view);
  single.Resume(1, &KeepRecord, this);
  cursor.record.step = step;
  cursor.onRun = last;
}

void Playground::GoTo(std::uint64_t step) {
  ShowStep(step);
  outcome = cursor.step == run->Steps() ? run->Outcome() : RunOutcome::kRunning;
}

Search Playground::BackToChange(Watch watch, std::uint64_t budget, bool fresh) {
  if (fresh) searchEnd = Position();
  // The steps from just after a checkpoint to searchEnd - 1 are run again,
  // the latest window first; the last step in a window that did it wins.
  auto scratch = std::make_unique<VirtualMachine>();
  for (bool first = true; searchEnd > 1; first = false) {
    const std::uint64_t last = searchEnd - 1;  // the latest step not yet searched
    const std::uint64_t from = timeline.CheckpointAtOrBefore(last - 1);
    // One window a call at least, however small the budget.
    if (last - from > budget && !first) return Search::kMore;
    budget -= std::min(budget, last - from);
    timeline.Rebuild(from, *scratch);
    std::uint64_t found = 0;
    for (std::uint64_t step = from + 1; step <= last; ++step) {
      const VirtualMachine::Processor before = scratch->GetProcessor();
      const std::uint8_t byteBefore = scratch->MemoryAt(watch.which);
      scratch->Step();
      if (Did(watch, before, byteBefore, *scratch)) found = step;
    }
    if (found != 0) {
      GoTo(found);
      return Search::kFound;
    }
    searchEnd = from + 1;
  }
  return Search::kNotFound;
}

std::string Playground::LastStepReport() const { return cursor.recorded ? StepRecordJson(cursor.record) : "null"; }

nlohmann::ordered_json Playground::ChecksReport() const { return CheckFindingsJson(checks->Findings()); }

std::string Playground::StateMap(const char* imagePath) const { return StateMapText(Machine(), imagePath); }

std::string Playground::DisassembleAt(std::uint16_t address) const {
  std::uint8_t bytes[2] = {Machine().MemoryAt(address), Machine().MemoryAt(static_cast<std::uint16_t>(address + 1))};
  char line[64];
  Disassemble(bytes, sizeof bytes, line, sizeof line);
  return line;
}

std::string Playground::OutcomeText() const { return DescribeOutcome(outcome, *run, Machine()); }

std::string Playground::ImageStatusText(int status, const char* name) {
  return DescribeImageStatus(static_cast<ImageStatus>(status), name);
}

nlohmann::ordered_json Playground::OpenExercise(const char* exerciseText, std::size_t size) {
  auto parsed = std::make_unique<Exercise>();
  ExerciseError error;
  if (ParseExercise(std::string_view(exerciseText, size), *parsed, error) != 0) {
    exercise.reset();
    return {{"error", ExerciseErrorJson(error)}};
  }
  exercise = std::move(parsed);
  return {{"exercise", ExerciseJson(*exercise)}};
}

std::string Playground::LearnerExercise(const char* exerciseText, std::size_t size) {
  const std::string_view file(exerciseText, size);
  Exercise parsed;
  ExerciseError error;
  if (ParseExercise(file, parsed, error) != 0) return "";
  return HoldsTeacherParts(parsed) ? LearnerExerciseText(parsed) : std::string(file);
}

nlohmann::ordered_json Playground::CheckExercise() const {
  if (!exercise) return nullptr;
  return GradeJson(*exercise, GradeProgram(*exercise, assembled), false);
}

}  // namespace mirvo
