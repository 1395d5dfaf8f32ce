#pragma once
// What every subcommand shares around the engine: messages on standard
// error in the "mirvo: ..." style, output destinations that are standard
// output or a file written whole, number formatting, and reading a file.

#include <cstddef>
#include <cstdint>
#include <string>

#include "AtomicFile.h"
#include "CommandFiles.h"

namespace mirvo::cli {

inline constexpr const char* kProgramName = "mirvo";
// Exit code for a command line that cannot be understood.
inline constexpr int kUsageExit = 64;

// "mirvo: " and the formatted message on standard error, with a line end.
void Report(const char* format, ...) __attribute__((format(printf, 1, 2)));
// The same as a warning: "mirvo: warning: ...".
void Warn(const char* format, ...) __attribute__((format(printf, 1, 2)));

// A usage mistake: "mirvo: " and the message, then the hint to --help of
// subcommand ("Try 'mirvo explain --help' for more information."). Returns
// kUsageExit.
int ReportUsage(const char* subcommand, const char* format, ...) __attribute__((format(printf, 2, 3)));
// That hint's line, for "mirvo" alone when command is empty.
std::string TryHelpLine(const std::string& command);

// True when standard error is a terminal and NO_COLOR is not set.
bool ColourWanted();

// The longest text a user's file (a source, expectations) may have: the
// largest program, 65,536 one-byte statements on lines of 256 characters,
// is 16 MiB. Longer files are refused, not read until memory runs out.
inline constexpr std::size_t kLongestText = std::size_t{16} << 20;

// Reads the whole file at path into text. 0, or 1 with reason set to why not,
// a whole message without "mirvo: " ("cannot open p.asm: No such file or
// directory", "p.asm is larger than 16 MiB, ...").
int ReadWholeFile(const std::string& path, std::string& text, std::string& reason);

// "" and "-" name standard output where a command takes an output file.
bool IsStandardOutput(const std::string& path);
// Adds path to files as an output, unless it names standard output.
void AddFileOutput(CommandFiles& files, const char* role, const std::string& path);
// 0, or 1 after saying which output names which input: "mirvo: the trace
// ./p.asm is the input p.asm; nothing was written". Every command calls it
// once it knows its files, before it writes anything.
int RefuseInputsAsOutputs(const CommandFiles& files);

// 0 when path may be rewritten as a source (a regular file, or a path that
// names nothing, which reading reports), else 1 after saying that it is no
// regular file and was left as it was. Asked before a pipe or FIFO is read.
int RefuseNonRegularSource(const std::string& path);

// Where a result goes: standard output, or a file that appears only once it
// is complete and never half-written. An empty path or "-" is standard output.
class Output {
 public:
  Output() = default;
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;

  // Standard output for "" and "-", else the file path as OpenFile does.
  int Open(const std::string& path, const CommandFiles& files);
  // The file path, whatever its name. 0, or 1 after reporting that it cannot
  // be created or replaced (or is one of the command's inputs).
  int OpenFile(const std::string& path, const CommandFiles& files);
  // The existing source path, to be rewritten with a whole new text as
  // AtomicFile::OpenRewrite does. 0, or 1 after reporting why not ("cannot
  // replace p.asm: it is not a regular file; it was left as it was").
  int OpenRewrite(const std::string& path, bool inPlace);
  void OpenStandardOutput();
  void Write(const char* data, std::size_t size);
  void Write(const std::string& text) { Write(text.data(), text.size()); }
  // Writes what standard output holds so far; false after a write error.
  bool Flush();
  // Finishes the output: flushes standard output, or renames the file into
  // place. 0, or 1 after reporting that it could not be written, and why.
  int Commit();
  // A write failed: nothing more is written, and Commit reports it.
  bool Failed() const { return failed; }
  // Says why the output could not be written ("mirvo: cannot write t.txt:
  // No space left on device").
  void ReportFailure() const;
  bool ToStandardOutput() const { return toStdout; }
  const std::string& Name() const { return name; }

 private:
  void Fail();
  void StartFile(const std::string& path);

  AtomicFile file;
  std::string name;
  bool toStdout = true;
  bool failed = false;
  int error = 0;  // errno of the failure
};

// SOURCE with its extension (the part after the last dot of the file name)
// replaced by extension, or extension appended when it has none.
std::string ReplaceExtension(const std::string& path, const char* extension);
bool EndsWith(const std::string& text, const char* suffix);

}  // namespace mirvo::cli
