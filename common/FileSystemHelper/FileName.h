#pragma once

#include <string>

namespace FileSystemHelper
{

// The last name of a path as Windows stores it: without the dots and blanks that it drops from
// the end of the name (r.xml. is r.xml). Empty when nothing else is left.
std::wstring StoredName(const std::wstring& name);

// Whether name, as Windows stores it, can name a file of its own in a folder: not empty, not "."
// or "..", none of the characters Windows refuses in a name (control characters, < > : " / \ |
// ? *; a colon would name a stream of another file), and not a device name (CON, PRN, AUX, NUL,
// COM1 to COM9, LPT1 to LPT9, with or without an extension, and the console's CONIN$ and CONOUT$).
bool IsFileName(const std::wstring& name);

// Whether path is in the \\?\ form, which Windows takes as written: no "." or ".." resolved, no
// dot or blank dropped from the end of a name, no name taken as a device.
bool IsLongForm(const std::wstring& path);

// The \\?\ form of a full path (drive or UNC, without "." or ".." elements), in which every name
// is a plain name (aux.txt or nul is a file, not a device; a trailing dot stays) and a path may be
// longer than MAX_PATH. A path already in that form or the \\.\ form, or one that is not full,
// comes back as it is.
std::wstring LongForm(const std::wstring& path);

} // namespace FileSystemHelper
