#pragma once
// An owning handle for a C stream: the stream is closed when the handle goes.

#include <cstdio>
#include <memory>

namespace mirvo {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

}  // namespace mirvo
