#include "Output.h"

#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "FilePtr.h"

namespace mirvo::cli {

namespace {

void ReportWith(const char* prefix, const char* format, va_list arguments) {
  char message[1024];
  std::vsnprintf(message, sizeof(message), format, arguments);
  std::fprintf(stderr, "%s: %s%s\n", kProgramName, prefix, message);
}

}  // namespace

void Report(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  ReportWith("", format, arguments);
  va_end(arguments);
}

void Warn(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  ReportWith("warning: ", format, arguments);
  va_end(arguments);
}

bool ColourWanted() {
  const char* const noColour = std::getenv("NO_COLOR");
  return ::isatty(STDERR_FILENO) == 1 && (noColour == nullptr || noColour[0] == '\0');
}

int ReadWholeFile(const std::string& path, std::string& text, std::string& reason) {
  text.clear();
  errno = 0;
  const FilePtr file(std::fopen(path.c_str(), "rb"));
  if (!file) {
    reason = std::strerror(errno);
    return 1;
  }
  char block[65536];
  std::size_t got = 0;
  while ((got = std::fread(block, 1, sizeof(block), file.get())) > 0) text.append(block, got);
  if (std::ferror(file.get())) {
    reason = std::strerror(errno != 0 ? errno : EIO);
    return 1;
  }
  return 0;
}

int Output::Open(const std::string& path) {
  failed = false;
  toStdout = path.empty() || path == "-";
  name = toStdout ? "standard output" : path;
  if (toStdout) return 0;
  errno = 0;
  if (file.Open(path.c_str()) != 0) {
    Report("cannot create %s: %s", path.c_str(), std::strerror(errno != 0 ? errno : EIO));
    failed = true;
    return 1;
  }
  return 0;
}

void Output::Write(const char* data, std::size_t size) {
  if (failed || size == 0) return;
  if (toStdout) {
    if (std::fwrite(data, 1, size, stdout) != size) failed = true;
  } else if (file.Write(data, size) != 0) {
    failed = true;
  }
}

int Output::Commit() {
  if (!failed) {
    if (toStdout) {
      failed = std::fflush(stdout) != 0 || std::ferror(stdout) != 0;
    } else {
      failed = file.Commit() != 0;
    }
  }
  if (failed) {
    Report("cannot write %s", name.c_str());
    return 1;
  }
  return 0;
}

char* AppendDecimal(char* out, std::uint64_t value) {
  char digits[20];
  int count = 0;
  do {
    digits[count++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  while (count > 0) *out++ = digits[--count];
  return out;
}

char* AppendHex(char* out, unsigned value, unsigned digits) {
  static constexpr char kHexDigits[] = "0123456789ABCDEF";
  for (unsigned place = digits; place > 0; --place) *out++ = kHexDigits[(value >> (4 * (place - 1))) & 0xFU];
  return out;
}

std::string LanguageNumber(unsigned value) {
  char text[16];
  std::snprintf(text, sizeof(text), "%X", value);
  std::string number = text[0] >= 'A' ? std::string("0") + text : std::string(text);
  return number + "h";
}

std::string FixedHex(unsigned value, unsigned digits) {
  char text[16];
  char* const end = AppendHex(text, value, digits);
  return std::string(text, end) + "h";
}

std::string ReplaceExtension(const std::string& path, const char* extension) {
  const std::size_t slash = path.find_last_of('/');
  const std::size_t dot = path.find_last_of('.');
  const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  // A leading dot names a hidden file, not an extension.
  if (dot == std::string::npos || dot <= nameStart) return path + extension;
  return path.substr(0, dot) + extension;
}

bool EndsWith(const std::string& text, const char* suffix) {
  const std::size_t n = std::strlen(suffix);
  return text.size() >= n && text.compare(text.size() - n, n, suffix) == 0;
}

}  // namespace mirvo::cli
