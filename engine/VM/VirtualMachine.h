#pragma once
// The virtual 8-bit processor and its 64 KiB memory, all in one object so
// that a single allocation holds a whole machine.

#include <array>
#include <cstdint>

#include "InstructionSet.h"

namespace mirvo {

enum StepResult : int {
  Continue = 0,
  Halt = 2,
};

using RegisterFile = std::array<std::uint8_t, 8>;  // indexed by register code
using FlagBytes = std::array<std::uint8_t, 8>;     // indexed by FlagSlot
using Memory = std::array<std::uint8_t, kMemorySize>;

inline constexpr std::uint16_t kEmptyStack = 0xFFFF;

// Facts of a step, before it executes, that a watcher of the threaded loop
// may ask to see itself. The machine says what happens, never why it matters.
enum StepEvent : std::uint8_t {
  kReadsUnwritten = 1,    // an operand register not written so far is read
  kAddressUnwritten = 2,  // a register of StepWatch::addressRegisters not written so far makes Mem's address
  kStoresBelowLimit = 4,  // a store to an address below StepWatch::storeLimit
  kAtStopAddress = 8,     // the step is at StepWatch::stopAddress
  kAddCarries = 16,       // a register-form ADD whose sum passes FFh
};

// What the watched threaded loop looks at, cheaply, on every step: it keeps
// written up to date and stops before a step with an event that ignored
// does not list for the step's address, for the watcher to look at in full.
struct StepWatch {
  std::uint8_t written = 0;               // register slots written so far, one bit per code
  std::uint8_t addressRegisters = 0;      // of H and L, those whose being unwritten is an event
  std::uint32_t storeLimit = 0;           // stores below this address are events
  std::uint32_t stopAddress = 0x10000;    // a step at this address is an event (0x10000: none)
  const std::uint8_t* ignored = nullptr;  // 65536 StepEvent masks, by address
};

class VirtualMachine {
 public:
  VirtualMachine();

  // Executes the one instruction at the program counter.
  StepResult Step();

  // Executes at most maxSteps MOV, MVI, ADD and CMP instructions with exactly
  // the effect of as many Step calls, and returns how many it executed. It
  // stops early, without executing it, at a RET or an undefined opcode, and
  // at an instruction that could carry the program counter past 0xFFFF; so
  // after it returns, a caller that steps one at a time sees every halt,
  // frozen step and wrap of the program counter itself.
  std::uint32_t RunWithoutWrap(std::uint32_t maxSteps);
  // The same, watched: it also stops, without executing it, before a step
  // with an event for watch (see StepWatch).
  std::uint32_t RunWithoutWrap(std::uint32_t maxSteps, StepWatch& watch);

  void WriteMemory(std::uint16_t address, std::uint8_t value) { memory[address] = value; }
  std::uint8_t& MemoryAt(std::uint16_t address) { return memory[address]; }
  const std::uint8_t& MemoryAt(std::uint16_t address) const { return memory[address]; }
  void SetProgramCounter(std::uint16_t address) { programCounter = address; }
  std::uint16_t GetProgramCounter() const { return programCounter; }
  // No instruction moves the stack pointer; this lets a test set up a stack.
  void SetStackPointer(std::uint16_t address) { stackPointer = address; }
  std::uint16_t GetStackPointer() const { return stackPointer; }
  const RegisterFile& GetRegisters() const { return registers; }
  const FlagBytes& GetFlags() const { return flags; }
  // 1 for a code above 7, which changes nothing.
  int SetRegister(std::uint8_t code, std::uint8_t value);
  // A code above 7 refers to A.
  std::uint8_t& RegisterAt(std::uint8_t code);
  // Sets a flag byte to 0 or 1 (any value but 0 is 1), for a run that starts
  // from a given state. 1 for a slot above 7, which changes nothing.
  int SetFlag(std::uint8_t slot, std::uint8_t value);

  // Everything but memory, as a run's checkpoints keep it.
  struct Processor {
    RegisterFile registers;
    FlagBytes flags;
    std::uint16_t programCounter;
    std::uint16_t stackPointer;
  };
  const Memory& GetMemory() const { return memory; }
  void SetMemory(const Memory& bytes) { memory = bytes; }
  Processor GetProcessor() const { return {registers, flags, programCounter, stackPointer}; }
  void SetProcessor(const Processor& processor) {
    registers = processor.registers;
    flags = processor.flags;
    programCounter = processor.programCounter;
    stackPointer = processor.stackPointer;
  }

  // Whole-state equality: registers (slot 6 included), flag bytes, program
  // counter, stack pointer and memory, memory compared last.
  bool operator==(const VirtualMachine& other) const = default;

 private:
  StepResult ExecuteMov(std::uint8_t opcode);
  StepResult ExecuteMvi(std::uint8_t opcode);
  StepResult ExecuteAdd(std::uint8_t opcode);
  StepResult ExecuteCmp(std::uint8_t opcode);
  StepResult ExecuteRet(std::uint8_t opcode);
  std::uint16_t AddressHL();

  // The machine as Step's handlers see it (registers through RegisterAt and
  // SetRegister), for the shared instruction effects.
  struct StepView;

  template <bool kWatched>
  std::uint32_t RunThreaded(std::uint32_t maxSteps, StepWatch* watch);

  RegisterFile registers;
  FlagBytes flags;
  std::uint16_t programCounter;
  std::uint16_t stackPointer;
  Memory memory;
};

}  // namespace mirvo
