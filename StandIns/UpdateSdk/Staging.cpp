#include "Staging.h"

#include "Entry.h"
#include "FileSwap.h"
#include "LocalFiles.h"
#include "Result.h"

namespace UpdateSdkStandIn
{
namespace
{

const DWORD pollMilliseconds = 100;
// A lock file that its last holder is deleting refuses every opener for a moment, and one just
// made by another opener is there for the creator; so is one of a folder not ours to write, or
// a link that leads nowhere, for good, which ends the wait after this many polls.
const int refusalPolls = 50;
// The lock's handle may delete the file, so that letting go removes the very file held.
const DWORD lockAccess = GENERIC_READ | GENERIC_WRITE | DELETE;

// Whether a failed open of the lock file is worth another poll.
bool IsPassing(DWORD error, int& refusalsLeft)
{
    switch (error)
    {
    case ERROR_SHARING_VIOLATION: // held
    case ERROR_PATH_NOT_FOUND:    // its holder removed the folder as it let go
        return true;
    case ERROR_ACCESS_DENIED:
    case ERROR_FILE_EXISTS:
        return refusalsLeft-- > 0;
    default:
        return false;
    }
}

} // namespace

void Staging::Take(const Progress& progress)
{
    if (lock == INVALID_HANDLE_VALUE)
    {
        int refusalsLeft = refusalPolls;
        bool told = false;
        while (!TryLock(refusalsLeft))
        {
            if (!told)
                progress.Report(WaitingEvent);
            told = true;
            Sleep(pollMilliseconds);
        }
    }
    // What the undo and every later step move into and out of.
    LocalFiles::RefuseLink(folders.stagedFiles);
    LocalFiles::RefuseLink(folders.backup);
    // Under the lock only: another run's swap in progress would look just like an unfinished one.
    FileSwap(folders).Recover();
}

bool Staging::TryLock(int& refusalsLeft)
{
    makeFolder(folders.staging);
    Entry existing(folders.lock, lockAccess, 0);
    switch (existing.Kind())
    {
    case EntryKind::File:
        lock = existing.Release();
        return true;
    case EntryKind::Missing:
        return TryCreateLock(refusalsLeft);
    case EntryKind::Link:
        // Not ours: the link itself goes, and the lock file is made anew.
        if (!existing.Delete())
            LocalFiles::Fail(Result::FileSystem, "cannot remove the link", folders.lock);
        return false;
    case EntryKind::FollowedLink:
        LocalFiles::FailLink(folders.lock);
    case EntryKind::Folder:
        SetLastError(ERROR_DIRECTORY);
        LocalFiles::Fail(Result::FileSystem, "cannot lock, a folder is in the way:", folders.lock);
    case EntryKind::Unopened:
        if (IsPassing(existing.Error(), refusalsLeft))
            return false;
        SetLastError(existing.Error());
        break;
    }
    LocalFiles::Fail(Result::FileSystem, "cannot lock", folders.lock);
}

bool Staging::TryCreateLock(int& refusalsLeft)
{
    // A new file only: CREATE_NEW refuses a link, even one that leads nowhere.
    const HANDLE file = CreateFileW(folders.lock.c_str(), lockAccess, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
        nullptr);
    if (file != INVALID_HANDLE_VALUE)
    {
        lock = file;
        return true;
    }
    const DWORD error = GetLastError();
    if (IsPassing(error, refusalsLeft))
        return false;
    SetLastError(error);
    LocalFiles::Fail(Result::FileSystem, "cannot lock", folders.lock);
}

void Staging::Release() noexcept
{
    if (lock == INVALID_HANDLE_VALUE)
        return;
    // The very file held goes as the handle closes; nobody else can have opened it meanwhile.
    ReferenceEngine::DeleteOpened(lock);
    CloseHandle(lock);
    lock = INVALID_HANDLE_VALUE;
    try
    {
        LocalFiles::RemoveEntry(folders.staging);
    }
    catch (...)
    {
        // Out of memory: the empty folder stays for the next run.
    }
}

void Staging::Clear() const
{
    if (LocalFiles::IsFile(folders.journal))
        throw UpdateError(Result::UndoFailed, "the backup of an unfinished install is still needed");
    LocalFiles::RemoveTreeContents(folders.staging, Folders::lockName);
}

void Staging::Discard() const noexcept
{
    try
    {
        FileSwap(folders).Recover();
        Clear();
    }
    catch (...)
    {
        // What cannot go now, the next update removes.
    }
}

} // namespace UpdateSdkStandIn
