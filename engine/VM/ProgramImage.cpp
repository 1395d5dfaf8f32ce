#include "ProgramImage.h"

namespace mirvo {

ImageStatus LoadImage(VirtualMachine& machine, const std::uint8_t* bytes, std::size_t size) {
  if (size > kMemorySize) return ImageStatus::kTooLarge;
  for (std::size_t i = 0; i < size; ++i) machine.WriteMemory(static_cast<std::uint16_t>(i), bytes[i]);
  machine.SetProgramCounter(0);
  return ImageStatus::kLoaded;
}

std::string DescribeImageStatus(ImageStatus status, const std::string& name) {
  switch (status) {
    case ImageStatus::kLoaded:
      break;
    case ImageStatus::kCannotOpen:
      return "cannot open " + name;
    case ImageStatus::kCannotRead:
      return "cannot read " + name;
    case ImageStatus::kTooLarge:
      return name + " is larger than " + std::to_string(kMemorySize) + " bytes";
  }
  return {};
}

}  // namespace mirvo
