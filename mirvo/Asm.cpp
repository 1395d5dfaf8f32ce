// mirvo asm: assemble a source into an image, with diagnostics a learner
// can act on, an optional listing and an optional JSON report.

#include <cstdio>

#include "Commands.h"
#include "EngineJson.h"
#include "JsonText.h"
#include "Output.h"
#include "ProgramFile.h"

namespace mirvo::cli {

namespace {

// Address, bytes, line number: "0000  3E F0      7  " before the source text;
// the place ("0000  3E F0") is padded to the width of the longest.

std::string FormatListing(const Program& program) {
  const std::vector<StatementRecord>& statements = program.Assembly()->GetStatements();
  std::size_t next = 0;
  std::string listing;
  const SourceLines lines(program.Text());
  for (std::int32_t line = 1; line <= static_cast<std::int32_t>(lines.FileLines()); ++line) {
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
    listing += lines.PrintedLine(static_cast<std::size_t>(line - 1));
    listing += '\n';
  }
  return listing;
}

// 0, or 1 after saying why the image could not be written.
int WriteImage(const Program& program, const std::string& path, const CommandFiles& files) {
  Output image;
  if (image.OpenFile(path, files) != 0) return 1;
  image.Write(reinterpret_cast<const char*>(program.Image().data()), program.Image().size());
  return image.Commit();
}

// Applies every sure fix to the source, as Program::ApplySureFixes does,
// and replaces the file with the result when it is complete. 0, or 1 after
// saying why the file could not be written.
int FixSource(Program& program, bool inPlace) {
  const std::size_t total = program.ApplySureFixes();
  if (total == 0) return 0;
  // The fixed text replaces the source on purpose, never written over it
  // unless --in-place says so.
  Output fixed;
  if (fixed.OpenRewrite(program.Name(), inPlace) != 0) return 1;
  fixed.Write(program.Text());
  if (fixed.Commit() != 0) return 1;
  Report("%s: %zu %s applied", program.Name().c_str(), total, total == 1 ? "fix" : "fixes");
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
  // A pipe's text cannot be fixed where it came from: refused unread.
  if (options.fix && RefuseNonRegularSource(options.source) != 0) return 1;
  std::string text;
  std::string reason;
  if (ReadWholeFile(options.source, text, reason) != 0) {
    Report("%s", reason.c_str());
    return 1;
  }
  if (options.fix && SkipUnlessSource(options.source, text) != 0) return 1;
  Program program = Program::FromSource(options.source, std::move(text));
  if (options.fix && FixSource(program, options.inPlace) != 0) return 1;
  const bool clean = !program.HasErrors();

  int status = clean ? 0 : 1;
  bool written = false;
  if (clean) {
    status = WriteImage(program, image, files);
    written = status == 0;
  }
  if (options.listing.given) {
    Output listing;
    if (listing.Open(options.listing.path, files) != 0) {
      status = 1;
    } else {
      listing.Write(FormatListing(program));
      if (listing.Commit() != 0) status = 1;
    }
  }
  if (options.json) {
    Output out;
    out.OpenStandardOutput();
    out.Write(DumpJson(AssemblyJson(*program.Assembly(), written ? image.c_str() : nullptr)) + "\n");
    if (out.Commit() != 0) status = 1;
  } else {
    PrintDiagnostics(program, ColourWanted());
  }
  return status;
}

}  // namespace mirvo::cli
