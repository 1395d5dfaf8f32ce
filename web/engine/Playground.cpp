#include "Playground.h"

#include <algorithm>

#include "EngineJson.h"
#include "ExerciseJson.h"
#include "Grading.h"
#include "ProgramImage.h"
#include "StateMap.h"

namespace mirvo {

Playground::Playground()
    : assembler(std::make_unique<Assembler>()),
      machine(std::make_unique<VirtualMachine>()),
      run(std::make_unique<Run>(*machine)) {}

int Playground::Assemble(const char* bytes, std::size_t size) {
  // The assembler reads the text during Assemble only, but keep our own copy
  // so the caller's buffer can go at once.
  source.assign(bytes, size);
  assembler = std::make_unique<Assembler>();
  assembler->Open(source.data(), source.size());
  AssemblyOptions options;
  options.keepGoing = true;
  options.recordStatements = true;
  options.reportWarnings = true;
  const int status = assembler->Assemble(options);
  assemblyJson = AssemblyJson(*assembler, nullptr);
  return status;
}

int Playground::Load(const std::uint8_t* bytes, std::size_t size) {
  auto fresh = std::make_unique<VirtualMachine>();
  const ImageStatus status = LoadImage(*fresh, bytes, size);
  if (status != ImageStatus::kLoaded) return static_cast<int>(status);
  image.assign(bytes, bytes + size);
  machine = std::move(fresh);
  Restart();
  return 0;
}

void Playground::Restart() {
  run.reset();
  machine = std::make_unique<VirtualMachine>();
  LoadImage(*machine, image.data(), image.size());
  run = std::make_unique<Run>(*machine);
  outcome = RunOutcome::kRunning;
  recorded = false;
}

void Playground::KeepRecord(void* context, const StepRecord& record) {
  auto& playground = *static_cast<Playground*>(context);
  playground.lastRecord = record;
  playground.recorded = true;
}

RunOutcome Playground::RecordedStep() { return run->Resume(1, &KeepRecord, this); }

RunOutcome Playground::Resume(std::uint64_t budget, bool breakpoints, bool skipFirst) {
  if (!breakpoints || breakpointAt.none()) {
    // The stretch runs at full speed without records; its last step is
    // recorded.
    const std::uint64_t room = std::min(budget, run->StepLimit() - run->Steps());
    if (room > 1) run->Resume(room - 1);
    outcome = room > 0 ? RecordedStep() : run->Resume(0);
    return outcome;
  }
  bool mayPass = skipFirst;
  for (std::uint64_t done = 0; done < budget; ++done) {
    if (run->Outcome() == RunOutcome::kRunning && !mayPass && breakpointAt[machine->GetProgramCounter()]) {
      outcome = RunOutcome::kBreakpoint;
      return outcome;
    }
    mayPass = false;
    outcome = RecordedStep();
    if (outcome != RunOutcome::kRunning) return outcome;
  }
  outcome = run->Outcome();
  return outcome;
}

const std::string& Playground::LastStepReport() {
  // A record of an earlier step no longer describes the machine.
  text = recorded && lastRecord.step == run->Steps() ? StepRecordJson(lastRecord) : "null";
  return text;
}

const std::string& Playground::StateMap(const char* imagePath) {
  text = StateMapText(*machine, imagePath);
  return text;
}

const std::string& Playground::DisassembleAt(std::uint16_t address) {
  std::uint8_t bytes[2] = {machine->MemoryAt(address), machine->MemoryAt(static_cast<std::uint16_t>(address + 1))};
  char line[64];
  Disassemble(bytes, sizeof bytes, line, sizeof line);
  text = line;
  return text;
}

const std::string& Playground::OutcomeText() {
  text = DescribeOutcome(outcome, *run, *machine);
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
