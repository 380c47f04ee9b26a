#include "Entry.h"

#include <winternl.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace UpdateSdkStandIn
{
namespace
{

const DWORD allSharing = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

HANDLE Open(const std::wstring& path, DWORD access, DWORD sharing, DWORD flags)
{
    const HANDLE opened = CreateFileW(path.c_str(), access | FILE_READ_ATTRIBUTES, sharing, nullptr, OPEN_EXISTING,
        FILE_FLAG_BACKUP_SEMANTICS | flags, nullptr);
    return opened == INVALID_HANDLE_VALUE ? nullptr : opened;
}

std::wstring FinalPath(HANDLE handle)
{
    std::wstring path(MAX_PATH, L'\0');
    DWORD length = GetFinalPathNameByHandleW(handle, &path[0], DWORD(path.size()), FILE_NAME_NORMALIZED);
    if (length >= path.size())
    {
        path.resize(length + 1);
        length = GetFinalPathNameByHandleW(handle, &path[0], DWORD(path.size()), FILE_NAME_NORMALIZED);
    }
    path.resize(length < path.size() ? length : 0);
    return path;
}

// Whether the opened file is the entry of path's name in path's folder, not what a link of that
// name leads to: where the folder really is, plus the entry's name as the folder lists it, is
// where the file really is. What cannot be told counts as a link.
bool IsEntryItself(const std::wstring& path, HANDLE opened)
{
    const std::size_t separator = path.find_last_of(L"\\/");
    WIN32_FIND_DATAW data;
    const HANDLE find = FindFirstFileW(path.c_str(), &data);
    if (separator == std::wstring::npos || find == INVALID_HANDLE_VALUE)
        return false;
    FindClose(find);
    const HANDLE folder = Open(path.substr(0, separator + 1), 0, allSharing, 0);
    if (!folder)
        return false;
    std::wstring expected = FinalPath(folder);
    CloseHandle(folder);
    const std::wstring actual = FinalPath(opened);
    if (expected.empty() || actual.empty())
        return false;
    if (expected.back() != L'\\')
        expected += L'\\';
    return expected + data.cFileName == actual;
}

bool Tag(HANDLE handle, FILE_ATTRIBUTE_TAG_INFO& tag)
{
    return GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag) != 0;
}

} // namespace

Entry::Entry(const std::wstring& path, DWORD access, DWORD sharing)
{
    handle = Open(path, access, sharing, FILE_FLAG_OPEN_REPARSE_POINT);
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if (handle && Tag(handle, tag) && (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        && !IsReparseTagNameSurrogate(tag.ReparseTag))
    {
        // Not a link but a file kept in another form (compressed, deduplicated, in the cloud):
        // opened as usual, it gives its content.
        CloseHandle(handle);
        handle = Open(path, access, sharing, 0);
    }
    Classify(path);
}

Entry::~Entry()
{
    if (handle)
        CloseHandle(handle);
}

void Entry::Classify(const std::wstring& path)
{
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if (!handle || !Tag(handle, tag))
    {
        error = GetLastError();
        kind = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? EntryKind::Missing
                                                                              : EntryKind::Unopened;
    }
    else if (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        kind = EntryKind::Link;
    else if (!IsEntryItself(path, handle))
    {
        kind = EntryKind::FollowedLink;
        error = LinkRefused;
    }
    else
        kind = tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY ? EntryKind::Folder : EntryKind::File;
    // What a followed link leads to is let go untouched.
    if ((kind == EntryKind::FollowedLink || kind == EntryKind::Unopened) && handle)
    {
        CloseHandle(handle);
        handle = nullptr;
    }
}

HANDLE Entry::Release()
{
    const HANDLE released = handle;
    handle = nullptr;
    return released;
}

bool Entry::RenameTo(const std::wstring& target) const
{
    return Rename(target, false);
}

bool Entry::RenameOver(const std::wstring& target) const
{
    return Rename(target, true);
}

bool Entry::Rename(const std::wstring& target, bool replacing) const
{
    std::vector<std::uint8_t> block(sizeof(FILE_RENAME_INFO) + target.size() * sizeof(wchar_t));
    auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(block.data());
    rename->ReplaceIfExists = replacing ? TRUE : FALSE;
    rename->RootDirectory = nullptr;
    rename->FileNameLength = DWORD(target.size() * sizeof(wchar_t));
    target.copy(rename->FileName, target.size());
    return handle && SetFileInformationByHandle(handle, FileRenameInfo, rename, DWORD(block.size()));
}

bool Entry::LinkAs(const std::wstring& link) const
{
    // What CreateHardLinkW does, but on this handle, so that it is this entry that gets the
    // name and not what a link of its name may lead to by now.
    UNICODE_STRING name{};
    if (!handle || !RtlDosPathNameToNtPathName_U(link.c_str(), &name, nullptr, nullptr))
    {
        SetLastError(handle ? ERROR_INVALID_NAME : ERROR_INVALID_HANDLE);
        return false;
    }
    std::vector<std::uint8_t> block(sizeof(FILE_LINK_INFORMATION) + name.Length);
    auto* information = reinterpret_cast<FILE_LINK_INFORMATION*>(block.data());
    information->ReplaceIfExists = FALSE;
    information->RootDirectory = nullptr;
    information->FileNameLength = name.Length;
    std::memcpy(information->FileName, name.Buffer, name.Length);
    RtlFreeUnicodeString(&name);
    IO_STATUS_BLOCK status{};
    const NTSTATUS result = NtSetInformationFile(handle, &status, information, ULONG(block.size()), FileLinkInformation);
    if (result < 0)
    {
        SetLastError(RtlNtStatusToDosError(result));
        return false;
    }
    return true;
}

bool Entry::IsSameAs(const Entry& other) const
{
    BY_HANDLE_FILE_INFORMATION mine{};
    BY_HANDLE_FILE_INFORMATION theirs{};
    return handle && other.handle && GetFileInformationByHandle(handle, &mine)
        && GetFileInformationByHandle(other.handle, &theirs)
        && mine.dwVolumeSerialNumber == theirs.dwVolumeSerialNumber && mine.nFileIndexHigh == theirs.nFileIndexHigh
        && mine.nFileIndexLow == theirs.nFileIndexLow;
}

bool Entry::Delete() const
{
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = TRUE;
    if (!handle)
        return false;
    if (SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof disposition))
        return true;
    // A read-only file refuses to go until its own attribute is cleared (times left as they are).
    const DWORD refusal = GetLastError();
    FILE_BASIC_INFO basic{};
    if (GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic)
        && (basic.FileAttributes & FILE_ATTRIBUTE_READONLY))
    {
        FILE_BASIC_INFO writable{};
        writable.FileAttributes = basic.FileAttributes & ~FILE_ATTRIBUTE_READONLY;
        if (writable.FileAttributes == 0)
            writable.FileAttributes = FILE_ATTRIBUTE_NORMAL;
        if (SetFileInformationByHandle(handle, FileBasicInfo, &writable, sizeof writable))
            return SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof disposition) != 0;
    }
    SetLastError(refusal);
    return false;
}

} // namespace UpdateSdkStandIn
