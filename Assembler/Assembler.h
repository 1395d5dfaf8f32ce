#pragma once
// Turns an assembly source into a program image: reads statements, encodes
// each into instruction bytes in a fixed 64 KiB buffer, and writes the bytes.

#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "InstructionSet.h"
#include "SourceReader.h"

namespace mirvo {

enum OperandKind : int {
  Register = 0,           // exactly one character
  MemoryOrImmediate = 1,  // "Mem" in any case, or two or more characters ending in a lower-case h
  Invalid = 2,            // anything else, or no operand at that index
};

using ImageBuffer = std::array<std::uint8_t, kMemorySize>;

class Assembler {
 public:
  Assembler();
  Assembler(const Assembler&) = delete;
  Assembler& operator=(const Assembler&) = delete;

  // Creates the reader on path; Assemble reports a file that cannot be opened.
  void Open(const char* path);
  // Reads the source from an open stream, which the assembler then owns.
  void Open(std::FILE* stream);
  // Encodes every statement. 0 on success; 1 after printing why it failed.
  int Assemble();
  // Writes the first GetLength() bytes of the image to path, replacing an
  // earlier file only when complete. 0 on success; 1 after printing why not.
  int WriteImage(const char* path);

  // Appends the bytes of one statement; 0 on success. On failure nothing is
  // emitted and 1 is returned, after the encoder's own message if it has one.
  int EncodeStatement(const Statement& statement);
  int EncodeMov(const Statement& statement);
  int EncodeMvi(const Statement& statement);
  int EncodeAdd(const Statement& statement);
  int EncodeCmp(const Statement& statement);
  int EncodeRet(const Statement& statement);
  OperandKind ClassifyOperand(const Statement& statement, int index) const;
  // The code of an upper-case register letter, or -1 after "Not a reg".
  int RegisterCode(char letter) const;

  const ImageBuffer& GetImage() const { return image; }
  std::uint32_t GetLength() const { return length; }

 private:
  // The register code an operand stands for (6 for "Mem" and h-numbers), or
  // -1 for an operand the statement cannot take.
  int OperandCode(const Statement& statement, int index) const;
  // 0 if count more bytes fit in the image; else 1 after "Program too large".
  int Reserve(std::uint32_t count) const;
  int EncodeSingleOperand(const Statement& statement, std::uint8_t base);
  void EmitByte(std::uint8_t value);

  std::unique_ptr<SourceReader> reader;
  ImageBuffer image;
  std::uint32_t length;
  const char* sourcePath = "";
};

// Reads an MVI immediate: an optional sign, an optional 0x, one or more
// hexadecimal digits and a final lower-case h, with a value from -80h to FFh.
// Returns 0 and the byte (two's complement for a negative value), or 1.
int ParseImmediate(const char* token, std::uint8_t& value);

// The whole MirvoVMAssembler program. Returns the process exit code.
int RunAssemblerProgram(int argc, char** argv);

}  // namespace mirvo
