// Carrying out the action that the scan callback chose for an infected object, on that same
// object only, and reporting the outcome only once it is true.

#include "Quarantine.h"
#include "ScanJob.h"

#include <algorithm>

namespace ReferenceEngine
{

namespace
{

namespace Result = EngineSdk::Result;

// Deletes the open file (a read-only attribute cleared first) and checks that its name is
// gone: Wine's deletion reports success even where the file system refused it.
bool RemoveOpened(const std::wstring& path, FileHandle& file)
{
    FILE_BASIC_INFO basic{};
    if (!GetFileInformationByHandleEx(file.Get(), FileBasicInfo, &basic, sizeof basic))
        return false;
    const DWORD attributes = basic.FileAttributes;
    if (attributes & FILE_ATTRIBUTE_READONLY)
    {
        FILE_BASIC_INFO writable{}; // zero times: left as they are
        writable.FileAttributes = WithoutReadOnly(attributes);
        SetFileInformationByHandle(file.Get(), FileBasicInfo, &writable, sizeof writable);
    }
    FILE_DISPOSITION_INFO disposition{TRUE};
    const bool marked = SetFileInformationByHandle(file.Get(), FileDispositionInfo, &disposition, sizeof disposition);
    file.Reset();
    if (marked && IsGone(path))
        return true;
    if (attributes & FILE_ATTRIBUTE_READONLY)
        SetFileAttributesW(ApiPath(path).c_str(), attributes);
    return false;
}

} // namespace

void ScanJob::CarryOut(int action, const Subject& subject, const Verdict& verdict)
{
    namespace Action = EngineSdk::ScanAction;
    namespace Status = EngineSdk::ScanStatus;
    Failure failure;
    std::uint32_t status = Status::ScanFailed;
    switch (action)
    {
    case Action::QuarMove:
    case Action::QuarMoveArch:
        failure = Quarantine(subject.path, verdict, true);
        status = Status::Moved;
        break;
    case Action::QuarCopy:
    case Action::QuarCopyArch:
        // The object stays where it is: a copy has no follow-up status, only its failure has.
        failure = Quarantine(subject.path, verdict, false);
        if (!failure)
            return;
        break;
    case Action::Delete:
        failure = Delete(subject.path, verdict);
        status = Status::Deleted;
        break;
    case Action::Disinfect:
    case Action::DisinfectOnly:
        failure = Disinfect(subject.path, verdict);
        status = Status::Disinfected;
        break;
    case Action::Rename:
        failure = Rename(subject.path, verdict);
        status = Status::Moved;
        break;
    case Action::Abort:
        stopped = true;
        return;
    default: // None, Default, Skip and unknown values: leave the object alone, no follow-up.
        return;
    }
    Subject outcome = subject;
    outcome.objectFlags |= failure.flags;
    Report(outcome, failure ? Status::ScanFailed : status, verdict.detection.threat, failure.code);
}

ScanJob::Failure ScanJob::OpenJudged(const std::wstring& path, const Verdict& verdict, unsigned long access,
    FileHandle& file)
{
    // Shared for reading only: nobody changes or takes the file while the action runs.
    file.Reset(CreateFileW(ApiPath(path).c_str(), access, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
        FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file.Valid())
        return Failure{CodeForError(GetLastError(), Result::FileOpen)};
    // Under Wine a file opened through a link is the link's target, and deleting or moving it
    // would reach outside the scanned tree and leave the link: links are not acted on.
    if (IsReachedThroughLink(path, file.Get()))
        return Failure{Result::NotSupported};
    // Swapped or rewritten since it was judged: the action would hit a file never found infected.
    const Failure changed{Result::FileInformation, EngineSdk::ObjectFlag::Modified};
    FileIdentity now;
    if (!ReadIdentity(file.Get(), now) || now != verdict.identity)
        return changed;
    const Verdict again = ScanContent(file.Get(), now.size);
    if (again.outcome != Outcome::Infected || again.detection.threat != verdict.detection.threat)
        return changed;
    return Failure();
}

ScanJob::Failure ScanJob::Quarantine(const std::wstring& path, const Verdict& verdict, bool move)
{
    if (instance.quarantineFolder.empty())
        return Failure{Result::NotSupported};
    FileHandle file;
    const unsigned long access = move ? GENERIC_READ | DELETE | FILE_WRITE_ATTRIBUTES : GENERIC_READ;
    if (const Failure refused = OpenJudged(path, verdict, access, file))
        return refused;
    QuarantineItem item(instance.quarantineFolder);
    if (const int code = item.Store(file.Get(), path, buffer))
        return Failure{code};
    if (move && !RemoveOpened(path, file))
    {
        // Left in its place: no copy of it may stay behind as if it had been moved.
        item.Withdraw();
        return Failure{Result::FileRemove};
    }
    return Failure();
}

ScanJob::Failure ScanJob::Delete(const std::wstring& path, const Verdict& verdict)
{
    FileHandle file;
    if (const Failure refused = OpenJudged(path, verdict, GENERIC_READ | DELETE | FILE_WRITE_ATTRIBUTES, file))
        return refused;
    return RemoveOpened(path, file) ? Failure() : Failure{Result::FileRemove};
}

ScanJob::Failure ScanJob::Rename(const std::wstring& path, const Verdict& verdict)
{
    FileHandle file;
    if (const Failure refused = OpenJudged(path, verdict, GENERIC_READ | DELETE, file))
        return refused;
    const std::wstring target = ApiPath(path + L".vir");
    std::vector<std::uint8_t> block(sizeof(FILE_RENAME_INFO) + target.size() * sizeof(wchar_t));
    auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(block.data());
    rename->ReplaceIfExists = FALSE;
    rename->RootDirectory = nullptr;
    rename->FileNameLength = static_cast<DWORD>(target.size() * sizeof(wchar_t));
    std::copy(target.begin(), target.end(), rename->FileName);
    if (!SetFileInformationByHandle(file.Get(), FileRenameInfo, rename, static_cast<DWORD>(block.size())))
        return Failure{CodeForError(GetLastError(), Result::FileRename)};
    file.Reset();
    return IsGone(path) ? Failure() : Failure{Result::FileRename};
}

} // namespace ReferenceEngine
