#pragma once

#include "Folders.h"

#include <string>
#include <vector>

namespace UpdateSdkStandIn
{

// One file of an install: the old target moved aside into the backup (or given a second name
// there), then the staged file moved in its place.
struct SwapStep
{
    std::wstring staged; // the new file; empty when the target is only taken away
    std::wstring target;
    std::wstring backup; // where the old target waits until the swap is over
};

// The step Install makes for the file of Plugins of that name: replaced by its staged file
// (update.txt by the staging's own copy), or only taken away; the old one waits in the backup.
SwapStep InstallStep(const Folders& folders, const std::wstring& name, bool replaced);
// Whether Install takes the file of Plugins of that name away when the set does not list it: a
// definitions file (*.bkdef) of a name a set may have. Any other file is not the stand-in's.
bool IsWithdrawable(const std::wstring& name);

// What an install is about to move, written whole and flushed before the first move, so that
// a later run that finds it knows that the swap did not finish and how to undo it (format in
// README.md). Paths are kept relative to the local path.
namespace SwapJournal
{

enum class State
{
    None,  // no journal: no swap is unfinished
    Torn,  // without its closing line: cut short while it was written, or damaged since
    Whole, // the steps of an unfinished swap
};

// Creates the journal of the steps, each one an InstallStep. Throws UpdateError (FileSystem)
// when it cannot be written and flushed.
void Write(const Folders& folders, const std::vector<SwapStep>& steps);
// Reads the journal into steps: all of a whole one's, the whole lines' of a torn one. Line ends
// may be LF or CR LF, blank lines are left out, and a run of NUL bytes at the end is where the
// journal was cut (what a power cut leaves unwritten). Throws UpdateError(UndoFailed), touching
// nothing, for a journal with any line that Write does not write: another header, a step that
// is not an InstallStep (a path outside Plugins and the staging, a name a set may not have, a
// file named twice), a path that is not UTF-8. What it would undo is unknown or not ours.
State Read(const Folders& folders, std::vector<SwapStep>& steps);

} // namespace SwapJournal

} // namespace UpdateSdkStandIn
