#include "OpenedFiles.h"

#include <algorithm>
#include <cwchar>
#include <vector>

namespace ReferenceEngine
{

namespace
{

std::uint64_t Join(DWORD high, DWORD low)
{
    return (std::uint64_t(high) << 32) | low;
}

bool HasPrefix(const std::wstring& path, const wchar_t* prefix)
{
    return path.compare(0, std::wcslen(prefix), prefix) == 0;
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

bool SetDisposition(HANDLE file)
{
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = TRUE;
    return SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition) != 0;
}

} // namespace

bool ReadIdentity(HANDLE file, FileIdentity& identity)
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

bool IsSameFile(const FileIdentity& one, const FileIdentity& other)
{
    return one.volume == other.volume && one.index == other.index;
}

bool IsInDeviceForm(const std::wstring& path)
{
    return HasPrefix(path, L"\\\\?\\") || HasPrefix(path, L"\\\\.\\");
}

std::wstring ApiPath(const std::wstring& path)
{
    if (IsInDeviceForm(path))
        return path;
    std::wstring plain = path;
    std::replace(plain.begin(), plain.end(), L'/', L'\\');
    if (HasPrefix(plain, L"\\\\"))
        return L"\\\\?\\UNC\\" + plain.substr(2);
    if (plain.size() >= 3 && plain[1] == L':' && plain[2] == L'\\')
        return L"\\\\?\\" + plain;
    return path;
}

std::wstring StoredPath(const std::wstring& path)
{
    const std::size_t separator = path.find_last_of(L"\\/");
    WIN32_FIND_DATAW entry;
    const HANDLE find = FindFirstFileExW(ApiPath(path).c_str(), FindExInfoBasic, &entry, FindExSearchNameMatch,
        nullptr, 0);
    if (find == INVALID_HANDLE_VALUE)
        return std::wstring();
    FindClose(find);
    return separator == std::wstring::npos ? std::wstring() : path.substr(0, separator + 1) + entry.cFileName;
}

bool IsLinkItself(HANDLE opened)
{
    FILE_ATTRIBUTE_TAG_INFO tag{};
    return GetFileInformationByHandleEx(opened, FileAttributeTagInfo, &tag, sizeof tag)
        && (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && IsReparseTagNameSurrogate(tag.ReparseTag);
}

bool IsReachedThroughLink(const std::wstring& path, HANDLE opened)
{
    const std::size_t separator = path.find_last_of(L"\\/");
    const std::wstring stored = StoredPath(path);
    if (separator == std::wstring::npos || stored.empty())
        return true;
    const HANDLE folder = CreateFileW(ApiPath(path.substr(0, separator + 1)).c_str(), FILE_READ_ATTRIBUTES,
        AllSharing, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (folder == INVALID_HANDLE_VALUE)
        return true;
    std::wstring expected = FinalPath(folder);
    std::wstring actual = FinalPath(opened);
    if (expected.empty() || actual.empty())
    {
        expected = VolumePath(folder);
        actual = VolumePath(opened);
    }
    CloseHandle(folder);
    if (expected.empty() || actual.empty())
        return true;
    if (expected.back() != L'\\')
        expected += L'\\';
    return expected + stored.substr(separator + 1) != actual;
}

bool IsEntryItself(const std::wstring& path, HANDLE opened)
{
    return !IsLinkItself(opened) && !IsReachedThroughLink(path, opened);
}

HANDLE OpenAsEntry(const std::wstring& path, DWORD access, DWORD sharing, DWORD disposition, DWORD flags)
{
    const std::wstring name = ApiPath(path);
    access |= FILE_READ_ATTRIBUTES;
    HANDLE opened = CreateFileW(name.c_str(), access, sharing, nullptr, disposition,
        flags | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if (opened != INVALID_HANDLE_VALUE && GetFileInformationByHandleEx(opened, FileAttributeTagInfo, &tag, sizeof tag)
        && (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && !IsReparseTagNameSurrogate(tag.ReparseTag))
    {
        // Not a link but a file kept in another form (compressed, deduplicated, in the cloud):
        // opened as usual, it gives its content.
        CloseHandle(opened);
        opened = CreateFileW(name.c_str(), access, sharing, nullptr, OPEN_EXISTING, flags, nullptr);
    }
    return opened;
}

HANDLE OpenEntryItself(const std::wstring& path, DWORD access, DWORD sharing, DWORD disposition, DWORD flags)
{
    const HANDLE opened = OpenAsEntry(path, access, sharing, disposition, flags);
    if (opened != INVALID_HANDLE_VALUE && !IsEntryItself(path, opened))
    {
        CloseHandle(opened);
        SetLastError(LinkRefused);
        return INVALID_HANDLE_VALUE;
    }
    return opened;
}

bool RenameOpened(HANDLE file, const std::wstring& target, bool replacing)
{
    const std::wstring name = ApiPath(target);
    std::vector<std::uint8_t> block(sizeof(FILE_RENAME_INFO) + name.size() * sizeof(wchar_t));
    auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(block.data());
    rename->ReplaceIfExists = replacing ? TRUE : FALSE;
    rename->RootDirectory = nullptr;
    rename->FileNameLength = static_cast<DWORD>(name.size() * sizeof(wchar_t));
    std::copy(name.begin(), name.end(), rename->FileName);
    return SetFileInformationByHandle(file, FileRenameInfo, rename, static_cast<DWORD>(block.size())) != 0;
}

DWORD WithoutReadOnly(DWORD attributes)
{
    const DWORD writable = attributes & ~FILE_ATTRIBUTE_READONLY;
    return writable ? writable : FILE_ATTRIBUTE_NORMAL;
}

bool SetAttributesOpened(HANDLE file, DWORD attributes)
{
    FILE_BASIC_INFO basic{}; // zero times: left as they are
    basic.FileAttributes = attributes;
    return SetFileInformationByHandle(file, FileBasicInfo, &basic, sizeof basic) != 0;
}

bool DeleteOpened(HANDLE file)
{
    if (SetDisposition(file))
        return true;
    // A read-only file refuses to go until its own attribute is cleared.
    const DWORD refusal = GetLastError();
    FILE_BASIC_INFO basic{};
    if (GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic)
        && (basic.FileAttributes & FILE_ATTRIBUTE_READONLY)
        && SetAttributesOpened(file, WithoutReadOnly(basic.FileAttributes)))
        return SetDisposition(file);
    SetLastError(refusal);
    return false;
}

} // namespace ReferenceEngine
