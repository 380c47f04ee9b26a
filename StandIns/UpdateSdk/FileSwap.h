#pragma once

#include "Folders.h"
#include "LocalFiles.h"
#include "SwapJournal.h"

#include <functional>
#include <string>
#include <vector>

namespace UpdateSdkStandIn
{

// Puts the new files of an install in place and takes old ones away so that Plugins ends with
// all of the changes or none, even when the process is killed half-way: the steps are written
// into the journal (flushed) before the first move, and the journal is removed after the last
// one. Whoever finds a journal finds a swap that did not finish, and undoes it from what is on
// disk: each new file goes back to the staging folder, each old one back from the backup.
class FileSwap
{
public:
    // Renames a file; false (with GetLastError set) when it cannot.
    using Mover = std::function<bool(const std::wstring& from, const std::wstring& to)>;

    explicit FileSwap(const Folders& folders, Mover move = LocalFiles::Move);

    // Does the steps in order. When one fails, everything done is undone and the journal
    // removed: throws UpdateError(InstallFailed). When the undo cannot complete, the journal
    // and the backup stay for Recover: throws UpdateError(UndoFailed).
    void Run(const std::vector<SwapStep>& steps);
    // Undoes a swap that did not finish, if the journal shows one; a journal torn before the
    // first move is only removed. Throws UpdateError(UndoFailed) when the undo cannot complete
    // (the journal and the backup stay), for a journal that Install did not write (nothing is
    // moved) and for a torn one whose steps have begun (nothing is moved: it may not tell them
    // all). Being cut short, it may simply run again.
    void Recover();

private:
    // Moves the old target aside and the new file in. Throws UpdateError(InstallFailed).
    void Forward(const SwapStep& step) const;
    // Undoes the steps, last first, as far as they were done: decided from what is on disk, so
    // that an undo cut short goes on where it stopped. Returns what could not be put back first
    // (the other steps are undone all the same), empty when all was.
    std::string Undo(const std::vector<SwapStep>& steps) const;
    std::string UndoStep(const SwapStep& step) const;
    // Whether any of the steps has moved a file.
    static bool AnyMoved(const std::vector<SwapStep>& steps);

    Folders folders;
    Mover move;
};

} // namespace UpdateSdkStandIn
