#pragma once
// The normal form of a program, for finding the programs of a class that are
// one program: a source set out as its statements (each statement's
// operation and operands, the registers other than A renamed in the order
// they first appear), an image as its bytes, each as a short digest. Two
// programs share it when they differ only in comments, spacing and the names
// of their registers. Pure: the same digest on every machine.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "Assembler.h"

namespace mirvo {

class Program;

// Empty for a program of no statements (or no bytes).
std::string SourceShape(const std::vector<StatementRecord>& statements);
std::string ImageShape(std::span<const std::uint8_t> bytes);
// The shape of an assembled source or an image, as the two above say.
std::string ProgramShape(const Program& program);

}  // namespace mirvo
