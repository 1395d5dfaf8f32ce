#include "FileSource.h"

#include <cstdio>

namespace mirvo {

FileSource::FileSource(const char* path) : file(std::fopen(path, "r")) {}

std::size_t FileSource::Read(void* context, char* buffer, std::size_t size, bool* error) {
  auto* const source = static_cast<FileSource*>(context);
  if (!source->file) {
    *error = true;
    return 0;
  }
  const std::size_t got = std::fread(buffer, 1, size, source->file.get());
  if (std::ferror(source->file.get())) *error = true;
  return got;
}

}  // namespace mirvo
