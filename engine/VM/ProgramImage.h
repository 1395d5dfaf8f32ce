#pragma once
// Loading a program image into a machine: byte i goes to address i. The one
// rule every front end shares: an image holds at most 65536 bytes.

#include <cstddef>
#include <cstdint>
#include <string>

#include "VirtualMachine.h"

namespace mirvo {

enum class ImageStatus : int {
  kLoaded = 0,
  kCannotOpen,  // the file could not be opened
  kCannotRead,  // it opened but a read failed: a truncated program must not run
  kTooLarge,    // more than 65536 bytes; refused rather than wrapped over address 0
};

// Writes the size bytes at address 0 and sets the program counter to 0.
// kTooLarge, with the machine untouched, for more than 65536 bytes.
ImageStatus LoadImage(VirtualMachine& machine, const std::uint8_t* bytes, std::size_t size);

// Why the image called name was not loaded, in plain words: "cannot open
// x.bin", "x.bin is larger than 65536 bytes". Empty for kLoaded.
std::string DescribeImageStatus(ImageStatus status, const std::string& name);

}  // namespace mirvo
