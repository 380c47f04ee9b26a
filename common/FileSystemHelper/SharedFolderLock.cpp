#include "FileSystemHelper/SharedFolderLock.h"

#include <boost/filesystem/operations.hpp>

#include <windows.h>

namespace FileSystemHelper
{

namespace
{

// Sharing of a lock: everything but deletion, which is what the last one out asks for.
const DWORD lockSharing = FILE_SHARE_READ | FILE_SHARE_WRITE;
const DWORD allSharing = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// How long a start waits for another process to finish clearing the folder: only a hang lasts
// longer.
const ULONGLONG clearingWaitMilliseconds = 120 * 1000;
const DWORD retryMilliseconds = 10;

boost::shared_ptr<void> OpenFolder(const boost::filesystem::path& folder, unsigned long access, unsigned long sharing)
{
    const HANDLE opened =
        CreateFileW(folder.c_str(), access, sharing, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (opened == INVALID_HANDLE_VALUE)
        return boost::shared_ptr<void>();
    return boost::shared_ptr<void>(opened, &CloseHandle);
}

// Whether refusal, the answer to an open of the folder for a lock, comes from a process that
// clears it: that one holds it for deletion, and removes it at the end, perhaps between the
// making (made) and the opening here.
bool IsBeingCleared(const boost::filesystem::path& folder, const SharedFolderLock::Opener& open, DWORD refusal,
    bool made)
{
    switch (refusal)
    {
    case ERROR_SHARING_VIOLATION:
        return true;
    case ERROR_ACCESS_DENIED:
        // Once its removal is pending, Windows refuses every open of the folder so, even one
        // for its attributes alone; a folder that only denies this account its listing still
        // gives those, and waiting would not change that.
        return !open(folder, FILE_READ_ATTRIBUTES, allSharing);
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return made;
    default:
        return false;
    }
}

} // namespace

SharedFolderLock::SharedFolderLock(const boost::filesystem::path& folder) : SharedFolderLock(folder, &OpenFolder)
{
}

SharedFolderLock::SharedFolderLock(const boost::filesystem::path& folder, const Opener& open)
    : folder(folder), open(open)
{
    const ULONGLONG deadline = GetTickCount64() + clearingWaitMilliseconds;
    for (;;)
    {
        boost::system::error_code made;
        boost::filesystem::create_directories(folder, made);
        // The system weighs the sharing of a handle only when it has access to the content:
        // here, to the folder's listing.
        handle = open(folder, FILE_LIST_DIRECTORY, lockSharing);
        if (handle)
            return;
        if (!IsBeingCleared(folder, open, GetLastError(), !made) || GetTickCount64() > deadline)
            return;
        Sleep(retryMilliseconds);
    }
}

bool SharedFolderLock::ReleaseAndClearIfLast(const std::function<void()>& clear)
{
    handle.reset();
    // Deletion access is refused while any other lock lives; once granted, it keeps new locks
    // out until the clearing is done. Any other refusal comes from no lock, and the folder is
    // cleared as it would be without locks.
    const boost::shared_ptr<void> clearing = open(folder, DELETE, allSharing);
    if (!clearing && GetLastError() == ERROR_SHARING_VIOLATION)
        return false;
    clear();
    return true;
}

} // namespace FileSystemHelper
