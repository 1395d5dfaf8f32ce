#include "Output.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "FileSource.h"
#include "SubmissionFile.h"
#include "TextEscape.h"

namespace mirvo::cli {

namespace {

// The message whole, however long: a path of any length keeps its reason.
void ReportWith(const char* prefix, const char* format, va_list arguments) {
  va_list again;
  va_copy(again, arguments);
  const int length = std::vsnprintf(nullptr, 0, format, arguments);
  std::string message(length > 0 ? static_cast<std::size_t>(length) : 0, '\0');
  if (length > 0) std::vsnprintf(message.data(), message.size() + 1, format, again);
  va_end(again);
  std::string line = std::string(kProgramName) + ": " + prefix + message + "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
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

int ReportUsage(const char* subcommand, const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  ReportWith("", format, arguments);
  va_end(arguments);
  std::fprintf(stderr, "%s", TryHelpLine(subcommand).c_str());
  return kUsageExit;
}

std::string TryHelpLine(const std::string& command) {
  const std::string named = command.empty() ? std::string(kProgramName) : std::string(kProgramName) + " " + command;
  return "Try '" + named + " --help' for more information.\n";
}

bool ColourWanted() {
  const char* const noColour = std::getenv("NO_COLOR");
  return ::isatty(STDERR_FILENO) == 1 && (noColour == nullptr || noColour[0] == '\0');
}

int ReadWholeFile(const std::string& path, std::string& text, std::string& reason) {
  text.clear();
  errno = 0;
  const FilePtr file = OpenWithoutWaiting(path.c_str());
  if (!file) {
    reason = DescribeRead({ReadStatus::kCannotOpen, errno, ""}, path, kLongestText);
    return 1;
  }
  // One byte past the limit tells that the file is too long.
  char block[65536];
  std::size_t got = 0;
  while (text.size() <= kLongestText &&
         (got = std::fread(block, 1, std::min(sizeof(block), kLongestText + 1 - text.size()), file.get())) > 0) {
    text.append(block, got);
  }
  if (text.size() > kLongestText) {
    reason = DescribeRead({ReadStatus::kTooLarge, 0, ""}, path, kLongestText);
    text.clear();
    return 1;
  }
  if (std::ferror(file.get())) {
    reason = DescribeRead({ReadStatus::kCannotRead, errno, ""}, path, kLongestText);
    return 1;
  }
  return 0;
}

bool IsStandardOutput(const std::string& path) { return path.empty() || path == "-"; }

void AddFileOutput(CommandFiles& files, const char* role, const std::string& path) {
  if (!IsStandardOutput(path)) files.AddOutput(role, path);
}

int RefuseInputsAsOutputs(const CommandFiles& files) {
  const std::optional<CommandFiles::Clash> clash = files.FindClash();
  if (!clash) return 0;
  // Either name may be a student's: shown as a report shows it.
  Report("the %s %s is the input %s; nothing was written", clash->role, VisibleText(clash->output).c_str(),
         VisibleText(clash->input).c_str());
  return 1;
}

int Output::Open(const std::string& path, const CommandFiles& files) {
  if (!IsStandardOutput(path)) return OpenFile(path, files);
  OpenStandardOutput();
  return 0;
}

void Output::OpenStandardOutput() {
  failed = false;
  error = 0;
  toStdout = true;
  name = "standard output";
}

void Output::StartFile(const std::string& path) {
  failed = false;
  error = 0;
  toStdout = false;
  name = path;
  errno = 0;
}

int Output::OpenFile(const std::string& path, const CommandFiles& files) {
  StartFile(path);
  if (file.Open(path.c_str(), files) != 0) {
    const char* const verb = file.Existed() ? "replace" : "create";
    if (const std::string* const input = file.RefusedInput()) {
      Report("cannot %s %s: it is the input %s", verb, path.c_str(), input->c_str());
    } else {
      Report("cannot %s %s: %s", verb, path.c_str(), std::strerror(errno != 0 ? errno : EIO));
    }
    failed = true;
    return 1;
  }
  return 0;
}

namespace {

// "mirvo: cannot replace p.asm: it has other hard links, ...; it was left as
// it was (--in-place writes over it)", for bar or, without one, errno.
void ReportNotReplaced(const std::string& path, RewriteBar bar, bool inPlace) {
  const char* const reason =
      bar != RewriteBar::kNone ? DescribeRewriteBar(bar) : std::strerror(errno != 0 ? errno : EIO);
  const char* const hint = !inPlace && InPlaceLifts(bar) ? " (--in-place writes over it)" : "";
  Report("cannot replace %s: %s; it was left as it was%s", VisibleText(path).c_str(), reason, hint);
}

}  // namespace

int RefuseNonRegularSource(const std::string& path) {
  if (FindRewriteBar(path.c_str()) != RewriteBar::kNotRegular) return 0;
  ReportNotReplaced(path, RewriteBar::kNotRegular, true);
  return 1;
}

int Output::OpenRewrite(const std::string& path, bool inPlace) {
  StartFile(path);
  if (file.OpenRewrite(path.c_str(), inPlace) != 0) {
    ReportNotReplaced(path, file.Bar(), inPlace);
    failed = true;
    return 1;
  }
  return 0;
}

void Output::Fail() {
  failed = true;
  error = errno != 0 ? errno : EIO;
}

void Output::Write(const char* data, std::size_t size) {
  if (failed || size == 0) return;
  errno = 0;
  if (toStdout) {
    if (std::fwrite(data, 1, size, stdout) != size) Fail();
  } else if (file.Write(data, size) != 0) {
    Fail();
  }
}

bool Output::Flush() {
  errno = 0;
  if (!failed && toStdout && (std::fflush(stdout) != 0 || std::ferror(stdout) != 0)) Fail();
  return !failed;
}

int Output::Commit() {
  if (!failed) {
    errno = 0;
    if (toStdout) {
      Flush();
    } else if (file.Commit() != 0) {
      Fail();
    }
  }
  if (failed) {
    ReportFailure();
    return 1;
  }
  return 0;
}

void Output::ReportFailure() const { Report("cannot write %s: %s", name.c_str(), std::strerror(error)); }

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
