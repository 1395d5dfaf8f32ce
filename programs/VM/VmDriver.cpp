#include "VmDriver.h"

#include <cstdio>
#include <memory>
#include <new>
#include <vector>

#include "Banner.h"
#include "ImageFile.h"
#include "ProgramImage.h"
#include "RunLoop.h"
#include "StateMap.h"
#include "StateMapFile.h"
#include "VirtualMachine.h"

namespace mirvo {

namespace {

constexpr const char* kProgramName = "MirvoVM";

// The program's words for an image it refuses, with one %s for the path.
const char* ImageErrorFormat(ImageStatus status) {
  switch (status) {
    case ImageStatus::kCannotRead:
      return "Error! Cannot read %s\n";
    case ImageStatus::kTooLarge:
      return "Error! %s is larger than 65536 bytes\n";
    case ImageStatus::kLoaded:  // not a refusal: never asked for
    case ImageStatus::kCannotOpen:
      break;
  }
  return "Error! Cannot open %s\n";
}

// Loads the image at address 0. Returns 0, or 1 after printing why the image
// was refused.
int LoadImageFile(VirtualMachine& machine, const char* path) {
  std::vector<std::uint8_t> bytes;
  ImageStatus status = ReadImageFile(path, bytes);
  if (status == ImageStatus::kLoaded) status = LoadImage(machine, bytes.data(), bytes.size());
  if (status == ImageStatus::kLoaded) return 0;
  std::printf(ImageErrorFormat(status), path);
  return 1;
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
  if (LoadImageFile(*machine, path) != 0) return 1;

  std::printf("Executing %s\n", path);
  const RunOutcome outcome = RunToEnd(*machine, kStepLimit);
  switch (outcome) {
    case RunOutcome::kHalted:
    case RunOutcome::kRunning:  // RunToEnd never returns the pauses
    case RunOutcome::kBreakpoint:
    case RunOutcome::kWatchpoint:
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
  // The map replaces whatever file of its name stands in the folder, as it
  // always has: the image was read whole before, and is no input of it.
  const int mapStatus = WriteStateMap(*machine, path, CommandFiles{});
  if (mapStatus != 0) std::printf("Error! Cannot write %s\n", kStateMapFileName);
  machine.reset();
  std::printf("%s runtime complete.. exiting.\n\n", kProgramName);
  if (mapStatus != 0) return 1;
  return outcome == RunOutcome::kHalted ? 0 : 2;
}

}  // namespace mirvo
