#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "Assembler.h"
#include "MultiplyChains.h"
#include "VirtualMachine.h"

namespace mirvo::cc {
namespace {

std::string Text(const ChainStep& step) {
  switch (step.op) {
    case ChainStep::kMov:
      return std::string("MOV ") + step.dst + ", " + step.src;
    case ChainStep::kAdd:
      return std::string("ADD ") + step.src;
    case ChainStep::kMvi:
      return std::string("MVI ") + step.dst + ", " + std::to_string(static_cast<int>(step.src)) + "h";
  }
  return "?";
}

// Each chain, assembled after MVI A, x and run on the machine for every x,
// with B to E holding a different leftover each time, ends with
// A = x * k mod 256 (the host's arithmetic).
TEST(MultiplyChainsTest, EveryChainMultipliesEveryByte) {
  auto machine = std::make_unique<VirtualMachine>();
  for (int k = 0; k < 256; ++k) {
    SCOPED_TRACE("k = " + std::to_string(k));
    std::string source = "MVI A, 00h\n";
    for (const ChainStep& step : MultiplyChain(static_cast<std::uint8_t>(k))) source += Text(step) + "\n";
    source += "RET\n";
    Assembler assembler;
    assembler.Open(source.data(), source.size());
    ASSERT_EQ(assembler.Assemble(), 0) << source;
    for (std::uint32_t a = 0; a < assembler.GetLength(); ++a) {
      machine->WriteMemory(static_cast<std::uint16_t>(a), assembler.GetImage()[a]);
    }
    for (int x = 0; x < 256; ++x) {
      machine->WriteMemory(1, static_cast<std::uint8_t>(x));
      machine->SetProgramCounter(0);
      for (std::uint8_t code = 0; code < 4; ++code)
        machine->SetRegister(code, static_cast<std::uint8_t>(x * 7 + code * 61 + 1));
      int steps = 0;
      while (machine->Step() != Halt && ++steps < 64) {
      }
      ASSERT_EQ(machine->GetRegisters()[7], static_cast<std::uint8_t>(x * k)) << "x = " << x << "\n" << source;
    }
  }
}

// A register's content as a multiple of x, or kUnknown before a chain wrote it.
constexpr int kUnknown = -1;
using Coefficients = std::array<int, 5>;  // A, B, C, D, E

std::uint64_t Key(const Coefficients& c) {
  std::uint64_t key = 0;
  for (int v : c) key = key << 9 | static_cast<std::uint64_t>(v + 1);
  return key;
}

// The shortest length of a chain for each k, by a search of its own over
// named registers (every MOV and ADD among A to E, none of the table
// generator's shortcuts), up to maxLength; -1 for a k no chain that short
// reaches.
std::array<int, 256> ShortestLengths(int maxLength) {
  std::array<int, 256> shortest;
  shortest.fill(-1);
  Coefficients start{1, kUnknown, kUnknown, kUnknown, kUnknown};
  shortest[1] = 0;
  std::unordered_map<std::uint64_t, int> seen{{Key(start), 0}};
  std::vector<Coefficients> layer{start};
  for (int length = 1; length <= maxLength; ++length) {
    std::vector<Coefficients> next;
    auto visit = [&](const Coefficients& c) {
      if (!seen.emplace(Key(c), length).second) return;
      next.push_back(c);
      const auto product = static_cast<std::size_t>(c[0]);
      if (shortest[product] < 0) shortest[product] = length;
    };
    for (const Coefficients& c : layer) {
      for (std::size_t src = 0; src < 5; ++src) {
        if (c[src] == kUnknown) continue;
        Coefficients added = c;
        added[0] = (c[0] + c[src]) & 0xFF;
        visit(added);
        for (std::size_t dst = 0; dst < 5; ++dst) {
          if (dst == src) continue;
          Coefficients moved = c;
          moved[dst] = c[src];
          visit(moved);
        }
      }
    }
    layer = std::move(next);
  }
  return shortest;
}

// The table against an independent search: every k that a chain of up to
// nine statements reaches has a chain of exactly that length in the table,
// and every other k (longer chains, up to 13) one of ten or more. k = 0 is
// the one statement MVI A, 0.
TEST(MultiplyChainsTest, ChainsAreTheShortest) {
  constexpr int kSearched = 9;
  const std::array<int, 256> shortest = ShortestLengths(kSearched);
  int reached = 0;
  for (std::size_t k = 1; k < 256; ++k) {
    SCOPED_TRACE("k = " + std::to_string(k));
    const auto length = static_cast<int>(MultiplyChain(static_cast<std::uint8_t>(k)).size());
    if (shortest[k] >= 0) {
      EXPECT_EQ(length, shortest[k]);
      ++reached;
    } else {
      EXPECT_GT(length, kSearched);
    }
    EXPECT_LE(length, 13);
  }
  EXPECT_GT(reached, 80);  // the sample is a third of the table
  ASSERT_EQ(MultiplyChain(0).size(), 1u);
  EXPECT_EQ(Text(MultiplyChain(0)[0]), "MVI A, 0h");
}

}  // namespace
}  // namespace mirvo::cc
