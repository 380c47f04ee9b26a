#pragma once

#include <string>
#include <vector>

namespace UpdateSdkStandIn
{

// Puts new files in place of old ones and takes old ones away so that either all of them
// change or none does: each old file is moved aside into the backup folder first, and unless
// Commit is called, the destructor moves every new file back out and every old one back in,
// last first.
class FileSwap
{
public:
    explicit FileSwap(const std::wstring& backupFolder) : backupFolder(backupFolder) {}
    ~FileSwap();
    FileSwap(const FileSwap&) = delete;
    FileSwap& operator=(const FileSwap&) = delete;

    // Moves staged to target (a file, or nothing yet). backupName is unique within the swap.
    // Throws UpdateError(InstallFailed) when either move fails; the swap is undone then too.
    void Replace(const std::wstring& staged, const std::wstring& target, const std::wstring& backupName);
    // Moves the file target aside. Throws UpdateError(InstallFailed) when it cannot; the swap
    // is undone then too.
    void Remove(const std::wstring& target, const std::wstring& backupName);
    // Keeps the new files; the backup folder then holds the old ones.
    void Commit() { steps.clear(); }

private:
    struct Step
    {
        std::wstring staged;
        std::wstring target;
        std::wstring backup;
        bool movedAside = false;
        bool movedIn = false;
    };
    void MoveAside(Step& step);
    void Undo() noexcept;

    std::wstring backupFolder;
    std::vector<Step> steps;
};

} // namespace UpdateSdkStandIn
