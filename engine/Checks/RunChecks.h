#pragma once
// Watches a run for likely mistakes (the checks of CheckTable.h) and reports
// each one once per statement, as data: the check, the step, the address,
// the statement's place in the source when it is known, and a message. It
// never changes the run: the outcome, the steps and the state are those of
// the same run unwatched.
//
// Most steps are looked at by the threaded loop itself (StepWatch): only a
// step that might concern a check still to be reported comes back here, so a
// watched run keeps most of the loop's speed.

#include <cstdint>
#include <string>
#include <vector>

#include "Assembler.h"
#include "CheckTable.h"
#include "RunLoop.h"

namespace mirvo {

struct CheckFinding {
  CheckId id;
  std::uint64_t step;     // the step that showed it
  std::uint16_t address;  // where: the step's address (for past-end, the address reached)
  std::int32_t line;      // of the statement, 0 when the source is not known
  std::int32_t column;    // of the statement's mnemonic
  std::int32_t length;    // of the mnemonic, for a caret under it
  std::string message;
};

// What the checks know of the program that runs.
struct CheckedProgram {
  std::uint32_t imageLength = 0;            // bytes of the program, from address 0
  std::vector<StatementRecord> statements;  // in address order; empty when only the image is known
  // Register slots the run's given state set before it started, one bit per
  // register code (1U << kRegB, ...): they count as written.
  std::uint8_t givenRegisters = 0;
};

// The program of an assembled source: its image length and statements.
CheckedProgram ProgramOf(const Assembler& assembler);

class RunChecks {
 public:
  // enabled: the checks to report (kAllChecks, less those turned off).
  RunChecks(CheckedProgram program, CheckMask enabled);
  RunChecks(const RunChecks&) = delete;
  RunChecks& operator=(const RunChecks&) = delete;

  // Resumes run for at most budget steps, watched; as Run::Resume.
  RunOutcome Resume(Run& run, std::uint64_t budget);
  // For a run that observes every step (a trace): Observe as its observer,
  // or Look at each record from another observer.
  static void Observe(void* context, const StepRecord& record);
  void Look(const StepRecord& record);

  // Keeps at most limit findings; the later ones are only counted, so that
  // a long program's run cannot fill memory with them.
  void KeepAtMost(std::size_t limit) { keep = limit; }
  // In the order the run showed them.
  const std::vector<CheckFinding>& Findings() const { return findings; }
  // The findings past the limit, counted but not kept.
  std::uint64_t LeftOut() const { return leftOut; }

 private:
  // The statement at address, or null.
  const StatementRecord* StatementAt(std::uint16_t address) const;
  void Report(CheckId id, const StepRecord& record, const StatementRecord* statement, std::string message);

  CheckedProgram program;
  CheckMask enabled;
  StepWatch watch;
  std::vector<std::uint8_t> quiet;  // StepEvent mask by address: nothing more to report there
  std::vector<CheckMask> reported;  // by the address of the statement (or step) reported
  std::vector<CheckFinding> findings;
  std::size_t keep = SIZE_MAX;
  std::uint64_t leftOut = 0;
};

}  // namespace mirvo
