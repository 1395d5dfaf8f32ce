#include "Timeline.h"

#include <algorithm>
#include <cstring>

namespace mirvo {

namespace {

// A list of changes longer than this takes more room than a whole copy.
constexpr std::size_t kMostChanges = kMemorySize / sizeof(std::uint32_t);

void Apply(const std::vector<std::uint32_t>& changes, Memory& memory) {
  for (const std::uint32_t change : changes) memory[change >> 8] = static_cast<std::uint8_t>(change);
}

// The bytes of after that differ from before, in address order; false when
// there are more than kMostChanges.
bool Differences(const Memory& before, const Memory& after, std::vector<std::uint32_t>& changes) {
  changes.clear();
  constexpr std::size_t kWord = sizeof(std::uint64_t);
  for (std::size_t at = 0; at < kMemorySize; at += kWord) {
    std::uint64_t a;
    std::uint64_t b;
    std::memcpy(&a, before.data() + at, kWord);
    std::memcpy(&b, after.data() + at, kWord);
    if (a == b) continue;
    for (std::size_t i = at; i < at + kWord; ++i) {
      if (before[i] != after[i]) changes.push_back(static_cast<std::uint32_t>(i << 8 | after[i]));
    }
    if (changes.size() > kMostChanges) return false;
  }
  return true;
}

}  // namespace

Timeline::Timeline(std::uint64_t firstInterval, std::size_t maxCheckpointCount)
    : interval(std::max<std::uint64_t>(firstInterval, 1)),
      maxCheckpoints(std::max<std::size_t>(maxCheckpointCount, 2)) {}

void Timeline::Start(const VirtualMachine& machine) {
  checkpoints.clear();
  Checkpoint first{0, machine.GetProcessor(), {}, std::make_unique<Memory>(machine.GetMemory())};
  checkpoints.push_back(std::move(first));
  last = machine.GetMemory();
  sinceWhole = 0;
}

void Timeline::Represent(Checkpoint& checkpoint, const Memory& before, const Memory& after, bool wholeDue) const {
  checkpoint.changes.clear();
  if (!wholeDue && Differences(before, after, checkpoint.changes)) {
    checkpoint.whole.reset();
    checkpoint.changes.shrink_to_fit();
    return;
  }
  checkpoint.changes = {};
  if (!checkpoint.whole) checkpoint.whole = std::make_unique<Memory>();
  *checkpoint.whole = after;
}

void Timeline::Record(const VirtualMachine& machine) {
  Checkpoint checkpoint{NextCheckpoint(), machine.GetProcessor(), {}, nullptr};
  const Memory& now = machine.GetMemory();
  Represent(checkpoint, last, now, sinceWhole + 1 >= kWholeEvery);
  sinceWhole = checkpoint.whole ? 0 : sinceWhole + 1;
  if (checkpoint.whole) {
    last = now;
  } else {
    Apply(checkpoint.changes, last);
  }
  checkpoints.push_back(std::move(checkpoint));
  if (checkpoints.size() > maxCheckpoints) Thin();
}

void Timeline::Thin() {
  // One pass in step order: cursor is memory at the checkpoint being
  // walked, kept memory at the last checkpoint kept; each kept one is
  // described again against the one kept before it.
  auto cursor = std::make_unique<Memory>(*checkpoints.front().whole);
  auto kept = std::make_unique<Memory>(*cursor);
  std::size_t keep = 1;
  sinceWhole = 0;
  for (std::size_t i = 1; i < checkpoints.size(); ++i) {
    Checkpoint& checkpoint = checkpoints[i];
    if (checkpoint.whole) {
      *cursor = *checkpoint.whole;
    } else {
      Apply(checkpoint.changes, *cursor);
    }
    if (i % 2 == 1) continue;
    Represent(checkpoint, *kept, *cursor, sinceWhole + 1 >= kWholeEvery);
    sinceWhole = checkpoint.whole ? 0 : sinceWhole + 1;
    *kept = *cursor;
    checkpoints[keep++] = std::move(checkpoint);
  }
  checkpoints.resize(keep);
  last = *kept;
  interval *= 2;
}

std::size_t Timeline::IndexAtOrBefore(std::uint64_t step) const {
  const auto after = std::upper_bound(checkpoints.begin(), checkpoints.end(), step,
                                      [](std::uint64_t s, const Checkpoint& c) { return s < c.step; });
  return static_cast<std::size_t>(after - checkpoints.begin()) - 1;
}

void Timeline::MemoryAt(std::size_t index, Memory& out) const {
  std::size_t from = index;
  while (!checkpoints[from].whole) --from;
  out = *checkpoints[from].whole;
  for (std::size_t i = from + 1; i <= index; ++i) Apply(checkpoints[i].changes, out);
}

void Timeline::Rebuild(std::uint64_t step, VirtualMachine& machine) const {
  const std::size_t index = IndexAtOrBefore(step);
  const Checkpoint& checkpoint = checkpoints[index];
  auto memory = std::make_unique<Memory>();
  MemoryAt(index, *memory);
  machine.SetMemory(*memory);
  machine.SetProcessor(checkpoint.processor);
  Replay(machine, step - checkpoint.step);
}

std::size_t Timeline::Bytes() const {
  std::size_t bytes = 0;
  for (const Checkpoint& checkpoint : checkpoints) {
    bytes += sizeof checkpoint + checkpoint.changes.capacity() * sizeof(Change);
    if (checkpoint.whole) bytes += sizeof(Memory);
  }
  return bytes;
}

void Replay(VirtualMachine& machine, std::uint64_t count) {
  while (count > 0) {
    const auto room = static_cast<std::uint32_t>(std::min<std::uint64_t>(count, UINT32_MAX));
    count -= machine.RunWithoutWrap(room);
    // What the stretch leaves to Step: a wrap, a RET or an undefined byte.
    if (count > 0) {
      machine.Step();
      --count;
    }
  }
}

}  // namespace mirvo
