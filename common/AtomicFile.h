#pragma once
// Writes a file so that readers only ever see the old contents or the whole
// new contents: the bytes go to a temporary file in the same folder, which is
// renamed over the target only after every write and the close succeeded.

#include <cstddef>
#include <string>

#include "FilePtr.h"

namespace mirvo {

class AtomicFile {
 public:
  AtomicFile() = default;
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;
  // Removes the temporary file unless Commit succeeded.
  ~AtomicFile();

  // Creates the temporary file beside targetPath. 0 on success, 1 on failure.
  int Open(const char* targetPath);
  // Appends size bytes. 0 on success; 1 on a short write, after which the
  // file can no longer be committed.
  int Write(const void* data, std::size_t size);
  // Flushes, closes and renames over the target. 0 on success, 1 on failure;
  // on failure the temporary file is gone and the target is untouched.
  int Commit();

 private:
  void Discard();

  FilePtr file;
  std::string target;
  std::string temporary;
  bool failed = false;
};

}  // namespace mirvo
