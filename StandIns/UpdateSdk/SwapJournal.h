#pragma once

#include <string>
#include <vector>

namespace UpdateSdkStandIn
{

// One file of an install: the old target moved aside into the backup, then the staged file
// moved in its place.
struct SwapStep
{
    std::wstring staged; // the new file; empty when the target is only taken away
    std::wstring target;
    std::wstring backup; // where the old target waits until the swap is over
};

// What an install is about to move, written whole and flushed before the first move, so that
// a later run that finds it knows that the swap did not finish and how to undo it (format in
// README.md). Paths are kept relative to the local path.
namespace SwapJournal
{

enum class State
{
    None,  // no journal: no swap is unfinished
    Torn,  // cut short while it was written, so before the first move: nothing to undo
    Whole, // the steps of an unfinished swap
};

// Creates the journal at path, every step's paths lying below root. Throws UpdateError
// (FileSystem) when it cannot be written and flushed.
void Write(const std::wstring& path, const std::wstring& root, const std::vector<SwapStep>& steps);
// Reads the journal at path into steps. Throws UpdateError(UndoFailed) for a journal that is
// whole but cannot be read: what it would undo is unknown, so nothing may be touched.
State Read(const std::wstring& path, const std::wstring& root, std::vector<SwapStep>& steps);

} // namespace SwapJournal

} // namespace UpdateSdkStandIn
