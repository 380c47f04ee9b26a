#include "FileObjects.h"

#include "EngineSdk.h"

#include <winioctl.h>

#include <algorithm>

namespace ReferenceEngine
{

namespace
{

// What GetFullPathNameW makes of path; empty on failure.
std::wstring SystemFullPath(const std::wstring& path)
{
    const DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0)
        return std::wstring();
    std::wstring full(needed, L'\0');
    const DWORD length = GetFullPathNameW(path.c_str(), needed, &full[0], nullptr);
    if (length == 0 || length >= needed)
        return std::wstring();
    full.resize(length);
    return full;
}

bool IsSeparator(wchar_t c)
{
    return c == L'\\' || c == L'/';
}

bool AllZero(const std::uint8_t* data, std::size_t size)
{
    return std::all_of(data, data + size, [](std::uint8_t byte) { return byte == 0; });
}

} // namespace

std::wstring FullPath(const std::wstring& path)
{
    if (IsInDeviceForm(path))
        return path;
    // The last name is kept from the system's reading, which would turn a device name into
    // \\.\<device>; the folder before it is read as the system reads it.
    std::size_t start = path.find_last_of(L"\\/");
    start = start != std::wstring::npos ? start + 1 : path.size() >= 2 && path[1] == L':' ? 2 : 0;
    std::wstring name = path.substr(start);
    name.erase(name.find_last_not_of(L". ") + 1);
    if (name.empty()) // no name (a folder, ".", ".."): nothing to keep
    {
        const std::wstring full = SystemFullPath(path);
        return full.empty() ? path : full;
    }
    std::wstring folder = SystemFullPath(start > 0 ? path.substr(0, start) : L".");
    if (folder.empty())
        return path;
    if (!IsSeparator(folder.back()))
        folder += L'\\';
    return folder + name;
}

void* OpenToJudge(const std::wstring& path)
{
    const std::wstring name = ApiPath(path);
    HANDLE file = CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
        FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_SHARING_VIOLATION)
    {
        file = CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
            FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    }
    return file;
}

int CodeForError(unsigned long error, int otherwise)
{
    namespace Result = EngineSdk::Result;
    switch (error)
    {
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
        return Result::PathAccess;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_FILENAME_EXCED_RANGE:
    case ERROR_DIRECTORY:
        return Result::PathError;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return Result::FileWrite;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        return Result::NoMemory;
    default:
        return otherwise;
    }
}

bool IsGone(const std::wstring& path)
{
    if (GetFileAttributesW(ApiPath(path).c_str()) != INVALID_FILE_ATTRIBUTES)
        return false;
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

bool Exists(const std::wstring& path)
{
    return GetFileAttributesW(ApiPath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

void* CreateNewFile(const std::wstring& path)
{
    return CreateFileW(ApiPath(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
}

std::wstring FirstFreeName(const std::wstring& base, const std::function<bool(const std::wstring&)>& create)
{
    for (int n = 0; n < 1000; ++n)
    {
        const std::wstring candidate = n == 0 ? base : base + L"." + std::to_wstring(n);
        if (create(candidate))
            return candidate;
        const DWORD error = GetLastError();
        if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS)
            return std::wstring();
    }
    SetLastError(ERROR_FILE_EXISTS);
    return std::wstring();
}

bool CopyContent(void* from, std::uint64_t offset, void* to, std::vector<std::uint8_t>& buffer)
{
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileInformationByHandle(from, &info) && (info.dwFileAttributes & FILE_ATTRIBUTE_SPARSE_FILE))
    {
        // Without the mark, NTFS would fill the skipped chunks with allocated zeros.
        DWORD returned = 0;
        DeviceIoControl(to, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
    }
    LARGE_INTEGER readAt, writeAt;
    readAt.QuadPart = static_cast<LONGLONG>(offset);
    writeAt.QuadPart = 0;
    if (!SetFilePointerEx(from, readAt, nullptr, FILE_BEGIN))
        return false;
    for (;;)
    {
        DWORD got = 0;
        if (!ReadFile(from, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr))
            return false;
        if (got == 0)
            break;
        if (!AllZero(buffer.data(), got))
        {
            DWORD written = 0;
            if (!SetFilePointerEx(to, writeAt, nullptr, FILE_BEGIN)
                || !WriteFile(to, buffer.data(), got, &written, nullptr))
                return false;
            if (written != got)
            {
                SetLastError(ERROR_DISK_FULL);
                return false;
            }
        }
        writeAt.QuadPart += got;
    }
    return SetFilePointerEx(to, writeAt, nullptr, FILE_BEGIN) && SetEndOfFile(to) && FlushFileBuffers(to);
}

} // namespace ReferenceEngine
