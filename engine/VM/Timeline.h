#pragma once
// Any earlier state of a run, rebuilt on demand, so that going back a step
// costs about the same at any point of a run, however long.
//
// The run hands its machine over every Interval() steps. Each such
// checkpoint keeps the registers, flags and pointers, and memory as the
// bytes that differ from the checkpoint before; every kWholeEvery-th
// checkpoint (and any whose changes would take more room) keeps all of
// memory instead. A state is rebuilt from the last checkpoint at or before
// it: memory from the whole copy before it and at most kWholeEvery lists of
// changes, then the steps in between run again at full speed. When there
// are more than maxCheckpoints, every other one goes and the interval
// doubles, so a run of any length keeps a bounded number.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "VirtualMachine.h"

namespace mirvo {

class Timeline {
 public:
  static constexpr std::size_t kWholeEvery = 32;

  explicit Timeline(std::uint64_t firstInterval = 4096, std::size_t maxCheckpoints = 1024);

  // Forgets every checkpoint; machine is the state at step 0.
  void Start(const VirtualMachine& machine);
  // The step count at which the run hands over its machine next.
  std::uint64_t NextCheckpoint() const { return checkpoints.back().step + interval; }
  // machine after NextCheckpoint() steps of the run.
  void Record(const VirtualMachine& machine);

  // Puts the state after step steps into machine. The run must have taken
  // that many steps, every one but its last going on to the next.
  void Rebuild(std::uint64_t step, VirtualMachine& machine) const;
  // The step of the last checkpoint at or before step.
  std::uint64_t CheckpointAtOrBefore(std::uint64_t step) const { return checkpoints[IndexAtOrBefore(step)].step; }

  std::uint64_t Interval() const { return interval; }
  std::size_t Checkpoints() const { return checkpoints.size(); }
  // Bytes of memory the checkpoints hold.
  std::size_t Bytes() const;

 private:
  // A changed byte: its address above, its value in the low 8 bits, so
  // that a list in address order is also in numeric order.
  using Change = std::uint32_t;
  struct Checkpoint {
    std::uint64_t step;
    VirtualMachine::Processor processor;
    std::vector<Change> changes;    // since the checkpoint before
    std::unique_ptr<Memory> whole;  // all of memory, or null
  };

  std::size_t IndexAtOrBefore(std::uint64_t step) const;
  // Memory at checkpoint index.
  void MemoryAt(std::size_t index, Memory& out) const;
  // Keeps every other checkpoint and doubles the interval.
  void Thin();
  // Fills checkpoint's memory as the change from before to after, or as a
  // whole copy when that is due or smaller.
  void Represent(Checkpoint& checkpoint, const Memory& before, const Memory& after, bool wholeDue) const;

  std::uint64_t interval;
  std::size_t maxCheckpoints;
  std::vector<Checkpoint> checkpoints;
  std::size_t sinceWhole = 0;  // checkpoints since the last whole copy
  Memory last{};               // memory at the last checkpoint
};

// Executes count steps of machine, exactly as many Step calls would, at the
// speed of a run without observer.
void Replay(VirtualMachine& machine, std::uint64_t count);

}  // namespace mirvo
