#include "RemovalNotes.h"

#include "Handles.h"
#include "Utf8.h"

#include <windows.h>

#include <cwchar>

extern "C" NTSYSAPI LONG NTAPI RtlGetLastNtStatus(void);

namespace
{

// STATUS_DELETE_PENDING: the open of a file marked for deletion.
const LONG deletePending = LONG(0xC0000056);

} // namespace

namespace ReferenceEngine
{

const wchar_t* const LeavingName = L"~deleting.tmp";

namespace
{

bool SameFile(const FileIdentity& a, const FileIdentity& b)
{
    return a.volume == b.volume && a.index == b.index;
}

// Open for its identity only, beside whoever holds it.
HANDLE OpenAttributes(const std::wstring& path)
{
    return CreateFileW(ApiPath(path).c_str(), FILE_READ_ATTRIBUTES,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
}

// Windows refuses to open a file marked for deletion with access denied, and tells it apart
// from a refusal by permissions only in the status beneath.
bool RefusedAsDeletePending()
{
    return GetLastError() == ERROR_ACCESS_DENIED && RtlGetLastNtStatus() == deletePending;
}

bool ReadAll(const std::wstring& path, std::string& content)
{
    FileHandle file(CreateFileW(ApiPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, 0, nullptr));
    char chunk[4096];
    DWORD got = 0;
    content.clear();
    while (file.Valid() && ReadFile(file.Get(), chunk, sizeof chunk, &got, nullptr) && got > 0)
        content.append(chunk, got);
    return file.Valid();
}

// Whether the file of that identity is still where it was noted: under its own name (a removal
// still under way) or under a leaving name in its folder. True too when a file there cannot be
// told, as Windows keeps every file marked for deletion from being opened.
bool StillThere(const std::wstring& path, const FileIdentity& identity)
{
    const auto isIt = [&](const std::wstring& candidate) {
        FileHandle file(OpenAttributes(candidate));
        FileIdentity found;
        return !file.Valid() ? RefusedAsDeletePending() : ReadIdentity(file.Get(), found) && SameFile(found, identity);
    };
    if (isIt(path))
        return true;
    const std::wstring folder = path.substr(0, path.find_last_of(L'\\'));
    WIN32_FIND_DATAW entry;
    FindHandle find(FindFirstFileExW(ApiPath(folder + L"\\" + LeavingName + L"*").c_str(), FindExInfoBasic, &entry,
        FindExSearchNameMatch, nullptr, 0));
    if (!find.Valid())
        return false;
    do
    {
        if (IsLeavingName(entry.cFileName) && isIt(folder + L"\\" + entry.cFileName))
            return true;
    } while (FindNextFileW(find.Get(), &entry));
    return false;
}

} // namespace

bool IsLeavingName(const std::wstring& name)
{
    const std::size_t length = std::wcslen(LeavingName);
    if (name.size() < length || CompareStringOrdinal(name.c_str(), int(length), LeavingName, -1, TRUE) != CSTR_EQUAL)
        return false;
    if (name.size() == length)
        return true;
    const std::wstring number = name.substr(length + 1);
    return name[length] == L'.' && !number.empty() && number.find_first_not_of(L"0123456789") == std::wstring::npos;
}

RemovalNotes::RemovalNotes(const std::wstring& programFolder, bool writing)
    : notes(programFolder + L"\\Removals"), writing(writing)
{
}

void RemovalNotes::Note(const FileIdentity& file, const std::wstring& path) const
{
    if (!writing)
        return;
    TakeBackNotesOfGoneFiles();
    Write(NotePath(file), path);
}

void RemovalNotes::Settle(const FileIdentity& file, bool stillThere) const
{
    if (writing && !stillThere && DeleteFileW(ApiPath(NotePath(file)).c_str()))
        RemoveDirectoryW(ApiPath(notes).c_str()); // unless another note is there
}

bool RemovalNotes::IsRemoved(const std::wstring& path) const
{
    if (notes.empty())
        return false;
    FileHandle file(OpenAttributes(path));
    if (!file.Valid())
        return RefusedAsDeletePending();
    FileIdentity identity;
    return ReadIdentity(file.Get(), identity)
        && GetFileAttributesW(ApiPath(NotePath(identity)).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::wstring RemovalNotes::NotePath(const FileIdentity& identity) const
{
    wchar_t name[32];
    std::swprintf(name, sizeof name / sizeof name[0], L"%08lx-%016llx", static_cast<unsigned long>(identity.volume),
        static_cast<unsigned long long>(identity.index));
    return notes + L"\\" + name;
}

void RemovalNotes::Write(const std::wstring& notePath, const std::wstring& path) const
{
    const std::string text = WideToUtf8(path);
    FileHandle note;
    // Twice: another engine may remove the folder, found empty, between its making and the write.
    for (int attempt = 0; attempt < 2 && !note.Valid(); ++attempt)
    {
        CreateDirectoryW(ApiPath(notes).c_str(), nullptr);
        note.Reset(CreateFileW(ApiPath(notePath).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
            FILE_ATTRIBUTE_NORMAL, nullptr));
    }
    // Without its note the removal still goes ahead: the file matters more than the note.
    DWORD written = 0;
    if (note.Valid())
        WriteFile(note.Get(), text.data(), DWORD(text.size()), &written, nullptr);
}

void RemovalNotes::TakeBackNotesOfGoneFiles() const
{
    WIN32_FIND_DATAW entry;
    FindHandle find(FindFirstFileExW(ApiPath(notes + L"\\*").c_str(), FindExInfoBasic, &entry,
        FindExSearchNameMatch, nullptr, 0));
    if (!find.Valid())
        return;
    do
    {
        unsigned long volume = 0;
        unsigned long long index = 0;
        wchar_t tail = 0;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY
            || std::swscanf(entry.cFileName, L"%8lx-%16llx%lc", &volume, &index, &tail) != 2)
            continue;
        FileIdentity identity;
        identity.volume = static_cast<std::uint32_t>(volume);
        identity.index = index;
        const std::wstring notePath = notes + L"\\" + entry.cFileName;
        std::string text;
        if (!ReadAll(notePath, text))
            continue;
        const std::wstring path = Utf8ToWide(text);
        if (path.find(L'\\') == std::wstring::npos || !StillThere(path, identity))
            DeleteFileW(ApiPath(notePath).c_str());
    } while (FindNextFileW(find.Get(), &entry));
}

} // namespace ReferenceEngine
