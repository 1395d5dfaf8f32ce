// mirvo dis: turn an image back into source that assembles to the same
// bytes, one statement per instruction with its address and bytes beside it.

#include <cstdio>
#include <string>
#include <vector>

#include "Commands.h"
#include "Format.h"
#include "InstructionSet.h"
#include "Output.h"
#include "ProgramFile.h"

namespace mirvo::cli {

namespace {

// "0000  3E F0": a statement's address and bytes, as the listing shows them.
std::string Place(std::size_t address, const std::uint8_t* bytes, std::size_t count) {
  return PlaceText(static_cast<std::uint16_t>(address), bytes, count);
}

// Reports a run of bytes that are no instruction, first to last.
void WarnUndefined(const std::string& image, std::size_t first, std::size_t last) {
  if (first == last) {
    Warn("%s: the byte at %s is no instruction; it is left as a comment", image.c_str(),
         WordNotation(static_cast<std::uint16_t>(first)).text);
  } else {
    Warn("%s: the bytes at %s to %s are no instructions; they are left as comments", image.c_str(),
         WordNotation(static_cast<std::uint16_t>(first)).text, WordNotation(static_cast<std::uint16_t>(last)).text);
  }
}

}  // namespace

int RunDis(const DisOptions& options) {
  CommandFiles files;
  files.AddInput(options.image);
  AddFileOutput(files, "disassembly", options.output);
  if (RefuseInputsAsOutputs(files) != 0) return 1;

  // A source (by name, content or --as) is assembled first, so that dis
  // shows the bytes it stands for.
  Program program;
  if (LoadProgramOrSay(options.image, options.as, program) != 0) return 1;
  const std::span<const std::uint8_t> bytes = program.Image();

  std::string text = "; " + options.image + ": " + std::to_string(bytes.size()) +
                     (bytes.size() == 1 ? " byte" : " bytes") + ", one statement per instruction\n";
  bool exact = true;
  std::size_t undefinedFirst = 0;
  bool inUndefinedRun = false;
  char statement[64];
  char line[160];
  for (std::size_t address = 0; address < bytes.size();) {
    const std::size_t available = bytes.size() - address;
    const std::uint8_t* const at = bytes.data() + address;
    const Instruction instruction = kDecodeTable[at[0]];
    const std::size_t used = Disassemble(at, available, statement, sizeof(statement));
    const bool undefined = instruction.operation == Operation::kUndefined;
    const bool cutOff = instruction.length > available;
    if (inUndefinedRun && !undefined) {
      WarnUndefined(options.image, undefinedFirst, address - 1);
      inUndefinedRun = false;
    }
    if (undefined) {
      if (!inUndefinedRun) undefinedFirst = address;
      inUndefinedRun = true;
      std::snprintf(line, sizeof(line), "; %s  %s: cannot be written as a statement\n", Place(address, at, 1).c_str(),
                    statement);
      exact = false;
    } else if (cutOff) {
      Warn("%s: the MVI at %s is cut off by the end of the image; it is left as a comment", options.image.c_str(),
           WordNotation(static_cast<std::uint16_t>(address)).text);
      std::snprintf(line, sizeof(line), "; %s  (%s) is cut off: the image ends before its number\n",
                    Place(address, at, 1).c_str(), statement);
      exact = false;
    } else {
      std::snprintf(line, sizeof(line), "%-*s; %s\n", static_cast<int>(kStatementWidth), statement,
                    Place(address, at, used).c_str());
    }
    text += line;
    address += used;
  }
  if (inUndefinedRun) WarnUndefined(options.image, undefinedFirst, bytes.size() - 1);

  Output output;
  if (output.Open(options.output, files) != 0) return 1;
  output.Write(text);
  if (output.Commit() != 0) return 1;
  return exact ? 0 : 1;
}

}  // namespace mirvo::cli
