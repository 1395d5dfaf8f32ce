#include "ProgramImage.h"

namespace mirvo {

ImageStatus LoadImage(VirtualMachine& machine, const std::uint8_t* bytes, std::size_t size) {
  if (size > kMemorySize) return ImageStatus::kTooLarge;
  for (std::size_t i = 0; i < size; ++i) machine.WriteMemory(static_cast<std::uint16_t>(i), bytes[i]);
  machine.SetProgramCounter(0);
  return ImageStatus::kLoaded;
}

const char* ImageErrorFormat(ImageStatus status) {
  switch (status) {
    case ImageStatus::kLoaded:
      break;
    case ImageStatus::kCannotOpen:
      return "Error! Cannot open %s\n";
    case ImageStatus::kCannotRead:
      return "Error! Cannot read %s\n";
    case ImageStatus::kTooLarge:
      return "Error! %s is larger than 65536 bytes\n";
  }
  return nullptr;
}

}  // namespace mirvo
