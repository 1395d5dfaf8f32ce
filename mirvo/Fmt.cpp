// mirvo fmt: lay sources out in aligned columns, or (--check) only say
// which ones are not.

#include <cstdio>

#include "Commands.h"
#include "Format.h"
#include "Output.h"
#include "ProgramFile.h"
#include "TextEncoding.h"

namespace mirvo::cli {

int RunFmt(const FmtOptions& options) {
  int status = 0;
  for (const std::string& path : options.files) {
    // A pipe or FIFO has no text of its own to replace: refused unread.
    if (!options.check && RefuseNonRegularSource(path) != 0) {
      status = 1;
      continue;
    }
    std::string text;
    std::string reason;
    if (ReadWholeFile(path, text, reason) != 0) {
      Report("%s", reason.c_str());
      status = 1;
      continue;
    }
    if (SkipUnlessSource(path, text) != 0) {
      status = 1;
      continue;
    }
    // The text's mark, as the assembler reads it.
    const TextStart start = ReadTextStart(text);
    if (start.mark != TextMark::kNone) {
      const bool utf16 = start.mark == TextMark::kUtf16;
      std::string said;
      AppendDiagnostic(said, path, SourceLines(text), {1, utf16 ? 0 : 1, static_cast<std::int32_t>(start.length)},
                       utf16 ? Severity::kError : Severity::kWarning, utf16 ? kUtf16Error : kByteOrderMarkWarning,
                       ColourWanted());
      std::fwrite(said.data(), 1, said.size(), stderr);
      if (utf16) {
        status = 1;
        continue;
      }
    }
    const std::string formatted = FormatSource(text);
    if (formatted == text) continue;
    if (options.check) {
      Report("%s is not formatted", path.c_str());
      status = 1;
      continue;
    }
    // The file is replaced only once its new text is complete, and never
    // written over unless --in-place says so.
    Output file;
    if (file.OpenRewrite(path, options.inPlace) != 0) {
      status = 1;
      continue;
    }
    file.Write(formatted);
    if (file.Commit() != 0) status = 1;
  }
  return status;
}

}  // namespace mirvo::cli
