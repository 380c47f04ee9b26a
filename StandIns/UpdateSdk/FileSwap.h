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
// A file that stays in the set keeps its name throughout, for readers that take no lock (the
// version file): the old file gets a second name in the backup, and the new one is renamed over
// it in one step.
class FileSwap
{
public:
    // What the swap does to a file.
    enum class Operation
    {
        Move,    // renames from (a link as the link itself) to the free name to
        Link,    // gives the file from (never a link) the second name to, which is free
        Replace, // renames from to the name to, taking the place of what is there in one step
        Remove,  // removes the name from (to is empty)
    };
    // Does the operation; false (with GetLastError set) when it cannot.
    using Operations = std::function<bool(Operation, const std::wstring& from, const std::wstring& to)>;

    // The operations on disk, through LocalFiles.
    static bool Perform(Operation operation, const std::wstring& from, const std::wstring& to);

    explicit FileSwap(const Folders& folders, Operations operations = Perform);

    // Does the steps in order, beginning with an empty backup and with Plugins on the staging
    // folder's volume (else throws UpdateError(FileSystem), nothing moved). When one fails,
    // everything done is undone and the journal removed: throws UpdateError(InstallFailed). When
    // the undo cannot complete, the journal and the backup stay for Recover: throws
    // UpdateError(UndoFailed).
    void Run(const std::vector<SwapStep>& steps);
    // Undoes a swap that did not finish, if the journal shows one; a journal torn before the
    // first move is only removed. Throws UpdateError(UndoFailed) when the undo cannot complete
    // (the journal and the backup stay), for a journal that Install did not write (nothing is
    // moved) and for a torn one whose steps have begun, as its steps or the backup show (nothing
    // is moved: it may not tell them all). Being cut short, it may simply run again.
    void Recover();

private:
    // Moves the old target aside and the new file in. Throws UpdateError(InstallFailed).
    void Forward(const SwapStep& step) const;
    // Replaces the old target by the new file without the name ever being free. False, with the
    // step as it began, where that cannot be done (a volume without hard links, a link or a
    // file that a rename may not replace): the old file is then moved aside first. Throws
    // UpdateError(InstallFailed).
    bool ReplaceInPlace(const SwapStep& step) const;
    // Undoes the steps, last first, as far as they were done: decided from what is on disk, so
    // that an undo cut short goes on where it stopped. Returns what could not be put back first
    // (the other steps are undone all the same), empty when all was.
    std::string Undo(const std::vector<SwapStep>& steps) const;
    std::string UndoStep(const SwapStep& step) const;
    // Whether any of the steps has moved a file.
    static bool AnyMoved(const std::vector<SwapStep>& steps);

    Folders folders;
    Operations operations;
};

} // namespace UpdateSdkStandIn
