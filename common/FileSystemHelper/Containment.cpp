#include "FileSystemHelper/Containment.h"

#include "FileSystemHelper/FileName.h"

#include <boost/shared_ptr.hpp>

#include <cwchar>
#include <vector>

#include <windows.h>

namespace FileSystemHelper
{

namespace
{

// The path without the "\\?\" prefix, which keeps Windows from normalising the rest.
std::wstring WithoutLongPathPrefix(const std::wstring& path)
{
    static const std::wstring uncPrefix = L"\\\\?\\UNC\\";
    if (path.compare(0, uncPrefix.size(), uncPrefix) == 0)
        return L"\\\\" + path.substr(uncPrefix.size());
    return IsLongForm(path) ? path.substr(std::wcslen(L"\\\\?\\")) : path;
}

// The text a call writes into a buffer: call(buffer, size) answers the length of the text, the
// size it needs when the buffer is too small, or 0 on failure (then the text is empty).
template <typename Call>
std::wstring GrownText(const Call& call)
{
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;)
    {
        const DWORD length = call(buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0)
            return std::wstring();
        if (length < buffer.size())
            return std::wstring(buffer.data(), length);
        buffer.resize(length);
    }
}

// The absolute path as Windows reads it: current folder, "." and "..", separators. Empty on failure.
std::wstring FullPath(const std::wstring& path)
{
    const std::wstring plain = WithoutLongPathPrefix(path);
    return GrownText(
        [&plain](wchar_t* buffer, DWORD size) { return GetFullPathNameW(plain.c_str(), size, buffer, nullptr); });
}

// Where an existing file or folder really is, links followed, names in full. Empty on failure.
std::wstring FinalPath(const boost::filesystem::path& existing)
{
    const HANDLE opened = CreateFileW(existing.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (opened == INVALID_HANDLE_VALUE)
        return std::wstring();
    const boost::shared_ptr<void> handle(opened, &CloseHandle);
    const std::wstring final = GrownText([&handle](wchar_t* buffer, DWORD size) {
        return GetFinalPathNameByHandleW(handle.get(), buffer, size, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    });
    return WithoutLongPathPrefix(final);
}

bool Exists(const boost::filesystem::path& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The final path of the longest part of path that exists, followed by the rest as written.
boost::filesystem::path Resolved(const std::wstring& path)
{
    boost::filesystem::path existing = FullPath(path);
    boost::filesystem::path rest;
    while (!existing.empty() && !Exists(existing))
    {
        if (!existing.has_parent_path() || existing.parent_path() == existing)
            return boost::filesystem::path();
        if (existing.filename() != L".") // a separator at the end
            rest = existing.filename() / rest;
        existing = existing.parent_path();
    }
    if (existing.empty())
        return existing;
    const boost::filesystem::path final = FinalPath(existing);
    return final.empty() || rest.empty() ? final : final / rest;
}

bool SameName(const boost::filesystem::path& left, const boost::filesystem::path& right)
{
    return CompareStringOrdinal(left.c_str(), -1, right.c_str(), -1, TRUE) == CSTR_EQUAL;
}

} // namespace

bool LeadsInto(const boost::filesystem::path& path, const boost::filesystem::path& folder)
{
    const boost::filesystem::path resolvedFolder = Resolved(folder.wstring());
    const boost::filesystem::path resolvedPath = Resolved(path.wstring());
    if (resolvedFolder.empty() || resolvedPath.empty())
        return false;
    // Element by element, so that Temp2 does not count as inside Temp.
    auto element = resolvedPath.begin();
    for (const boost::filesystem::path& folderElement : resolvedFolder)
    {
        if (element == resolvedPath.end() || !SameName(*element, folderElement))
            return false;
        ++element;
    }
    return true;
}

} // namespace FileSystemHelper
