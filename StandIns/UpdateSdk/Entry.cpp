#include "Entry.h"

#include <winternl.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace UpdateSdkStandIn
{

Entry::Entry(const std::wstring& path, DWORD access, DWORD sharing)
{
    handle = ReferenceEngine::OpenAsEntry(path, access, sharing, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
    if (handle == INVALID_HANDLE_VALUE)
        handle = nullptr;
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
    if (!handle || !GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag))
    {
        error = GetLastError();
        kind = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? EntryKind::Missing
                                                                              : EntryKind::Unopened;
    }
    else if (ReferenceEngine::IsLinkItself(handle))
        kind = EntryKind::Link;
    else if (ReferenceEngine::IsReachedThroughLink(path, handle))
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
    return handle && ReferenceEngine::RenameOpened(handle, target);
}

bool Entry::RenameOver(const std::wstring& target) const
{
    return handle && ReferenceEngine::RenameOpened(handle, target, true);
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
    ReferenceEngine::FileIdentity mine, theirs;
    return handle && other.handle && ReferenceEngine::ReadIdentity(handle, mine)
        && ReferenceEngine::ReadIdentity(other.handle, theirs) && ReferenceEngine::IsSameFile(mine, theirs);
}

bool Entry::Delete() const
{
    return handle && ReferenceEngine::DeleteOpened(handle);
}

} // namespace UpdateSdkStandIn
