#pragma once

#include "Definitions.h"

#include <string>

namespace ReferenceEngine
{

// Loads folder\Plugins as one whole set: the old one or the new one of an install that swaps it
// meanwhile, never part of each. Returns 0; Plugin when a definitions file cannot be read or
// parsed, or when Plugins holds part of an install cut short (until an update puts it right);
// Busy when an install keeps the definitions longer than only a hang would; FileOpen when the
// lock that keeps installs out cannot be taken.
int LoadInstalledDefinitions(const std::wstring& folder, Definitions& definitions);

} // namespace ReferenceEngine
