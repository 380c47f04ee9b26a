#pragma once

#include <string>

namespace ReferenceEngine
{

// Keeps an engine start from reading the definitions of a program folder while an install
// swaps them, across processes: a reader/writer lock made of the sharing of one file beside
// Plugins. An engine start holds it open for reading, sharing it for reading only, while it
// reads Plugins; an install holds it open for reading and writing, shared with nobody, while it
// swaps. The system ends every hold with its process, however that ends.
class DefinitionsLock
{
public:
    enum class Outcome
    {
        Held,
        Absent,   // Share only: no lock file, so no install has ever swapped there
        TimedOut, // the other kind held it past the wait
        Failed,   // the lock file cannot be opened or made (GetLastError tells why)
        Link,     // a link stands at the lock file's name: never opened through, never made
    };

    // The name of the lock file in the program folder.
    static constexpr const wchar_t* FileName = L"Plugins.lock";
    // How long either kind waits for the other: a load or a swap of renames holds the lock for
    // a moment, so only a hang holds it that long.
    static constexpr unsigned long WaitMilliseconds = 120 * 1000;
    // Where the update SDK stand-in keeps the journal of a swap, relative to the program folder:
    // there while a swap is unfinished, so an engine start that finds it finds Plugins part old,
    // part new.
    static constexpr const wchar_t* SwapJournal = L"UpdateStaging\\swap.journal";

    DefinitionsLock() = default;
    ~DefinitionsLock() { Release(); }
    DefinitionsLock(const DefinitionsLock&) = delete;
    DefinitionsLock& operator=(const DefinitionsLock&) = delete;

    // Holds the lock of `folder` beside other readers, waiting up to waitMilliseconds while an
    // install holds it. Makes no file.
    Outcome Share(const std::wstring& folder, unsigned long waitMilliseconds);
    // Holds the lock of `folder` alone, making its file where no entry of its name is, waiting
    // up to waitMilliseconds while readers hold it.
    Outcome Own(const std::wstring& folder, unsigned long waitMilliseconds);
    void Release() noexcept;

    static std::wstring PathIn(const std::wstring& folder) { return folder + L"\\" + FileName; }

private:
    Outcome Take(const std::wstring& folder, bool exclusive, unsigned long waitMilliseconds);
    // One try to open (or, owning, make) the lock file; INVALID_HANDLE_VALUE with the system's
    // error when it fails, LinkRefused for a link.
    static void* Open(const std::wstring& path, bool exclusive);

    void* handle = nullptr; // null: not held
};

} // namespace ReferenceEngine
