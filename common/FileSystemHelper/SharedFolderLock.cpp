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
        // A process that clears the folder holds it for deletion, and removes it at the end,
        // perhaps between the making and the opening here; once its removal is pending, Windows
        // refuses every open of it with access denied.
        const DWORD error = GetLastError();
        const bool clearing = error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED
            || (!made && (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND));
        if (!clearing || GetTickCount64() > deadline)
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
