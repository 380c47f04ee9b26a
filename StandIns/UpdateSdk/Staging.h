#pragma once

#include "Folders.h"
#include "LocalFiles.h"
#include "Progress.h"

#include <windows.h>

#include <functional>
#include <string>

namespace UpdateSdkStandIn
{

// The staging folder of one local path, which one interface at a time holds, across processes:
// Take waits while another one holds it, then undoes an install that did not finish, before
// anything else looks at the folder or at Plugins. The hold is a handle on the lock file
// UpdateStaging\update.lock that nobody else may open; the system closes it when the process
// ends, however it ends, so that a killed update never blocks the next one. The staging folder
// and its folders are the stand-in's own: a link in their place is refused, never followed.
class Staging
{
public:
    // Raised once when Take has to wait (data: nothing). The program's callback ignores it.
    static constexpr int WaitingEvent = 50;
    // Makes the staging folder before each try to lock it (another holder removes it on letting go).
    using FolderMaker = std::function<void(const std::wstring& folder)>;

    explicit Staging(const std::wstring& localPath, FolderMaker makeFolder = LocalFiles::CreateOwnFolder)
        : folders(localPath), makeFolder(std::move(makeFolder))
    {
    }
    ~Staging() { Release(); }
    Staging(const Staging&) = delete;
    Staging& operator=(const Staging&) = delete;

    // Holds the folder, waiting for whoever holds it now (unless this object already does), and
    // undoes an unfinished install (FileSwap::Recover). Throws UpdateError: FileSystem when the
    // folder or the lock file cannot be made or is a link (or a folder), UndoFailed when the
    // undo cannot complete.
    void Take(const Progress& progress);
    // Lets go of the folder; removes the lock file and the folder when that leaves it empty.
    void Release() noexcept;
    // Removes everything the folder holds but the lock file. Throws UpdateError(UndoFailed)
    // while an unfinished install's journal is there: its backup may hold the only copy of a file.
    void Clear() const;
    // Clear after a failed install, never throwing. A journal left there is dealt with first
    // (FileSwap::Recover: the swap undone, or a journal torn before its first move removed);
    // where that cannot be done, everything stays for the next run.
    void Discard() const noexcept;

private:
    // Opens the lock file for this object alone; false when another holds it (or lets go of it
    // just now). refusalsLeft: how many more refusals to take as a lock file being removed.
    bool TryLock(int& refusalsLeft);
    // Creates the lock file for this object alone; false as TryLock.
    bool TryCreateLock(int& refusalsLeft);

    Folders folders;
    FolderMaker makeFolder;
    HANDLE lock = INVALID_HANDLE_VALUE;
};

} // namespace UpdateSdkStandIn
