#include "RemovalNotes.h"

#include "Handles.h"
#include "Utf8.h"

#include <windows.h>

#include <algorithm>
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

// A note holds one path, which takes far less.
const std::size_t noteLimit = 64 * 1024;

// A name of a folder or file as Windows can store it: not empty, not "." or "..", none of the
// characters that a name may not hold.
bool IsPlainName(const std::wstring& name)
{
    if (name.empty() || name == L"." || name == L"..")
        return false;
    for (const wchar_t c : name)
    {
        if (c < 0x20 || std::wcschr(L"<>:\"/\\|?*", c))
            return false;
    }
    return true;
}

// Open for its identity only, beside whoever holds it; a pipe's server may only identify the
// engine, never act as it.
HANDLE OpenAttributes(const std::wstring& path)
{
    return CreateFileW(ApiPath(path).c_str(), FILE_READ_ATTRIBUTES, AllSharing, nullptr, OPEN_EXISTING,
        SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr);
}

// Windows refuses to open a file marked for deletion with access denied, and tells it apart
// from a refusal by permissions only in the status beneath.
bool RefusedAsDeletePending()
{
    return GetLastError() == ERROR_ACCESS_DENIED && RtlGetLastNtStatus() == deletePending;
}

// The note's content; empty when it holds more than any note does. False on a read failure.
bool ReadNote(HANDLE note, std::string& content)
{
    char chunk[4096];
    DWORD got = 0;
    content.clear();
    while (content.size() <= noteLimit)
    {
        if (!ReadFile(note, chunk, sizeof chunk, &got, nullptr))
            return false;
        if (got == 0)
            return true;
        content.append(chunk, got);
    }
    content.clear();
    return true;
}

// Whether the file of that identity is still where it was noted: under its own name (a removal
// still under way) or under a leaving name in its folder. True too when a file there cannot be
// told, as Windows keeps every file marked for deletion from being opened.
bool StillThere(const std::wstring& path, const FileIdentity& identity)
{
    const auto isIt = [&](const std::wstring& candidate) {
        FileHandle file(OpenAttributes(candidate));
        FileIdentity found;
        return !file.Valid() ? RefusedAsDeletePending() : ReadIdentity(file.Get(), found) && IsSameFile(found, identity);
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

bool IsLeavingName(const wchar_t* name)
{
    const std::size_t length = std::wcslen(LeavingName);
    if (CompareStringOrdinal(name, int(std::min(std::wcslen(name), length)), LeavingName, -1, TRUE) != CSTR_EQUAL)
        return false;
    const wchar_t* number = name + length;
    if (*number == 0)
        return true;
    return *number == L'.' && number[1] != 0 && std::wcsspn(number + 1, L"0123456789") == std::wcslen(number + 1);
}

bool IsNotedPathForm(const std::wstring& path)
{
    std::wstring rest = path;
    bool share = false;
    if (rest.compare(0, 4, L"\\\\?\\") == 0)
    {
        rest.erase(0, 4);
        share = rest.compare(0, 4, L"UNC\\") == 0;
        if (share)
            rest.erase(0, 4);
    }
    else if (rest.compare(0, 2, L"\\\\") == 0)
    {
        rest.erase(0, 2);
        share = true;
    }
    if (!share)
    {
        const wchar_t drive = rest.empty() ? 0 : rest[0];
        if (rest.size() < 3 || rest[1] != L':' || rest[2] != L'\\'
            || !((drive >= L'A' && drive <= L'Z') || (drive >= L'a' && drive <= L'z')))
            return false;
        rest.erase(0, 3);
    }
    // Server and share, then the file's folders and its name; or the folders and the name.
    std::size_t names = 0;
    for (std::size_t start = 0;; ++names)
    {
        const std::size_t end = rest.find(L'\\', start);
        if (!IsPlainName(rest.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start)))
            return false;
        if (end == std::wstring::npos)
            break;
        start = end + 1;
    }
    return names + 1 >= (share ? 3u : 1u);
}

RemovalNotes::RemovalNotes(const std::wstring& programFolder, bool writing)
    : notes(programFolder + L"\\Removals"), writing(writing)
{
}

void RemovalNotes::Note(const FileIdentity& file, const std::wstring& path) const
{
    if (writing && IsNotedPathForm(path))
        Write(NotePath(file), path);
}

void RemovalNotes::Settle(const FileIdentity& file, bool stillThere) const
{
    if (!writing || stillThere)
        return;
    {
        FileHandle folder(HoldFolder());
        FileHandle note(folder.Valid() ? OpenEntryItself(NotePath(file), DELETE, AllSharing, OPEN_EXISTING)
                                       : INVALID_HANDLE_VALUE);
        if (!note.Valid() || !DeleteOpened(note.Get()))
            return;
    }
    // Unless another note is there. A link put in its place meanwhile goes as the link: neither
    // Windows nor Wine removes a folder through one.
    RemoveDirectoryW(ApiPath(notes).c_str());
}

bool RemovalNotes::IsRemoved(const std::wstring& path) const
{
    if (notes.empty())
        return false;
    FileHandle file(OpenAttributes(path));
    if (!file.Valid())
        return RefusedAsDeletePending();
    FileIdentity identity;
    if (!ReadIdentity(file.Get(), identity))
        return false;
    FileHandle folder(HoldFolder());
    const FileHandle note(folder.Valid() ? OpenEntryItself(NotePath(identity), 0, AllSharing, OPEN_EXISTING)
                                         : INVALID_HANDLE_VALUE);
    return note.Valid();
}

std::wstring RemovalNotes::NotePath(const FileIdentity& identity) const
{
    wchar_t name[32];
    std::swprintf(name, sizeof name / sizeof name[0], L"%08lx-%016llx", static_cast<unsigned long>(identity.volume),
        static_cast<unsigned long long>(identity.index));
    return notes + L"\\" + name;
}

HANDLE RemovalNotes::HoldFolder() const
{
    // Not shared for deletion: whoever would rename or delete it has to wait until it is let go.
    HANDLE folder = OpenEntryItself(notes, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING,
        FILE_FLAG_BACKUP_SEMANTICS);
    BY_HANDLE_FILE_INFORMATION info;
    if (folder != INVALID_HANDLE_VALUE
        && !(GetFileInformationByHandle(folder, &info) && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)))
    {
        CloseHandle(folder);
        folder = INVALID_HANDLE_VALUE;
    }
    return folder;
}

void RemovalNotes::Write(const std::wstring& notePath, const std::wstring& path) const
{
    const std::string text = WideToUtf8(path);
    FileHandle note;
    // Twice: another engine may remove the folder, found empty, between its making and its hold.
    for (int attempt = 0; attempt < 2 && !note.Valid(); ++attempt)
    {
        CreateDirectoryW(ApiPath(notes).c_str(), nullptr);
        FileHandle folder(HoldFolder());
        if (!folder.Valid())
            continue;
        // A note left of a file whose index the volume has given again goes first, as itself.
        FileHandle old(OpenEntryItself(notePath, DELETE, AllSharing, OPEN_EXISTING));
        if (old.Valid())
            DeleteOpened(old.Get());
        old.Reset();
        // A new file only: CREATE_NEW refuses a link, even one that leads nowhere.
        note.Reset(CreateFileW(ApiPath(notePath).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    }
    // Without its note the removal still goes ahead: the file matters more than the note.
    DWORD written = 0;
    if (note.Valid())
        WriteFile(note.Get(), text.data(), DWORD(text.size()), &written, nullptr);
}

void RemovalNotes::TakeBackNotesOfGoneFiles() const
{
    if (!writing)
        return;
    FileHandle folder(HoldFolder());
    WIN32_FIND_DATAW entry;
    FindHandle find(folder.Valid() ? FindFirstFileExW(ApiPath(notes + L"\\*").c_str(), FindExInfoBasic, &entry,
                                         FindExSearchNameMatch, nullptr, 0)
                                   : INVALID_HANDLE_VALUE);
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
        // Not shared for writing: a note still being written is left for the next time.
        FileHandle note(OpenEntryItself(notes + L"\\" + entry.cFileName, GENERIC_READ | DELETE,
            FILE_SHARE_READ | FILE_SHARE_DELETE, OPEN_EXISTING));
        std::string text;
        if (!note.Valid() || !ReadNote(note.Get(), text))
            continue;
        // What a note names in any other form than the engine's is not opened at all.
        const std::wstring path = Utf8ToWide(text);
        if (!IsNotedPathForm(path) || !StillThere(path, identity))
            DeleteOpened(note.Get());
    } while (FindNextFileW(find.Get(), &entry));
}

} // namespace ReferenceEngine
