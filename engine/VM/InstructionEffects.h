#pragma once
// What MOV, MVI, ADD and CMP do to registers, memory and flags, written once.
// Step's handlers and the threaded loop both instantiate these over their
// own view of the machine, so the two can never drift apart. A view offers:
//   Reg(code), SetReg(code, value)  register slots 0-7 (6 is the spare slot)
//   Load(address), Store(address, value)  memory
//   HL()  the address of the memory operand
//   SetFlag(slot, bit)  a flag byte, by its FlagSlot

#include <array>
#include <cstdint>

#include "InstructionSet.h"

namespace mirvo {

template <class View>
[[gnu::always_inline]] constexpr void MovEffect(const View& v, unsigned d, unsigned s) {
  // The source test comes first, so 0x76 (M to M) loads memory into the
  // spare slot 6 and leaves memory alone.
  if (s == kRegM) {
    v.SetReg(d, v.Load(v.HL()));
  } else if (d == kRegM) {
    v.Store(v.HL(), v.Reg(s));
  } else {
    v.SetReg(d, v.Reg(s));
  }
}

template <class View>
[[gnu::always_inline]] constexpr void MviEffect(const View& v, unsigned d, std::uint8_t immediate) {
  if (d == kRegM) {
    v.Store(v.HL(), immediate);
  } else {
    v.SetReg(d, immediate);
  }
}

// True when A + value does not fit in a byte: the sum carries out of bit 7.
constexpr bool AddCarries(std::uint8_t accumulator, std::uint8_t value) { return accumulator + value > 0xFF; }

// Only the memory form computes flags, and only Z and CY.
template <class View>
[[gnu::always_inline]] constexpr void AddEffect(const View& v, unsigned s) {
  if (s == kRegM) {
    const std::uint8_t accumulator = v.Reg(kRegA);
    const std::uint8_t value = v.Load(v.HL());
    const auto result = static_cast<std::uint8_t>(accumulator + value);
    v.SetReg(kRegA, result);
    v.SetFlag(kFlagCarry, AddCarries(accumulator, value) ? 1 : 0);
    v.SetFlag(kFlagZero, result == 0 ? 1 : 0);
  } else {
    v.SetReg(kRegA, static_cast<std::uint8_t>(v.Reg(kRegA) + v.Reg(s)));
  }
}

// Compares A with the operand as unsigned bytes; A itself never changes.
template <class View>
[[gnu::always_inline]] constexpr void CmpEffect(const View& v, unsigned s) {
  const std::uint8_t value = s == kRegM ? v.Load(v.HL()) : v.Reg(s);
  const std::uint8_t accumulator = v.Reg(kRegA);
  v.SetFlag(kFlagZero, accumulator == value ? 1 : 0);
  v.SetFlag(kFlagCarry, accumulator < value ? 1 : 0);
}

}  // namespace mirvo

namespace mirvo {

// What one opcode touches, found by running its effect on a view that only
// takes notes: so the checks, the trace and the step records know what an
// instruction reads and writes without a second statement of the rules.
struct InstructionUse {
  std::uint8_t reads = 0;    // register slots read as operands, one bit per register code
  std::uint8_t address = 0;  // registers read to form the address of Mem (H and L)
  std::uint8_t writes = 0;   // register slots written (bit 6: the spare slot of MOV Mem, Mem)
  bool loads = false;        // reads the byte at HL
  bool stores = false;       // writes the byte at HL
  std::uint8_t flags = 0;    // flags written, a FlagBit mask
};

namespace detail {

struct NoteTakingView {
  InstructionUse* use;
  constexpr std::uint8_t Reg(unsigned code) const {
    use->reads = static_cast<std::uint8_t>(use->reads | 1U << code);
    return 0;
  }
  constexpr void SetReg(unsigned code, std::uint8_t) const {
    use->writes = static_cast<std::uint8_t>(use->writes | 1U << code);
  }
  constexpr std::uint8_t Load(std::uint16_t) const {
    use->loads = true;
    return 0;
  }
  constexpr void Store(std::uint16_t, std::uint8_t) const { use->stores = true; }
  constexpr std::uint16_t HL() const {
    use->address = static_cast<std::uint8_t>(1U << kRegH | 1U << kRegL);
    return 0;
  }
  constexpr void SetFlag(std::uint8_t slot, std::uint8_t) const {
    use->flags = static_cast<std::uint8_t>(use->flags | FlagBit(static_cast<FlagSlot>(slot)));
  }
};

}  // namespace detail

constexpr InstructionUse UseOf(std::uint8_t opcode) {
  InstructionUse use;
  const detail::NoteTakingView view{&use};
  const Instruction in = Decode(opcode);
  switch (in.operation) {
    case Operation::kMov:
      MovEffect(view, in.destination, in.source);
      break;
    case Operation::kMvi:
      MviEffect(view, in.destination, 0);
      break;
    case Operation::kAdd:
      AddEffect(view, in.source);
      break;
    case Operation::kCmp:
      CmpEffect(view, in.source);
      break;
    case Operation::kRet:
    case Operation::kUndefined:
      break;
  }
  return use;
}

inline constexpr std::array<InstructionUse, 256> kUseTable = [] {
  std::array<InstructionUse, 256> table{};
  for (unsigned opcode = 0; opcode < 256; ++opcode) table[opcode] = UseOf(static_cast<std::uint8_t>(opcode));
  return table;
}();

}  // namespace mirvo
