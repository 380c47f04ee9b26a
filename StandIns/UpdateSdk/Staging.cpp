#include "Staging.h"

#include "FileSwap.h"
#include "LocalFiles.h"
#include "Result.h"

namespace UpdateSdkStandIn
{
namespace
{

const DWORD pollMilliseconds = 100;
// A lock file that its last holder is deleting refuses every opener for a moment; so does one
// of a folder not ours to write, for good, which ends the wait after this many polls.
const int deniedPolls = 50;

} // namespace

void Staging::Take(const Progress& progress)
{
    if (lock == INVALID_HANDLE_VALUE)
    {
        int deniedLeft = deniedPolls;
        bool told = false;
        while (!TryLock(deniedLeft))
        {
            if (!told)
                progress.Report(WaitingEvent);
            told = true;
            Sleep(pollMilliseconds);
        }
    }
    // Under the lock only: another run's swap in progress would look just like an unfinished one.
    FileSwap(folders).Recover();
}

bool Staging::TryLock(int& deniedLeft)
{
    LocalFiles::CreateFolders(folders.staging);
    const HANDLE file = CreateFileW(folders.lock.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
        FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE)
    {
        lock = file;
        return true;
    }
    switch (GetLastError())
    {
    case ERROR_SHARING_VIOLATION: // held
    case ERROR_PATH_NOT_FOUND:    // its holder removed the folder as it let go
        return false;
    case ERROR_ACCESS_DENIED:
        if (deniedLeft-- > 0)
            return false;
        break;
    default:
        break;
    }
    LocalFiles::Fail(Result::FileSystem, "cannot lock", folders.lock);
}

void Staging::Release() noexcept
{
    if (lock == INVALID_HANDLE_VALUE)
        return;
    CloseHandle(lock);
    lock = INVALID_HANDLE_VALUE;
    // Whoever has opened it since keeps both.
    DeleteFileW(folders.lock.c_str());
    RemoveDirectoryW(folders.staging.c_str());
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
