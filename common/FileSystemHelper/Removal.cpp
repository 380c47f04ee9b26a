#include "FileSystemHelper/Removal.h"

#include <boost/filesystem/operations.hpp>
#include <boost/shared_ptr.hpp>

#include <windows.h>

namespace FileSystemHelper
{

namespace
{

DWORD AttributesOf(const boost::filesystem::path& path)
{
    return GetFileAttributesW(path.c_str());
}

bool IsLinkAttributes(DWORD attributes)
{
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// Removes one entry that holds nothing of its own below it any more: a file or an emptied folder.
void RemoveEntry(const boost::filesystem::path& path)
{
    boost::system::error_code ignored;
    boost::filesystem::remove(path, ignored);
}

// True when path is a folder, to be emptied before it goes; anything else is removed here, a
// link by RemoveLink only.
bool RemoveUnlessFolder(const boost::filesystem::path& path)
{
    const DWORD attributes = AttributesOf(path);
    if (IsLinkAttributes(attributes))
        RemoveLink(path);
    else if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return true;
    else
        RemoveEntry(path);
    return false;
}

} // namespace

bool IsLink(const boost::filesystem::path& path)
{
    return IsLinkAttributes(AttributesOf(path));
}

bool RemoveLink(const boost::filesystem::path& path)
{
    const HANDLE opened = CreateFileW(path.c_str(), DELETE | FILE_READ_ATTRIBUTES,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (opened == INVALID_HANDLE_VALUE)
        return false;
    const boost::shared_ptr<void> handle(opened, &CloseHandle);

    // Only a handle that itself carries the attribute is on the link; Wine hands out one on the
    // target, and deleting through it would delete the target.
    FILE_ATTRIBUTE_TAG_INFO tag = {};
    if (!GetFileInformationByHandleEx(handle.get(), FileAttributeTagInfo, &tag, sizeof tag)
        || !IsLinkAttributes(tag.FileAttributes))
        return false;
    FILE_DISPOSITION_INFO disposition = {};
    disposition.DeleteFile = TRUE;
    return SetFileInformationByHandle(handle.get(), FileDispositionInfo, &disposition, sizeof disposition) != 0;
}

void RemoveAll(const boost::filesystem::path& path)
{
    if (!RemoveUnlessFolder(path))
        return;

    // Every folder is listed after its parent, so removing them in reverse order empties each
    // one before it goes.
    std::vector<boost::filesystem::path> folders{path};
    for (std::size_t next = 0; next < folders.size(); ++next)
    {
        for (const boost::filesystem::path& name : EntryNames(folders[next]))
        {
            const boost::filesystem::path entry = folders[next] / name;
            if (RemoveUnlessFolder(entry))
                folders.push_back(entry);
        }
    }
    for (auto folder = folders.rbegin(); folder != folders.rend(); ++folder)
        RemoveEntry(*folder);
}

std::vector<boost::filesystem::path> EntryNames(const boost::filesystem::path& folder)
{
    std::vector<boost::filesystem::path> names;
    boost::system::error_code error;
    for (boost::filesystem::directory_iterator entry(folder, error), end; !error && entry != end;
         entry.increment(error))
        names.push_back(entry->path().filename());
    return names;
}

void RemoveOwnFolder(const boost::filesystem::path& folder,
    const std::function<bool(const boost::filesystem::path& name)>& owned)
{
    if (IsLink(folder))
    {
        for (const boost::filesystem::path& name : EntryNames(folder))
        {
            if (owned(name))
                RemoveAll(folder / name);
        }
    }
    RemoveAll(folder);
}

} // namespace FileSystemHelper
