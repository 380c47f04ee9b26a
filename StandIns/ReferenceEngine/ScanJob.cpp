#include "ScanJob.h"

#include <algorithm>

namespace ReferenceEngine
{

namespace
{

const std::size_t chunkSize = 64 * 1024;

// Reads until `size` bytes are in or the file ends; false on a read error.
bool ReadUpTo(HANDLE file, std::uint8_t* data, std::size_t size, std::size_t& got)
{
    got = 0;
    while (got < size)
    {
        DWORD piece = 0;
        if (!ReadFile(file, data + got, static_cast<DWORD>(size - got), &piece, nullptr))
            return false;
        if (piece == 0)
            break;
        got += piece;
    }
    return true;
}

bool IsDotEntry(const wchar_t* name)
{
    return name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0));
}

} // namespace

ScanJob::Verdict ScanJob::Failed(int code)
{
    Verdict verdict;
    verdict.outcome = Outcome::Failed;
    verdict.failure.code = code;
    return verdict;
}

ScanJob::ScanJob(CThreatScannerStruct& instance)
    : instance(instance), definitions(*instance.definitions),
      buffer(std::max(chunkSize, definitions.HeadSize()))
{
    // Once per call, not per removal: it looks at every note.
    instance.removals.TakeBackNotesOfGoneFiles();
}

int ScanJob::ScanPath(const wchar_t* path)
{
    if (!*path)
        return EngineSdk::Result::PathError;
    Subject subject;
    subject.path = FullPath(path);
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(ApiPath(subject.path).c_str(), GetFileExInfoStandard, &data))
    {
        return GetLastError() == ERROR_ACCESS_DENIED ? EngineSdk::Result::PathAccess
                                                     : EngineSdk::Result::PathError;
    }
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        WalkFolder(subject.path);
    else
        ScanFileObject(subject, (std::uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
    return stopped ? EngineSdk::Result::Stopped : EngineSdk::Result::Success;
}

void ScanJob::WalkFolder(const std::wstring& folder)
{
    // Folders still to list, the next one last: deep trees cost memory, never stack.
    std::vector<std::wstring> pending{folder};
    std::vector<std::wstring> subfolders;
    bool given = true;
    while (!pending.empty() && !stopped)
    {
        const std::wstring next = std::move(pending.back());
        pending.pop_back();
        subfolders.clear();
        ListFolder(next, given, subfolders);
        given = false;
        pending.insert(pending.end(), std::make_move_iterator(subfolders.rbegin()),
            std::make_move_iterator(subfolders.rend()));
    }
}

void ScanJob::ListFolder(const std::wstring& folder, bool given, std::vector<std::wstring>& subfolders)
{
    const std::wstring base = folder.back() == L'\\' || folder.back() == L'/' ? folder : folder + L"\\";
    WIN32_FIND_DATAW data;
    FindHandle find(FindFirstFileExW(ApiPath(base + L"*").c_str(), FindExInfoBasic, &data, FindExSearchNameMatch,
        nullptr, FIND_FIRST_EX_LARGE_FETCH));
    if (!find.Valid())
    {
        // An empty drive root has no "." entry; every folder below has one, so there the
        // error means that the folder could not be listed.
        const DWORD error = GetLastError();
        if (!given || error != ERROR_FILE_NOT_FOUND)
            ReportFolderFailure(folder, CodeForError(error, EngineSdk::Result::FirFind));
        return;
    }
    Subject subject;
    do
    {
        if (IsDotEntry(data.cFileName))
            continue;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        {
            // Junctions and symbolic links (Wine shows Unix directory links so) may loop.
            if (!(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
                subfolders.push_back(base + data.cFileName);
            continue;
        }
        subject.path.assign(base).append(data.cFileName);
        subject.objectFlags = 0;
        ScanFileObject(subject, (std::uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
    } while (!stopped && FindNextFileW(find.Get(), &data));
    if (!stopped && GetLastError() != ERROR_NO_MORE_FILES)
        ReportFolderFailure(folder, CodeForError(GetLastError(), EngineSdk::Result::FirFind));
}

bool ScanJob::IsSentOnItsWay(const std::wstring& path) const
{
    const std::size_t separator = path.find_last_of(L"\\/");
    return IsLeavingName(path.c_str() + (separator == std::wstring::npos ? 0 : separator + 1))
        && instance.removals.IsRemoved(path);
}

void ScanJob::ReportFolderFailure(const std::wstring& folder, int code)
{
    Subject subject;
    subject.path = folder;
    subject.objectFlags = EngineSdk::ObjectFlag::Folder | EngineSdk::ObjectFlag::UnableToRead;
    subject.actionable = false;
    Report(subject, EngineSdk::ScanStatus::ScanFailed, nullptr, code);
}

void ScanJob::ScanFileObject(Subject& subject, std::uint64_t size)
{
    // A file this engine sent on its way out is no longer the user's, whoever still holds it,
    // whether a walk finds it or it is given by its path.
    if (subject.objectType == EngineSdk::ObjectType::File && IsSentOnItsWay(subject.path))
        return;
    // Whoever answers the report (the scanner, which leaves a file of its maker's alone) must
    // look at the bytes that were judged: the file stays open, so that it can be neither
    // swapped nor changed, until the callback has returned.
    FileHandle file;
    const Verdict verdict = ScanFile(subject.path, size, file);
    if (verdict.outcome == Outcome::Failed)
        subject.objectFlags |= EngineSdk::ObjectFlag::UnableToRead;
    ReportVerdict(subject, verdict, &file);
}

ScanJob::Verdict ScanJob::ScanFile(const std::wstring& path, std::uint64_t size, FileHandle& file)
{
    // Empty files have nothing to read, and pipes and devices show as empty files: they are
    // not opened. Every other file is, even one too small for any signature, so that one
    // that cannot be read is reported as not scanned.
    if (size == 0)
        return Verdict();
    const HANDLE opened = OpenToJudge(path);
    const DWORD error = GetLastError();
    file.Reset(opened);
    if (!file.Valid())
        return Failed(CodeForError(error, EngineSdk::Result::FileOpen));
    Verdict verdict = ScanContent(file.Get(), size);
    // An action must later find this same file behind the name.
    if (verdict.outcome == Outcome::Infected)
        ReadIdentity(file.Get(), verdict.identity);
    return verdict;
}

ScanJob::Verdict ScanJob::ScanContent(void* handle, std::uint64_t size)
{
    const Verdict failed = Failed(EngineSdk::Result::FileRead);
    const std::size_t headWanted = static_cast<std::size_t>(std::min<std::uint64_t>(size, definitions.HeadSize()));
    std::size_t headGot = 0;
    if (!ReadUpTo(handle, buffer.data(), headWanted, headGot))
        return failed;
    if (!definitions.HashesSize(size))
        return Judge(buffer.data(), headGot, nullptr, size);

    const Verdict byHead = Judge(buffer.data(), headGot, nullptr, size);
    if (byHead.outcome == Outcome::Infected)
        return byHead;
    Sha256 sha;
    sha.Update(buffer.data(), headGot);
    std::uint64_t total = headGot;
    std::size_t got = 0;
    do
    {
        if (!ReadUpTo(handle, buffer.data(), buffer.size(), got))
            return failed;
        sha.Update(buffer.data(), got);
        total += got;
    } while (got == buffer.size());
    const Digest digest = sha.Final();
    // The head is gone from the buffer by now, but it has been judged already.
    return Judge(nullptr, 0, &digest, total);
}

ScanJob::Verdict ScanJob::Judge(const std::uint8_t* head, std::size_t headSize, const Digest* digest,
    std::uint64_t size) const
{
    Verdict verdict;
    if (head)
        verdict.detection = definitions.MatchHead(head, headSize);
    if (!verdict.detection.threat && digest)
        verdict.detection.threat = definitions.MatchHash(*digest, size);
    if (verdict.detection.threat)
        verdict.outcome = Outcome::Infected;
    return verdict;
}

int ScanJob::Report(const Subject& subject, std::uint32_t status, const Threat* threat, int statusFlags)
{
    _ScanCbkParams params{};
    params.reserved0 = sizeof(_ScanCbkParams);
    params.objectType = subject.objectType;
    params.path = subject.path.c_str();
    params.parentContainers = L"";
    params.innerObject = L"";
    params.objectFlags = subject.objectFlags;
    params.scanStatus = status;
    params.scanStatusFlags = statusFlags;
    params.threatType = threat ? threat->type : 0;
    params.pid = subject.pid;
    params.threatName = threat ? threat->name.c_str() : L"";
    params.sysObjParentContainers = subject.sysObjParentContainers;
    params.sysObjInnerObject = subject.sysObjInnerObject;
    params.tempPath = L"";
    int action = EngineSdk::ScanAction::None;
    ++reported;
    if (instance.scanCallback)
        instance.scanCallback(&params, &action, instance.scanContext);
    return action;
}

void ScanJob::ReportVerdict(const Subject& subject, const Verdict& verdict, FileHandle* judged)
{
    switch (verdict.outcome)
    {
    case Outcome::Clean:
        Report(subject, EngineSdk::ScanStatus::Clean, nullptr);
        break;
    case Outcome::Failed:
        Report(subject, EngineSdk::ScanStatus::ScanFailed, nullptr, verdict.failure.code);
        break;
    case Outcome::Infected:
    {
        ++infected;
        const int action = Report(subject, EngineSdk::ScanStatus::Infected, verdict.detection.threat);
        // The action opens the file again for itself, and checks that it is still the one judged.
        if (judged)
            judged->Reset();
        if (subject.actionable)
            CarryOut(action, subject, verdict);
        break;
    }
    }
}

} // namespace ReferenceEngine
