#pragma once
// A file read as a stream of bytes, for readers that pull their input
// through a function (the assembler's source reader).

#include <cstddef>

#include "FilePtr.h"

namespace mirvo {

// Opens path for reading in binary mode without waiting for a writer: a FIFO
// no one writes to opens at once and then reads as empty, where fopen would
// wait for ever. Reads wait as usual, so pipes and <(...) are read whole.
// Null when it cannot be opened, with errno set.
FilePtr OpenWithoutWaiting(const char* path);

class FileSource {
 public:
  // Opens path for reading in text mode; IsOpen tells whether that worked.
  explicit FileSource(const char* path);
  // Reads from an open stream, which the source then owns.
  explicit FileSource(std::FILE* stream) : file(stream) {}

  bool IsOpen() const { return file != nullptr; }
  // A SourceReader::ReadFunction over a FileSource* context.
  static std::size_t Read(void* context, char* buffer, std::size_t size, bool* error);

 private:
  FilePtr file;
};

}  // namespace mirvo
