#pragma once

#include <string>

namespace BriskenCommandLineScanner
{

// The plugins version from Plugins\update.txt in the program folder: everything after the first
// "Version: " of the first line that has at least one character after it. Empty when the file
// is missing, unreadable or has no such line; a failure while reading is logged at Info level.
std::string ReadPluginsVersion();

} // namespace BriskenCommandLineScanner
