// mirvo cc: compile a C program for the machine into assembly (and an
// image), with diagnostics as mirvo asm gives them, or one JSON object.

#include "Commands.h"
#include "Compiler.h"
#include "EngineJson.h"
#include "JsonText.h"
#include "Output.h"
#include "ProgramFile.h"

namespace mirvo::cli {

namespace {

// 0, or 1 after saying why the file could not be written.
int WriteFile(const std::string& path, const CommandFiles& files, const char* data, std::size_t size) {
  Output output;
  if (output.OpenFile(path, files) != 0) return 1;
  output.Write(data, size);
  return output.Commit();
}

// The assembly, and the image when one was asked for: 0, or 1.
int WriteOutputs(const CcOptions& options, const std::string& assembly, const cc::CompileResult& result,
                 const CommandFiles& files) {
  if (WriteFile(assembly, files, result.assembly.data(), result.assembly.size()) != 0) return 1;
  if (options.image.empty()) return 0;
  return WriteFile(options.image, files, reinterpret_cast<const char*>(result.image.data()), result.image.size());
}

}  // namespace

int RunCc(const CcOptions& options) {
  const std::string assembly = options.assembly.empty() ? ReplaceExtension(options.source, ".asm") : options.assembly;
  CommandFiles files;
  files.AddInput(options.source);
  files.AddOutput("assembly", assembly);
  if (!options.image.empty()) files.AddOutput("image", options.image);
  if (RefuseInputsAsOutputs(files) != 0) return 1;
  std::string text;
  std::string reason;
  if (ReadWholeFile(options.source, text, reason) != 0) {
    Report("%s", reason.c_str());
    return 1;
  }
  cc::CompileOptions compileOptions;
  compileOptions.optimise = options.level > 0;
  const cc::CompileResult result = cc::Compile(text, compileOptions);
  int status = result.ok ? WriteOutputs(options, assembly, result, files) : 1;
  if (options.json) {
    Output out;
    out.OpenStandardOutput();
    out.Write(DumpJson(CompileJson(result)) + "\n");
    if (out.Commit() != 0) status = 1;
  } else {
    PrintDiagnostics(options.source, text, result.diagnostics, ColourWanted());
  }
  return status;
}

}  // namespace mirvo::cli
