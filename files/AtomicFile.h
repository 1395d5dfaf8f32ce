#pragma once
// Writes an output file without ever destroying what it replaces. Open looks
// at what the path names and picks the way, in one place for every program:
//  - an ordinary regular file (or a new one) in a folder the user may write
//    is replaced whole: the bytes go to a temporary file in the same folder,
//    renamed over the target only after every write and the close succeeded.
//    Readers see the old contents or all of the new ones, a full disk leaves
//    the old file as it was, and the mode, owner and group carry over;
//  - whatever a rename would damage or cannot reach (a device, a FIFO, a file
//    with other hard links, a link whose target does not exist yet, a file in
//    a folder the user may not write) is written in place through the path,
//    as fopen would: truncate, write, close, every error reported;
//  - an existing file the user may not write is refused, and so is a file
//    that the command reads (CommandFiles).
// A temporary file is removed when the command is interrupted (SIGINT,
// SIGTERM, SIGHUP, SIGQUIT, SIGPIPE) before the signal takes its course.

#include <cstddef>
#include <string>

#include "CommandFiles.h"
#include "FilePtr.h"

struct stat;

namespace mirvo {

class AtomicFile {
 public:
  AtomicFile() = default;
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;
  // Removes the temporary file unless Commit succeeded.
  ~AtomicFile();

  // Prepares to write targetPath in the way its kind of file needs, unless
  // it names one of the inputs of files (then RefusedInput says which). 0 on
  // success, 1 on failure (refused, or cannot be opened for writing, with
  // errno set).
  int Open(const char* targetPath, const CommandFiles& files);
  const std::string* RefusedInput() const { return refusedInput; }
  // Appends size bytes. 0 on success; 1 on a short write, after which the
  // file can no longer be committed.
  int Write(const void* data, std::size_t size);
  // Flushes and closes, then renames over the target when replacing.
  // 0 on success, 1 on failure; a failed replacement leaves no temporary
  // file and the target untouched.
  int Commit();

 private:
  int OpenReplacement(const std::string& path, const struct stat* replaced);
  int OpenInPlace(const char* path);
  void Discard();

  FilePtr file;
  std::string target;     // what the temporary file is renamed over; empty in place
  std::string temporary;  // empty once renamed or removed, and in place
  bool failed = false;
  const std::string* refusedInput = nullptr;
};

}  // namespace mirvo
