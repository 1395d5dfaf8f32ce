#pragma once
// The shortest register-only chain for each constant multiplication: with
// x in A, the chain of MOV r,s and ADD s over A, B, C, D and E that leaves
// A = x * k mod 256 in the fewest statements. B to E are only read after
// the chain wrote them, so it needs nothing of them and leaves them
// changed. The table was found by tools/multiply-chains.cpp.

#include <cstdint>
#include <span>

namespace mirvo::cc {

struct ChainStep {
  // kMov: MOV dst, src. kAdd: ADD src (dst is 'A'). kMvi: MVI dst, src with
  // src the byte itself, used only by k = 0 (MVI A, 0), which no register
  // chain matches in one statement.
  enum Op : std::uint8_t { kMov, kAdd, kMvi } op;
  char dst, src;
};

// x * 10 is ADD A; MOV B,A; ADD A; ADD A; ADD B. k = 1 is the empty chain.
std::span<const ChainStep> MultiplyChain(std::uint8_t k);

}  // namespace mirvo::cc
