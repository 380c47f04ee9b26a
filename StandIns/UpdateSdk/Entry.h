#pragma once

#include "OpenedFiles.h"

#include <windows.h>

#include <string>

namespace UpdateSdkStandIn
{

// The reference engine's, with the check of what an opened file is, which both stand-ins share.
using ReferenceEngine::AllSharing;
using ReferenceEngine::LinkRefused;

// What stands at a path, not followed.
enum class EntryKind
{
    Missing,
    File,
    Folder,
    Link,         // a symbolic link or junction (a name surrogate), held as the link itself
    FollowedLink, // a link that the system opens only through (Wine does so for every link)
    Unopened,     // there, but it cannot be opened (Error tells why)
};

// A file or folder opened as the entry of its name itself (FILE_FLAG_OPEN_REPARSE_POINT): a link
// is held as the link, never as what it leads to. Where the system hands out only the target
// (Wine), that shows as the entry's real place differing from its folder's place plus its name,
// and the target is let go at once, untouched. Never throws.
class Entry
{
public:
    // Opens path with access (and FILE_READ_ATTRIBUTES) and sharing.
    Entry(const std::wstring& path, DWORD access, DWORD sharing);
    ~Entry();
    Entry(const Entry&) = delete;
    Entry& operator=(const Entry&) = delete;

    EntryKind Kind() const { return kind; }
    // Why the entry is not held: the system error of Unopened, LinkRefused for FollowedLink.
    DWORD Error() const { return error; }
    // Null unless File, Folder or Link.
    HANDLE Handle() const { return handle; }
    // The handle, which the caller closes from now on.
    HANDLE Release();

    // Gives the entry the full path target, which must be free; needs DELETE access. False
    // (GetLastError tells why) when it cannot.
    bool RenameTo(const std::wstring& target) const;
    // The same, but taking the place of the file or link of that name in one step, so that
    // the name is never free meanwhile (never a folder's place).
    bool RenameOver(const std::wstring& target) const;
    // Gives the file a second name, the full path link, which must be free (a hard link); needs
    // FILE_WRITE_ATTRIBUTES access. False (GetLastError tells why; a volume without hard links
    // among others) when it cannot.
    bool LinkAs(const std::wstring& link) const;
    // Whether the other entry is this very one (another name of it, or the same).
    bool IsSameAs(const Entry& other) const;
    // Deletes the entry (a folder only when empty; a read-only file too); needs DELETE and
    // FILE_WRITE_ATTRIBUTES access. False (GetLastError tells why) when it cannot.
    bool Delete() const;

private:
    void Classify(const std::wstring& path);

    EntryKind kind = EntryKind::Missing;
    DWORD error = ERROR_SUCCESS;
    HANDLE handle = nullptr;
};

} // namespace UpdateSdkStandIn
