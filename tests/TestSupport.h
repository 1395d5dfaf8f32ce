#pragma once
// Helpers for tests that run the real programs: a scratch folder that is
// removed afterwards, file helpers, and a runner that captures standard output.

#include <cstdint>
#include <string>
#include <vector>

namespace mirvo::test {

// The banners the programs print first on every run.
inline const std::string kVmBanner =
    "---------------------------\nMirvo Virtual Machine v1.0\n---------------------------\nSeptember 2003\n\n";
inline const std::string kAssemblerBanner =
    "------------------------\nMirvoVM Assembler v1.0\n------------------------\nSeptember 2003\n\n";
inline const std::string kCompilerBanner =
    "----------------------\nMirvoVM Compiler v1.0\n----------------------\nSeptember 2003\n\n";

class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::string& Path() const { return path; }
  std::string operator/(const std::string& name) const { return path + "/" + name; }
  // Names of the entries in the folder, sorted.
  std::vector<std::string> Entries() const;

 private:
  std::string path;
};

struct ProcessResult {
  int exitCode = -1;
  std::string output;
};

// Runs program with args in folder cwd, with no standard input.
ProcessResult RunProgram(const std::string& program, const std::vector<std::string>& args, const std::string& cwd);

struct SplitResult {
  int exitCode = -1;
  std::string out;  // standard output
  std::string err;  // standard error
};

// Runs program as RunProgram does, keeping standard output and standard
// error apart.
SplitResult RunProgramSplit(const std::string& program, const std::vector<std::string>& args, const std::string& cwd);
// The same with standard input read from the file at inputPath.
SplitResult RunProgramWithInput(const std::string& program, const std::vector<std::string>& args,
                                const std::string& cwd, const std::string& inputPath);
// The same with standard input a pipe that holds bytes (at most a pipe's
// 64 KiB) and then ends: a file that can be read only once.
SplitResult RunProgramWithPipe(const std::string& program, const std::vector<std::string>& args, const std::string& cwd,
                               const std::string& bytes);

// Starts program as RunProgram does, its output thrown away, and returns its
// process id without waiting for it.
int StartProgram(const std::string& program, const std::vector<std::string>& args, const std::string& cwd);

void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);
bool FileExists(const std::string& path);
std::string Bytes(std::initializer_list<std::uint8_t> bytes);

}  // namespace mirvo::test
