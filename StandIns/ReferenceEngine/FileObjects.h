#pragma once

// File steps shared by the scan and the actions: who a file is, why an operation failed,
// where a name leads, and copies that keep holes.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace ReferenceEngine
{

// What tells one file from another and from its own later state.
struct FileIdentity
{
    std::uint32_t volume = 0;
    std::uint64_t index = 0;
    std::uint64_t size = 0;
    std::uint64_t lastWrite = 0;

    bool operator==(const FileIdentity& other) const
    {
        return volume == other.volume && index == other.index && size == other.size && lastWrite == other.lastWrite;
    }
    bool operator!=(const FileIdentity& other) const { return !(*this == other); }
};

// file: an open file handle.
bool ReadIdentity(void* file, FileIdentity& identity);

// A path given to the engine made absolute as Windows reads it (current folder, "." and "..",
// the dots and blanks that Windows drops from the end of its last name), except that its last
// name stays a file name: Windows would read aux.txt, com1 or nul as a device. A path already in
// the \\?\ or \\.\ form, or one that cannot be read, comes back as it is.
std::wstring FullPath(const std::wstring& path);

// The form of a full path (as FullPath gives it, or made from one) to hand to the file API: the
// \\?\ form, in which every name is a plain name (aux.txt is a file, not a device; a trailing
// dot stays) and a path may be longer than MAX_PATH. A relative path is left as it is.
std::wstring ApiPath(const std::wstring& path);

// The engine result code that names why a file operation failed with this system error;
// `otherwise` for an error without a closer name.
int CodeForError(unsigned long error, int otherwise);

// Whether the file opened at path is not the entry of that name in its folder but the
// target of a link (the last name of path is a symbolic link).
bool IsReachedThroughLink(const std::wstring& path, void* file);

// path with its last name as its folder lists it (a short or differently cased name given by a
// user becomes the stored one); empty when there is no such entry.
std::wstring StoredPath(const std::wstring& path);

// Gives the file, open with DELETE access, the full path target, which must be free; false
// otherwise (GetLastError tells why). The name goes at once, whoever else holds the file.
bool RenameOpened(void* file, const std::wstring& target);

// The attributes with read-only cleared, as the file API takes them (normal when none is left).
unsigned long WithoutReadOnly(unsigned long attributes);

// Whether nothing answers to path any more.
bool IsGone(const std::wstring& path);

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
