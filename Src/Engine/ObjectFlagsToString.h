#pragma once

#include <cstdint>
#include <string>

namespace BriskenCommandLineScanner
{

// The names of the set ObjectFlag bits in list order, each but "Stream" followed by ";".
// Bits without a name are ignored; no bit set gives the empty text.
std::wstring ObjectFlagsToString(std::uint32_t flags);

} // namespace BriskenCommandLineScanner
