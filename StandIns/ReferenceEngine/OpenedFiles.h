#pragma once

// What a file or folder opened by its path is, and the steps taken on it through its handle, for
// both stand-ins: who it is, whether it is the entry of its name in its folder or what a link of
// that name leads to, its renames, attributes and deletion. One check for everything that either
// stand-in deletes, moves or writes, so that neither acts through a link.

#include <windows.h>

#include <cstdint>
#include <string>

namespace ReferenceEngine
{

// Sharing with everyone: for opens that only look, or that must not keep others from a file.
constexpr DWORD AllSharing = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The system error of a link that is not acted through: Windows' ERROR_STOPPED_ON_SYMLINK,
// which mingw's headers lack.
constexpr DWORD LinkRefused = 681;

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

// file: an open handle.
bool ReadIdentity(HANDLE file, FileIdentity& identity);
// Whether both are one file (one volume, one file index), whatever its size and times.
bool IsSameFile(const FileIdentity& one, const FileIdentity& other);

// Whether path is in the \\?\ or \\.\ form, which the system takes as it stands.
bool IsInDeviceForm(const std::wstring& path);
// The form of a full path to hand to the file API: the \\?\ form, in which every name is a plain
// name (aux.txt is a file, not a device; a trailing dot stays) and a path may be longer than
// MAX_PATH. A relative path, or one in the \\?\ or \\.\ form already, is left as it is.
std::wstring ApiPath(const std::wstring& path);

// path with its last name as its folder lists it (a short or differently cased name given by a
// user becomes the stored one); empty when there is no such entry.
std::wstring StoredPath(const std::wstring& path);

// Whether the opened file is a link (symbolic link, junction, any name surrogate) opened as
// itself (FILE_FLAG_OPEN_REPARSE_POINT), not a file kept in another form (compressed,
// deduplicated, in the cloud), which is no link.
bool IsLinkItself(HANDLE opened);
// Whether the file opened at path is not the entry of that name in its folder but the target of
// a link of that name, as every link opens under Wine: where the folder of the name really is,
// with the entry's own name as the folder lists it, against where the opened file really is
// (the volume and the path on it where the system gives no final path, as Wine beyond
// MAX_PATH). Anything that cannot be told counts as a link.
bool IsReachedThroughLink(const std::wstring& path, HANDLE opened);
// Whether the file opened at path (FILE_FLAG_OPEN_REPARSE_POINT, with FILE_READ_ATTRIBUTES
// access) is the entry of its name itself: neither a link opened as itself nor what one leads to.
bool IsEntryItself(const std::wstring& path, HANDLE opened);

// Opens path as the entry of its name (FILE_FLAG_OPEN_REPARSE_POINT, so that a link is held as
// itself where the system can do so), with access and FILE_READ_ATTRIBUTES, sharing, the
// disposition and flags; a file kept in another form, which is no link, is opened as usual so
// that it gives its content. What a link leads to may still be what opens (Wine): the caller
// tells with IsEntryItself. INVALID_HANDLE_VALUE when the open fails (GetLastError tells why).
HANDLE OpenAsEntry(const std::wstring& path, DWORD access, DWORD sharing, DWORD disposition, DWORD flags = 0);
// OpenAsEntry of a file or folder that IsEntryItself: a link of either kind is let go at once,
// untouched, and the open fails with LinkRefused.
HANDLE OpenEntryItself(const std::wstring& path, DWORD access, DWORD sharing, DWORD disposition, DWORD flags = 0);

// Gives the file, open with DELETE access, the full path target: one that must be free, or, when
// replacing, one whose file or link it takes the place of in one step (never a folder's). False
// otherwise (GetLastError tells why). The name goes at once, whoever else holds the file.
bool RenameOpened(HANDLE file, const std::wstring& target, bool replacing = false);

// The attributes with read-only cleared, as the file API takes them (normal when none is left).
DWORD WithoutReadOnly(DWORD attributes);
// Sets the attributes of the file, open with FILE_WRITE_ATTRIBUTES access, leaving its times.
bool SetAttributesOpened(HANDLE file, DWORD attributes);
// Marks the file or empty folder, open with DELETE and FILE_WRITE_ATTRIBUTES access, for
// deletion when its last handle closes; a read-only file has that attribute cleared first when
// it is what refuses. False (GetLastError tells why) when it cannot.
bool DeleteOpened(HANDLE file);

} // namespace ReferenceEngine
