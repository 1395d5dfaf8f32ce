#pragma once

namespace mirvo {

// The version every program prints in its title line.
inline constexpr const char* kVersion = "1.0";

// Prints the four banner lines: dashes, the title (a printf format with one
// %s for the version), the dashes again, and the release month.
void PrintBanner(const char* dashes, const char* titleFormat);

}  // namespace mirvo
