#include "ScanJob.h"

#include <windows.h>

#include <algorithm>

namespace ReferenceEngine
{

namespace
{

const std::size_t chunkSize = 64 * 1024;

// One owner per kind of handle, closed by that kind's function; INVALID_HANDLE_VALUE is "none".
template <BOOL(WINAPI* Close)(HANDLE)>
class HandleOwner
{
public:
    explicit HandleOwner(HANDLE handle) : handle(handle) {}
    ~HandleOwner()
    {
        if (handle != INVALID_HANDLE_VALUE)
            Close(handle);
    }
    HandleOwner(const HandleOwner&) = delete;
    HandleOwner& operator=(const HandleOwner&) = delete;
    HANDLE Get() const { return handle; }
    bool Valid() const { return handle != INVALID_HANDLE_VALUE; }

private:
    HANDLE handle;
};

using FileHandle = HandleOwner<&CloseHandle>;
using FindHandle = HandleOwner<&FindClose>;

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

std::wstring FullPath(const wchar_t* path)
{
    const DWORD needed = GetFullPathNameW(path, 0, nullptr, nullptr);
    if (needed == 0)
        return path;
    std::wstring full(needed, L'\0');
    const DWORD length = GetFullPathNameW(path, needed, &full[0], nullptr);
    if (length == 0 || length >= needed)
        return path;
    full.resize(length);
    return full;
}

} // namespace

std::wstring ApiPath(const std::wstring& path)
{
    if (path.size() < MAX_PATH - 12 || path.compare(0, 4, L"\\\\?\\") == 0 || path.compare(0, 4, L"\\\\.\\") == 0)
        return path;
    if (path.compare(0, 2, L"\\\\") == 0)
        return L"\\\\?\\UNC\\" + path.substr(2);
    return L"\\\\?\\" + path;
}

ScanJob::ScanJob(CThreatScannerStruct& instance)
    : instance(instance), definitions(*instance.definitions),
      buffer(std::max(chunkSize, definitions.HeadSize()))
{
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
    const std::wstring base = folder.back() == L'\\' || folder.back() == L'/' ? folder : folder + L"\\";
    WIN32_FIND_DATAW data;
    FindHandle find(FindFirstFileExW(ApiPath(base + L"*").c_str(), FindExInfoBasic, &data, FindExSearchNameMatch,
        nullptr, FIND_FIRST_EX_LARGE_FETCH));
    if (!find.Valid())
    {
        // An empty drive root has no "." entry; anything else is a folder that cannot be listed.
        if (GetLastError() != ERROR_FILE_NOT_FOUND)
        {
            Subject subject;
            subject.path = folder;
            subject.objectFlags = EngineSdk::ObjectFlag::Folder | EngineSdk::ObjectFlag::UnableToRead;
            subject.actionable = false;
            Report(subject, EngineSdk::ScanStatus::ScanFailed, nullptr);
        }
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
                WalkFolder(base + data.cFileName);
            continue;
        }
        subject.path.assign(base).append(data.cFileName);
        subject.objectFlags = 0;
        ScanFileObject(subject, (std::uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
    } while (!stopped && FindNextFileW(find.Get(), &data));
}

void ScanJob::ScanFileObject(Subject& subject, std::uint64_t size)
{
    const Verdict verdict = ScanFile(subject.path, size);
    if (verdict.outcome == Outcome::Failed)
        subject.objectFlags |= EngineSdk::ObjectFlag::UnableToRead;
    ReportVerdict(subject, verdict);
}

ScanJob::Verdict ScanJob::ScanFile(const std::wstring& path, std::uint64_t size)
{
    // No signature fits a file this small: it is not read. Not opening empty files also keeps
    // the walk away from pipes and devices, which show as empty files.
    if (size == 0 || definitions.CannotMatchSize(size))
        return Verdict();
    FileHandle file(CreateFileW(ApiPath(path).c_str(), GENERIC_READ,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
        FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file.Valid())
    {
        Verdict failed;
        failed.outcome = Outcome::Failed;
        return failed;
    }
    return ScanContent(file.Get(), size);
}

ScanJob::Verdict ScanJob::ScanContent(void* handle, std::uint64_t size)
{
    Verdict failed;
    failed.outcome = Outcome::Failed;
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

int ScanJob::Report(const Subject& subject, std::uint32_t status, const Threat* threat)
{
    _ScanCbkParams params{};
    params.reserved0 = sizeof(_ScanCbkParams);
    params.objectType = subject.objectType;
    params.path = subject.path.c_str();
    params.parentContainers = L"";
    params.innerObject = L"";
    params.objectFlags = subject.objectFlags;
    params.scanStatus = status;
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

void ScanJob::ReportVerdict(const Subject& subject, const Verdict& verdict)
{
    switch (verdict.outcome)
    {
    case Outcome::Clean:
        Report(subject, EngineSdk::ScanStatus::Clean, nullptr);
        break;
    case Outcome::Failed:
        Report(subject, EngineSdk::ScanStatus::ScanFailed, nullptr);
        break;
    case Outcome::Infected:
    {
        ++infected;
        const int action = Report(subject, EngineSdk::ScanStatus::Infected, verdict.detection.threat);
        if (subject.actionable)
            CarryOut(action, subject, verdict.detection);
        break;
    }
    }
}

} // namespace ReferenceEngine
