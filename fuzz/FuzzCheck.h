#pragma once
// A failed invariant stops the fuzzer at once with a crash it reports.

#define FUZZ_CHECK(condition)           \
  do {                                  \
    if (!(condition)) __builtin_trap(); \
  } while (false)
