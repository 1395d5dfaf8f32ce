#pragma once
// Reading a file that someone else chose: a student's submission. Whatever
// the name is (a FIFO, a socket, a device, a folder, a symbolic link planted
// in the class's folder, a file swapped for one of these while a batch runs),
// the read never blocks, never follows a link it was not allowed to, and
// never takes more than a limit; the bytes come from the one descriptor
// whose kind was checked, so nothing else's bytes can take their place.

#include <cstddef>
#include <string>

namespace mirvo {

enum class ReadStatus { kRead, kCannotOpen, kSymbolicLink, kNotAFile, kTooLarge, kCannotRead };

struct ReadResult {
  ReadStatus status = ReadStatus::kRead;
  int error = 0;          // the errno of kCannotOpen and kCannotRead
  const char* node = "";  // what a kNotAFile is: "a FIFO", "a socket", "a device", "a folder"
};

// Where a name came from, which decides the links that are followed.
enum class NameFrom {
  kCommandLine,          // as given: every link followed, as any program would
  kFolder,               // found by walking a folder: no link followed at all
  kFolderFollowingLinks  // found by walking, with links to files followed
};

// Reads the whole file name, relative to the folder open as descriptor
// folder (AT_FDCWD: the working folder), into bytes: at most limit bytes,
// and a longer file is kTooLarge. The file is opened with O_NONBLOCK (and
// O_NOFOLLOW for a folder's entries), then the descriptor's own fstat must
// say it is a regular file before a byte is read.
ReadResult ReadSubmission(int folder, const std::string& name, NameFrom from, std::size_t limit, std::string& bytes);

// The failure in words, naming path as the user sees it: "cannot open p.asm:
// No such file or directory", "p.asm is larger than 16 MiB, longer than any
// program", "a symbolic link, not followed", "a FIFO, not a file".
std::string DescribeRead(const ReadResult& result, const std::string& path, std::size_t limit);

}  // namespace mirvo
