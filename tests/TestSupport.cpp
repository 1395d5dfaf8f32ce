#include "TestSupport.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace mirvo::test {

ScratchDir::ScratchDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base != nullptr ? base : "/tmp") + "/mirvo-test-XXXXXX";
  if (::mkdtemp(pattern.data()) != nullptr) path = pattern;
}

ScratchDir::~ScratchDir() {
  if (path.empty()) return;
  // Restore permissions a test may have taken away, then remove everything.
  const std::string command = "chmod -R u+rwx '" + path + "' 2>/dev/null; rm -rf '" + path + "'";
  [[maybe_unused]] const int ignored = std::system(command.c_str());
}

std::vector<std::string> ScratchDir::Entries() const {
  std::vector<std::string> names;
  if (DIR* dir = ::opendir(path.c_str())) {
    while (const dirent* entry = ::readdir(dir)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(dir);
  }
  std::sort(names.begin(), names.end());
  return names;
}

// In a forked child: standard input from input (/dev/null by default), cwd
// as the folder, then the program; 127 if it cannot start.
[[noreturn]] static void ExecInFolder(const std::string& program, const std::vector<std::string>& args,
                                      const std::string& cwd, const char* input = "/dev/null") {
  const int in = ::open(input, O_RDONLY);
  if (in >= 0) ::dup2(in, STDIN_FILENO);
  if (::chdir(cwd.c_str()) != 0) ::_exit(127);
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  ::execv(program.c_str(), argv.data());
  ::_exit(127);
}

ProcessResult RunProgram(const std::string& program, const std::vector<std::string>& args, const std::string& cwd) {
  ProcessResult result;
  int pipeEnds[2];
  if (::pipe(pipeEnds) != 0) return result;
  const pid_t child = ::fork();
  if (child == 0) {
    ::dup2(pipeEnds[1], STDOUT_FILENO);
    ::close(pipeEnds[0]);
    ::close(pipeEnds[1]);
    ExecInFolder(program, args, cwd);
  }
  ::close(pipeEnds[1]);
  char buffer[4096];
  ssize_t got = 0;
  while ((got = ::read(pipeEnds[0], buffer, sizeof(buffer))) > 0) {
    result.output.append(buffer, static_cast<std::size_t>(got));
  }
  ::close(pipeEnds[0]);
  int status = 0;
  if (child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status)) {
    result.exitCode = WEXITSTATUS(status);
  }
  return result;
}

SplitResult RunProgramSplit(const std::string& program, const std::vector<std::string>& args, const std::string& cwd) {
  return RunProgramWithInput(program, args, cwd, "/dev/null");
}

SplitResult RunProgramWithPipe(const std::string& program, const std::vector<std::string>& args, const std::string& cwd,
                               const std::string& bytes) {
  int ends[2];
  if (::pipe(ends) != 0) return {};
  const bool written = ::write(ends[1], bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  ::close(ends[1]);
  // The child opens the read end, which it inherits, as its standard input.
  const SplitResult result =
      written ? RunProgramWithInput(program, args, cwd, "/dev/fd/" + std::to_string(ends[0])) : SplitResult{};
  ::close(ends[0]);
  return result;
}

SplitResult RunProgramWithInput(const std::string& program, const std::vector<std::string>& args,
                                const std::string& cwd, const std::string& inputPath) {
  SplitResult result;
  int outPipe[2];
  int errPipe[2];
  if (::pipe(outPipe) != 0) return result;
  if (::pipe(errPipe) != 0) {
    ::close(outPipe[0]);
    ::close(outPipe[1]);
    return result;
  }
  const pid_t child = ::fork();
  if (child == 0) {
    ::dup2(outPipe[1], STDOUT_FILENO);
    ::dup2(errPipe[1], STDERR_FILENO);
    for (const int end : {outPipe[0], outPipe[1], errPipe[0], errPipe[1]}) ::close(end);
    ExecInFolder(program, args, cwd, inputPath.c_str());
  }
  ::close(outPipe[1]);
  ::close(errPipe[1]);
  // Both pipes are drained together, so a child that fills one never blocks.
  pollfd ends[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
  std::string* const sinks[2] = {&result.out, &result.err};
  int open = 2;
  char buffer[4096];
  while (open > 0 && ::poll(ends, 2, -1) > 0) {
    for (int i = 0; i < 2; ++i) {
      if (ends[i].fd < 0 || ends[i].revents == 0) continue;
      const ssize_t got = ::read(ends[i].fd, buffer, sizeof(buffer));
      if (got > 0) {
        sinks[i]->append(buffer, static_cast<std::size_t>(got));
      } else {
        ::close(ends[i].fd);
        ends[i].fd = -1;
        --open;
      }
    }
  }
  int status = 0;
  if (child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status)) {
    result.exitCode = WEXITSTATUS(status);
  }
  return result;
}

int StartProgram(const std::string& program, const std::vector<std::string>& args, const std::string& cwd) {
  const pid_t child = ::fork();
  if (child == 0) {
    const int devNull = ::open("/dev/null", O_WRONLY);
    if (devNull >= 0) {
      ::dup2(devNull, STDOUT_FILENO);
      ::dup2(devNull, STDERR_FILENO);
    }
    ExecInFolder(program, args, cwd);
  }
  return child;
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

bool FileExists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0;
}

std::string Bytes(std::initializer_list<std::uint8_t> bytes) {
  std::string text;
  for (const std::uint8_t b : bytes) text.push_back(static_cast<char>(b));
  return text;
}

}  // namespace mirvo::test
