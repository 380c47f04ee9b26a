#include "LocalFiles.h"

#include "PlainFileName.h"
#include "Result.h"
#include "Sha256.h"

#include <windows.h>

#include <memory>
#include <type_traits>

namespace UpdateSdkStandIn::LocalFiles
{
namespace
{

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

} // namespace

void Fail(Result result, const char* what, const std::wstring& path)
{
    throw UpdateError(result, Failure(what, path));
}

std::string Failure(const char* what, const std::wstring& path)
{
    const DWORD error = GetLastError();
    std::string narrow(path.begin(), path.end());
    return std::string(what) + " " + narrow + " (error " + std::to_string(error) + ")";
}

bool TryRead(const std::wstring& path, std::string& content)
{
    FileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE)
    {
        file.release();
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            return false;
        Fail("cannot open", path);
    }
    content.clear();
    char buffer[65536];
    DWORD got = 0;
    for (;;)
    {
        if (!ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr))
            Fail("cannot read", path);
        if (got == 0)
            return true;
        content.append(buffer, got);
    }
}

void Write(const std::wstring& path, const std::string& content)
{
    FileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
        nullptr));
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

void RemoveTree(const std::wstring& path)
{
    RemoveTreeContents(path, std::wstring());
    RemoveDirectoryW(path.c_str());
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
        if (name == L"." || name == L".." || FileNameKey(name) == FileNameKey(keptName))
            continue;
        const std::wstring child = path + L"\\" + name;
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
            RemoveTree(child);
        else
        {
            SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileW(child.c_str());
        }
    } while (FindNextFileW(find.get(), &data));
}

bool IsFile(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool Move(const std::wstring& from, const std::wstring& to)
{
    return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH) != 0;
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
