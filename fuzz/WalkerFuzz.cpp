// Folders of entries with names of any bytes, walked and gathered as mirvo
// test gathers a class. The input is a list of entries separated by '/' or
// NUL (the bytes no name holds): each entry's first byte says what it is (a
// file, a folder, a file in the last folder made, a symbolic link, a FIFO)
// and the rest is its name. The entries are made in a scratch folder.
// Invariants: the walk lists every entry made exactly once (but what hidden
// folders hold), the entries of each folder in byte order; gathering file by file gives every entry that
// is no folder one row or one skipped line, and by folder one row for each
// first-level folder; reading every row returns (a FIFO never blocks it).

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "Submissions.h"

namespace {

using namespace mirvo;
using namespace mirvo::cli;

enum class Made { kFile, kFolder, kLink, kFifo };

// The scratch folder, made once per process and removed when it ends.
class ScratchFolder {
 public:
  ScratchFolder() {
    char name[] = "/tmp/mirvo-walker-XXXXXX";
    if (::mkdtemp(name) == nullptr) std::abort();
    root = name;
    path = root + "/class";
  }
  ~ScratchFolder() {
    std::error_code error;
    std::filesystem::remove_all(root, error);
  }
  std::string root;
  std::string path;
};

const std::string& Scratch() {
  static const ScratchFolder folder;
  return folder.path;
}

// Makes the entries the input describes; what was made, by path below the
// class folder.
std::map<std::string, Made> MakeEntries(const std::uint8_t* data, std::size_t size) {
  std::map<std::string, Made> made;
  std::string folder;  // the last folder made, or none
  for (std::size_t start = 0; start < size;) {
    std::size_t end = start;
    while (end < size && data[end] != '/' && data[end] != '\0') ++end;
    const std::uint8_t kind = data[start] % 5;
    std::string name(reinterpret_cast<const char*>(data) + start + 1, end > start ? end - start - 1 : 0);
    start = end + 1;
    if (name.size() > 255) name.resize(255);
    if (name.empty() || name == "." || name == "..") continue;
    const std::string path = kind == 2 && !folder.empty() ? folder + "/" + name : name;
    const std::string full = Scratch() + "/" + path;
    bool ok = false;
    Made what = Made::kFile;
    switch (kind) {
      case 1:
        ok = ::mkdir(full.c_str(), 0755) == 0;
        what = Made::kFolder;
        if (ok) folder = path;
        break;
      case 3:
        ok = ::symlink(name.c_str(), full.c_str()) == 0;
        what = Made::kLink;
        break;
      case 4:
        ok = ::mkfifo(full.c_str(), 0644) == 0;
        what = Made::kFifo;
        break;
      default: {
        const int fd = ::open(full.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        ok = fd >= 0 && ::write(fd, name.data(), name.size()) == static_cast<ssize_t>(name.size());
        if (fd >= 0) ::close(fd);
        break;
      }
    }
    // What a hidden folder holds is not walked: it is not counted.
    if (ok && (kind != 2 || folder.empty() || folder[0] != '.')) made[path] = what;
  }
  return made;
}

std::string BaseOf(const std::string& path) { return path.substr(path.rfind('/') + 1); }
std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? "" : path.substr(0, slash);
}

void CheckWalk(const std::map<std::string, Made>& made) {
  OpenFolder folder;
  std::string reason;
  FUZZ_CHECK(folder.Open(Scratch().c_str(), reason) == 0);
  std::vector<FolderEntry> entries;
  FUZZ_CHECK(folder.Walk(entries, reason) == 0);
  FUZZ_CHECK(entries.size() == made.size());
  std::map<std::string, std::string> lastIn;  // each folder's entry seen last
  for (const FolderEntry& entry : entries) {
    const auto found = made.find(entry.path);
    FUZZ_CHECK(found != made.end());
    FUZZ_CHECK((entry.kind == EntryKind::kFolder) == (found->second == Made::kFolder));
    FUZZ_CHECK((entry.kind == EntryKind::kLink) == (found->second == Made::kLink));
    FUZZ_CHECK(entry.depth == (FolderOf(entry.path).empty() ? 1U : 2U));
    std::string& last = lastIn[FolderOf(entry.path)];
    FUZZ_CHECK(last < BaseOf(entry.path));
    last = BaseOf(entry.path);
  }
}

// Every row reads and returns; what it says does not matter here.
void ReadRows(const Submissions& submissions) {
  for (const Submission& row : submissions.rows) {
    if (!row.refused.empty()) continue;
    Program program;
    std::string reason;
    std::string cause;
    LoadSubmission(row, ProgramAs::kDetect, program, reason, cause);
  }
}

void CheckGather(const std::map<std::string, Made>& made, bool byFolder) {
  Submissions submissions;
  GatherOptions options;
  options.names = {Scratch()};
  options.byFolder = byFolder;
  submissions.Gather(options);
  const std::string prefix = Scratch() + "/";
  std::multiset<std::string> named;  // each row's or skipped line's path below the class
  for (const Submission& row : submissions.rows) named.insert(row.path.substr(prefix.size()));
  for (const Skipped& skipped : submissions.skipped) named.insert(skipped.path.substr(prefix.size()));
  for (const auto& [path, what] : made) {
    if (!byFolder && what != Made::kFolder) FUZZ_CHECK(named.count(path) == 1);
    if (byFolder && what == Made::kFolder && path[0] != '.') {
      // The student's row names their folder or a file in it.
      std::size_t rows = 0;
      for (const Submission& row : submissions.rows) rows += row.path.rfind(prefix + path + "/", 0) == 0 ? 1 : 0;
      FUZZ_CHECK(rows == 1);
    }
  }
  ReadRows(submissions);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::error_code error;
  std::filesystem::remove_all(Scratch(), error);
  FUZZ_CHECK(::mkdir(Scratch().c_str(), 0755) == 0);
  const std::map<std::string, Made> made = MakeEntries(data, size);
  CheckWalk(made);
  CheckGather(made, false);
  CheckGather(made, true);
  return 0;
}
