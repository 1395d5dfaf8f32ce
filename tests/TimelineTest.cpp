#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <vector>

#include "Timeline.h"

namespace mirvo {
namespace {

// A machine whose memory is prefix, then filler to the top.
std::unique_ptr<VirtualMachine> Program(const std::vector<std::uint8_t>& prefix, std::uint8_t filler) {
  auto machine = std::make_unique<VirtualMachine>();
  for (unsigned a = 0; a < kMemorySize; ++a) {
    machine->WriteMemory(static_cast<std::uint16_t>(a), a < prefix.size() ? prefix[a] : filler);
  }
  return machine;
}

// Random MOV, MVI, ADD and CMP bytes (no RET, no undefined byte), stores
// into the code itself included.
std::unique_ptr<VirtualMachine> RandomProgram(unsigned seed) {
  std::mt19937 random(seed);
  const std::uint8_t bytes[] = {0x40, 0x47, 0x78, 0x7E, 0x77, 0x70, 0x3E, 0x06, 0x26, 0x2E,
                                0x36, 0x80, 0x86, 0x87, 0xB8, 0xBE, 0x65, 0x6C, 0x7C, 0x85};
  auto machine = std::make_unique<VirtualMachine>();
  for (unsigned a = 0; a < kMemorySize; ++a) {
    machine->WriteMemory(static_cast<std::uint16_t>(a), bytes[random() % sizeof bytes]);
  }
  return machine;
}

struct TimelineCase {
  const char* name;
  std::unique_ptr<VirtualMachine> start;
  std::uint64_t steps;
  std::uint64_t firstInterval;
  std::size_t maxCheckpoints;
};

// Every rebuilt state equals the state after as many Step calls, through
// many rounds of thinning, for programs that write nothing, a few bytes,
// or a new byte at nearly every step (their own code included).
TEST(TimelineTest, RebuildsEveryStateAsSteppingDoes) {
  TimelineCase cases[] = {
      {"no stores: ADD B over and over", Program({0x06, 0x01}, 0x80), 400000, 64, 16},
      // MVI B, 1 then ADD B; MOV L, A; MOV Mem, A: a store to a new address nearly every step.
      {"a store a step, over its own code", Program({0x06, 0x01}, 0x80), 0, 0, 0},
      {"random self-modifying code, seed 1", RandomProgram(1), 300000, 32, 9},
      {"random self-modifying code, seed 2", RandomProgram(2), 300000, 4096, 1024},
  };
  {
    std::vector<std::uint8_t> prefix = {0x06, 0x01};
    for (int i = 0; i < 20000; ++i) prefix.insert(prefix.end(), {0x80, 0x6F, 0x77});
    cases[1] = {"a store a step, over its own code", Program(prefix, 0x80), 250000, 16, 32};
  }
  for (TimelineCase& c : cases) {
    SCOPED_TRACE(c.name);
    Timeline timeline(c.firstInterval, c.maxCheckpoints);
    VirtualMachine run = *c.start;
    timeline.Start(run);
    std::uint64_t taken = 0;
    while (taken < c.steps) {
      const std::uint64_t next = std::min(timeline.NextCheckpoint(), c.steps);
      Replay(run, next - taken);
      taken = next;
      if (taken == timeline.NextCheckpoint()) timeline.Record(run);
    }
    EXPECT_LE(timeline.Checkpoints(), c.maxCheckpoints);
    EXPECT_LE(c.steps / timeline.Interval(), c.maxCheckpoints);
    // Whole copies at most every kWholeEvery checkpoints, besides the first:
    // the checkpoints hold far less than a copy of memory each.
    EXPECT_LE(timeline.Bytes(), (timeline.Checkpoints() / 2 + 2) * kMemorySize);

    std::mt19937 random(7);
    std::vector<std::uint64_t> samples = {0, 1, c.firstInterval, c.steps - 1, c.steps};
    for (int i = 0; i < 40; ++i) samples.push_back(random() % (c.steps + 1));
    std::sort(samples.begin(), samples.end());
    VirtualMachine stepped = *c.start;
    std::uint64_t at = 0;
    for (const std::uint64_t sample : samples) {
      for (; at < sample; ++at) stepped.Step();
      VirtualMachine rebuilt;
      timeline.Rebuild(sample, rebuilt);
      ASSERT_TRUE(rebuilt == stepped) << "at step " << sample;
      EXPECT_LE(sample - timeline.CheckpointAtOrBefore(sample), timeline.Interval());
    }
    EXPECT_TRUE(run == stepped);
  }
}

}  // namespace
}  // namespace mirvo
