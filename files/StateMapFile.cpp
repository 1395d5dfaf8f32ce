#include "StateMapFile.h"

#include "AtomicFile.h"
#include "StateMap.h"

namespace mirvo {

int WriteStateMap(const VirtualMachine& machine, const char* imagePath, const CommandFiles& files, const char* path) {
  if (path == nullptr) path = kStateMapFileName;
  AtomicFile file;
  const bool written = file.Open(path, files) == 0 &&
                       FormatStateMap(
                           machine, imagePath,
                           [](void* context, const char* data, std::size_t size) {
                             return static_cast<AtomicFile*>(context)->Write(data, size) == 0;
                           },
                           &file) == 0 &&
                       file.Commit() == 0;
  return written ? 0 : 1;
}

}  // namespace mirvo
