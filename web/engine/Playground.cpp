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
    : assembler(std::make_unique<Assembler>()),
      machine(std::make_unique<VirtualMachine>()),
      run(std::make_unique<Run>(*machine)),
      checks(std::make_unique<RunChecks>(checkedProgram, kAllChecks)) {
  timeline.Start(*machine);
}

int Playground::Assemble(const char* bytes, std::size_t size) {
  // The assembler reads the text during Assemble only, but keep our own copy
  // so the caller's buffer can go at once.
  source.assign(bytes, size);
  assembler = std::make_unique<Assembler>();
  assembler->Open(source.data(), source.size());
  const int status = assembler->Assemble(kLearnerAssembly);
  assemblyJson = AssemblyJson(*assembler, nullptr);
  return status;
}

int Playground::Load(const std::uint8_t* bytes, std::size_t size) {
  auto fresh = std::make_unique<VirtualMachine>();
  const ImageStatus status = LoadImage(*fresh, bytes, size);
  if (status != ImageStatus::kLoaded) return static_cast<int>(status);
  image.assign(bytes, bytes + size);
  machine = std::move(fresh);
  // The last assembly's statements, when this is its image.
  const bool assembled = assembler->GetErrorCount() == 0 && assembler->GetLength() == size &&
                         std::equal(bytes, bytes + size, assembler->GetImage().begin());
  if (assembled) {
    checkedProgram = ProgramOf(*assembler);
  } else {
    checkedProgram = CheckedProgram{};
    checkedProgram.imageLength = static_cast<std::uint32_t>(size);
  }
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
  LoadImage(*machine, image.data(), image.size());
  run = std::make_unique<Run>(*machine);
  checks = std::make_unique<RunChecks>(checkedProgram, kAllChecks);
  timeline.Start(*machine);
  atEnd = true;
  outcome = RunOutcome::kRunning;
  recorded = false;
}

void Playground::KeepRecord(void* context, const StepRecord& record) {
  auto& playground = *static_cast<Playground*>(context);
  playground.lastRecord = record;
  playground.recorded = true;
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
  if (!atEnd) {
    // An earlier state: the steps the run took already are taken again.
    if (!checked) {
      const std::uint64_t target = std::min(run->Steps(), position + std::min(budget, run->Steps() - position));
      budget -= target - position;
      GoTo(target);
    } else {
      if (!view) view = std::make_unique<VirtualMachine>();
      RunOutcome stop = RunOutcome::kRunning;
      const std::uint64_t start = position;
      while (budget > 0 && position < run->Steps() && stop == RunOutcome::kRunning) {
        stop = WatchedStep(*view, breakpoints, mayPass);
        mayPass = false;
        if (stop == RunOutcome::kBreakpoint) break;
        ++position;
        --budget;
      }
      if (position != start) GoTo(position);  // with the record of its step
      if (stop != RunOutcome::kRunning) return outcome = stop;
    }
    if (!atEnd) return outcome = RunOutcome::kRunning;
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
  // Steps taken one by one are not recorded: the record of the last comes
  // from the timeline.
  const std::uint64_t last = run->Steps();
  if (last > 0 && !(recorded && lastRecord.step == last)) GoTo(last);
  outcome = result;
  return outcome;
}

void Playground::Show(std::uint64_t step) {
  step = std::min(step, run->Steps());
  atEnd = step == run->Steps();
  if (atEnd) return;
  if (!view) view = std::make_unique<VirtualMachine>();
  timeline.Rebuild(step, *view);
  position = step;
}

void Playground::GoTo(std::uint64_t step) {
  step = std::min(step, run->Steps());
  outcome = step == run->Steps() ? run->Outcome() : RunOutcome::kRunning;
  if (step == run->Steps() && recorded && lastRecord.step == step) {
    atEnd = true;  // the run's own last step, recorded as it was taken
    return;
  }
  recorded = false;
  if (step == 0) {
    Show(0);
    return;
  }
  // The state before the step, then the step itself with its record.
  Show(step - 1);
  Run single(*view);
  single.Resume(1, &KeepRecord, this);
  lastRecord.step = step;
  atEnd = step == run->Steps();  // if so, the view equals the run's machine
  position = step;
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

const std::string& Playground::LastStepReport() {
  // A record of an earlier step no longer describes the machine.
  text = recorded && lastRecord.step == Position() ? StepRecordJson(lastRecord) : "null";
  return text;
}

const std::string& Playground::ChecksReport() {
  text = CheckFindingsJson(checks->Findings());
  return text;
}

const std::string& Playground::StateMap(const char* imagePath) {
  text = StateMapText(Machine(), imagePath);
  return text;
}

const std::string& Playground::DisassembleAt(std::uint16_t address) {
  std::uint8_t bytes[2] = {Machine().MemoryAt(address), Machine().MemoryAt(static_cast<std::uint16_t>(address + 1))};
  char line[64];
  Disassemble(bytes, sizeof bytes, line, sizeof line);
  text = line;
  return text;
}

const std::string& Playground::OutcomeText() {
  text = DescribeOutcome(outcome, *run, Machine());
  return text;
}

const std::string& Playground::ImageStatusText(int status, const char* name) {
  text = DescribeImageStatus(static_cast<ImageStatus>(status), name);
  return text;
}

const std::string& Playground::OpenExercise(const char* exerciseText, std::size_t size) {
  auto parsed = std::make_unique<Exercise>();
  ExerciseError error;
  if (ParseExercise(std::string_view(exerciseText, size), *parsed, error) != 0) {
    exercise.reset();
    text = "{\"error\":" + ExerciseErrorJson(error) + "}";
    return text;
  }
  exercise = std::move(parsed);
  text = "{\"exercise\":" + ExerciseJson(*exercise) + "}";
  return text;
}

const std::string& Playground::LearnerExercise(const char* exerciseText, std::size_t size) {
  const std::string_view file(exerciseText, size);
  Exercise parsed;
  ExerciseError error;
  if (ParseExercise(file, parsed, error) != 0) {
    text.clear();
  } else {
    text = HoldsTeacherParts(parsed) ? LearnerExerciseText(parsed) : std::string(file);
  }
  return text;
}

const std::string& Playground::CheckExercise() {
  if (!exercise) {
    text = "null";
    return text;
  }
  const Grade grade = assembler->GetErrorCount() > 0
                          ? GradeRefused(*exercise, "the source has errors")
                          : GradeProgram(*exercise, assembler->GetImage().data(), assembler->GetLength());
  text = GradeJson(*exercise, grade, false);
  return text;
}

}  // namespace mirvo
