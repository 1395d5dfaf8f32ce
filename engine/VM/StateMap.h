#pragma once
// The post-run report: header, registers, flags, program counter, stack
// pointer and one line for each of the 65536 memory bytes (65565 lines).

#include <cstddef>
#include <string>

#include "VirtualMachine.h"

namespace mirvo {

inline constexpr const char* kStateMapFileName = "MirvoVMStateMap.txt";
inline constexpr std::size_t kStateMapLines = 65565;

// Receives consecutive pieces of the report; returns false to stop it.
using ChunkSink = bool (*)(void* context, const char* data, std::size_t size);

// Formats the report of machine, run from imagePath, and hands it to sink in
// blocks of up to 64 KiB. Returns 0, or 1 if the sink refused a block.
int FormatStateMap(const VirtualMachine& machine, const char* imagePath, ChunkSink sink, void* context);

// The whole report as one string.
std::string StateMapText(const VirtualMachine& machine, const char* imagePath);

}  // namespace mirvo
