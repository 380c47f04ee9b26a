#include "DefinitionsLock.h"

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
    // Readers share reading with each other; the owner's writing access and empty sharing
    // conflict with every other hold either way.
    const DWORD access = exclusive ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ;
    const DWORD sharing = exclusive ? 0 : FILE_SHARE_READ;
    const ULONGLONG deadline = GetTickCount64() + waitMilliseconds;
    for (;;)
    {
        const HANDLE opened = CreateFileW(path.c_str(), access, sharing, nullptr,
            exclusive ? OPEN_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (opened != INVALID_HANDLE_VALUE)
        {
            handle = opened;
            return Outcome::Held;
        }
        const DWORD error = GetLastError();
        if (!exclusive && error == ERROR_FILE_NOT_FOUND)
            return Outcome::Absent;
        if (error != ERROR_SHARING_VIOLATION)
            return Outcome::Failed;
        if (GetTickCount64() > deadline)
            return Outcome::TimedOut;
        Sleep(pollMilliseconds);
    }
}

void DefinitionsLock::Release() noexcept
{
    if (handle)
        CloseHandle(handle);
    handle = nullptr;
}

} // namespace ReferenceEngine
