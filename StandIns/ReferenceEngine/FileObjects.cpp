#include "FileObjects.h"

#include "EngineSdk.h"
#include "Handles.h"

#include <winioctl.h>

#include <algorithm>
#include <cwchar>

namespace ReferenceEngine
{

namespace
{

std::uint64_t Join(DWORD high, DWORD low)
{
    return (std::uint64_t(high) << 32) | low;
}

std::wstring FinalPath(HANDLE handle)
{
    std::wstring path(512, L'\0');
    DWORD length = GetFinalPathNameByHandleW(handle, &path[0], static_cast<DWORD>(path.size()), FILE_NAME_NORMALIZED);
    if (length >= path.size())
    {
        path.resize(length + 1);
        length = GetFinalPathNameByHandleW(handle, &path[0], static_cast<DWORD>(path.size()), FILE_NAME_NORMALIZED);
    }
    path.resize(length < path.size() ? length : 0);
    return path;
}

// The volume of an open file or folder and its path there, links resolved: where it really is,
// for when the system gives no final path (Wine gives none beyond MAX_PATH). Windows gives the
// path as it was opened, so this is no stand-in for FinalPath there. Empty on failure.
std::wstring VolumePath(HANDLE handle)
{
    BY_HANDLE_FILE_INFORMATION info;
    std::vector<std::uint8_t> block(sizeof(FILE_NAME_INFO) + 32768 * sizeof(wchar_t));
    auto* name = reinterpret_cast<FILE_NAME_INFO*>(block.data());
    if (!GetFileInformationByHandle(handle, &info)
        || !GetFileInformationByHandleEx(handle, FileNameInfo, name, static_cast<DWORD>(block.size())))
        return std::wstring();
    return std::to_wstring(info.dwVolumeSerialNumber) + L":"
        + std::wstring(name->FileName, name->FileNameLength / sizeof(wchar_t));
}

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

bool HasPrefix(const std::wstring& path, const wchar_t* prefix)
{
    return path.compare(0, std::wcslen(prefix), prefix) == 0;
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
    if (HasPrefix(path, L"\\\\?\\") || HasPrefix(path, L"\\\\.\\"))
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

std::wstring ApiPath(const std::wstring& path)
{
    if (HasPrefix(path, L"\\\\?\\") || HasPrefix(path, L"\\\\.\\"))
        return path;
    std::wstring plain = path;
    std::replace(plain.begin(), plain.end(), L'/', L'\\');
    if (HasPrefix(plain, L"\\\\"))
        return L"\\\\?\\UNC\\" + plain.substr(2);
    if (plain.size() >= 3 && plain[1] == L':' && plain[2] == L'\\')
        return L"\\\\?\\" + plain;
    return path;
}

bool ReadIdentity(void* file, FileIdentity& identity)
{
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(file, &info))
        return false;
    identity.volume = info.dwVolumeSerialNumber;
    identity.index = Join(info.nFileIndexHigh, info.nFileIndexLow);
    identity.size = Join(info.nFileSizeHigh, info.nFileSizeLow);
    identity.lastWrite = Join(info.ftLastWriteTime.dwHighDateTime, info.ftLastWriteTime.dwLowDateTime);
    return true;
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

bool IsReachedThroughLink(const std::wstring& path, void* file)
{
    const std::size_t separator = path.find_last_of(L"\\/");
    if (separator == std::wstring::npos)
        return true;
    // Where the folder of the name really is, with the entry's own name as the folder lists
    // it, against where the opened file really is: for an entry of that folder the two are the
    // same. Anything that cannot be told counts as a link.
    const std::wstring stored = StoredPath(path);
    FileHandle folder(CreateFileW(ApiPath(path.substr(0, separator + 1)).c_str(), FILE_READ_ATTRIBUTES,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
        nullptr));
    if (stored.empty() || !folder.Valid())
        return true;
    std::wstring expected = FinalPath(folder.Get());
    std::wstring actual = FinalPath(file);
    if (expected.empty() || actual.empty())
    {
        expected = VolumePath(folder.Get());
        actual = VolumePath(file);
    }
    if (expected.empty() || actual.empty())
        return true;
    if (expected.back() != L'\\')
        expected += L'\\';
    return expected + stored.substr(separator + 1) != actual;
}

std::wstring StoredPath(const std::wstring& path)
{
    const std::size_t separator = path.find_last_of(L"\\/");
    WIN32_FIND_DATAW entry;
    FindHandle find(FindFirstFileExW(ApiPath(path).c_str(), FindExInfoBasic, &entry, FindExSearchNameMatch, nullptr, 0));
    if (separator == std::wstring::npos || !find.Valid())
        return std::wstring();
    return path.substr(0, separator + 1) + entry.cFileName;
}

bool RenameOpened(void* file, const std::wstring& target)
{
    const std::wstring name = ApiPath(target);
    std::vector<std::uint8_t> block(sizeof(FILE_RENAME_INFO) + name.size() * sizeof(wchar_t));
    auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(block.data());
    rename->ReplaceIfExists = FALSE;
    rename->RootDirectory = nullptr;
    rename->FileNameLength = static_cast<DWORD>(name.size() * sizeof(wchar_t));
    std::copy(name.begin(), name.end(), rename->FileName);
    return SetFileInformationByHandle(file, FileRenameInfo, rename, static_cast<DWORD>(block.size()));
}

unsigned long WithoutReadOnly(unsigned long attributes)
{
    const DWORD writable = attributes & ~FILE_ATTRIBUTE_READONLY;
    return writable ? writable : FILE_ATTRIBUTE_NORMAL;
}

bool IsGone(const std::wstring& path)
{
    if (GetFileAttributesW(ApiPath(path).c_str()) != INVALID_FILE_ATTRIBUTES)
        return false;
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
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
