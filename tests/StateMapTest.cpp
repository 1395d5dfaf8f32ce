#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>

#include "AtomicFile.h"
#include "StateMap.h"

namespace mirvo {
namespace {

// The memory part of the report written with printf, as an independent
// reference for the table-driven formatter.
std::string PrintfMemoryLines(const VirtualMachine& machine) {
  std::string text;
  char line[64];
  for (unsigned a = 0; a < kMemorySize; ++a) {
    const unsigned value = machine.MemoryAt(static_cast<std::uint16_t>(a));
    std::snprintf(line, sizeof(line), "0x%x: 0x%x (%d)\n", a, value, value);
    text += line;
  }
  return text;
}

TEST(StateMapTest, GoldenReportOfAShortProgram) {
  auto machine = std::make_unique<VirtualMachine>();
  const std::uint8_t image[] = {0x3E, 0xF0, 0x06, 0x20, 0x80, 0xC9};
  for (std::uint16_t a = 0; a < sizeof(image); ++a) machine->WriteMemory(a, image[a]);
  while (machine->Step() != Halt) {
  }
  const std::string golden =
      "This output file was produced by MirvoVM.\n"
      "It represents the state of the VM after\n"
      "running an application.\n"
      "\n"
      "Output log from: prog.bin\n"
      "\n"
      "MirvoVM (Post Run) VM CPU State Map\n"
      "\n"
      "Registers\n"
      "Reg A: 10 (16)\n"
      "Reg B: 20 (32)\n"
      "Reg C: 0 (0)\n"
      "Reg D: 0 (0)\n"
      "Reg E: 0 (0)\n"
      "Reg H: 0 (0)\n"
      "Reg L: 0 (0)\n"
      "\n"
      "Flags\n"
      "S Z - AC - P - CY\n"
      "0 0   0    0   0\n"
      "\n"
      "Program Counter/Instruction Pointer\n"
      "0x5 (5)\n"
      "\n"
      "Stack Pointer\n"
      "0xffff (65535)\n"
      "\n"
      "Memory Map\n"
      "0x0: 0x3e (62)\n"
      "0x1: 0xf0 (240)\n"
      "0x2: 0x6 (6)\n"
      "0x3: 0x20 (32)\n"
      "0x4: 0x80 (128)\n"
      "0x5: 0xc9 (201)\n"
      "0x6: 0x0 (0)\n";
  const std::string text = StateMapText(*machine, "prog.bin");
  ASSERT_GE(text.size(), golden.size());
  EXPECT_EQ(text.substr(0, golden.size()), golden);
  const std::size_t memoryStart = text.find("Memory Map\n") + 11;
  EXPECT_EQ(text.substr(memoryStart), PrintfMemoryLines(*machine) + "\n");
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), static_cast<long>(kStateMapLines));
  EXPECT_NE(text.find("0xffff: 0x0 (0)\n\n"), std::string::npos);
}

TEST(StateMapTest, FlagsAndWideValuesAreFormatted) {
  auto machine = std::make_unique<VirtualMachine>();
  // MVI H,0; MVI L,9; MVI A,0FFh; ADD M (A=0 with carry); RET; data 01h.
  const std::uint8_t image[] = {0x26, 0x00, 0x2E, 0x09, 0x3E, 0xFF, 0x86, 0xC9, 0x00, 0x01};
  for (std::uint16_t a = 0; a < sizeof(image); ++a) machine->WriteMemory(a, image[a]);
  for (unsigned a = 0x100; a < kMemorySize; a += 0x1111) {
    machine->WriteMemory(static_cast<std::uint16_t>(a), static_cast<std::uint8_t>(a >> 4));
  }
  while (machine->Step() != Halt) {
  }
  const std::string text = StateMapText(*machine, "/abs/path with space.bin");
  EXPECT_NE(text.find("Output log from: /abs/path with space.bin\n\n"), std::string::npos);
  EXPECT_NE(text.find("Reg L: 9 (9)\n"), std::string::npos);
  EXPECT_NE(text.find("S Z - AC - P - CY\n0 1   0    0   1\n"), std::string::npos);
  EXPECT_NE(text.find("Program Counter/Instruction Pointer\n0x7 (7)\n"), std::string::npos);
  const std::size_t memoryStart = text.find("Memory Map\n") + 11;
  EXPECT_EQ(text.substr(memoryStart), PrintfMemoryLines(*machine) + "\n");
}

TEST(StateMapTest, RefusingSinkStopsTheReport) {
  const auto machine = std::make_unique<VirtualMachine>();
  int calls = 0;
  const int status = FormatStateMap(
      *machine, "x",
      [](void* context, const char*, std::size_t) {
        ++*static_cast<int*>(context);
        return false;
      },
      &calls);
  EXPECT_EQ(status, 1);
  EXPECT_EQ(calls, 1);
}

}  // namespace
}  // namespace mirvo

namespace mirvo {
namespace {

// An output object refuses to write or commit unless its open succeeded, and
// leaves nothing behind.
TEST(AtomicFileTest, NothingIsWrittenWithoutAnOpenFile) {
  AtomicFile never;
  EXPECT_EQ(never.Write("x", 1), 1);
  EXPECT_EQ(never.Commit(), 1);
  AtomicFile failed;
  EXPECT_EQ(failed.Open("/nonexistent-folder/out.bin", CommandFiles{}), 1);
  EXPECT_EQ(failed.Write("x", 1), 1);
  EXPECT_EQ(failed.Commit(), 1);
  EXPECT_EQ(std::fopen("/nonexistent-folder/out.bin", "rb"), nullptr);
}

}  // namespace
}  // namespace mirvo
