#pragma once
// What MOV, MVI, ADD and CMP do to registers, memory and flags, written once.
// Step's handlers and the threaded loop both instantiate these over their
// own view of the machine, so the two can never drift apart. A view offers:
//   Reg(code), SetReg(code, value)  register slots 0-7 (6 is the spare slot)
//   Load(address), Store(address, value)  memory
//   HL()  the address of the memory operand
//   SetFlag(slot, bit)  a flag byte, by its FlagSlot

#include <cstdint>

#include "InstructionSet.h"

namespace mirvo {

template <class View>
[[gnu::always_inline]] inline void MovEffect(const View& v, unsigned d, unsigned s) {
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
[[gnu::always_inline]] inline void MviEffect(const View& v, unsigned d, std::uint8_t immediate) {
  if (d == kRegM) {
    v.Store(v.HL(), immediate);
  } else {
    v.SetReg(d, immediate);
  }
}

// Only the memory form computes flags, and only Z and CY.
template <class View>
[[gnu::always_inline]] inline void AddEffect(const View& v, unsigned s) {
  if (s == kRegM) {
    const unsigned sum = v.Reg(kRegA) + v.Load(v.HL());
    const auto result = static_cast<std::uint8_t>(sum);
    v.SetReg(kRegA, result);
    v.SetFlag(kFlagCarry, sum > 0xFF ? 1 : 0);
    v.SetFlag(kFlagZero, result == 0 ? 1 : 0);
  } else {
    v.SetReg(kRegA, static_cast<std::uint8_t>(v.Reg(kRegA) + v.Reg(s)));
  }
}

// Compares A with the operand as unsigned bytes; A itself never changes.
template <class View>
[[gnu::always_inline]] inline void CmpEffect(const View& v, unsigned s) {
  const std::uint8_t value = s == kRegM ? v.Load(v.HL()) : v.Reg(s);
  const std::uint8_t accumulator = v.Reg(kRegA);
  v.SetFlag(kFlagZero, accumulator == value ? 1 : 0);
  v.SetFlag(kFlagCarry, accumulator < value ? 1 : 0);
}

}  // namespace mirvo
