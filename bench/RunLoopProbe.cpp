// Runs a fixed number of steps of a non-halting program once, so that
// `valgrind --tool=callgrind` can count instructions per step:
//   RunLoopProbe [steps]   (default 10000000)
// The program is the one the benchmarks time (bench/CountingProgram.h).

#include <cstdio>
#include <cstdlib>

#include "CountingProgram.h"
#include "RunLoop.h"

int main(int argc, char** argv) {
  const unsigned long long steps = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 10000000ULL;
  const auto machine = mirvo::bench::CountingProgram();
  std::uint64_t taken = 0;
  const mirvo::RunOutcome outcome = mirvo::RunToEnd(*machine, steps, &taken);
  std::printf("steps %llu outcome %d\n", static_cast<unsigned long long>(taken), static_cast<int>(outcome));
  return 0;
}
