#pragma once
// The files a command reads and the files it writes. A command lists both
// before it writes anything; an output that names one of its inputs, however
// the path is spelled (./p.asm, dir/../p.asm, a symbolic or hard link), is
// refused, so that no command ever writes over what it reads. AtomicFile
// asks the same question again as it opens each output.

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace mirvo {

// True when both paths reach the same file (same device and inode) after
// following symbolic links; a path that names nothing is never the same.
bool IsSameFile(const char* first, const char* second);

class CommandFiles {
 public:
  // An output that names an input.
  struct Clash {
    const char* role;    // what the output is: "image", "listing", "trace", ...
    std::string output;  // both as the user wrote them
    std::string input;
  };

  void AddInput(std::string path) { inputs.push_back({std::move(path), false}); }
  // An input found by walking a folder, whose name someone else may have
  // planted: besides the file it reaches, an output is refused that is the
  // same symbolic link (one that points nowhere included) or lies below it.
  void AddFoundInput(std::string path) { inputs.push_back({std::move(path), true}); }
  // role says what the output is, for the message that refuses it.
  void AddOutput(const char* role, std::string path) { outputs.emplace_back(role, std::move(path)); }

  // The input that path names, or null: the one test of every output.
  const std::string* InputNamedBy(const char* path) const;
  // The first output that names an input, in the order they were added.
  std::optional<Clash> FindClash() const;

 private:
  struct Input {
    std::string path;
    bool found;  // by walking a folder
  };
  std::vector<Input> inputs;
  std::vector<std::pair<const char*, std::string>> outputs;
};

}  // namespace mirvo
