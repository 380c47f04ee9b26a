#include "FileSystemHelper/ReplacingFile.h"

#include <windows.h>

#include <string>

namespace FileSystemHelper
{

namespace
{

// How many names beside target are tried before giving up (left behind by runs that died, or
// taken by runs that save beside the same target meanwhile).
const int namesToTry = 100;

// The new file's name: one of this process's own, which no report would take.
boost::filesystem::path NewFileName(const boost::filesystem::path& target, int attempt)
{
    const std::wstring name =
        L"~" + std::to_wstring(GetCurrentProcessId()) + L"." + std::to_wstring(attempt) + L".saving";
    return target.has_parent_path() ? target.parent_path() / name : boost::filesystem::path(name);
}

} // namespace

ReplacingFile::ReplacingFile(const boost::filesystem::path& target) : target(target), handle(INVALID_HANDLE_VALUE)
{
    for (int attempt = 0; attempt < namesToTry; ++attempt)
    {
        written = NewFileName(target, attempt);
        // CREATE_NEW makes a file of its own: it fails for any name that is taken, a link
        // included, rather than open what is there. Shared for deletion only, so that the move
        // can take it while this handle, which can still remove it, stays open.
        handle = CreateFileW(written.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_DELETE, nullptr, CREATE_NEW,
            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (handle != INVALID_HANDLE_VALUE)
        {
            error = 0; // a name taken before this one is no failure of the save
            return;
        }
        error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)
            return;
    }
}

ReplacingFile::~ReplacingFile()
{
    Discard();
}

void ReplacingFile::Write(const void* data, std::size_t size)
{
    const char* bytes = static_cast<const char*>(data);
    while (error == 0 && size > 0)
    {
        const DWORD piece = size > 1u << 30 ? 1u << 30 : static_cast<DWORD>(size);
        DWORD done = 0;
        if (!WriteFile(handle, bytes, piece, &done, nullptr))
            error = GetLastError();
        else if (done == 0)
            error = ERROR_DISK_FULL; // a write that takes nothing would never end
        bytes += done;
        size -= done;
    }
}

unsigned long ReplacingFile::Commit()
{
    if (error == 0 && !FlushFileBuffers(handle))
        error = GetLastError();
    if (error == 0
        && !MoveFileExW(written.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        error = GetLastError();
    if (error == 0)
    {
        // The handle is the target's now.
        CloseHandle(handle);
        handle = INVALID_HANDLE_VALUE;
        return 0;
    }
    Discard();
    return error;
}

void ReplacingFile::Discard()
{
    if (handle == INVALID_HANDLE_VALUE)
        return;
    // Through the handle: it is this file that goes, whatever has taken its name meanwhile.
    FILE_DISPOSITION_INFO disposition = {};
    disposition.DeleteFile = TRUE;
    SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof disposition);
    CloseHandle(handle);
    handle = INVALID_HANDLE_VALUE;
}

} // namespace FileSystemHelper
