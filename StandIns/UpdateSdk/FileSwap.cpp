#include "FileSwap.h"

#include "LocalFiles.h"
#include "Result.h"

#include <windows.h>

namespace UpdateSdkStandIn
{
namespace
{

[[noreturn]] void Fail(const char* what, const std::wstring& path)
{
    LocalFiles::Fail(Result::InstallFailed, what, path);
}

} // namespace

FileSwap::~FileSwap()
{
    Undo();
}

void FileSwap::Replace(const std::wstring& staged, const std::wstring& target, const std::wstring& backupName)
{
    steps.push_back({staged, target, backupFolder + L"\\" + backupName});
    Step& step = steps.back();
    MoveAside(step);
    if (!LocalFiles::Move(staged, target))
        Fail("cannot put in place", target);
    step.movedIn = true;
}

void FileSwap::Remove(const std::wstring& target, const std::wstring& backupName)
{
    steps.push_back({std::wstring(), target, backupFolder + L"\\" + backupName});
    MoveAside(steps.back());
}

void FileSwap::MoveAside(Step& step)
{
    const DWORD attributes = GetFileAttributesW(step.target.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return;
    // A folder of that name is someone else's: it is not moved, let alone removed later.
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
    {
        SetLastError(ERROR_DIRECTORY);
        Fail("a folder is in the way:", step.target);
    }
    if (!LocalFiles::Move(step.target, step.backup))
        Fail("cannot move aside", step.target);
    step.movedAside = true;
}

void FileSwap::Undo() noexcept
{
    for (auto step = steps.rbegin(); step != steps.rend(); ++step)
    {
        if (step->movedIn)
            LocalFiles::Move(step->target, step->staged);
        if (step->movedAside)
            LocalFiles::Move(step->backup, step->target);
    }
    steps.clear();
}

} // namespace UpdateSdkStandIn
