#include "AssemblerDriver.h"

#include <cstdio>
#include <memory>

#include "Assembler.h"
#include "AtomicFile.h"
#include "Banner.h"
#include "CommandFiles.h"
#include "FileSource.h"

namespace mirvo {

namespace {

// The program's own text for an error, printed before "Error! on line %d";
// the other kinds have none.
const char* LegacyMessage(DiagnosticKind kind) {
  switch (kind) {
    case DiagnosticKind::kUnknownMnemonic:
      return "Undefined Instruction\n";
    case DiagnosticKind::kNotARegister:
      return "Not a reg\n";
    case DiagnosticKind::kProgramTooLarge:
      return "Program too large\n";
    default:
      break;
  }
  return nullptr;
}

// Assembles the file at path. Returns 0, or 1 after printing why not.
int AssembleFile(Assembler& assembler, const char* path) {
  FileSource source(path);
  if (!source.IsOpen()) {
    std::printf("Error! Cannot open %s\n", path);
    return 1;
  }
  assembler.Open(&FileSource::Read, &source);
  if (assembler.Assemble() == 0) return 0;
  if (const Diagnostic* const error = assembler.FirstError()) {
    if (const char* const message = LegacyMessage(error->kind)) std::printf("%s", message);
    std::printf("Error! on line %d\n", error->line);
  } else if (assembler.HasReadError()) {
    std::printf("Error! Cannot read %s\n", path);
  }
  return 1;
}

// Writes the first GetLength() bytes of the image to path, replacing an
// earlier file only when complete. 0 on success; 1 after printing why not.
int WriteImage(const Assembler& assembler, const char* path, const CommandFiles& files) {
  AtomicFile file;
  if (file.Open(path, files) != 0 || file.Write(assembler.GetImage().data(), assembler.GetLength()) != 0 ||
      file.Commit() != 0) {
    std::printf("Error! Cannot write %s\n", path);
    return 1;
  }
  return 0;
}

}  // namespace

int RunAssemblerProgram(int argc, char** argv) {
  PrintBanner("------------------------\n", "MirvoVM Assembler v%s\n");
  if (argc < 3) {
    std::printf("Invalid arguments!\nUsage: MirvoVMAssembler <filename> <out filename>\n\n");
    return 1;
  }
  std::printf("Opening %s\n", argv[1]);
  // Writing the image over its own source would lose the program.
  CommandFiles files;
  files.AddInput(argv[1]);
  files.AddOutput("image", argv[2]);
  if (files.FindClash()) {
    std::printf("Error! The image %s is the source file\nAssembly Failure!\n", argv[2]);
    return 1;
  }
  // The image buffer is 64 KiB: the assembler lives on the heap.
  const auto assembler = std::make_unique<Assembler>();
  if (AssembleFile(*assembler, argv[1]) != 0 || WriteImage(*assembler, argv[2], files) != 0) {
    std::printf("Assembly Failure!\n");
    return 1;
  }
  std::printf("Assembly Complete(%s)\n", argv[2]);
  return 0;
}

}  // namespace mirvo
