#pragma once
// The files in a folder, for commands that take a folder for the files in it:
// the folder is held open and walked through its descriptor, every entry at
// every depth listed with what it is, so that a caller can give each one a
// row or a reason and drop none silently.

#include <cstdint>
#include <string>
#include <vector>

namespace mirvo {

// True when path names a folder (after following symbolic links).
bool IsFolder(const char* path);

// Which file a name reaches: its device and inode. Two names of one file (a
// hard link, a path spelled two ways) have the same; {0, 0} is no file.
struct FileId {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  auto operator<=>(const FileId&) const = default;
};

// The file that name reaches, relative to the folder open as descriptor
// folder (AT_FDCWD: the working folder), following a symbolic link at its
// end or not; {0, 0} when it reaches nothing.
FileId IdentityOf(int folder, const std::string& name, bool follow);

// What an entry of a folder is, as the entry itself says (a symbolic link is
// a link, whatever it points to).
enum class EntryKind { kFile, kFolder, kLink, kOther };

struct FolderEntry {
  // Below the folder walked, with '/' between the parts: "ana.asm",
  // "Ana Lima_12345_assignsubmission_file_/lab1.asm".
  std::string path;
  EntryKind kind = EntryKind::kOther;
  unsigned depth = 1;         // 1 for the entries of the folder itself
  FileId id;                  // of the entry itself, a link's own
  std::int64_t modified = 0;  // nanoseconds since 1970
  // A folder that could not be read, or that lies too deep, in words; its
  // entries are then not listed.
  std::string problem;
};

// Folders below this depth are listed, not entered: each level holds a
// descriptor open while it is walked.
inline constexpr unsigned kDeepestFolder = 64;

// A folder held open: its entries are listed and opened through this
// descriptor, so that what the path names later does not matter.
class OpenFolder {
 public:
  OpenFolder() = default;
  OpenFolder(const OpenFolder&) = delete;
  OpenFolder& operator=(const OpenFolder&) = delete;
  ~OpenFolder();

  // Opens the folder at path (following symbolic links: the name was given).
  // 0, or 1 with reason set to the system's words.
  int Open(const char* path, std::string& reason);
  int Descriptor() const { return descriptor; }

  // Every entry below the folder, depth first, the entries of each folder
  // sorted byte by byte and each sub-folder followed by its own entries. No
  // symbolic link is followed, and folders whose names start with a dot are
  // listed but not entered. 0, or 1 with reason set when the folder itself
  // cannot be read.
  int Walk(std::vector<FolderEntry>& entries, std::string& reason) const;

 private:
  int descriptor = -1;
};

}  // namespace mirvo
