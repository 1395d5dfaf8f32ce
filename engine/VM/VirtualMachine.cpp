#include "VirtualMachine.h"

#include <algorithm>

#include "InstructionEffects.h"

namespace mirvo {

VirtualMachine::VirtualMachine() : registers{}, flags{}, programCounter(0), stackPointer(kEmptyStack), memory{} {}

int VirtualMachine::SetRegister(std::uint8_t code, std::uint8_t value) {
  if (code > 7) return 1;
  registers[code] = value;
  return 0;
}

int VirtualMachine::SetFlag(std::uint8_t slot, std::uint8_t value) {
  if (slot > 7) return 1;
  flags[slot] = value != 0 ? 1 : 0;
  return 0;
}

std::uint8_t& VirtualMachine::RegisterAt(std::uint8_t code) { return registers[code > 7 ? std::uint8_t{kRegA} : code]; }

std::uint16_t VirtualMachine::AddressHL() { return HlAddress(RegisterAt(kRegH), RegisterAt(kRegL)); }

StepResult VirtualMachine::Step() {
  const std::uint8_t opcode = memory[programCounter];
  switch (kDecodeTable[opcode].operation) {
    case Operation::kMov:
      return ExecuteMov(opcode);
    case Operation::kMvi:
      return ExecuteMvi(opcode);
    case Operation::kAdd:
      return ExecuteAdd(opcode);
    case Operation::kCmp:
      return ExecuteCmp(opcode);
    case Operation::kRet:
      return ExecuteRet(opcode);
    case Operation::kUndefined:
      break;
  }
  // Not an instruction: nothing changes, the program counter included.
  return Continue;
}

struct VirtualMachine::StepView {
  VirtualMachine& machine;
  std::uint8_t Reg(unsigned code) const { return machine.RegisterAt(static_cast<std::uint8_t>(code)); }
  void SetReg(unsigned code, std::uint8_t value) const { machine.SetRegister(static_cast<std::uint8_t>(code), value); }
  std::uint8_t Load(std::uint16_t address) const { return machine.memory[address]; }
  void Store(std::uint16_t address, std::uint8_t value) const { machine.memory[address] = value; }
  std::uint16_t HL() const { return machine.AddressHL(); }
  void SetFlag(std::uint8_t slot, std::uint8_t bit) const { machine.flags[slot] = bit; }
};

StepResult VirtualMachine::ExecuteMov(std::uint8_t opcode) {
  StepView view{*this};
  MovEffect(view, DestinationField(opcode), SourceField(opcode));
  ++programCounter;
  return Continue;
}

StepResult VirtualMachine::ExecuteMvi(std::uint8_t opcode) {
  StepView view{*this};
  MviEffect(view, DestinationField(opcode), memory[static_cast<std::uint16_t>(programCounter + 1)]);
  programCounter = static_cast<std::uint16_t>(programCounter + 2);
  return Continue;
}

StepResult VirtualMachine::ExecuteAdd(std::uint8_t opcode) {
  StepView view{*this};
  AddEffect(view, SourceField(opcode));
  ++programCounter;
  return Continue;
}

StepResult VirtualMachine::ExecuteCmp(std::uint8_t opcode) {
  StepView view{*this};
  CmpEffect(view, SourceField(opcode));
  ++programCounter;
  return Continue;
}

StepResult VirtualMachine::ExecuteRet(std::uint8_t /*opcode*/) {
  if (stackPointer == kEmptyStack) return Halt;
  // A non-empty stack pops the return address as the 8080 does: low byte
  // first. No instruction of the set can build such a stack.
  const std::uint8_t low = memory[stackPointer];
  const std::uint8_t high = memory[static_cast<std::uint16_t>(stackPointer + 1)];
  stackPointer = static_cast<std::uint16_t>(stackPointer + 2);
  programCounter = static_cast<std::uint16_t>(high << 8 | low);
  return Continue;
}

namespace {

// The machine as the fast loop sees it: raw arrays, and a program counter
// that the caller keeps below 0xFFFF, so no address needs wrapping.
struct RawView {
  std::uint8_t* r;
  std::uint8_t* f;
  std::uint8_t* m;
  std::uint8_t Reg(unsigned code) const { return r[code]; }
  void SetReg(unsigned code, std::uint8_t value) const { r[code] = value; }
  std::uint8_t Load(unsigned address) const { return m[address]; }
  void Store(unsigned address, std::uint8_t value) const { m[address] = value; }
  unsigned HL() const { return HlAddress(r[kRegH], r[kRegL]); }
  void SetFlag(std::uint8_t slot, std::uint8_t bit) const { f[slot] = bit; }
};

// What the watched loop knows of its watcher, in locals the stores to
// memory cannot alias.
struct LoopWatch {
  std::uint8_t written;
  std::uint8_t addressRegisters;
  std::uint32_t storeLimit;
  std::uint32_t stopAddress;
  const std::uint8_t* ignored;
};

// The events of the instruction kOpcode, before it executes: each condition
// is known at compile time to apply or not, and is computed without a
// branch, as the common answer is none. (A step at stopAddress is kept out
// of the batches instead: see RunThreaded.)
template <std::uint8_t kOpcode>
[[gnu::always_inline]] inline unsigned EventsOf(const RawView& v, const LoopWatch& watch) {
  constexpr Instruction in = Decode(kOpcode);
  constexpr InstructionUse use = kUseTable[kOpcode];
  const unsigned unwritten = ~unsigned{watch.written};
  unsigned events = 0;
  if constexpr (use.reads != 0) events |= (use.reads & unwritten) != 0 ? unsigned{kReadsUnwritten} : 0U;
  if constexpr (use.address != 0) {
    events |= (use.address & watch.addressRegisters & unwritten) != 0 ? unsigned{kAddressUnwritten} : 0U;
  }
  if constexpr (use.stores) events |= v.HL() < watch.storeLimit ? unsigned{kStoresBelowLimit} : 0U;
  if constexpr (in.operation == Operation::kAdd && in.source != kRegM) {
    events |= AddCarries(v.r[kRegA], v.r[in.source]) ? unsigned{kAddCarries} : 0U;
  }
  return events;
}

// One instruction of the fast loop, specialised at compile time from the
// shared decoder. Returns false, having done nothing, for RET and undefined
// opcodes, which the caller leaves to Step, and, when watched, for a step
// with an event the watch does not silence.
template <std::uint8_t kOpcode, bool kWatched>
[[gnu::always_inline]] inline bool FastExecute(const RawView& v, std::uint32_t& pc, LoopWatch& watch) {
  constexpr Instruction in = Decode(kOpcode);
  if constexpr (in.operation == Operation::kRet || in.operation == Operation::kUndefined) {
    return false;
  } else {
    if constexpr (kWatched) {
      if (const unsigned events = EventsOf<kOpcode>(v, watch); events != 0) [[unlikely]] {
        if ((events & ~unsigned{watch.ignored[pc]}) != 0) return false;
      }
      watch.written = static_cast<std::uint8_t>(watch.written | kUseTable[kOpcode].writes);
    }
    if constexpr (in.operation == Operation::kMov) {
      MovEffect(v, in.destination, in.source);
    } else if constexpr (in.operation == Operation::kMvi) {
      MviEffect(v, in.destination, v.m[pc + 1]);
    } else if constexpr (in.operation == Operation::kAdd) {
      AddEffect(v, in.source);
    } else {
      CmpEffect(v, in.source);
    }
    pc += in.length;
    return true;
  }
}

}  // namespace

// Threaded dispatch: every opcode has its own label, and each handler jumps
// straight to the next opcode's label. Labels as values are a GNU extension,
// hence the local pragma.
// The macros of the handlers, laid out by hand.
// clang-format off
#define MIRVO_OP(n)                                   \
  op_##n : if (!FastExecute<(n), kWatched>(view, pc, watch)) goto stopped; \
  if (--left == 0) goto batchDone;                    \
  goto* kHandlers[m[pc]];
#define MIRVO_OP16(h)                                                                                   \
  MIRVO_OP(h##0) MIRVO_OP(h##1) MIRVO_OP(h##2) MIRVO_OP(h##3) MIRVO_OP(h##4) MIRVO_OP(h##5) MIRVO_OP(h##6) \
  MIRVO_OP(h##7) MIRVO_OP(h##8) MIRVO_OP(h##9) MIRVO_OP(h##A) MIRVO_OP(h##B) MIRVO_OP(h##C) MIRVO_OP(h##D) \
  MIRVO_OP(h##E) MIRVO_OP(h##F)
#define MIRVO_LABEL(n) &&op_##n,
#define MIRVO_LABEL16(h)                                                                        \
  MIRVO_LABEL(h##0) MIRVO_LABEL(h##1) MIRVO_LABEL(h##2) MIRVO_LABEL(h##3) MIRVO_LABEL(h##4)     \
  MIRVO_LABEL(h##5) MIRVO_LABEL(h##6) MIRVO_LABEL(h##7) MIRVO_LABEL(h##8) MIRVO_LABEL(h##9)     \
  MIRVO_LABEL(h##A) MIRVO_LABEL(h##B) MIRVO_LABEL(h##C) MIRVO_LABEL(h##D) MIRVO_LABEL(h##E)     \
  MIRVO_LABEL(h##F)
#define MIRVO_ALL(X) X(0x0) X(0x1) X(0x2) X(0x3) X(0x4) X(0x5) X(0x6) X(0x7) X(0x8) X(0x9) X(0xA) X(0xB) X(0xC) X(0xD) X(0xE) X(0xF)

// clang-format on

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpedantic"

template <bool kWatched>
std::uint32_t VirtualMachine::RunThreaded(std::uint32_t maxSteps, StepWatch* stepWatch) {
  static const void* const kHandlers[256] = {MIRVO_ALL(MIRVO_LABEL16)};
  const RawView view{registers.data(), flags.data(), memory.data()};
  const std::uint8_t* const m = view.m;
  LoopWatch watch{};
  if constexpr (kWatched) {
    watch = {stepWatch->written, stepWatch->addressRegisters, stepWatch->storeLimit, stepWatch->stopAddress,
             stepWatch->ignored};
  }
  std::uint32_t pc = programCounter;
  std::uint32_t done = 0;
  std::uint32_t batch = 0;
  std::uint32_t left = 0;
  while (done < maxSteps) {
    // No instruction is longer than 2 bytes, so a batch of this many steps
    // ends at or below 0xFFFF: nothing inside it wraps.
    batch = std::min(maxSteps - done, (0xFFFFU - pc) / 2);
    if constexpr (kWatched) {
      // No step of a batch starts at stopAddress: a batch ends where its last
      // step could, and a step there is handed back unless it is ignored.
      if (pc <= watch.stopAddress && (pc < watch.stopAddress || (watch.ignored[pc] & kAtStopAddress) == 0)) {
        batch = std::min(batch, (watch.stopAddress - pc + 1) / 2);
      }
    }
    if (batch == 0) break;
    left = batch;
    goto* kHandlers[m[pc]];
    MIRVO_ALL(MIRVO_OP16)
  batchDone:
    done += batch;
  }
  programCounter = static_cast<std::uint16_t>(pc);
  if constexpr (kWatched) stepWatch->written = watch.written;
  return done;
stopped:
  programCounter = static_cast<std::uint16_t>(pc);
  if constexpr (kWatched) stepWatch->written = watch.written;
  return done + (batch - left);
}

std::uint32_t VirtualMachine::RunWithoutWrap(std::uint32_t maxSteps) { return RunThreaded<false>(maxSteps, nullptr); }

std::uint32_t VirtualMachine::RunWithoutWrap(std::uint32_t maxSteps, StepWatch& watch) {
  return RunThreaded<true>(maxSteps, &watch);
}

#pragma GCC diagnostic pop

#undef MIRVO_ALL
#undef MIRVO_LABEL16
#undef MIRVO_LABEL
#undef MIRVO_OP16
#undef MIRVO_OP

}  // namespace mirvo
