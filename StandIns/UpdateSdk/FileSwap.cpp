#include "FileSwap.h"

#include "Result.h"

#include <windows.h>

namespace UpdateSdkStandIn
{

bool FileSwap::Perform(Operation operation, const std::wstring& from, const std::wstring& to)
{
    switch (operation)
    {
    case Operation::Move:
        return LocalFiles::Move(from, to);
    case Operation::Link:
        return LocalFiles::Link(from, to);
    case Operation::Replace:
        return LocalFiles::Replace(from, to);
    case Operation::Remove:
        return LocalFiles::RemoveEntry(from);
    }
    return false;
}

FileSwap::FileSwap(const Folders& folders, Operations operations)
    : folders(folders), operations(std::move(operations))
{
}

void FileSwap::Run(const std::vector<SwapStep>& steps)
{
    // Every move renames between the staging folder and Plugins, which no rename does across
    // volumes: a Plugins that leads to another volume would fail every install at its first move.
    if (!LocalFiles::OnOneVolume(folders.plugins, folders.staging))
    {
        SetLastError(ERROR_NOT_SAME_DEVICE);
        LocalFiles::Fail(Result::FileSystem, "cannot swap, on another volume than UpdateStaging:", folders.plugins);
    }
    // What a journal cut short is weighed by: an old file in the backup means that moves began.
    if (LocalFiles::HoldsAnything(folders.backup))
    {
        SetLastError(ERROR_DIR_NOT_EMPTY);
        LocalFiles::Fail(Result::FileSystem, "cannot swap, not emptied:", folders.backup);
    }
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
        // Install empties the backup before it writes the journal, and every old file moved goes
        // there: so the moves began even where no whole step of the journal is left to tell.
        if (LocalFiles::HoldsAnything(folders.backup))
            throw UpdateError(Result::UndoFailed,
                "a swap journal without its closing line, and files moved into " + WideToUtf8(folders.backup));
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
    // Looked at as itself: a link is moved as the link or refused, never taken for what it leads to.
    const EntryKind kind = LocalFiles::ExamineFilePlace(step.target);
    if (kind != EntryKind::Missing)
    {
        // A folder of that name is someone else's: it is not moved, let alone removed later.
        if (kind == EntryKind::Folder)
        {
            SetLastError(ERROR_DIRECTORY);
            LocalFiles::Fail(Result::InstallFailed, "a folder is in the way:", step.target);
        }
        if (!step.staged.empty() && ReplaceInPlace(step))
            return;
        if (!operations(Operation::Move, step.target, step.backup))
            LocalFiles::Fail(Result::InstallFailed, "cannot move aside", step.target);
    }
    if (!step.staged.empty() && !operations(Operation::Move, step.staged, step.target))
        LocalFiles::Fail(Result::InstallFailed, "cannot put in place", step.target);
}

bool FileSwap::ReplaceInPlace(const SwapStep& step) const
{
    if (!operations(Operation::Link, step.target, step.backup))
        return false;
    if (operations(Operation::Replace, step.staged, step.target))
        return true;
    // Without its second name the old file is just as the step began.
    if (!operations(Operation::Remove, step.backup, std::wstring()))
        LocalFiles::Fail(Result::InstallFailed, "cannot remove", step.backup);
    return false;
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
        && !operations(Operation::Move, step.target, step.staged))
        return LocalFiles::Failure("cannot take back", step.target);
    if (!LocalFiles::IsFile(step.backup))
        return std::string();
    // Cut short after the old file got its second name, before the new one replaced it: the old
    // file is in place. A backup that is another file is the only copy of the old one.
    if (LocalFiles::AreOneFile(step.backup, step.target))
    {
        if (!operations(Operation::Remove, step.backup, std::wstring()))
            return LocalFiles::Failure("cannot remove", step.backup);
    }
    else if (!operations(Operation::Move, step.backup, step.target))
        return LocalFiles::Failure("cannot put back", step.target);
    return std::string();
}

} // namespace UpdateSdkStandIn
