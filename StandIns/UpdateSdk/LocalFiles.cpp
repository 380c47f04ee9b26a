#include "LocalFiles.h"

#include "PlainFileName.h"
#include "Result.h"
#include "Sha256.h"

#include <windows.h>

#include <cwchar>
#include <memory>
#include <type_traits>

namespace UpdateSdkStandIn::LocalFiles
{
namespace
{

const DWORD allSharing = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// What removing or renaming an entry by its handle needs.
const DWORD removalAccess = DELETE | FILE_WRITE_ATTRIBUTES;

struct HandleCloser
{
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using FileHandle = std::unique_ptr<std::remove_pointer_t<HANDLE>, HandleCloser>;

struct FindCloser
{
    void operator()(HANDLE handle) const { FindClose(handle); }
};
using FindHandle = std::unique_ptr<std::remove_pointer_t<HANDLE>, FindCloser>;

[[noreturn]] void Fail(const char* what, const std::wstring& path)
{
    LocalFiles::Fail(Result::FileSystem, what, path);
}

[[noreturn]] void FailUnopened(const Entry& entry, const char* what, const std::wstring& path)
{
    SetLastError(entry.Error());
    Fail(what, path);
}

// False, with the error of an entry that is not a file to act on (nor a link, where one is
// acted on as itself).
bool Refuse(const Entry& entry)
{
    switch (entry.Kind())
    {
    case EntryKind::Missing:
        SetLastError(ERROR_FILE_NOT_FOUND);
        break;
    case EntryKind::Folder:
        SetLastError(ERROR_DIRECTORY);
        break;
    case EntryKind::Link:
        SetLastError(LinkRefused);
        break;
    default:
        SetLastError(entry.Error());
    }
    return false;
}

// Renames a file, or a link as the link itself, within one volume.
bool Rename(const std::wstring& from, const std::wstring& to, bool replacing)
{
    const Entry entry(from, removalAccess, allSharing);
    if (entry.Kind() != EntryKind::File && entry.Kind() != EntryKind::Link)
        return Refuse(entry);
    return replacing ? entry.RenameOver(to) : entry.RenameTo(to);
}

// Removes the file or link at path through the handle that tells what it is; true for a folder,
// which goes after its entries (one that another holds so that it may not go is emptied too).
bool RemoveUnlessFolder(const std::wstring& path)
{
    const Entry entry(path, removalAccess, allSharing);
    switch (entry.Kind())
    {
    case EntryKind::File:
    case EntryKind::Link:
        entry.Delete();
        return false;
    case EntryKind::Folder:
        return true;
    case EntryKind::Unopened:
        return Entry(path, 0, allSharing).Kind() == EntryKind::Folder;
    default:
        return false;
    }
}

} // namespace

void Fail(Result result, const char* what, const std::wstring& path)
{
    throw UpdateError(result, Failure(what, path));
}

std::string Failure(const char* what, const std::wstring& path)
{
    const DWORD error = GetLastError();
    if (error == LinkRefused)
        return std::string(what) + " " + WideToUtf8(path) + ": a link, which is never acted through";
    return std::string(what) + " " + WideToUtf8(path) + " (error " + std::to_string(error) + ")";
}

void FailLink(const std::wstring& path)
{
    SetLastError(LinkRefused);
    Fail("refused", path);
}

EntryKind Examine(const std::wstring& path)
{
    const EntryKind kind = Entry(path, 0, allSharing).Kind();
    if (kind == EntryKind::FollowedLink)
        FailLink(path);
    return kind;
}

void RefuseLink(const std::wstring& path)
{
    if (Examine(path) == EntryKind::Link)
        FailLink(path);
}

EntryKind ExamineFilePlace(const std::wstring& path)
{
    const Entry entry(path, 0, allSharing);
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if (entry.Kind() == EntryKind::FollowedLink
        || (entry.Kind() == EntryKind::Link
            && (!GetFileInformationByHandleEx(entry.Handle(), FileAttributeTagInfo, &tag, sizeof tag)
                || (tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY))))
        FailLink(path);
    return entry.Kind();
}

bool TryRead(const std::wstring& path, std::string& content)
{
    const Entry file(path, GENERIC_READ, FILE_SHARE_READ);
    switch (file.Kind())
    {
    case EntryKind::Missing:
    case EntryKind::Link:
        return false;
    case EntryKind::FollowedLink:
        FailLink(path);
    case EntryKind::Folder:
        SetLastError(ERROR_DIRECTORY);
        Fail("not a file:", path);
    case EntryKind::Unopened:
        FailUnopened(file, "cannot open", path);
    case EntryKind::File:
        break;
    }
    content.clear();
    char buffer[65536];
    DWORD got = 0;
    for (;;)
    {
        if (!ReadFile(file.Handle(), buffer, sizeof buffer, &got, nullptr))
            Fail("cannot read", path);
        if (got == 0)
            return true;
        content.append(buffer, got);
    }
}

void Write(const std::wstring& path, const std::string& content)
{
    if (!RemoveEntry(path))
        Fail("cannot replace", path);
    // A new file only: CREATE_NEW refuses a link, even one that leads nowhere, which any other
    // way of creating would follow.
    FileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE)
    {
        file.release();
        Fail("cannot create", path);
    }
    std::size_t done = 0;
    while (done < content.size())
    {
        const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(content.size() - done, 1 << 20));
        DWORD written = 0;
        if (!WriteFile(file.get(), content.data() + done, piece, &written, nullptr) || written == 0)
            Fail("cannot write", path);
        done += written;
    }
    if (!FlushFileBuffers(file.get()))
        Fail("cannot flush", path);
}

void CreateFolders(const std::wstring& path)
{
    if (path.empty())
        return;
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES)
    {
        if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
        {
            SetLastError(ERROR_ALREADY_EXISTS);
            Fail("not a folder:", path);
        }
        return;
    }
    const std::size_t slash = path.find_last_of(L"\\/");
    if (slash != std::wstring::npos && slash > 0)
        CreateFolders(path.substr(0, slash));
    if (!CreateDirectoryW(path.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
        Fail("cannot create folder", path);
}

void CreateOwnFolder(const std::wstring& path)
{
    // A link that leads nowhere is not seen but takes the name, so the folder is looked at
    // again once made; another holder of the staging folder letting go may remove it meanwhile,
    // once.
    for (int triesLeft = 3;; --triesLeft)
    {
        switch (Examine(path))
        {
        case EntryKind::Folder:
            return;
        case EntryKind::Link:
            FailLink(path);
        case EntryKind::Missing:
            if (!CreateDirectoryW(path.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
                Fail("cannot create folder", path);
            if (triesLeft > 0)
                break;
            SetLastError(ERROR_ALREADY_EXISTS);
            Fail("cannot create folder", path);
        default:
            SetLastError(ERROR_ALREADY_EXISTS);
            Fail("not a folder:", path);
        }
    }
}

std::vector<std::wstring> FileNames(const std::wstring& folder)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data;
    FindHandle find(FindFirstFileW((folder + L"\\*").c_str(), &data));
    if (find.get() == INVALID_HANDLE_VALUE)
    {
        find.release();
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            return names;
        Fail("cannot list", folder);
    }
    do
    {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            names.push_back(data.cFileName);
    } while (FindNextFileW(find.get(), &data));
    if (GetLastError() != ERROR_NO_MORE_FILES)
        Fail("cannot list", folder);
    return names;
}

bool HoldsAnything(const std::wstring& folder)
{
    WIN32_FIND_DATAW data;
    FindHandle find(FindFirstFileW((folder + L"\\*").c_str(), &data));
    if (find.get() == INVALID_HANDLE_VALUE)
    {
        find.release();
        const DWORD error = GetLastError();
        return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
    }
    do
    {
        if (std::wcscmp(data.cFileName, L".") != 0 && std::wcscmp(data.cFileName, L"..") != 0)
            return true;
    } while (FindNextFileW(find.get(), &data));
    return GetLastError() != ERROR_NO_MORE_FILES;
}

void RemoveTree(const std::wstring& path)
{
    if (!RemoveUnlessFolder(path))
        return;
    // Not held while its entries go: listing a folder opened for deletion is refused.
    RemoveTreeContents(path, std::wstring());
    RemoveEntry(path);
}

void RemoveTreeContents(const std::wstring& path, const std::wstring& keptName)
{
    WIN32_FIND_DATAW data;
    FindHandle find(FindFirstFileW((path + L"\\*").c_str(), &data));
    if (find.get() == INVALID_HANDLE_VALUE)
    {
        find.release();
        return;
    }
    do
    {
        const std::wstring name = data.cFileName;
        if (name != L"." && name != L".." && FileNameKey(name) != FileNameKey(keptName))
            RemoveTree(path + L"\\" + name);
    } while (FindNextFileW(find.get(), &data));
}

bool RemoveEntry(const std::wstring& path)
{
    const Entry entry(path, removalAccess, allSharing);
    switch (entry.Kind())
    {
    case EntryKind::Missing:
        return true;
    case EntryKind::FollowedLink:
    case EntryKind::Unopened:
        SetLastError(entry.Error());
        return false;
    default:
        return entry.Delete();
    }
}

bool IsFile(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool Move(const std::wstring& from, const std::wstring& to)
{
    return Rename(from, to, false);
}

bool Replace(const std::wstring& from, const std::wstring& to)
{
    return Rename(from, to, true);
}

bool Link(const std::wstring& existing, const std::wstring& link)
{
    // Opened as for a rename: a file that another holds so that it may not be renamed or
    // deleted gets no second name, which could not be removed again (sharing is the file's).
    const Entry entry(existing, removalAccess, allSharing);
    return entry.Kind() == EntryKind::File ? entry.LinkAs(link) : Refuse(entry);
}

bool OnOneVolume(const std::wstring& first, const std::wstring& second)
{
    // Opened as what they lead to, only for the volume's serial number: a move into a folder
    // that a link leads to goes to the volume of that folder.
    const auto volume = [](const std::wstring& folder) {
        FileHandle opened(CreateFileW(folder.c_str(), FILE_READ_ATTRIBUTES, allSharing, nullptr, OPEN_EXISTING,
            FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        if (opened.get() == INVALID_HANDLE_VALUE)
        {
            opened.release();
            Fail("cannot open", folder);
        }
        BY_HANDLE_FILE_INFORMATION information{};
        if (!GetFileInformationByHandle(opened.get(), &information))
            Fail("cannot read", folder);
        return information.dwVolumeSerialNumber;
    };
    return volume(first) == volume(second);
}

bool AreOneFile(const std::wstring& first, const std::wstring& second)
{
    const Entry one(first, 0, allSharing);
    const Entry other(second, 0, allSharing);
    return one.Kind() == EntryKind::File && other.Kind() == EntryKind::File && one.IsSameAs(other);
}

std::string Sha256Hex(const std::string& content)
{
    ReferenceEngine::Sha256 hash;
    hash.Update(content.data(), content.size());
    const ReferenceEngine::Digest digest = hash.Final();
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (const std::uint8_t byte : digest)
    {
        hex.push_back(digits[byte >> 4]);
        hex.push_back(digits[byte & 15]);
    }
    return hex;
}

} // namespace UpdateSdkStandIn::LocalFiles
