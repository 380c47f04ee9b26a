#pragma once

// File steps shared by the scan and the actions: the paths given, why an operation failed, free
// names, and copies that keep holes; who a file is and where a name leads are in OpenedFiles.h.

#include "OpenedFiles.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace ReferenceEngine
{

// A path given to the engine made absolute as Windows reads it (current folder, "." and "..",
// the dots and blanks that Windows drops from the end of its last name), except that its last
// name stays a file name: Windows would read aux.txt, com1 or nul as a device. A path already in
// the \\?\ or \\.\ form, or one that cannot be read, comes back as it is.
std::wstring FullPath(const std::wstring& path);

// Opens a file to read and judge it, so that nobody can change, rename or delete it while it is
// open: shared for reading only. A file that another program holds open for writing cannot be
// held so; it is read beside that program, shared for reading and writing, still refusing
// renames and deletion. INVALID_HANDLE_VALUE when neither open succeeds (GetLastError tells why).
void* OpenToJudge(const std::wstring& path);

// The engine result code that names why a file operation failed with this system error;
// `otherwise` for an error without a closer name.
int CodeForError(unsigned long error, int otherwise);

// Whether nothing answers to path any more.
bool IsGone(const std::wstring& path);
// Whether something answers to path.
bool Exists(const std::wstring& path);

// A file for writing that did not exist before (INVALID_HANDLE_VALUE otherwise).
void* CreateNewFile(const std::wstring& path);

// Calls create with base, then base.1, base.2, ... while it fails because the name is taken;
// returns the name create succeeded with, or empty (GetLastError tells why).
std::wstring FirstFreeName(const std::wstring& base, const std::function<bool(const std::wstring&)>& create);

// Copies from `from`, starting at `offset`, to its end into `to` from its start, leaving
// all-zero chunks unwritten (holes where the file system has them), and flushes `to`.
// False on a read, write or flush failure (GetLastError tells why).
bool CopyContent(void* from, std::uint64_t offset, void* to, std::vector<std::uint8_t>& buffer);

} // namespace ReferenceEngine
