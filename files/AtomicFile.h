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
// A temporary file is made unnamed where the system allows (O_TMPFILE) and
// given a name only to be renamed over the target, so that even SIGKILL
// leaves nothing; a named one (where O_TMPFILE is not supported) is removed
// when the command is interrupted (SIGINT, SIGTERM, SIGHUP, SIGQUIT,
// SIGPIPE) before the signal takes its course.
//
// A command that rewrites its own input (mirvo fmt, asm --fix) opens it with
// OpenRewrite, which never writes in place unless told to: see RewriteBar.

#include <cstddef>
#include <string>

#include "CommandFiles.h"
#include "FilePtr.h"

struct stat;

namespace mirvo {

// What stops an existing file from being rewritten whole by a temporary file
// and rename, kNone when nothing does.
enum class RewriteBar {
  kNone,
  kNotRegular,   // a pipe, FIFO, device or folder: no text of its own to replace
  kNotWritable,  // the user may not write it
  kHardLinks,    // a rename would cut it off from its other names
  kOwner,        // a new file could not be given its owner and group
  kFolder,       // its folder takes no new name
};

// The reason in words, to follow "cannot replace p.asm: " ("it has other
// hard links, which a replacement would leave with the old text").
const char* DescribeRewriteBar(RewriteBar bar);
// Whether the bar is lifted by writing in place (hard links, owner, folder).
bool InPlaceLifts(RewriteBar bar);
// What stops the file at path from being rewritten by rename. A path that
// names nothing has no bar: reading it says why.
RewriteBar FindRewriteBar(const char* path);

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
  // Prepares to rewrite the existing regular file at path with a whole new
  // text, by a temporary file and rename, unless FindRewriteBar bars it; with
  // inPlace, a bar that writing in place lifts leads instead to an unnamed
  // copy in the temporary folder ($TMPDIR, else /tmp) that Commit writes over
  // the file, in room reserved first, only once the copy is complete and its
  // length checked. 0 on success; 1 with Bar() saying why, or errno set.
  int OpenRewrite(const char* path, bool inPlace);
  RewriteBar Bar() const { return bar; }
  // The last Open or OpenRewrite found a file at the path: it would replace one.
  bool Existed() const { return existed; }
  // Appends size bytes. 0 on success; 1 on a short write, after which the
  // file can no longer be committed.
  int Write(const void* data, std::size_t size);
  // Flushes and closes, then renames over the target when replacing.
  // 0 on success, 1 on failure; a failed replacement leaves no temporary
  // file and the target untouched.
  int Commit();

 private:
  int OpenReplacement(const std::string& path, const struct stat* replaced, bool keepOwnerOrFail);
  int OpenInPlace(const char* path);
  int OpenOverwrite(const char* path);
  int NameTemporary();
  int CommitOverwrite();
  void Reset();
  void Discard();

  FilePtr file;
  std::string target;     // what the temporary file is renamed over; empty in place
  std::string temporary;  // its name; empty while unnamed, once renamed or removed, and in place
  std::string overwrite;  // the file an in-place rewrite copies over at Commit
  bool unnamed = false;   // the temporary file has no name until Commit
  std::size_t written = 0;
  bool failed = false;
  bool existed = false;
  RewriteBar bar = RewriteBar::kNone;
  const std::string* refusedInput = nullptr;
};

}  // namespace mirvo
