#include "AtomicFile.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace mirvo {

namespace {

enum class Way { kRefuse, kInPlace, kReplace };

struct Plan {
  Way way = Way::kInPlace;
  std::string target;                  // the file a replacement is renamed over
  bool replacing = false;              // a replacement takes over an existing file
  bool exists = false;                 // the path names a file
  RewriteBar bar = RewriteBar::kNone;  // why an existing file is not replaced
  struct stat status {};               // that file, when replacing
};

// The part of path before its last slash, slash included: "" for a bare name.
std::string FolderPrefix(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// The folder a path's last name lives in, as open would look it up.
std::string FolderOf(const std::string& path) {
  const std::string prefix = FolderPrefix(path);
  return prefix.empty() ? std::string(".") : prefix;
}

// Rights as the open and rename calls of this process will meet them.
bool MayAccess(const std::string& path, int mode) { return ::faccessat(AT_FDCWD, path.c_str(), mode, AT_EACCESS) == 0; }

// A temporary file and rename can create or replace entries in folder.
bool FolderTakesRename(const std::string& path) { return MayAccess(FolderOf(path), W_OK | X_OK); }

bool InGroup(gid_t group) {
  if (group == ::getegid()) return true;
  const int count = ::getgroups(0, nullptr);
  if (count <= 0) return false;
  std::vector<gid_t> groups(static_cast<std::size_t>(count));
  const int got = ::getgroups(count, groups.data());
  return got > 0 && std::find(groups.begin(), groups.begin() + got, group) != groups.begin() + got;
}

// A file this process makes can be given the owner and group of status.
bool CanKeepOwnership(const struct stat& status) {
  const uid_t user = ::geteuid();
  return user == 0 || (status.st_uid == user && InGroup(status.st_gid));
}

// What keeps an existing file from being replaced by rename, writable or not.
RewriteBar BarOf(const char* path, const struct stat& status) {
  if (!S_ISREG(status.st_mode)) return RewriteBar::kNotRegular;
  if (!MayAccess(path, W_OK)) return RewriteBar::kNotWritable;
  if (status.st_nlink > 1) return RewriteBar::kHardLinks;
  if (!CanKeepOwnership(status)) return RewriteBar::kOwner;
  return RewriteBar::kNone;
}

// The one place that decides how path is written.
Plan ChooseWay(const char* path) {
  Plan plan;
  plan.target = path;
  struct stat status {};
  if (::stat(path, &status) != 0) {
    const int why = errno;
    struct stat link {};
    const bool dangling = ::lstat(path, &link) == 0;
    const bool named = !plan.target.empty() && plan.target.back() != '/';
    // A new name in a folder that takes a rename is made whole by one. The
    // rest is opened through the path: open creates the target of a link
    // that names nothing yet, and reports a missing or closed folder.
    if (why == ENOENT && !dangling && named && FolderTakesRename(plan.target)) plan.way = Way::kReplace;
    errno = why;
    return plan;
  }
  plan.exists = true;
  plan.bar = BarOf(path, status);
  if (!MayAccess(plan.target, W_OK)) {
    plan.way = Way::kRefuse;
    return plan;
  }
  // A rename would turn a device or FIFO into a plain file, cut a file off
  // from its other names, or hand it to another owner.
  if (plan.bar != RewriteBar::kNone) return plan;
  // Through a link, the rename replaces the file the link names.
  struct stat link {};
  if (::lstat(path, &link) == 0 && S_ISLNK(link.st_mode)) {
    char* const resolved = ::realpath(path, nullptr);
    if (resolved == nullptr) {
      plan.bar = RewriteBar::kFolder;
      return plan;
    }
    plan.target = resolved;
    std::free(resolved);
  }
  if (!FolderTakesRename(plan.target)) {
    plan.bar = RewriteBar::kFolder;
    return plan;
  }
  plan.way = Way::kReplace;
  plan.replacing = true;
  plan.status = status;
  return plan;
}

// The temporary files now being written, for the signal handler that
// removes them when the command is interrupted. A slot is taken while its
// path is not empty; slots change only while these signals are blocked, so
// the handler never sees half a path.
constexpr int kInterruptions[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE};
constexpr std::size_t kTemporarySlots = 8;
char temporaries[kTemporarySlots][PATH_MAX];
bool handlersInstalled = false;

// Only async-signal-safe calls: unlink, sigaction, raise.
extern "C" void RemoveTemporariesAndDie(int signal) {
  for (char* const path : temporaries) {
    if (path[0] != '\0') ::unlink(path);
  }
  struct sigaction fallback {};
  fallback.sa_handler = SIG_DFL;
  ::sigemptyset(&fallback.sa_mask);
  ::sigaction(signal, &fallback, nullptr);
  // Delivered once the handler returns, with the default action.
  ::raise(signal);
}

// Blocks the interruptions for its lifetime, so that a temporary file is
// made and listed, or renamed and struck off, as one step.
class InterruptionsHeld {
 public:
  InterruptionsHeld() {
    sigset_t held;
    ::sigemptyset(&held);
    for (const int signal : kInterruptions) ::sigaddset(&held, signal);
    ::sigprocmask(SIG_BLOCK, &held, &previous);
  }
  ~InterruptionsHeld() { ::sigprocmask(SIG_SETMASK, &previous, nullptr); }
  InterruptionsHeld(const InterruptionsHeld&) = delete;
  InterruptionsHeld& operator=(const InterruptionsHeld&) = delete;

 private:
  sigset_t previous{};
};

// Called with the interruptions held. A signal the process ignores (nohup)
// or handles itself keeps its disposition.
void ListTemporary(const std::string& path) {
  if (!handlersInstalled) {
    handlersInstalled = true;
    for (const int signal : kInterruptions) {
      struct sigaction current {};
      if (::sigaction(signal, nullptr, &current) != 0 || current.sa_handler != SIG_DFL) continue;
      struct sigaction cleanup {};
      cleanup.sa_handler = RemoveTemporariesAndDie;
      ::sigemptyset(&cleanup.sa_mask);
      ::sigaction(signal, &cleanup, nullptr);
    }
  }
  if (path.size() >= PATH_MAX) return;
  for (char* const slot : temporaries) {
    if (slot[0] == '\0') {
      std::memcpy(slot, path.c_str(), path.size() + 1);
      return;
    }
  }
}

// Called with the interruptions held.
void StrikeTemporary(const std::string& path) {
  for (char* const slot : temporaries) {
    if (path == slot) slot[0] = '\0';
  }
}

// ".<start of the name>.tmpXXXXXX" beside path, within the folder's name limit.
std::string TemporaryPattern(const std::string& path) {
  constexpr std::size_t kLongestStart = 32;
  constexpr std::size_t kDecoration = 11;  // the leading dot and ".tmpXXXXXX"
  const std::string prefix = FolderPrefix(path);
  const std::string name = path.substr(prefix.size());
  const long limit = ::pathconf(FolderOf(path).c_str(), _PC_NAME_MAX);
  const std::size_t longest = limit > 0 ? static_cast<std::size_t>(limit) : std::size_t{NAME_MAX};
  const std::size_t room = longest > kDecoration ? longest - kDecoration : 0;
  return prefix + "." + name.substr(0, std::min({name.size(), room, kLongestStart})) + ".tmpXXXXXX";
}

// An unnamed file in folder (O_TMPFILE), or -1 where the system or the file
// system has none. A file to be linked in later needs /proc to name it by.
int OpenUnnamed(const std::string& folder, int access, bool toBeLinked) {
  if (toBeLinked && ::access("/proc/self/fd", X_OK) != 0) return -1;
  return ::open(folder.c_str(), O_TMPFILE | access | O_CLOEXEC, 0600);
}

// Replaces the trailing X's of pattern with random letters and digits.
void FillRandom(std::string& pattern, unsigned attempt) {
  static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  unsigned char noise[16] = {};
  if (::getrandom(noise, sizeof(noise), GRND_NONBLOCK) != static_cast<ssize_t>(sizeof(noise))) {
    // Unique enough without: the process and the attempt.
    std::snprintf(reinterpret_cast<char*>(noise), sizeof(noise), "%d.%u", static_cast<int>(::getpid()), attempt);
  }
  std::size_t at = 0;
  for (std::size_t i = pattern.size(); i > 0 && pattern[i - 1] == 'X'; --i) {
    pattern[i - 1] = kLetters[(noise[at++ % sizeof(noise)] + attempt) % (sizeof(kLetters) - 1)];
  }
}

// Writes all of size bytes at offset; false on an error.
bool WriteAllAt(int descriptor, const char* data, std::size_t size, off_t offset) {
  while (size > 0) {
    const ssize_t put = ::pwrite(descriptor, data, size, offset);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) {
      if (put == 0) errno = EIO;
      return false;
    }
    data += put;
    size -= static_cast<std::size_t>(put);
    offset += put;
  }
  return true;
}

}  // namespace

const char* DescribeRewriteBar(RewriteBar bar) {
  switch (bar) {
    case RewriteBar::kNone:
      break;
    case RewriteBar::kNotRegular:
      return "it is not a regular file";
    case RewriteBar::kNotWritable:
      return std::strerror(EACCES);
    case RewriteBar::kHardLinks:
      return "it has other hard links, which a replacement would leave with the old text";
    case RewriteBar::kOwner:
      return "a replacement could not keep its owner and group";
    case RewriteBar::kFolder:
      return "its folder takes no new file";
  }
  return "";
}

bool InPlaceLifts(RewriteBar bar) {
  return bar == RewriteBar::kHardLinks || bar == RewriteBar::kOwner || bar == RewriteBar::kFolder;
}

RewriteBar FindRewriteBar(const char* path) { return ChooseWay(path).bar; }

AtomicFile::~AtomicFile() { Discard(); }

void AtomicFile::Discard() {
  // The caller reports the error that led here, not one of the clean-up.
  const int error = errno;
  file.reset();
  unnamed = false;
  overwrite.clear();
  if (!temporary.empty()) {
    const InterruptionsHeld held;
    ::unlink(temporary.c_str());
    StrikeTemporary(temporary);
    temporary.clear();
  }
  errno = error;
}

void AtomicFile::Reset() {
  Discard();
  failed = false;
  written = 0;
  target.clear();
  bar = RewriteBar::kNone;
  existed = false;
  refusedInput = nullptr;
}

int AtomicFile::Open(const char* targetPath, const CommandFiles& files) {
  Reset();
  // Commands refuse such an output before they write anything; this is the
  // last guard, for a file that became an input's name since.
  refusedInput = files.InputNamedBy(targetPath);
  if (refusedInput != nullptr) {
    existed = true;
    errno = EEXIST;
    return 1;
  }
  const Plan plan = ChooseWay(targetPath);
  existed = plan.exists;
  switch (plan.way) {
    case Way::kRefuse:
      return 1;
    case Way::kInPlace:
      return OpenInPlace(targetPath);
    case Way::kReplace:
      break;
  }
  return OpenReplacement(plan.target, plan.replacing ? &plan.status : nullptr, false);
}

int AtomicFile::OpenRewrite(const char* path, bool inPlace) {
  Reset();
  const Plan plan = ChooseWay(path);
  existed = plan.exists;
  if (!plan.exists) return 1;
  bar = plan.bar;
  if (bar == RewriteBar::kNone) return OpenReplacement(plan.target, &plan.status, true);
  if (!inPlace || !InPlaceLifts(bar)) return 1;
  bar = RewriteBar::kNone;
  return OpenOverwrite(path);
}

int AtomicFile::OpenInPlace(const char* path) {
  const int descriptor = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (descriptor < 0) return 1;
  file.reset(::fdopen(descriptor, "wb"));
  if (!file) {
    ::close(descriptor);
    return 1;
  }
  return 0;
}

int AtomicFile::OpenOverwrite(const char* path) {
  const char* const folder = std::getenv("TMPDIR");
  const std::string elsewhere = folder != nullptr && folder[0] != '\0' ? folder : "/tmp";
  int descriptor = OpenUnnamed(elsewhere, O_RDWR, false);
  if (descriptor < 0) {
    // Named for as long as it takes to remove the name.
    std::string name = elsewhere + "/.mirvo.tmpXXXXXX";
    const InterruptionsHeld held;
    descriptor = ::mkstemp(name.data());
    if (descriptor >= 0) ::unlink(name.c_str());
  }
  if (descriptor < 0) return 1;
  file.reset(::fdopen(descriptor, "w+b"));
  if (!file) {
    ::close(descriptor);
    return 1;
  }
  overwrite = path;
  return 0;
}

int AtomicFile::OpenReplacement(const std::string& path, const struct stat* replaced, bool keepOwnerOrFail) {
  // The temporary file shares the target's folder, so the rename never
  // crosses file systems and is atomic.
  int descriptor = OpenUnnamed(FolderOf(path), O_WRONLY, true);
  unnamed = descriptor >= 0;
  if (!unnamed) {
    temporary = TemporaryPattern(path);
    const InterruptionsHeld held;
    descriptor = ::mkstemp(temporary.data());
    if (descriptor >= 0) ListTemporary(temporary);
  }
  if (descriptor < 0) {
    temporary.clear();
    return 1;
  }
  // The temporary file is made 0600 and owned by this process; give it what
  // fopen would have left: the owner, group and mode of the file it
  // replaces, or the default mode for a new file. The owner goes first, as
  // changing it clears the set-user-ID and set-group-ID bits. A file system
  // that refuses the owner gets the file written in place instead, or
  // refused when the caller must keep it.
  mode_t mode = 0;
  if (replaced != nullptr) {
    struct stat made {};
    const bool sameOwner =
        ::fstat(descriptor, &made) == 0 && made.st_uid == replaced->st_uid && made.st_gid == replaced->st_gid;
    if (!sameOwner && ::fchown(descriptor, replaced->st_uid, replaced->st_gid) != 0) {
      ::close(descriptor);
      Discard();
      if (!keepOwnerOrFail) return OpenInPlace(path.c_str());
      bar = RewriteBar::kOwner;
      return 1;
    }
    mode = replaced->st_mode & 07777;
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode = static_cast<mode_t>(0666 & ~mask);
  }
  ::fchmod(descriptor, mode);
  file.reset(::fdopen(descriptor, "wb"));
  if (!file) {
    ::close(descriptor);
    Discard();
    return 1;
  }
  target = path;
  return 0;
}

int AtomicFile::Write(const void* data, std::size_t size) {
  if (!file || failed) return 1;
  if (size != 0 && std::fwrite(data, 1, size, file.get()) != size) failed = true;
  if (!failed) written += size;
  return failed ? 1 : 0;
}

// Gives the unnamed temporary file a name beside the target, for the rename.
int AtomicFile::NameTemporary() {
  char self[64];
  std::snprintf(self, sizeof(self), "/proc/self/fd/%d", ::fileno(file.get()));
  const std::string pattern = TemporaryPattern(target);
  constexpr unsigned kAttempts = 64;
  for (unsigned attempt = 0; attempt < kAttempts; ++attempt) {
    std::string name = pattern;
    FillRandom(name, attempt);
    const InterruptionsHeld held;
    if (::linkat(AT_FDCWD, self, AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
      temporary = name;
      ListTemporary(temporary);
      unnamed = false;
      return 0;
    }
    if (errno != EEXIST) return 1;
  }
  return 1;
}

// Copies the complete text over the file in place: only once the copy holds
// every byte written, and into room reserved first, so that a full disk
// stops it before the file changes.
int AtomicFile::CommitOverwrite() {
  const FilePtr copy(file.release());
  const int from = ::fileno(copy.get());
  struct stat made {};
  if (::fstat(from, &made) != 0 || static_cast<std::size_t>(made.st_size) != written) {
    errno = EIO;
    Discard();
    return 1;
  }
  const int to = ::open(overwrite.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  overwrite.clear();
  if (to < 0) return 1;
  struct stat status {};
  bool done = ::fstat(to, &status) == 0 && S_ISREG(status.st_mode);
  if (!done) errno = EINVAL;
  const auto length = static_cast<off_t>(written);
  if (done && length > 0 && ::fallocate(to, FALLOC_FL_KEEP_SIZE, 0, length) != 0) {
    done = errno == EOPNOTSUPP || errno == ENOSYS;
  }
  std::vector<char> block(std::size_t{1} << 16);
  // An interruption waits for the copy to end rather than cut it short.
  const InterruptionsHeld held;
  for (off_t at = 0; done && at < length;) {
    const ssize_t got = ::pread(from, block.data(), block.size(), at);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      if (got == 0) errno = EIO;
      done = false;
      break;
    }
    done = WriteAllAt(to, block.data(), static_cast<std::size_t>(got), at);
    at += got;
  }
  done = done && ::ftruncate(to, length) == 0 && ::fsync(to) == 0;
  const int error = errno;
  const bool closed = ::close(to) == 0;
  errno = done ? errno : error;
  return done && closed ? 0 : 1;
}

int AtomicFile::Commit() {
  if (!file || failed) {
    Discard();
    return 1;
  }
  const bool flushed = std::fflush(file.get()) == 0 && !std::ferror(file.get());
  if (!flushed) {
    Discard();
    return 1;
  }
  if (!overwrite.empty()) return CommitOverwrite();
  if (unnamed && NameTemporary() != 0) {
    Discard();
    return 1;
  }
  if (std::fclose(file.release()) != 0) {
    Discard();
    return 1;
  }
  if (target.empty()) return 0;
  const InterruptionsHeld held;
  if (std::rename(temporary.c_str(), target.c_str()) != 0) {
    Discard();
    return 1;
  }
  StrikeTemporary(temporary);
  temporary.clear();
  return 0;
}

}  // namespace mirvo
