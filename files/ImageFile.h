#pragma once
// Reading a program image file into memory, for LoadImage.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "ProgramImage.h"

namespace mirvo {

// Reads the file at path into bytes (at most 65536 bytes are kept; one more
// tells that the image is too large). kLoaded, or why it was refused: the
// file cannot be opened, it is larger than 65536 bytes, or a read failed.
ImageStatus ReadImageFile(const char* path, std::vector<std::uint8_t>& bytes);
// The same from a stream opened already (null: kCannotOpen).
ImageStatus ReadImageStream(std::FILE* image, std::vector<std::uint8_t>& bytes);

}  // namespace mirvo
