#include "ImageFile.h"

#include <cstdio>

#include "FilePtr.h"

namespace mirvo {

ImageStatus ReadImageFile(const char* path, std::vector<std::uint8_t>& bytes) {
  const FilePtr image(std::fopen(path, "rb"));
  return ReadImageStream(image.get(), bytes);
}

ImageStatus ReadImageStream(std::FILE* image, std::vector<std::uint8_t>& bytes) {
  bytes.clear();
  if (image == nullptr) return ImageStatus::kCannotOpen;
  // One byte past the limit is enough to know that the image does not fit.
  bytes.resize(kMemorySize + 1);
  std::size_t size = 0;
  while (size < bytes.size()) {
    const std::size_t got = std::fread(bytes.data() + size, 1, bytes.size() - size, image);
    if (got == 0) break;
    size += got;
  }
  bytes.resize(size);
  if (size > kMemorySize) return ImageStatus::kTooLarge;
  if (std::ferror(image)) return ImageStatus::kCannotRead;
  return ImageStatus::kLoaded;
}

}  // namespace mirvo
