#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <vector>

#include "RunLoop.h"
#include "StepByStep.h"

namespace mirvo {
namespace {

std::unique_ptr<VirtualMachine> Fill(std::uint8_t opcode, const std::vector<std::uint8_t>& prefix = {}) {
  auto machine = std::make_unique<VirtualMachine>();
  for (unsigned a = 0; a < kMemorySize; ++a) {
    machine->WriteMemory(static_cast<std::uint16_t>(a), a < prefix.size() ? prefix[a] : opcode);
  }
  return machine;
}

struct OutcomeCase {
  const char* name;
  std::unique_ptr<VirtualMachine> machine;
  std::uint64_t limit;
  RunOutcome outcome;
  std::uint64_t maxSteps;
};

TEST(RunLoopTest, EndsEachKindOfRun) {
  OutcomeCase cases[] = {
      {"empty memory freezes at once", std::make_unique<VirtualMachine>(), kStepLimit, RunOutcome::kUndefinedOpcode, 1},
      {"ret halts", Fill(0x40, {0xC9}), kStepLimit, RunOutcome::kHalted, 1},
      {"mov b,b everywhere repeats within two passes", Fill(0x40), kStepLimit, RunOutcome::kLoopsForever, 2 * 65536},
      {"a counter in A repeats after 256 passes", Fill(0x80, {0x06, 0x01}), kStepLimit, RunOutcome::kLoopsForever,
       1024 * 65536},
      {"the backstop stops a long run", Fill(0x80, {0x06, 0x01}), 1000, RunOutcome::kStepLimit, 1000},
      {"mvi over the top wraps to 1 and repeats", Fill(0x3E), kStepLimit, RunOutcome::kLoopsForever, 4 * 65536},
  };
  for (OutcomeCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::uint64_t steps = 0;
    EXPECT_EQ(RunToEnd(*c.machine, c.limit, &steps), c.outcome);
    EXPECT_LE(steps, c.maxSteps);
  }
}

// Random programs, some of them self-modifying, run by the batched loop must
// end as Step calls allow (reference::CheckRun), in the same state.
TEST(RunLoopTest, BatchedRunMatchesStepByStep) {
  std::mt19937 random(12345);
  const std::uint8_t common[] = {0x40, 0x41, 0x47, 0x78, 0x7E, 0x77, 0x70, 0x76, 0x3E, 0x06, 0x26,
                                 0x2E, 0x36, 0x80, 0x86, 0x87, 0xB8, 0xBE, 0xBF, 0x65, 0x6C};
  const std::uint8_t registerOnly[] = {0x40, 0x41, 0x47, 0x78, 0x7E, 0x76, 0x3E, 0x06, 0x80, 0x86, 0x87, 0xBE};
  int outcomes[4] = {};
  for (int round = 0; round < 60; ++round) {
    auto batched = std::make_unique<VirtualMachine>();
    for (unsigned a = 0; a < kMemorySize; ++a) {
      const auto pick = random() % 1000;
      // Every third program writes no memory, so it neither freezes nor halts.
      std::uint8_t byte =
          round % 3 == 2 ? registerOnly[random() % sizeof(registerOnly)] : common[random() % sizeof(common)];
      if (pick < 2 && round % 3 == 0) byte = 0xC9;
      if (pick == 2 && round % 3 == 1) byte = static_cast<std::uint8_t>(random());
      batched->WriteMemory(static_cast<std::uint16_t>(a), byte);
    }
    for (std::uint8_t code = 0; code < 8; ++code) {
      batched->SetRegister(code, static_cast<std::uint8_t>(random()));
    }
    batched->SetProgramCounter(static_cast<std::uint16_t>(random()));
    const auto start = std::make_unique<VirtualMachine>(*batched);
    const std::uint64_t limit = 1 + random() % 400000;
    std::uint64_t batchedSteps = 0;
    SCOPED_TRACE(round);
    const RunOutcome outcome = RunToEnd(*batched, limit, &batchedSteps);
    EXPECT_STREQ(reference::CheckRun(*start, limit, outcome, batchedSteps, *batched), nullptr);
    ++outcomes[static_cast<int>(outcome)];
  }
  // The random programs must exercise every way a run can end.
  EXPECT_GT(outcomes[static_cast<int>(RunOutcome::kHalted)], 0);
  EXPECT_GT(outcomes[static_cast<int>(RunOutcome::kUndefinedOpcode)], 0);
  EXPECT_GT(outcomes[static_cast<int>(RunOutcome::kStepLimit)], 0);
  EXPECT_GT(outcomes[static_cast<int>(RunOutcome::kLoopsForever)], 0);
}

// A run resumed in random slices, with or without an observer, ends as one
// uninterrupted run does: same outcome, steps and state; an observer sees
// every step once, in order.
TEST(RunLoopTest, SlicedRunMatchesOneCall) {
  std::mt19937 random(777);
  const std::uint8_t bytes[] = {0x40, 0x47, 0x78, 0x7E, 0x77, 0x3E, 0x06, 0x36, 0x80, 0x86, 0xB8, 0xBE, 0x00, 0xC9};
  for (int round = 0; round < 40; ++round) {
    auto whole = std::make_unique<VirtualMachine>();
    for (unsigned a = 0; a < kMemorySize; ++a) {
      const auto pick = random() % 5000;
      const std::uint8_t byte = pick < 2 ? bytes[12 + pick] : bytes[random() % 12];
      whole->WriteMemory(static_cast<std::uint16_t>(a), byte);
    }
    whole->SetProgramCounter(static_cast<std::uint16_t>(random()));
    auto sliced = std::make_unique<VirtualMachine>(*whole);
    const std::uint64_t limit = 1 + random() % 300000;
    std::uint64_t wholeSteps = 0;
    const RunOutcome outcome = RunToEnd(*whole, limit, &wholeSteps);

    const bool watched = round % 2 == 0;
    std::uint64_t seen = 0;
    const StepObserver count = [](void* context, const StepRecord& record) {
      auto& n = *static_cast<std::uint64_t*>(context);
      EXPECT_EQ(record.step, ++n);
    };
    mirvo::Run run(*sliced, limit);
    RunOutcome last = RunOutcome::kRunning;
    for (int guard = 0; last == RunOutcome::kRunning && guard < 100000; ++guard) {
      last = run.Resume(random() % 20000, watched ? count : nullptr, &seen);
    }
    SCOPED_TRACE(round);
    EXPECT_EQ(last, outcome);
    EXPECT_EQ(run.Steps(), wholeSteps);
    EXPECT_EQ(run.Resume(1000), outcome) << "the outcome is final";
    EXPECT_TRUE(*sliced == *whole);
    if (watched) {
      EXPECT_EQ(seen, wholeSteps);
    }
  }
}

// What the observer is told of each step of a short program.
TEST(RunLoopTest, ObserverSeesEachChange) {
  const std::uint8_t program[] = {0x26, 0x10, 0x2E, 0x0A, 0x3E, 0x80, 0x77, 0x86, 0xBE, 0x76, 0xC9};
  auto machine = std::make_unique<VirtualMachine>();
  for (std::size_t i = 0; i < sizeof(program); ++i) machine->WriteMemory(static_cast<std::uint16_t>(i), program[i]);
  std::vector<StepRecord> records;
  mirvo::Run run(*machine);
  EXPECT_EQ(
      run.Resume(
          100, [](void* c, const StepRecord& r) { static_cast<std::vector<StepRecord>*>(c)->push_back(r); }, &records),
      RunOutcome::kHalted);
  struct Row {
    std::uint16_t address;
    Operation operation;
    std::uint8_t aAfter;
    std::uint8_t zeroAfter, carryAfter;
    bool read, wrote;
    std::uint16_t memoryAddress;
    std::uint8_t memoryBefore, memoryAfter;
  };
  const Row rows[] = {
      {0, Operation::kMvi, 0x00, 0, 0, false, false, 0, 0, 0},            // MVI H, 10h
      {2, Operation::kMvi, 0x00, 0, 0, false, false, 0, 0, 0},            // MVI L, 0Ah
      {4, Operation::kMvi, 0x80, 0, 0, false, false, 0, 0, 0},            // MVI A, 80h
      {6, Operation::kMov, 0x80, 0, 0, false, true, 0x100A, 0x00, 0x80},  // MOV Mem, A
      {7, Operation::kAdd, 0x00, 1, 1, true, false, 0x100A, 0x80, 0x80},  // ADD Mem
      {8, Operation::kCmp, 0x00, 0, 1, true, false, 0x100A, 0x80, 0x80},  // CMP Mem
      {9, Operation::kMov, 0x00, 0, 1, true, false, 0x100A, 0x80, 0x80},  // MOV Mem, Mem reads, stores nothing
      {10, Operation::kRet, 0x00, 0, 1, false, false, 0, 0, 0},           // RET
  };
  ASSERT_EQ(records.size(), std::size(rows));
  for (std::size_t i = 0; i < records.size(); ++i) {
    const StepRecord& r = records[i];
    SCOPED_TRACE(i);
    EXPECT_EQ(r.step, i + 1);
    EXPECT_EQ(r.address, rows[i].address);
    EXPECT_EQ(r.instruction.operation, rows[i].operation);
    EXPECT_EQ(r.bytes[0], program[rows[i].address]);
    EXPECT_EQ(r.registersAfter[kRegA], rows[i].aAfter);
    EXPECT_EQ(r.flagsAfter[kFlagZero], rows[i].zeroAfter);
    EXPECT_EQ(r.flagsAfter[kFlagCarry], rows[i].carryAfter);
    EXPECT_EQ(r.readMemory, rows[i].read);
    EXPECT_EQ(r.wroteMemory, rows[i].wrote);
    if (r.readMemory || r.wroteMemory) {
      EXPECT_EQ(r.memoryAddress, rows[i].memoryAddress);
      EXPECT_EQ(r.memoryBefore, rows[i].memoryBefore);
      EXPECT_EQ(r.memoryAfter, rows[i].memoryAfter);
    }
    if (i > 0) {
      EXPECT_EQ(r.registersBefore, records[i - 1].registersAfter);
    }
    EXPECT_EQ(r.result, rows[i].operation == Operation::kRet ? Halt : Continue);
  }
}

// The loop verdict says which wrap repeated which: a full image of MOV B,B
// comes back to its starting state after one pass.
TEST(RunLoopTest, LoopVerdictNamesTheWraps) {
  auto machine = Fill(0x40);
  mirvo::Run run(*machine);
  EXPECT_EQ(run.Resume(UINT64_MAX), RunOutcome::kLoopsForever);
  EXPECT_EQ(run.RepeatWrap(), 1U);
  EXPECT_EQ(run.RepeatOfWrap(), 0U);
  EXPECT_EQ(run.Steps(), 65536U);
}

// The yardstick itself: right claims about a run pass, wrong ones do not.
// MOV B, B everywhere is back in its starting state after every pass of
// 65536 steps; with a RET at 100h the run halts at step 257.
TEST(RunLoopTest, ReferenceTellsRightClaimsFromWrongOnes) {
  const auto endless = Fill(0x40);
  const auto halting = Fill(0x40);
  halting->WriteMemory(0x100, 0xC9);
  struct Row {
    const char* name;
    const VirtualMachine* start;
    std::uint64_t limit;
    RunOutcome outcome;
    std::uint64_t steps;
    std::uint64_t endedAfter;  // Step calls that make the machine the run leaves
    bool right;
  };
  const Row rows[] = {
      {"loop where it closes", endless.get(), kStepLimit, RunOutcome::kLoopsForever, 65536, 65536, true},
      {"loop a period later", endless.get(), kStepLimit, RunOutcome::kLoopsForever, 131072, 131072, true},
      {"loop before it closes", endless.get(), kStepLimit, RunOutcome::kLoopsForever, 32768, 32768, false},
      {"loop off the wrap", endless.get(), kStepLimit, RunOutcome::kLoopsForever, 65537, 65537, false},
      {"loop past the limit", endless.get(), 100000, RunOutcome::kLoopsForever, 131072, 131072, false},
      {"limit before the loop closes", endless.get(), 1000, RunOutcome::kStepLimit, 1000, 1000, true},
      {"limit after an unreported loop", endless.get(), 100000, RunOutcome::kStepLimit, 100000, 100000, true},
      {"limit short of itself", endless.get(), 100000, RunOutcome::kStepLimit, 99999, 99999, false},
      {"halt where it goes round", endless.get(), kStepLimit, RunOutcome::kHalted, 65536, 65536, false},
      {"right claim, wrong machine", endless.get(), kStepLimit, RunOutcome::kLoopsForever, 65536, 65535, false},
      {"halt at its step", halting.get(), kStepLimit, RunOutcome::kHalted, 257, 257, true},
      {"halt a step early", halting.get(), kStepLimit, RunOutcome::kHalted, 256, 256, false},
      {"loop where it halts", halting.get(), kStepLimit, RunOutcome::kLoopsForever, 257, 257, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    auto ended = std::make_unique<VirtualMachine>(*row.start);
    for (std::uint64_t i = 0; i < row.endedAfter; ++i) ended->Step();
    const char* const wrong = reference::CheckRun(*row.start, row.limit, row.outcome, row.steps, *ended);
    EXPECT_EQ(wrong == nullptr, row.right) << (wrong != nullptr ? wrong : "accepted");
  }
}

}  // namespace
}  // namespace mirvo
