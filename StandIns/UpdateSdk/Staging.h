#pragma once

#include "Folders.h"
#include "Progress.h"

#include <windows.h>

#include <string>

namespace UpdateSdkStandIn
{

// The staging folder of one local path, which one interface at a time holds, across processes:
// Take waits while another one holds it, then undoes an install that did not finish, before
// anything else looks at the folder or at Plugins. The hold is a handle on the lock file
// UpdateStaging\update.lock that nobody else may open; the system closes it when the process
// ends, however it ends, so that a killed update never blocks the next one.
class Staging
{
public:
    // Raised once when Take has to wait (data: nothing). The program's callback ignores it.
    static constexpr int WaitingEvent = 50;

    explicit Staging(const std::wstring& localPath) : folders(localPath) {}
    ~Staging() { Release(); }
    Staging(const Staging&) = delete;
    Staging& operator=(const Staging&) = delete;

    // Holds the folder, waiting for whoever holds it now (unless this object already does), and
    // undoes an unfinished install (FileSwap::Recover). Throws UpdateError: FileSystem when the
    // folder or the lock file cannot be made, UndoFailed when the undo cannot complete.
    void Take(const Progress& progress);
    // Lets go of the folder; removes the lock file and the folder when that leaves it empty.
    void Release() noexcept;
    // Removes everything the folder holds but the lock file. Throws UpdateError(UndoFailed)
    // while an unfinished install's journal is there: its backup may hold the only copy of a file.
    void Clear() const;
    // Clear after a failed install, never throwing: a journal torn before its first move is
    // removed first (FileSwap::Recover), and a whole one keeps everything.
    void Discard() const noexcept;

private:
    // Opens the lock file for this object alone; false when another holds it (or lets go of it
    // just now). deniedLeft: how many more refusals to take as a lock file being removed.
    bool TryLock(int& deniedLeft);

    Folders folders;
    HANDLE lock = INVALID_HANDLE_VALUE;
};

} // namespace UpdateSdkStandIn
