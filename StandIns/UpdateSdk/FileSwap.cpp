#include "FileSwap.h"

#include "Result.h"

#include <windows.h>

namespace UpdateSdkStandIn
{

FileSwap::FileSwap(const Folders& folders, Mover move) : folders(folders), move(std::move(move))
{
}

void FileSwap::Run(const std::vector<SwapStep>& steps)
{
    SwapJournal::Write(folders, steps);
    try
    {
        for (const SwapStep& step : steps)
            Forward(step);
        // The swap is over once the journal is gone.
        if (!LocalFiles::RemoveEntry(folders.journal))
            LocalFiles::Fail(Result::InstallFailed, "cannot remove", folders.journal);
    }
    catch (const UpdateError& failure)
    {
        const std::string undoFailure = Undo(steps);
        if (!undoFailure.empty())
            throw UpdateError(Result::UndoFailed, std::string(failure.what()) + "; then " + undoFailure);
        LocalFiles::RemoveEntry(folders.journal);
        throw;
    }
}

void FileSwap::Recover()
{
    std::vector<SwapStep> steps;
    const SwapJournal::State state = SwapJournal::Read(folders, steps);
    if (state == SwapJournal::State::None)
        return;
    if (state == SwapJournal::State::Torn)
    {
        // Cut short while it was written, there was no move yet. Damaged since, it no longer
        // tells every move: its backup may hold the only copy of an old file.
        if (AnyMoved(steps))
            throw UpdateError(Result::UndoFailed, "a swap journal without its closing line names files already moved");
    }
    else
    {
        const std::string undoFailure = Undo(steps);
        if (!undoFailure.empty())
            throw UpdateError(Result::UndoFailed, "an unfinished install cannot be undone: " + undoFailure);
    }
    if (!LocalFiles::RemoveEntry(folders.journal))
        LocalFiles::Fail(Result::FileSystem, "cannot remove", folders.journal);
}

bool FileSwap::AnyMoved(const std::vector<SwapStep>& steps)
{
    // Before the first move the backup is empty and every new file staged.
    for (const SwapStep& step : steps)
    {
        if (LocalFiles::IsFile(step.backup) || (!step.staged.empty() && !LocalFiles::IsFile(step.staged)))
            return true;
    }
    return false;
}

void FileSwap::Forward(const SwapStep& step) const
{
    const DWORD attributes = GetFileAttributesW(step.target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES)
    {
        // A folder of that name is someone else's: it is not moved, let alone removed later.
        if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        {
            SetLastError(ERROR_DIRECTORY);
            LocalFiles::Fail(Result::InstallFailed, "a folder is in the way:", step.target);
        }
        if (!move(step.target, step.backup))
            LocalFiles::Fail(Result::InstallFailed, "cannot move aside", step.target);
    }
    if (!step.staged.empty() && !move(step.staged, step.target))
        LocalFiles::Fail(Result::InstallFailed, "cannot put in place", step.target);
}

std::string FileSwap::Undo(const std::vector<SwapStep>& steps) const
{
    std::string firstFailure;
    for (auto step = steps.rbegin(); step != steps.rend(); ++step)
    {
        const std::string failure = UndoStep(*step);
        if (firstFailure.empty())
            firstFailure = failure;
    }
    return firstFailure;
}

std::string FileSwap::UndoStep(const SwapStep& step) const
{
    // The new file was moved in when it is no longer staged but in place; a file in place with
    // the staged one still there is the old file, never moved.
    if (!step.staged.empty() && !LocalFiles::IsFile(step.staged) && LocalFiles::IsFile(step.target)
        && !move(step.target, step.staged))
        return LocalFiles::Failure("cannot take back", step.target);
    if (LocalFiles::IsFile(step.backup) && !move(step.backup, step.target))
        return LocalFiles::Failure("cannot put back", step.target);
    return std::string();
}

} // namespace UpdateSdkStandIn
