// The run-time checks: which programs, from which given state, show which
// likely mistakes at which line; once per statement; and the watched
// threaded loop finds exactly what looking at every step finds, without
// changing the run.

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "ProgramImage.h"
#include "RunChecks.h"

namespace mirvo {
namespace {

struct Seen {
  CheckId id;
  std::int32_t line;
  bool operator==(const Seen&) const = default;
};

void PrintTo(const Seen& s, std::ostream* os) { *os << CheckRowOf(s.id).name << " at line " << s.line; }

constexpr std::uint8_t Given(std::initializer_list<RegisterCode> codes) {
  std::uint8_t mask = 0;
  for (const RegisterCode code : codes) mask = static_cast<std::uint8_t>(mask | 1U << code);
  return mask;
}

// Assembles source, gives the given registers the value 1, and runs it
// watched with the checks of enabled.
std::vector<Seen> ChecksOf(const std::string& source, std::uint8_t given, CheckMask enabled = kAllChecks) {
  auto assembler = std::make_unique<Assembler>();
  assembler->Open(source.data(), source.size());
  EXPECT_EQ(assembler->Assemble(AssemblyOptions::Full()), 0);
  auto machine = std::make_unique<VirtualMachine>();
  LoadImage(*machine, assembler->GetImage().data(), assembler->GetLength());
  for (std::uint8_t code = 0; code < 8; ++code) {
    if ((given & 1U << code) != 0) machine->SetRegister(code, 1);
  }
  CheckedProgram program = ProgramOf(*assembler);
  program.givenRegisters = given;
  RunChecks checks(std::move(program), enabled);
  mirvo::Run run(*machine, 100000);
  while (checks.Resume(run, UINT64_MAX) == RunOutcome::kRunning) {
  }
  std::vector<Seen> seen;
  for (const CheckFinding& finding : checks.Findings()) seen.push_back({finding.id, finding.line});
  return seen;
}

TEST(RunChecksTest, ProgramsAndGivenStatesShowTheirChecks) {
  using enum CheckId;
  struct Row {
    const char* source;
    std::uint8_t given;
    std::vector<Seen> expected;
  };
  const Row rows[] = {
      {"MVI A, 5h\nMVI B, 6h\nADD B\nRET\n", 0, {}},
      {"MVI A, 42h\nMOV Mem, A\nRET\n", 0, {{kHlUnset, 2}, {kCodeWrite, 2}}},
      // L may stay 0 once H is set; with H unset, Mem lies among the program's bytes.
      {"MVI H, 10h\nMOV Mem, A\nRET\n", 0, {{kUnsetRead, 2}}},
      {"MVI H, 10h\nMOV Mem, A\nRET\n", Given({kRegA}), {}},
      {"MVI L, 10h\nMOV A, Mem\nRET\n", 0, {{kHlUnset, 2}}},
      {"MOV A, Mem\nRET\n", Given({kRegH}), {}},
      {"CMP Mem\nRET\n", Given({kRegA, kRegL}), {{kHlUnset, 1}}},
      {"MVI A, 5h\nADD A\n", 0, {{kPastEnd, 2}}},
      {"MVI A, 5h\nADD A ; mirvo: allow past-end\n", 0, {}},
      {"MVI A, 0F0h\nMVI B, 20h\nADD B\nADD B\nRET\n", 0, {{kCarryLost, 3}}},
      {"MVI A, 0F0h\nMVI B, 20h\nADD B ; mirvo: allow carry-lost\nRET\n", 0, {}},
      {"MVI A, 80h\nADD A\nRET\n", 0, {{kCarryLost, 2}}},
      {"MVI B, 5h\nADD B\nRET\n", 0, {{kUnsetRead, 2}}},
      {"MVI B, 5h\nADD B\nRET\n", Given({kRegA}), {}},
      {"MVI A, 0h\nMVI B, 5h\nADD B\nRET\n", 0, {}},
      {"MOV B, C\nMOV D, E\nCMP B\nRET\n", Given({kRegA}), {{kUnsetRead, 1}, {kUnsetRead, 2}}},
      // Writing a program byte with the value it has changes nothing.
      {"MVI H, 0h\nMVI L, 0h\nMVI Mem, 26h\nRET\n", 0, {}},
      {"MVI H, 0h\nMVI L, 6h\nMVI Mem, 0C9h\nMVI A, 1h ; 0006h: runs as RET\nMOV B, B\n", 0, {{kCodeWrite, 3}}},
      // The program writes a RET after itself: it runs past its end to it.
      {"MVI H, 0h\nMVI L, 7h\nMVI Mem, 0C9h\nMOV B, A\n", Given({kRegA}), {{kPastEnd, 4}}},
      {"MVI H, 0h ; mirvo: allow code-write\nMVI L, 1h\nMVI Mem, 5h ; mirvo: allow code-write\nRET\n", 0, {}},
      {"MVI H, 10h\nMVI L, 00h\nMVI A, 7h\nMOV Mem, A\nADD Mem\nCMP Mem\nRET\n", 0, {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.source);
    EXPECT_EQ(ChecksOf(row.source, row.given), row.expected);
  }
}

TEST(RunChecksTest, ChecksThatAreOffStayQuiet) {
  using enum CheckId;
  const std::string source = "MVI A, 42h\nMOV Mem, A\nADD B\n";
  EXPECT_EQ(ChecksOf(source, 0), (std::vector<Seen>{{kHlUnset, 2}, {kCodeWrite, 2}, {kUnsetRead, 3}, {kPastEnd, 3}}));
  EXPECT_EQ(ChecksOf(source, 0, kAllChecks & ~CheckBit(kCodeWrite) & ~CheckBit(kPastEnd)),
            (std::vector<Seen>{{kHlUnset, 2}, {kUnsetRead, 3}}));
  EXPECT_EQ(ChecksOf(source, 0, 0), std::vector<Seen>{});
}

// Memory full of ADD B with B = 1, and ADD Mem at 0 with H and L never set:
// each pass adds 85h to A, so no state repeats, and the ADD Mem shows
// hl-unset on every pass. It is reported once, as is each carry-lost.
TEST(RunChecksTest, EachStatementReportsOnce) {
  auto machine = std::make_unique<VirtualMachine>();
  for (unsigned a = 0; a < kMemorySize; ++a) machine->WriteMemory(static_cast<std::uint16_t>(a), AddOpcode(kRegB));
  machine->WriteMemory(0, AddOpcode(kRegM));
  machine->SetRegister(kRegB, 1);
  CheckedProgram program;
  program.imageLength = kMemorySize;
  program.givenRegisters = Given({kRegA, kRegB});
  RunChecks checks(std::move(program), kAllChecks);
  mirvo::Run run(*machine, 3 * kMemorySize);
  EXPECT_EQ(checks.Resume(run, UINT64_MAX), RunOutcome::kStepLimit);
  std::set<std::pair<CheckId, std::uint16_t>> places;
  std::size_t hlUnset = 0;
  for (const CheckFinding& finding : checks.Findings()) {
    EXPECT_TRUE(places.insert({finding.id, finding.address}).second) << finding.message;
    if (finding.id == CheckId::kHlUnset) ++hlUnset;
  }
  EXPECT_EQ(hlUnset, 1U);
  EXPECT_GT(checks.Findings().size(), 500U);
  const CheckFinding& first = checks.Findings()[1];
  EXPECT_EQ(first.id, CheckId::kCarryLost);
  EXPECT_EQ(first.line, 0);
  EXPECT_EQ(first.message,
            "ADD B wraps past FFh: 0FFh + 01h = 100h, kept as 00h; the carry is lost and no flag shows it");
}

// Random programs of every kind of step: the watched loop reports what
// looking at every step reports, and the run ends as it does unwatched.
TEST(RunChecksTest, WatchedLoopFindsWhatEveryStepShows) {
  std::mt19937 random(16);
  const std::uint8_t bytes[] = {0x26, 0x2E, 0x36, 0x3E, 0x06, 0x0E, 0x77, 0x70, 0x7E, 0x76, 0x78, 0x41,
                                0x80, 0x81, 0x87, 0x86, 0xB8, 0xBE, 0xBF, 0x65, 0x6C, 0x40, 0x47, 0x4F};
  CheckMask seen = 0;
  for (int round = 0; round < 40; ++round) {
    SCOPED_TRACE(round);
    const auto length = static_cast<std::uint32_t>(round % 4 == 0 ? kMemorySize : 1 + random() % 4000);
    std::vector<std::uint8_t> image(length);
    for (std::uint8_t& byte : image) {
      const auto pick = random() % 1000;
      byte = pick == 0 ? 0xC9 : pick == 1 ? 0x00 : bytes[random() % sizeof(bytes)];
    }
    CheckedProgram program;
    program.imageLength = length;
    program.givenRegisters = static_cast<std::uint8_t>(random());
    const CheckMask enabled = round % 5 == 4 ? static_cast<CheckMask>(random() & kAllChecks) : kAllChecks;
    const std::uint64_t limit = 1 + random() % 300000;

    auto plain = std::make_unique<VirtualMachine>();
    LoadImage(*plain, image.data(), image.size());
    auto watched = std::make_unique<VirtualMachine>(*plain);
    auto observed = std::make_unique<VirtualMachine>(*plain);

    mirvo::Run plainRun(*plain, limit);
    const RunOutcome outcome = plainRun.Resume(UINT64_MAX);

    RunChecks fast(program, enabled);
    mirvo::Run fastRun(*watched, limit);
    RunOutcome fastOutcome = RunOutcome::kRunning;
    while (fastOutcome == RunOutcome::kRunning) fastOutcome = fast.Resume(fastRun, 1 + random() % 50000);

    RunChecks slow(program, enabled);
    mirvo::Run slowRun(*observed, limit);
    EXPECT_EQ(slowRun.Resume(UINT64_MAX, &RunChecks::Observe, &slow), outcome);

    EXPECT_EQ(fastOutcome, outcome);
    EXPECT_EQ(fastRun.Steps(), plainRun.Steps());
    EXPECT_TRUE(*watched == *plain);
    ASSERT_EQ(fast.Findings().size(), slow.Findings().size());
    for (std::size_t i = 0; i < fast.Findings().size(); ++i) {
      EXPECT_EQ(fast.Findings()[i].step, slow.Findings()[i].step);
      EXPECT_EQ(fast.Findings()[i].message, slow.Findings()[i].message);
      seen = static_cast<CheckMask>(seen | CheckBit(fast.Findings()[i].id));
    }
  }
  EXPECT_EQ(seen, kAllChecks) << "every check shows in some program";
}

}  // namespace
}  // namespace mirvo
