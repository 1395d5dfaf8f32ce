// mirvo asm: assemble a source into an image, with diagnostics a learner
// can act on, an optional listing and an optional JSON report.

#include <cstdio>

#include "AtomicFile.h"
#include "Commands.h"
#include "EngineJson.h"
#include "Output.h"
#include "Program.h"

namespace mirvo::cli {

namespace {

// Address, bytes, line number: "0000  3E F0      7  " before the source text.
constexpr std::size_t kListingBytesWidth = 5;

std::string FormatListing(const AssembledSource& source) {
  const std::vector<StatementRecord>& statements = source.assembler->GetStatements();
  std::size_t next = 0;
  std::string listing;
  const std::string& text = source.text;
  std::size_t start = 0;
  for (std::int32_t line = 1; start < text.size(); ++line) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::size_t shown = end;
    if (shown > start && text[shown - 1] == '\r') --shown;
    char prefix[64];
    char* out = prefix;
    if (next < statements.size() && statements[next].line == line) {
      const StatementRecord& record = statements[next++];
      out = AppendHex(out, record.address, 4);
      *out++ = ' ';
      *out++ = ' ';
      char* const bytesStart = out;
      for (std::uint8_t i = 0; i < record.length; ++i) {
        if (i > 0) *out++ = ' ';
        out = AppendHex(out, record.bytes[i], 2);
      }
      while (static_cast<std::size_t>(out - bytesStart) < kListingBytesWidth) *out++ = ' ';
    } else {
      for (std::size_t i = 0; i < 6 + kListingBytesWidth; ++i) *out++ = ' ';
    }
    std::snprintf(out, sizeof(prefix) - static_cast<std::size_t>(out - prefix), "  %5d  ", line);
    listing += prefix;
    listing.append(text, start, shown - start);
    listing += '\n';
    start = end + 1;
  }
  return listing;
}

// 0, or 1 after saying why the image could not be written.
int WriteImage(const Assembler& assembler, const std::string& path) {
  AtomicFile file;
  if (file.Open(path.c_str()) != 0 || file.Write(assembler.GetImage().data(), assembler.GetLength()) != 0 ||
      file.Commit() != 0) {
    Report("cannot write %s", path.c_str());
    return 1;
  }
  return 0;
}

}  // namespace

int RunAsm(const AsmOptions& options) {
  const std::string image = options.image.empty() ? ReplaceExtension(options.source, ".bin") : options.image;
  if (image == options.source) {
    Report("the image would replace the source %s; name the image with -o", options.source.c_str());
    return 1;
  }
  AssembledSource source;
  std::string reason;
  if (AssembleSourceFile(options.source, source, reason) != 0) {
    Report("cannot open %s: %s", options.source.c_str(), reason.c_str());
    return 1;
  }
  const Assembler& assembler = *source.assembler;
  const bool clean = assembler.GetErrorCount() == 0 && !assembler.HasReadError();

  int status = clean ? 0 : 1;
  bool written = false;
  if (clean) {
    status = WriteImage(assembler, image);
    written = status == 0;
  }
  if (options.listing.given) {
    Output listing;
    if (listing.Open(options.listing.path) != 0) {
      status = 1;
    } else {
      listing.Write(FormatListing(source));
      if (listing.Commit() != 0) status = 1;
    }
  }
  if (options.json) {
    Output out;
    out.Open("");
    out.Write(AssemblyJson(assembler, written ? image.c_str() : nullptr) + "\n");
    if (out.Commit() != 0) status = 1;
  } else {
    PrintDiagnostics(options.source, source, ColourWanted());
  }
  return status;
}

}  // namespace mirvo::cli
