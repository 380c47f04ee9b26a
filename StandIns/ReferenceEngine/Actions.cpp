// Carrying out the action that the scan callback chose for an infected object, on that same
// object only, and reporting the outcome only once it is true.

#include "Quarantine.h"
#include "RemovalNotes.h"
#include "ScanJob.h"

namespace ReferenceEngine
{

namespace
{

namespace Result = EngineSdk::Result;

// Deletes the open file, whose name goes at once: the file is first renamed within its folder,
// which holds even while another program has it open (sharing it for deletion, or the open
// for the action would have failed), and then marked for deletion, which takes effect when the
// last handle closes. A mark alone would leave the name to that other program, and the file
// would still go when it lets go, after a report that it had stayed. While another program
// holds it, the notes keep later scans from taking it for a file of the user's.
// identity: the file's, as the open for the action found it.
// False, with the file under its own name and attributes, when either step fails.
bool RemoveOpened(const std::wstring& path, FileHandle& file, const FileIdentity& identity, const RemovalNotes& notes)
{
    FILE_BASIC_INFO basic{};
    const std::wstring stored = StoredPath(path);
    if (stored.empty() || !GetFileInformationByHandleEx(file.Get(), FileBasicInfo, &basic, sizeof basic))
        return false;
    const DWORD attributes = basic.FileAttributes;
    // A read-only file refuses the mark.
    if (attributes & FILE_ATTRIBUTE_READONLY)
        SetAttributesOpened(file.Get(), WithoutReadOnly(attributes));
    const std::wstring folder = stored.substr(0, stored.find_last_of(L'\\'));
    notes.Note(identity, stored);
    const std::wstring leaving = FirstFreeName(folder + L"\\" + LeavingName,
        [&](const std::wstring& name) { return RenameOpened(file.Get(), name); });
    const bool removed = !leaving.empty() && DeleteOpened(file.Get());
    if (!removed)
    {
        if (!leaving.empty())
            RenameOpened(file.Get(), stored);
        if (attributes & FILE_ATTRIBUTE_READONLY)
            SetAttributesOpened(file.Get(), attributes);
    }
    file.Reset();
    notes.Settle(identity, removed && !IsGone(leaving));
    return removed;
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
    if (move && !RemoveOpened(path, file, verdict.identity, instance.removals))
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
    return RemoveOpened(path, file, verdict.identity, instance.removals) ? Failure() : Failure{Result::FileRemove};
}

ScanJob::Failure ScanJob::Rename(const std::wstring& path, const Verdict& verdict)
{
    FileHandle file;
    if (const Failure refused = OpenJudged(path, verdict, GENERIC_READ | DELETE, file))
        return refused;
    if (!RenameOpened(file.Get(), path + L".vir"))
        return Failure{CodeForError(GetLastError(), Result::FileRename)};
    file.Reset();
    return IsGone(path) ? Failure() : Failure{Result::FileRename};
}

} // namespace ReferenceEngine
