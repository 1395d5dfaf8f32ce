// mirvo asm: assemble a source into an image, with diagnostics a learner
// can act on, an optional listing and an optional JSON report.

#include <cstdio>

#include "Commands.h"
#include "EngineJson.h"
#include "Output.h"
#include "Program.h"
#include "SourceText.h"

namespace mirvo::cli {

namespace {

// Address, bytes, line number: "0000  3E F0      7  " before the source text;
// the place ("0000  3E F0") is padded to the width of the longest.

std::string FormatListing(const AssembledSource& source) {
  const std::vector<StatementRecord>& statements = source.assembler->GetStatements();
  std::size_t next = 0;
  std::string listing;
  const SourceLines lines(source.text);
  for (std::int32_t line = 1; line <= lines.Count(); ++line) {
    std::string place;
    if (next < statements.size() && statements[next].line == line) {
      const StatementRecord& record = statements[next++];
      place = PlaceText(record.address, record.bytes, record.length);
    }
    place.resize(kPlaceWidth, ' ');
    char number[32];
    std::snprintf(number, sizeof(number), "  %5d  ", line);
    listing += place;
    listing += number;
    listing += lines.Line(line);
    listing += '\n';
  }
  return listing;
}

// 0, or 1 after saying why the image could not be written.
int WriteImage(const Assembler& assembler, const std::string& path, const CommandFiles& files) {
  Output image;
  if (image.OpenFile(path, files) != 0) return 1;
  image.Write(reinterpret_cast<const char*>(assembler.GetImage().data()), assembler.GetLength());
  return image.Commit();
}

// Applies every fix that is sure (the one fix of its diagnostic) to the
// source, again while fixing uncovers more, and replaces the file with the
// result when it is complete. 0, or 1 after saying why the file could not
// be written.
int FixSource(const std::string& path, AssembledSource& source) {
  // A fix removes a mistake and each round needs one: a bound, not a loop
  // that could run for ever.
  constexpr int kRounds = 8;
  std::size_t total = 0;
  for (int round = 0; round < kRounds; ++round) {
    std::vector<Fix> sure;
    for (const Diagnostic& diagnostic : source.assembler->GetDiagnostics()) {
      if (const Fix* const fix = SureFix(diagnostic)) sure.push_back(*fix);
    }
    std::size_t applied = 0;
    std::string fixed = ApplyFixes(source.text, sure, &applied);
    if (applied == 0) break;
    total += applied;
    source.text = std::move(fixed);
    AssembleSourceText(source);
  }
  if (total == 0) return 0;
  // The fixed text replaces the source on purpose: no input to guard here.
  Output fixed;
  if (fixed.OpenFile(path, CommandFiles{}) != 0) return 1;
  fixed.Write(source.text);
  if (fixed.Commit() != 0) return 1;
  Report("%s: %zu %s applied", path.c_str(), total, total == 1 ? "fix" : "fixes");
  return 0;
}

}  // namespace

int RunAsm(const AsmOptions& options) {
  const std::string image = options.image.empty() ? ReplaceExtension(options.source, ".bin") : options.image;
  CommandFiles files;
  files.AddInput(options.source);
  files.AddOutput("image", image);
  if (options.listing.given) AddFileOutput(files, "listing", options.listing.path);
  if (RefuseInputsAsOutputs(files) != 0) return 1;
  AssembledSource source;
  std::string reason;
  if (AssembleSourceFile(options.source, source, reason) != 0) {
    Report("%s", reason.c_str());
    return 1;
  }
  if (options.fix && FixSource(options.source, source) != 0) return 1;
  const Assembler& assembler = *source.assembler;
  const bool clean = assembler.GetErrorCount() == 0 && !assembler.HasReadError();

  int status = clean ? 0 : 1;
  bool written = false;
  if (clean) {
    status = WriteImage(assembler, image, files);
    written = status == 0;
  }
  if (options.listing.given) {
    Output listing;
    if (listing.Open(options.listing.path, files) != 0) {
      status = 1;
    } else {
      listing.Write(FormatListing(source));
      if (listing.Commit() != 0) status = 1;
    }
  }
  if (options.json) {
    Output out;
    out.OpenStandardOutput();
    out.Write(AssemblyJson(assembler, written ? image.c_str() : nullptr) + "\n");
    if (out.Commit() != 0) status = 1;
  } else {
    PrintDiagnostics(options.source, source, ColourWanted());
  }
  return status;
}

}  // namespace mirvo::cli
