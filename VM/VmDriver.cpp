#include "VmDriver.h"

#include <cstdio>
#include <memory>
#include <new>

#include "AtomicFile.h"
#include "Banner.h"
#include "RunLoop.h"
#include "StateMap.h"
#include "VirtualMachine.h"

namespace mirvo {

namespace {

constexpr const char* kProgramName = "MirvoVM";

// Loads the image at address 0. Returns 0, or 1 after printing why the image
// was refused: it cannot be opened or read, or it does not fit in memory.
int LoadImage(VirtualMachine& machine, const char* path) {
  const FilePtr image(std::fopen(path, "rb"));
  if (!image) {
    std::printf("Error! Cannot open %s\n", path);
    return 1;
  }
  std::uint8_t block[4096];
  std::size_t counter = 0;
  for (;;) {
    const std::size_t got = std::fread(block, 1, sizeof(block), image.get());
    // Refused rather than wrapped over address 0, which would corrupt the program.
    if (counter + got > kMemorySize) {
      std::printf("Error! %s is larger than 65536 bytes\n", path);
      return 1;
    }
    for (std::size_t i = 0; i < got; ++i) {
      machine.WriteMemory(static_cast<std::uint16_t>(counter + i), block[i]);
    }
    counter += got;
    if (got < sizeof(block)) break;
  }
  // A truncated program must not run as if it were whole.
  if (std::ferror(image.get())) {
    std::printf("Error! Cannot read %s\n", path);
    return 1;
  }
  return 0;
}

}  // namespace

int RunVirtualMachineProgram(int argc, char** argv) {
  PrintBanner("---------------------------\n", "Mirvo Virtual Machine v%s\n");
  if (argc < 2) {
    std::printf("Invalid argument count!\n\n");
    std::printf("Usage: %s <filename>\n\n", kProgramName);
    return 1;
  }
  const char* const path = argv[1];
  std::unique_ptr<VirtualMachine> machine(new (std::nothrow) VirtualMachine());
  if (!machine) return 1;
  if (LoadImage(*machine, path) != 0) return 1;
  machine->SetProgramCounter(0);

  std::printf("Executing %s\n", path);
  const RunOutcome outcome = RunToEnd(*machine, kStepLimit);
  switch (outcome) {
    case RunOutcome::kHalted:
      break;
    case RunOutcome::kUndefinedOpcode: {
      const std::uint16_t address = machine->GetProgramCounter();
      std::printf("Error! Undefined opcode 0x%x at 0x%x\n", static_cast<unsigned>(machine->MemoryAt(address)),
                  static_cast<unsigned>(address));
      break;
    }
    case RunOutcome::kLoopsForever:
      std::printf("Error! The program loops forever without a RET\n");
      break;
    case RunOutcome::kStepLimit:
      std::printf("Error! No RET within %llu steps\n", static_cast<unsigned long long>(kStepLimit));
      break;
  }

  std::printf("Writing output log\n");
  const int mapStatus = WriteStateMap(*machine, path);
  machine.reset();
  std::printf("%s runtime complete.. exiting.\n\n", kProgramName);
  if (mapStatus != 0) return 1;
  return outcome == RunOutcome::kHalted ? 0 : 2;
}

}  // namespace mirvo
