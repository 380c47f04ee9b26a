#include "DefinitionsLock.h"

#include "OpenedFiles.h"

#include <windows.h>

namespace ReferenceEngine
{

namespace
{

// Both sides hold the lock for a moment (a load, a swap of renames): a short poll costs little.
const DWORD pollMilliseconds = 10;

} // namespace

DefinitionsLock::Outcome DefinitionsLock::Share(const std::wstring& folder, unsigned long waitMilliseconds)
{
    return Take(folder, false, waitMilliseconds);
}

DefinitionsLock::Outcome DefinitionsLock::Own(const std::wstring& folder, unsigned long waitMilliseconds)
{
    return Take(folder, true, waitMilliseconds);
}

DefinitionsLock::Outcome DefinitionsLock::Take(const std::wstring& folder, bool exclusive,
    unsigned long waitMilliseconds)
{
    Release();
    const std::wstring path = PathIn(folder);
    const ULONGLONG deadline = GetTickCount64() + waitMilliseconds;
    for (;;)
    {
        const HANDLE opened = Open(path, exclusive);
        if (opened != INVALID_HANDLE_VALUE)
        {
            handle = opened;
            return Outcome::Held;
        }
        const DWORD error = GetLastError();
        if (error == LinkRefused)
            return Outcome::Link;
        if (!exclusive && error == ERROR_FILE_NOT_FOUND)
            return Outcome::Absent;
        if (error != ERROR_SHARING_VIOLATION)
            return Outcome::Failed;
        if (GetTickCount64() > deadline)
            return Outcome::TimedOut;
        Sleep(pollMilliseconds);
    }
}

void* DefinitionsLock::Open(const std::wstring& path, bool exclusive)
{
    // Readers share reading with each other; the owner's writing access and empty sharing
    // conflict with every other hold either way. A link is never opened through.
    const DWORD access = exclusive ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ;
    const DWORD sharing = exclusive ? 0 : FILE_SHARE_READ;
    HANDLE opened = OpenEntryItself(path, access, sharing, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
    if (opened == INVALID_HANDLE_VALUE && exclusive && GetLastError() == ERROR_FILE_NOT_FOUND)
    {
        // Made only where no entry of the name is: CREATE_NEW refuses a link, even one that leads
        // nowhere, which opening it (under Wine) cannot tell from no file at all.
        opened = OpenEntryItself(path, access, sharing, CREATE_NEW, FILE_ATTRIBUTE_NORMAL);
        if (opened == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_EXISTS)
        {
            // Made by another owner just now, or a link that leads nowhere: the next open tells.
            opened = OpenEntryItself(path, access, sharing, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
            if (opened == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_NOT_FOUND)
                SetLastError(LinkRefused);
        }
    }
    return opened;
}

void DefinitionsLock::Release() noexcept
{
    if (handle)
        CloseHandle(handle);
    handle = nullptr;
}

} // namespace ReferenceEngine
